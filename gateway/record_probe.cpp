#include "gateway/record_probe.h"

#include <cstdint>

#if defined(_WIN32)
#include <windows.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

#if defined(_WIN32)

bool recordMemoryReadable(const void* address, size_t size) {
    constexpr DWORD kReadable = PAGE_READONLY | PAGE_READWRITE | PAGE_WRITECOPY | PAGE_EXECUTE_READ |
                                PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY;
    auto at = reinterpret_cast<uintptr_t>(address);
    const uintptr_t end = at + size;
    if (end < at) return false;
    while (at < end) {
        MEMORY_BASIC_INFORMATION region{};
        if (VirtualQuery(reinterpret_cast<const void*>(at), &region, sizeof region) == 0) return false;
        if (region.State != MEM_COMMIT || (region.Protect & PAGE_GUARD) != 0 ||
            (region.Protect & kReadable) == 0)
            return false;
        at = reinterpret_cast<uintptr_t>(region.BaseAddress) + region.RegionSize;
    }
    return true;
}

#else

// The kernel copies what is written to a pipe from the caller's memory and
// answers EFAULT, instead of a fault, where that memory cannot be read.
// Unlike a residency query (mincore), this also refuses mapped pages that
// carry no read permission, such as guard pages.
bool recordMemoryReadable(const void* address, size_t size) {
    const auto start = reinterpret_cast<uintptr_t>(address);
    if (start + size < start) return false;
    int ends[2];
    if (pipe(ends) != 0) return false;
    fcntl(ends[1], F_SETFL, O_NONBLOCK);
    fcntl(ends[0], F_SETFL, O_NONBLOCK);

    // Chunks of one page at most: each fits the pipe whole, so a short write
    // can only mean an unreadable byte.
    constexpr size_t kChunk = 4096;
    char drain[kChunk];
    bool readable = true;
    for (size_t done = 0; readable && done < size;) {
        const size_t chunk = size - done < kChunk ? size - done : kChunk;
        const ssize_t written = write(ends[1], reinterpret_cast<const char*>(address) + done, chunk);
        readable = written == static_cast<ssize_t>(chunk);
        if (readable) {
            readable = read(ends[0], drain, chunk) == static_cast<ssize_t>(chunk);
            done += chunk;
        }
    }
    close(ends[0]);
    close(ends[1]);
    return readable;
}

#endif

// Memory is readable or not a page at a time (4096 bytes, or a multiple of
// it), so one probe per page the text reaches tells about each of its bytes.
// Only the text's own bytes, up to its terminator, are read.
bool recordTextReadable(const char* text, size_t limit) {
    constexpr uintptr_t kPage = 4096;
    for (size_t i = 0; i < limit; ++i) {
        const char* at = text + i;
        if ((i == 0 || reinterpret_cast<uintptr_t>(at) % kPage == 0) && !recordMemoryReadable(at, 1)) return false;
        if (*at == '\0') return true;
    }
    return false;
}
