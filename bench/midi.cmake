# MIDI kit over JACK: spray-to-arrival latency and the sustained 10,000
# events/s rate, against a private dummy JACK server the benchmark starts.
zimbrel_add_benchmark(midi_jack_bench ${CMAKE_CURRENT_LIST_DIR}/midi_jack_bench.cpp LIBS zb_midi)
pkg_check_modules(ZB_BENCH_JACK REQUIRED IMPORTED_TARGET jack)
target_link_libraries(midi_jack_bench PRIVATE PkgConfig::ZB_BENCH_JACK)

# The main window's Port menu with 1,000 JACK consumers: click to complete.
zimbrel_add_benchmark(port_menu_bench ${CMAKE_CURRENT_LIST_DIR}/port_menu_bench.cpp
    LIBS zb_parts zb_midi PkgConfig::ZB_BENCH_JACK Threads::Threads)
target_include_directories(port_menu_bench PRIVATE ${CMAKE_SOURCE_DIR})

# The stream to one JACK consumer while another is linked and unlinked from
# the Port menu of the real main window: the longest stall.
zimbrel_add_benchmark(connect_stall_bench ${CMAKE_CURRENT_LIST_DIR}/connect_stall_bench.cpp
    LIBS zb_parts zb_midi PkgConfig::ZB_BENCH_JACK Threads::Threads)
target_include_directories(connect_stall_bench PRIVATE ${CMAKE_SOURCE_DIR})
