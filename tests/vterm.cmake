# The screen-commit tests and the whole-program tests replay the written bytes in libvterm, a
# terminal emulator library, and look at what it shows (support/vterm_screen.hpp).
find_package(PkgConfig REQUIRED)
pkg_check_modules(VTERM REQUIRED IMPORTED_TARGET vterm)
target_link_libraries(vennic_test_support PUBLIC PkgConfig::VTERM)
target_link_libraries(vennic_tests PRIVATE PkgConfig::VTERM)
