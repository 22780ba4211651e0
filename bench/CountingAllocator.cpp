#include "bench/CountingAllocator.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {

std::atomic<uint64_t> gAllocations { 0 };

} // namespace

uint64_t AllocationCount()
{
    return gAllocations.load();
}

// The replacements below pair malloc with free themselves; GCC cannot see
// that once it inlines them and warns about a mismatch that is not there.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

void* operator new(std::size_t size)
{
    ++gAllocations;
    if (void* memory = std::malloc(size ? size : 1))
        return memory;
    throw std::bad_alloc();
}

void operator delete(void* memory) noexcept
{
    std::free(memory);
}

void operator delete(void* memory, std::size_t) noexcept
{
    std::free(memory);
}
