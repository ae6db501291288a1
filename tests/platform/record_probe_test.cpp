// The operating system's answer to "can these bytes be read?", asked before
// the module reads a record a handle names.
#include <gtest/gtest.h>

#include <cstdint>

#include "gateway/record_probe.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace {

// Pages of this process's memory, readable until closed or released.
class Pages {
public:
    explicit Pages(size_t count) : size_(count * pageSize()) {
#if defined(_WIN32)
        memory_ = static_cast<unsigned char*>(VirtualAlloc(nullptr, size_, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
#else
        void* m = mmap(nullptr, size_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        memory_ = m == MAP_FAILED ? nullptr : static_cast<unsigned char*>(m);
#endif
    }
    ~Pages() { release(); }

    static size_t pageSize() {
#if defined(_WIN32)
        SYSTEM_INFO info;
        GetSystemInfo(&info);
        return info.dwPageSize;
#else
        return static_cast<size_t>(sysconf(_SC_PAGESIZE));
#endif
    }
    unsigned char* at(size_t page) const { return memory_ + page * pageSize(); }

    // No access at all to one page.
    void close(size_t page) {
#if defined(_WIN32)
        DWORD old;
        VirtualProtect(at(page), pageSize(), PAGE_NOACCESS, &old);
#else
        mprotect(at(page), pageSize(), PROT_NONE);
#endif
    }
    // A guard page: readable in name, but the first touch faults.
    void guard(size_t page) {
#if defined(_WIN32)
        DWORD old;
        VirtualProtect(at(page), pageSize(), PAGE_READWRITE | PAGE_GUARD, &old);
#else
        close(page);  // the nearest thing: a page that faults
#endif
    }
    // Back to the system: the addresses name nothing afterwards.
    void release() {
        if (memory_ == nullptr) return;
#if defined(_WIN32)
        VirtualFree(memory_, 0, MEM_RELEASE);
#else
        munmap(memory_, size_);
#endif
        memory_ = nullptr;
    }
    bool made() const { return memory_ != nullptr; }

private:
    size_t size_;
    unsigned char* memory_ = nullptr;
};

TEST(RecordProbe, AnswersForEveryKindOfMemory) {
    const size_t page = Pages::pageSize();
    Pages open(3);
    Pages closed(3);
    closed.close(1);
    Pages guarded(3);
    guarded.guard(1);
    Pages released(1);
    ASSERT_TRUE(open.made() && closed.made() && guarded.made() && released.made());
    unsigned char* gone = released.at(0);
    released.release();
    int onStack = 0;
    static const int kStatic = 1;

    struct Case {
        const char* name;
        const void* address;
        size_t size;
        bool readable;
    };
    const Case cases[] = {
        {"stack", &onStack, sizeof onStack, true},
        {"static data", &kStatic, sizeof kStatic, true},
        {"three committed pages", open.at(0), 3 * page, true},
        {"nothing at all", open.at(1), 0, true},
        {"null", nullptr, 8, false},
        {"released pages", gone, 8, false},
        {"page without access", closed.at(1), 8, false},
        {"record running into a page without access", closed.at(1) - 64, 128, false},
        {"record ending just before it", closed.at(1) - 64, 64, true},
        {"record starting just after it", closed.at(2), 64, true},
        {"guard page", guarded.at(1), 8, false},
        {"record running into a guard page", guarded.at(1) - 64, 128, false},
        {"range wrapping around the address space", open.at(0), SIZE_MAX, false},
    };
    for (const auto& c : cases) EXPECT_EQ(recordMemoryReadable(c.address, c.size), c.readable) << c.name;
}

}  // namespace
