# The real program under a private Xvfb and a private dummy JACK server (and,
# once more, a private PipeWire),
# driven with X input as a person would.
find_package(X11 REQUIRED)
pkg_check_modules(ZB_APP_TEST REQUIRED IMPORTED_TARGET x11 xtst xdamage liblo)
zimbrel_add_test(app_end_to_end_test
    ${CMAKE_CURRENT_LIST_DIR}/app_end_to_end_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/relay_pointer_driver.cpp
    LIBS PkgConfig::ZB_APP_TEST zb_parts FULL_LEAK_STACKS)
target_include_directories(app_end_to_end_test PRIVATE ${CMAKE_SOURCE_DIR})
target_compile_definitions(app_end_to_end_test PRIVATE ZIMBREL_PROGRAM="$<TARGET_FILE:zimbrel>")
add_dependencies(app_end_to_end_test zimbrel)
zimbrel_add_pipewire_run(app_end_to_end_test)
