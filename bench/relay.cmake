# The cursor relay against an Xvfb the benchmark starts itself.
pkg_check_modules(ZB_RELAY_BENCH_X11 REQUIRED IMPORTED_TARGET x11 xtst)

zimbrel_add_benchmark(relay_bench
    relay_bench.cpp
    ${CMAKE_SOURCE_DIR}/tests/integration/relay_pointer_driver.cpp
    ${CMAKE_SOURCE_DIR}/capture/VCursorRelay.cpp ${CMAKE_SOURCE_DIR}/capture/PlayerChoice.cpp ${CMAKE_SOURCE_DIR}/capture/CursorData.cpp
    CountingAllocator.cpp
    LIBS zb_interface zb_input zb_core PkgConfig::ZB_RELAY_BENCH_X11
)
