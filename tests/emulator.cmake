# How far real terminals (xterm and kitty on Xvfb) advance the cursor over grapheme clusters,
# checked against the cells the library expects. Its own executable, labelled "emulator", so
# that it can be left out (ctest -LE emulator); it skips where the terminals are missing.
add_executable(width_probe ${CMAKE_CURRENT_SOURCE_DIR}/programs/width_probe.cpp)
target_link_libraries(width_probe PRIVATE Vennic::Vennic)
vennic_set_warnings(width_probe)

add_executable(vennic_emulator_tests ${CMAKE_CURRENT_SOURCE_DIR}/emulator/width_test.cpp)
target_include_directories(vennic_emulator_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(vennic_emulator_tests PRIVATE vennic_test_support ICU::uc GTest::gtest_main)
vennic_set_warnings(vennic_emulator_tests)
add_dependencies(vennic_emulator_tests width_probe)
target_compile_definitions(vennic_emulator_tests
                           PRIVATE VENNIC_WIDTH_PROBE="$<TARGET_FILE:width_probe>")
gtest_discover_tests(vennic_emulator_tests DISCOVERY_TIMEOUT 60
                     PROPERTIES TIMEOUT 180 LABELS emulator
                                SKIP_REGULAR_EXPRESSION "\\[  SKIPPED \\]")
