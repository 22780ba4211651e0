#pragma once

// Names the calling thread, so that `top -H`, `perf` and /proc tell the
// program's threads apart instead of showing "zimbrel" for each. Linux keeps
// at most 15 bytes of a name; longer names are cut there.
//
// Thread rules: names only the calling thread. Threads started afterwards
// by this one inherit the name until they set their own.
void NameCurrentThread(const char* name);
