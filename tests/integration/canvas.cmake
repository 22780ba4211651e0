# The real program's canvas under a private Xvfb and a private JACK server.
zimbrel_add_test(canvas_end_to_end_test
    ${CMAKE_CURRENT_LIST_DIR}/canvas_end_to_end_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/relay_pointer_driver.cpp
    LIBS zb_parts PkgConfig::ZB_APP_TEST FULL_LEAK_STACKS)
target_include_directories(canvas_end_to_end_test PRIVATE ${CMAKE_SOURCE_DIR})
target_compile_definitions(canvas_end_to_end_test PRIVATE ZIMBREL_PROGRAM="$<TARGET_FILE:zimbrel>")
add_dependencies(canvas_end_to_end_test zimbrel)
