# JACK servers coming and going (reconnection time) and jackd beside
# PipeWire's JACK (pointer-to-consumer latency at 64 frames), in one run.
zimbrel_add_benchmark(jack_servers_bench ${CMAKE_CURRENT_LIST_DIR}/jack_servers_bench.cpp LIBS zb_midi)
target_compile_definitions(jack_servers_bench PRIVATE APP_BENCH="$<TARGET_FILE:app_bench>")
add_dependencies(jack_servers_bench app_bench)
