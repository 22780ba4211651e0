# The real zimbrel program under an Xvfb and a dummy JACK server that the
# benchmark starts itself: start-up, idle memory and CPU, pop-up opening and
# the Control Change rate with and without an open pop-up.
pkg_check_modules(ZB_APP_BENCH REQUIRED IMPORTED_TARGET x11 xtst jack)

zimbrel_add_benchmark(app_bench
    ${CMAKE_CURRENT_LIST_DIR}/app_bench.cpp
    ${CMAKE_SOURCE_DIR}/tests/integration/relay_pointer_driver.cpp
    LIBS PkgConfig::ZB_APP_BENCH Threads::Threads
)
target_include_directories(app_bench PRIVATE ${CMAKE_SOURCE_DIR})
target_compile_definitions(app_bench PRIVATE ZIMBREL_PROGRAM="$<TARGET_FILE:zimbrel>")
add_dependencies(app_bench zimbrel)

# The floor zimbrel is measured against (BM_AgainstFloor).
pkg_check_modules(ZB_FLOOR REQUIRED IMPORTED_TARGET x11 xi jack)
add_executable(zimbrel_floor ${CMAKE_CURRENT_LIST_DIR}/floor.cpp)
target_link_libraries(zimbrel_floor PRIVATE PkgConfig::ZB_FLOOR)
target_compile_definitions(app_bench PRIVATE ZIMBREL_FLOOR="$<TARGET_FILE:zimbrel_floor>")
add_dependencies(app_bench zimbrel_floor)
