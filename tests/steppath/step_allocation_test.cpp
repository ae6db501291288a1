#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <new>
#include <ostream>
#include <string>

#include "subhost/control.h"
#include "subhost/engine.h"

namespace {

std::atomic<long> allocations{0};

std::string modulePath() {
    const char* dir = std::getenv("QUARLIN_BUILD_DIR");
    return std::string(dir != nullptr ? dir : ".") + QUARLIN_MODULE_IN_BUILD;
}

}  // namespace

// Built only without the sanitizers, whose allocators are their own.
// The C allocator's entry points, defined in the program, take the place of
// the C library's for every library loaded into it, the module and the host
// libraries among them; each counts and hands on to the C library's own.
extern "C" {
void* __libc_malloc(std::size_t size);
void* __libc_calloc(std::size_t count, std::size_t size);
void* __libc_realloc(void* p, std::size_t size);
void* __libc_memalign(std::size_t alignment, std::size_t size);
void __libc_free(void* p);

void* malloc(std::size_t size) {
    allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_malloc(size);
}
void* calloc(std::size_t count, std::size_t size) {
    allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_calloc(count, size);
}
void* realloc(void* p, std::size_t size) {
    allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_realloc(p, size);
}
void* aligned_alloc(std::size_t alignment, std::size_t size) {
    allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_memalign(alignment, size);
}
void free(void* p) { __libc_free(p); }
}

// operator new is counted on its own as well, whatever it takes its memory from.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(std::size_t size) {
    allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }


namespace {

enum class Stepping { flags, periodic };

struct Case {
    const char* name;
    Stepping stepping;
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

class StepAllocation : public ::testing::TestWithParam<Case> {};

TEST_P(StepAllocation, StepsMakeNoHeapAllocation) {
    subhost::Module module(modulePath());
    ASSERT_TRUE(module.loaded()) << module.error();
    subhost::Block block(module);
    ASSERT_TRUE(block.setUp()) << block.setUp().describe();

    auto step = [&](int k) {
        const float phase = 0.01f * static_cast<float>(k);
        block.setInput(0, -std::sin(phase));
        block.setInput(1, std::cos(phase));
        block.setInput(2, 3.0f * std::cos(phase));
        block.setInput(3, 3.0f * std::sin(phase));
        bool ok = false;
        if (GetParam().stepping == Stepping::flags) {
            ok = block.outputs(0).ok && block.update().ok;
        } else {
            ok = block.periodicOutputUpdate(0).ok;
        }
        return ok;
    };

    // Warm up: the host's first calls may size its own bookkeeping.
    for (int k = 0; k < 100; ++k) ASSERT_TRUE(step(k));

    // The counter sees what it should: the host's allocator, which takes its
    // memory from the C library's calloc inside the host library, counts.
    const long probe = allocations.load();
    void* memory = mxCalloc_800(1, 8);
    ASSERT_GT(allocations.load(), probe) << "the host library's C allocations are not counted";
    subhost_mx_release(memory);
    mxFree_800(memory);

    const long before = allocations.load();
    bool allOk = true;
    for (int k = 100; k < 10100; ++k) allOk = step(k) && allOk;
    const long made = allocations.load() - before;
    EXPECT_TRUE(allOk);
    EXPECT_EQ(made, 0) << "heap allocations in 10000 steps";
    EXPECT_TRUE(std::isfinite(block.output(0)));
}

INSTANTIATE_TEST_SUITE_P(Engine, StepAllocation,
                         ::testing::Values(Case{"Flags104And105", Stepping::flags},
                                           Case{"PeriodicOutputUpdate", Stepping::periodic}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
