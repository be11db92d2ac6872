# The screen-commit tests replay the written bytes in libvterm, a terminal emulator library,
# and compare what it shows with what was painted.
find_package(PkgConfig REQUIRED)
pkg_check_modules(VTERM REQUIRED IMPORTED_TARGET vterm)
target_link_libraries(vennic_tests PRIVATE PkgConfig::VTERM)
