# vennic_probe reports load-time state (TERM/COLORTERM answers, initial recorded colours) from a
# fresh process; tests run it with an environment of their choosing.
add_executable(vennic_probe ${CMAKE_CURRENT_SOURCE_DIR}/probe/probe.cpp)
target_link_libraries(vennic_probe PRIVATE Vennic::Vennic)
vennic_set_warnings(vennic_probe)
add_dependencies(vennic_tests vennic_probe)
target_compile_definitions(vennic_tests PRIVATE VENNIC_PROBE="$<TARGET_FILE:vennic_probe>")
