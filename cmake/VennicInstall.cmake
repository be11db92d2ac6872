include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(VENNIC_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/Vennic)

install(TARGETS Vennic EXPORT VennicTargets
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
        RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
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

# The .pc file finds its prefix from its own place, so an install with `--prefix` (chosen only at
# install time) still yields correct paths.
if(IS_ABSOLUTE "${CMAKE_INSTALL_LIBDIR}")
  set(VENNIC_PC_PREFIX "${CMAKE_INSTALL_PREFIX}")
  set(VENNIC_PC_LIBDIR "${CMAKE_INSTALL_LIBDIR}")
else()
  file(RELATIVE_PATH _vennic_pc_up "/prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/prefix")
  string(REGEX REPLACE "/$" "" _vennic_pc_up "${_vennic_pc_up}")
  set(VENNIC_PC_PREFIX "\${pcfiledir}/${_vennic_pc_up}")
  set(VENNIC_PC_LIBDIR "\${prefix}/${CMAKE_INSTALL_LIBDIR}")
endif()
if(IS_ABSOLUTE "${CMAKE_INSTALL_INCLUDEDIR}")
  set(VENNIC_PC_INCLUDEDIR "${CMAKE_INSTALL_INCLUDEDIR}")
else()
  set(VENNIC_PC_INCLUDEDIR "\${prefix}/${CMAKE_INSTALL_INCLUDEDIR}")
endif()
configure_file(${PROJECT_SOURCE_DIR}/cmake/vennic.pc.in ${PROJECT_BINARY_DIR}/vennic.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/vennic.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
