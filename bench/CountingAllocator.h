#pragma once

// Counts the heap allocations of the whole process made through operator
// new, from any thread, for benchmarks that promise none. Linking
// CountingAllocator.cpp replaces the global operator new; allocations of C
// libraries (malloc in Xlib or libjack) are not counted.

#include <cstdint>

uint64_t AllocationCount();
