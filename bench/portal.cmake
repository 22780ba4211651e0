# Following the whole screen through the desktop portal against following it
# on X11: CPU per motion, and CPU while the screen changes.
pkg_check_modules(ZB_PORTAL_BENCH REQUIRED IMPORTED_TARGET x11 xtst libsystemd)
zimbrel_add_benchmark(portal_bench
    ${CMAKE_CURRENT_LIST_DIR}/portal_bench.cpp
    ${CMAKE_SOURCE_DIR}/tests/integration/relay_pointer_driver.cpp
    LIBS zb_parts zb_input PkgConfig::ZB_PORTAL_BENCH
)
target_include_directories(portal_bench PRIVATE ${CMAKE_SOURCE_DIR})
target_compile_definitions(portal_bench PRIVATE ZIMBREL_PROGRAM="$<TARGET_FILE:zimbrel>"
    COLOUR_WINDOW="$<TARGET_FILE:colour_window>")
add_dependencies(portal_bench zimbrel colour_window)
