# The cursor relay against an Xvfb that each test starts itself, and the
# relay's process under every kind of X session (through relay_probe).
pkg_check_modules(ZB_RELAY_X11_TEST REQUIRED IMPORTED_TARGET x11 xtst)

add_executable(relay_probe relay_probe.cpp ${CMAKE_SOURCE_DIR}/capture/VCursorRelay.cpp ${CMAKE_SOURCE_DIR}/capture/PlayerChoice.cpp ${CMAKE_SOURCE_DIR}/capture/CursorData.cpp)
target_link_libraries(relay_probe PRIVATE zb_interface zb_input zb_core)

zimbrel_add_test(relay_x11_test
    relay_x11_test.cpp
    relay_pointer_driver.cpp
    ${CMAKE_SOURCE_DIR}/capture/VCursorRelay.cpp ${CMAKE_SOURCE_DIR}/capture/PlayerChoice.cpp ${CMAKE_SOURCE_DIR}/capture/CursorData.cpp
    LIBS zb_interface zb_input zb_core PkgConfig::ZB_RELAY_X11_TEST
)

zimbrel_add_test(relay_session_test
    relay_session_test.cpp
    relay_pointer_driver.cpp
    LIBS PkgConfig::ZB_RELAY_X11_TEST
)
target_include_directories(relay_session_test PRIVATE ${CMAKE_SOURCE_DIR})
target_compile_definitions(relay_session_test PRIVATE RELAY_PROBE_PATH="$<TARGET_FILE:relay_probe>")
add_dependencies(relay_session_test relay_probe)
