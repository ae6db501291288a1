// The command-line call with arbitrary arguments: their count, classes,
// shapes, values and complex parts, strings, and record handles that point
// at a real record, at memory the process cannot read, at bytes of any
// content, or anywhere at all.  The module must answer every call with a
// result or a host error, never with undefined behaviour.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "fuzz_arrays.h"
#include "fuzz_support.h"
#include "host/simstruc.h"

namespace {

using namespace quarlin_fuzz;

// Memory a handle may name, made once.
struct Targets {
    Targets() {
        const long page = sysconf(_SC_PAGESIZE);
        closed = mmap(nullptr, static_cast<size_t>(page), PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        // A readable page followed by a closed one: a record that starts
        // near the end of the first runs into the second.
        edge = static_cast<uint8_t*>(
            mmap(nullptr, 2 * static_cast<size_t>(page), PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
        mprotect(edge + page, static_cast<size_t>(page), PROT_NONE);
        edgeStart = edge + page - sizeof(SimStruct) / 2;
        edgeStart -= reinterpret_cast<uintptr_t>(edgeStart) % alignof(SimStruct);
    }
    void* closed = nullptr;
    uint8_t* edge = nullptr;
    uint8_t* edgeStart = nullptr;
};

Targets& targets() {
    static Targets t;
    return t;
}

// Addresses outside what this process maps, and outside the sanitizer's
// own shadow memory (which no host would hand out either).
uintptr_t wildAddress(FuzzInput& in) {
    static constexpr uintptr_t kWild[] = {0x0, 0x8, 0x1000, 0xFFFF'FFFFull, 0x8000'0000'0000ull,
                                          0xFFFF'FFFF'FFFF'F000ull, 0xDEAD'BEEF'0000ull};
    return kWild[in.choice(sizeof kWild / sizeof kWild[0])] + in.choice(2) * 4;
}

// Garbage records: aligned, readable, filled with input bytes.
struct alignas(SimStruct) GarbageRecord {
    uint8_t bytes[sizeof(SimStruct) + 64];

    // The model name a garbage record points at may be any address of the
    // process's own memory, but not the sanitizer's shadow memory or beyond
    // the user address space: no host hands those out, and the sanitizer
    // cannot check reads there (it reports a fault that a plain build does
    // not have).  Such a pointer is moved to a page nothing is mapped at,
    // which the bind must still refuse.
    void keepNameOutOfTheShadow(size_t at) {  // a record starting `at` bytes in
        constexpr uintptr_t kShadowStart = 0x00007fff8000ull;
        constexpr uintptr_t kShadowEnd = 0x10007fff8000ull;
        constexpr uintptr_t kUserEnd = 0x800000000000ull;
        uintptr_t name = 0;
        std::memcpy(&name, bytes + at + offsetof(SimStruct, modelName), sizeof name);
        if ((name >= kShadowStart && name < kShadowEnd) || name >= kUserEnd) {
            name = 0x1000;
            std::memcpy(bytes + at + offsetof(SimStruct, modelName), &name, sizeof name);
        }
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput in(data, size);
    ArrayScope scope;
    subhost::Block block(module());  // a real, host-made record
    auto garbage = std::make_unique<GarbageRecord>();

    const auto nlhs = static_cast<int32_t>(in.choice(4));
    const size_t nrhs = in.choice(9);
    std::vector<const mxArray*> prhs;
    for (size_t i = 0; i < nrhs; ++i) {
        if (i == 1 && in.flip()) {
            const double mark = in.flip() ? subhost::kRecordHandleMark : interestingDouble(in);
            uintptr_t address = 0;
            switch (in.choice(6)) {
                case 0: address = reinterpret_cast<uintptr_t>(block.record()); break;
                case 1: address = reinterpret_cast<uintptr_t>(targets().closed); break;
                case 2: address = reinterpret_cast<uintptr_t>(targets().edgeStart); break;
                case 3:
                case 4: {
                    // Input bytes, repeated over the whole record.
                    const std::string pattern = in.text(255);
                    for (size_t b = 0; b < sizeof garbage->bytes; ++b)
                        garbage->bytes[b] = pattern.empty() ? 0 : static_cast<uint8_t>(pattern[b % pattern.size()]);
                    const size_t at = in.flip() ? 0 : 1 + in.choice(63);
                    garbage->keepNameOutOfTheShadow(at);
                    address = reinterpret_cast<uintptr_t>(garbage->bytes) + at;
                    break;
                }
                default: address = wildAddress(in); break;
            }
            prhs.push_back(subhost::makeRecordHandle(address, mark));
            continue;
        }
        if (i == 3 && in.flip()) {
            prhs.push_back(mxCreateDoubleScalar_800(in.flip() ? 0.0 : interestingDouble(in)));
            continue;
        }
        // The host passes no null argument; an empty one stands for none.
        mxArray* argument = makeArray(in);
        prhs.push_back(argument != nullptr ? argument : mxCreateDoubleMatrix_800(0, 0, mxREAL));
    }
    subhost::ArrayPtr result;
    const subhost::CallResult call = subhost::commandLineCall(module(), nlhs, prhs, &result);
    // A call that succeeds answers with the 40 sizes.
    if (call.ok && result &&
        (mxGetM_800(result.get()) != sizes_index::count || mxGetN_800(result.get()) != 1)) {
        __builtin_trap();
    }
    subhost_mex_clearRecords();
    return 0;
}
