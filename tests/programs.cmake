# Programs that the tests run on pseudo-terminals: a small mode-setting helper, a small form
# application, and the event viewer example when examples are built.
add_executable(terminal_helper ${CMAKE_CURRENT_SOURCE_DIR}/programs/terminal_helper.cpp)
target_link_libraries(terminal_helper PRIVATE Vennic::Vennic)
vennic_set_warnings(terminal_helper)
add_dependencies(vennic_tests terminal_helper)
target_compile_definitions(vennic_tests
                           PRIVATE VENNIC_TERMINAL_HELPER="$<TARGET_FILE:terminal_helper>")

# The form whose run the test kit must reproduce screen for screen (vn/testing/testing_run_test.cpp).
add_executable(form_app ${CMAKE_CURRENT_SOURCE_DIR}/programs/form_app.cpp)
target_include_directories(form_app PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(form_app PRIVATE Vennic::Vennic)
vennic_set_warnings(form_app)
add_dependencies(vennic_tests form_app)
target_compile_definitions(vennic_tests PRIVATE VENNIC_FORM_APP="$<TARGET_FILE:form_app>")

if(VENNIC_BUILD_EXAMPLES)
  # The example target is defined after the tests; both names resolve at generation time.
  add_dependencies(vennic_tests event_viewer)
  target_compile_definitions(vennic_tests PRIVATE VENNIC_EVENT_VIEWER="$<TARGET_FILE:event_viewer>")
endif()

if(VENNIC_BUILD_EXAMPLES)
  add_dependencies(vennic_tests hello)
  target_compile_definitions(vennic_tests PRIVATE VENNIC_HELLO="$<TARGET_FILE:hello>")
endif()

if(VENNIC_BUILD_EXAMPLES)
  add_dependencies(vennic_tests gallery)
  target_compile_definitions(vennic_tests PRIVATE VENNIC_GALLERY="$<TARGET_FILE:gallery>")
endif()

# The tutorial runs as a program, and the README must show it as it is.
if(VENNIC_BUILD_EXAMPLES)
  add_dependencies(vennic_tests tutorial)
  target_compile_definitions(vennic_tests PRIVATE VENNIC_TUTORIAL="$<TARGET_FILE:tutorial>")
endif()
target_compile_definitions(vennic_tests PRIVATE VENNIC_SOURCE_DIR="${PROJECT_SOURCE_DIR}")

# Wide, emoji and combined text in every text widget, read back under tmux.
if(VENNIC_BUILD_EXAMPLES)
  add_dependencies(vennic_tests unicode)
  target_compile_definitions(vennic_tests PRIVATE VENNIC_UNICODE_EXAMPLE="$<TARGET_FILE:unicode>")
endif()

# The log viewer, driven under tmux.
if(VENNIC_BUILD_EXAMPLES)
  add_dependencies(vennic_tests logview)
  target_compile_definitions(vennic_tests PRIVATE VENNIC_LOGVIEW="$<TARGET_FILE:logview>")
endif()

# An application thread posting functions as fast as a busy program would (examples/flood_test.cpp).
add_executable(post_flood ${CMAKE_CURRENT_SOURCE_DIR}/programs/post_flood.cpp)
target_link_libraries(post_flood PRIVATE Vennic::Vennic)
vennic_set_warnings(post_flood)
add_dependencies(vennic_tests post_flood)
target_compile_definitions(vennic_tests PRIVATE VENNIC_POST_FLOOD="$<TARGET_FILE:post_flood>")

# Reads a pipe and writes a file while its session runs on the controlling terminal.
add_executable(pipe_picker ${CMAKE_CURRENT_SOURCE_DIR}/programs/pipe_picker.cpp)
target_link_libraries(pipe_picker PRIVATE Vennic::Vennic)
vennic_set_warnings(pipe_picker)
add_dependencies(vennic_tests pipe_picker)
target_compile_definitions(vennic_tests PRIVATE VENNIC_PIPE_PICKER="$<TARGET_FILE:pipe_picker>")
