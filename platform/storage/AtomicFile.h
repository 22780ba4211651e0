#pragma once

// Replacing a file's whole content so that a reader sees either the old
// content or the new one, never a mix: the new bytes go to a temporary file
// beside the target, are flushed to the disk, and the temporary file is then
// renamed over the target. A crash or a full disk leaves the target as it
// was and no temporary file behind (short of a crash between the two steps).
//
// Thread rules: any thread; two writers of one path race like two renames.

#include <cstddef>

// 0 on success, else the errno value of the step that failed (for strerror).
int ReplaceFileContents(const char* path, const void* data, size_t size);
