# Installs the build into a temporary prefix and builds a consumer against it, through
# find_package(Vennic) and through pkg-config. Needs the built library, so ctest runs it
# after a build; run.sh refuses to start without it.
if(VENNIC_INSTALL)
  add_test(NAME PackageTest.InstalledLibraryServesConsumers
           COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/package/run.sh ${PROJECT_BINARY_DIR}
                   $<TARGET_FILE:Vennic> "${VENNIC_SANITIZE}")
  set_tests_properties(PackageTest.InstalledLibraryServesConsumers PROPERTIES TIMEOUT 300)
endif()
