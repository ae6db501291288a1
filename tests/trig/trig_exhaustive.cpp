// Every binary32 input of the host's cosine and sine against the C library's
// cosl and sinl rounded to binary32.  Not part of the regular test run: it
// takes minutes.  Prints, for each function, the inputs that differ, the
// inputs where cosl or sinl lies too close to a rounding boundary to decide,
// and how many inputs each evaluation path settled; exits with 1 unless every
// input matches and every one is decided.
#include <bit>
#include <cinttypes>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <vector>

#include "subhost/trig/cr_trig.h"
#include "tests/trig/reference.h"

namespace {

using subhost::trig::Path;
using subhost::trig::Result;

float F(uint32_t bits) { return std::bit_cast<float>(bits); }
uint32_t B(float x) { return std::bit_cast<uint32_t>(x); }

bool sameResult(float got, float want) { return (got != got && want != want) || B(got) == B(want); }

struct Tally {
    uint64_t checked = 0;
    uint64_t byPath[4] = {};
    std::vector<uint32_t> mismatches;
    std::vector<uint32_t> undecided;
    std::vector<uint32_t> preciseSamples;  // a few inputs that needed the precise path
};

// Each magnitude's reference serves both signs: cosl is even and sinl odd.
template <class Fn>
Tally sweep(Fn fn, long double (*reference)(long double), bool odd) {
    Tally t;
    for (uint64_t magnitude = 0; magnitude <= 0x7FFFFFFFu; ++magnitude) {
        const float x = F(static_cast<uint32_t>(magnitude));
        const std::optional<float> want = trig_reference::rounded(reference(x));
        for (const uint32_t bits : {static_cast<uint32_t>(magnitude), static_cast<uint32_t>(magnitude) | 0x80000000u}) {
            const Result got = fn(F(bits));
            ++t.checked;
            ++t.byPath[static_cast<int>(got.path)];
            if (got.path == Path::precise && t.preciseSamples.size() < 40 && (bits >> 31) == 0 &&
                (t.preciseSamples.empty() || bits > t.preciseSamples.back() + 0x01000000u)) {
                t.preciseSamples.push_back(bits);
            }
            if (!want) {
                t.undecided.push_back(bits);
                continue;
            }
            const float expected = (bits >> 31) != 0 && odd ? -*want : *want;
            if (!sameResult(got.value, expected)) t.mismatches.push_back(bits);
        }
    }
    return t;
}

bool report(const char* name, const Tally& t, Result (*fn)(float), long double (*reference)(long double)) {
    std::printf("%s: %" PRIu64 " inputs; paths: special %" PRIu64 ", fast %" PRIu64 ", precise %" PRIu64
                ", unresolved %" PRIu64 "\n",
                name, t.checked, t.byPath[0], t.byPath[1], t.byPath[2], t.byPath[3]);
    std::printf("%s: %zu differ from the rounded extended result, %zu undecidable by it\n", name,
                t.mismatches.size(), t.undecided.size());
    for (size_t i = 0; i < t.mismatches.size() && i < 20; ++i) {
        const float x = F(t.mismatches[i]);
        std::printf("  differs: x = 0x%08X (%.9g): got 0x%08X, extended %.21Lg\n", t.mismatches[i], x,
                    B(fn(x).value), reference(x));
    }
    for (size_t i = 0; i < t.undecided.size() && i < 50; ++i) {
        const float x = F(t.undecided[i]);
        std::printf("  undecidable: x = 0x%08X (%.9g): extended %.21Lg, got 0x%08X\n", t.undecided[i], x,
                    reference(x), B(fn(x).value));
    }
    std::printf("%s: inputs that took the precise path, e.g.:", name);
    for (const uint32_t bits : t.preciseSamples) std::printf(" 0x%08X", bits);
    std::printf("\n");
    return t.mismatches.empty() && t.undecided.empty() && t.byPath[3] == 0;
}

long double cosRef(long double x) { return cosl(x); }
long double sinRef(long double x) { return sinl(x); }

}  // namespace

int main() {
    const Tally c = sweep(subhost::trig::cos, cosRef, false);
    const bool cosOk = report("cos", c, subhost::trig::cos, cosRef);
    std::fflush(stdout);
    const Tally s = sweep(subhost::trig::sin, sinRef, true);
    const bool sinOk = report("sin", s, subhost::trig::sin, sinRef);
    return cosOk && sinOk ? 0 : 1;
}
