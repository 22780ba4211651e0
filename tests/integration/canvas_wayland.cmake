# The real program's canvas as native Wayland windows on a private headless
# sway, driven by a virtual pointer of the test's own. The virtual pointer
# protocol is in no Debian 12 package, so its XML is kept here.
pkg_check_modules(ZB_WAYLAND_TEST REQUIRED IMPORTED_TARGET wayland-client)
find_program(ZB_WAYLAND_SCANNER wayland-scanner REQUIRED)
set(ZB_POINTER_PROTOCOL ${CMAKE_CURRENT_LIST_DIR}/protocols/wlr-virtual-pointer-unstable-v1.xml)
set(ZB_POINTER_HEADER ${CMAKE_CURRENT_BINARY_DIR}/wlr-virtual-pointer-unstable-v1-client-protocol.h)
set(ZB_POINTER_CODE ${CMAKE_CURRENT_BINARY_DIR}/wlr-virtual-pointer-unstable-v1-protocol.c)
add_custom_command(OUTPUT ${ZB_POINTER_HEADER} ${ZB_POINTER_CODE}
    COMMAND ${ZB_WAYLAND_SCANNER} client-header ${ZB_POINTER_PROTOCOL} ${ZB_POINTER_HEADER}
    COMMAND ${ZB_WAYLAND_SCANNER} private-code ${ZB_POINTER_PROTOCOL} ${ZB_POINTER_CODE}
    DEPENDS ${ZB_POINTER_PROTOCOL})
# The generated code is C, whose constants C++ would keep private.
enable_language(C)
add_executable(wayland_pointer_driver ${CMAKE_CURRENT_LIST_DIR}/wayland_pointer_driver.cpp ${ZB_POINTER_CODE}
    ${ZB_POINTER_HEADER})
target_include_directories(wayland_pointer_driver PRIVATE ${CMAKE_CURRENT_BINARY_DIR})
target_link_libraries(wayland_pointer_driver PRIVATE PkgConfig::ZB_WAYLAND_TEST)

zimbrel_add_test(canvas_wayland_test ${CMAKE_CURRENT_LIST_DIR}/canvas_wayland_test.cpp LIBS zb_parts FULL_LEAK_STACKS)
target_include_directories(canvas_wayland_test PRIVATE ${CMAKE_SOURCE_DIR})
target_compile_definitions(canvas_wayland_test PRIVATE ZIMBREL_PROGRAM="$<TARGET_FILE:zimbrel>"
    ZIMBREL_WAYLAND_POINTER="$<TARGET_FILE:wayland_pointer_driver>")
add_dependencies(canvas_wayland_test zimbrel wayland_pointer_driver)
