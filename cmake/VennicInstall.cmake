include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(VENNIC_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/Vennic)

install(TARGETS Vennic EXPORT VennicTargets
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
        RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
        INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/include/ DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}
        FILES_MATCHING PATTERN "*.hpp")
install(EXPORT VennicTargets NAMESPACE Vennic:: DESTINATION ${VENNIC_CMAKE_DIR})
export(EXPORT VennicTargets NAMESPACE Vennic::
       FILE ${PROJECT_BINARY_DIR}/VennicTargets.cmake)

configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/VennicConfig.cmake.in
                              ${PROJECT_BINARY_DIR}/VennicConfig.cmake
                              INSTALL_DESTINATION ${VENNIC_CMAKE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/VennicConfigVersion.cmake
                                 COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/VennicConfig.cmake
              ${PROJECT_BINARY_DIR}/VennicConfigVersion.cmake
        DESTINATION ${VENNIC_CMAKE_DIR})

configure_file(${PROJECT_SOURCE_DIR}/cmake/vennic.pc.in ${PROJECT_BINARY_DIR}/vennic.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/vennic.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
