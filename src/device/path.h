// Code page 932 aware path routines: a trail byte 0x5C inside a double-byte character is not
// a separator. The separator is a parameter so the POSIX build can join with '/'.
#pragma once

#include <cstddef>

namespace x9 {

inline constexpr size_t kPathBufferSize = 260;  // bytes, terminating zero included

// Whether the last character of path is the separator (a trail byte equal to it is not).
bool EndsWithSeparator(const char* path, char separator = '\\');

// Appends fileName to directory with exactly one separator between them. Returns false, and
// leaves directory unchanged, when the result and its zero would not fit in capacity bytes
// (directory itself is measured within capacity).
bool JoinPath(char* directory, size_t capacity, const char* fileName, char separator = '\\');

}  // namespace x9
