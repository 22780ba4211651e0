# The real program on a private headless KDE Plasma (KWin, PipeWire, the
# desktop portal), whose screen casts KWin cannot stream without OpenGL
# here, with a private dummy JACK server and jack_midi_dump as the
# synthesizer.
zimbrel_add_test(kde_portal_test ${CMAKE_CURRENT_LIST_DIR}/kde_portal_test.cpp
    LIBS zb_parts PkgConfig::ZB_PORTAL_TEST FULL_LEAK_STACKS)
target_include_directories(kde_portal_test PRIVATE ${CMAKE_SOURCE_DIR})
target_compile_definitions(kde_portal_test PRIVATE ZIMBREL_PROGRAM="$<TARGET_FILE:zimbrel>"
    ZIMBREL_WAYLAND_POINTER="$<TARGET_FILE:wayland_pointer_driver>")
add_dependencies(kde_portal_test zimbrel wayland_pointer_driver)
