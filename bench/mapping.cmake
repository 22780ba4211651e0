zimbrel_add_benchmark(mapping_bench ${CMAKE_CURRENT_SOURCE_DIR}/mapping_bench.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/CountingAllocator.cpp LIBS zb_parts)
