// Whether memory named by a record handle can be read, asked of the operating
// system before the module reads a byte of it.  Handles are typed by people
// at the host's command line; a wrong one must not bring the host down.
#pragma once

#include <cstddef>

// True when all `size` bytes from `address` are readable by this process.
bool recordMemoryReadable(const void* address, size_t size);

// True when `text` is a zero-terminated text of fewer than `limit` bytes
// whose every byte, the terminator included, is readable.  Reads nothing
// that has not been found readable first.
bool recordTextReadable(const char* text, size_t limit);
