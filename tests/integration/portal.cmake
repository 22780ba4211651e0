# The real program on a private headless GNOME (mutter, PipeWire, the
# desktop portal), following the whole screen through screen sharing, with a
# private dummy JACK server and jack_midi_dump as the synthesizer.
find_package(Qt6 REQUIRED COMPONENTS Widgets)
add_executable(colour_window ${CMAKE_CURRENT_LIST_DIR}/colour_window.cpp)
target_link_libraries(colour_window PRIVATE Qt6::Widgets)

pkg_check_modules(ZB_PORTAL_TEST REQUIRED IMPORTED_TARGET libsystemd)
zimbrel_add_test(portal_end_to_end_test
    ${CMAKE_CURRENT_LIST_DIR}/portal_end_to_end_test.cpp
    LIBS zb_parts zb_input PkgConfig::ZB_PORTAL_TEST FULL_LEAK_STACKS)
target_include_directories(portal_end_to_end_test PRIVATE ${CMAKE_SOURCE_DIR})
target_compile_definitions(portal_end_to_end_test PRIVATE ZIMBREL_PROGRAM="$<TARGET_FILE:zimbrel>"
    COLOUR_WINDOW="$<TARGET_FILE:colour_window>")
add_dependencies(portal_end_to_end_test zimbrel colour_window)
