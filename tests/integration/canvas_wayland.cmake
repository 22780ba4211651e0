# The real program's canvas as native Wayland windows on a private headless
# sway, driven by a virtual pointer of the test's own. The virtual pointer
# protocol is in no Debian 12 package, so its XML is kept here; KWin's
# fake-input protocol comes with plasma-wayland-protocols.
pkg_check_modules(ZB_WAYLAND_TEST REQUIRED IMPORTED_TARGET wayland-client)
find_program(ZB_WAYLAND_SCANNER wayland-scanner REQUIRED)
find_file(ZB_FAKE_INPUT_PROTOCOL fake-input.xml PATHS /usr/share/plasma-wayland-protocols NO_DEFAULT_PATH REQUIRED)
set(ZB_POINTER_SOURCES ${CMAKE_CURRENT_LIST_DIR}/wayland_pointer_driver.cpp)
foreach(protocol ${CMAKE_CURRENT_LIST_DIR}/protocols/wlr-virtual-pointer-unstable-v1.xml ${ZB_FAKE_INPUT_PROTOCOL})
    get_filename_component(name ${protocol} NAME_WE)
    set(header ${CMAKE_CURRENT_BINARY_DIR}/${name}-client-protocol.h)
    set(code ${CMAKE_CURRENT_BINARY_DIR}/${name}-protocol.c)
    add_custom_command(OUTPUT ${header} ${code}
        COMMAND ${ZB_WAYLAND_SCANNER} client-header ${protocol} ${header}
        COMMAND ${ZB_WAYLAND_SCANNER} private-code ${protocol} ${code}
        DEPENDS ${protocol})
    list(APPEND ZB_POINTER_SOURCES ${header} ${code})
endforeach()
# The generated code is C, whose constants C++ would keep private.
enable_language(C)
add_executable(wayland_pointer_driver ${ZB_POINTER_SOURCES})
target_include_directories(wayland_pointer_driver PRIVATE ${CMAKE_CURRENT_BINARY_DIR})
target_link_libraries(wayland_pointer_driver PRIVATE PkgConfig::ZB_WAYLAND_TEST)

zimbrel_add_test(canvas_wayland_test ${CMAKE_CURRENT_LIST_DIR}/canvas_wayland_test.cpp LIBS zb_parts FULL_LEAK_STACKS)
target_include_directories(canvas_wayland_test PRIVATE ${CMAKE_SOURCE_DIR})
target_compile_definitions(canvas_wayland_test PRIVATE ZIMBREL_PROGRAM="$<TARGET_FILE:zimbrel>"
    ZIMBREL_WAYLAND_POINTER="$<TARGET_FILE:wayland_pointer_driver>")
add_dependencies(canvas_wayland_test zimbrel wayland_pointer_driver)
