// The host's cosine and sine are correctly rounded: checked against the C
// library's extended-precision cosl and sinl on samples of every range, and
// bit for bit on the special values and on inputs that need the precise path.
// trig_exhaustive checks every input the same way.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <optional>
#include <string>

#include "subhost/control.h"
#include "subhost/trig/cr_trig.h"
#include "tests/trig/reference.h"

namespace {

float F(uint32_t bits) { return std::bit_cast<float>(bits); }
uint32_t B(float x) { return std::bit_cast<uint32_t>(x); }

struct Function {
    const char* name;
    float (*host)(float);
    subhost::trig::Result (*traced)(float);
    long double (*reference)(long double);
    bool cosine;
};

long double cosRef(long double x) { return cosl(x); }
long double sinRef(long double x) { return sinl(x); }

const Function kCos = {"cos", muSingleScalarCos, subhost::trig::cos, cosRef, true};
const Function kSin = {"sin", muSingleScalarSin, subhost::trig::sin, sinRef, false};

// --- special values ----------------------------------------------------------

struct SpecialCase {
    const char* name;
    const Function* fn;
    uint32_t in;
    uint32_t out;  // 0x7FC00000 stands for any NaN
};

const SpecialCase kSpecial[] = {
    {"cos_plus_zero", &kCos, 0x00000000u, 0x3F800000u},
    {"cos_minus_zero", &kCos, 0x80000000u, 0x3F800000u},
    {"sin_plus_zero", &kSin, 0x00000000u, 0x00000000u},
    {"sin_minus_zero_keeps_its_sign", &kSin, 0x80000000u, 0x80000000u},
    {"cos_plus_infinity", &kCos, 0x7F800000u, 0x7FC00000u},
    {"cos_minus_infinity", &kCos, 0xFF800000u, 0x7FC00000u},
    {"sin_plus_infinity", &kSin, 0x7F800000u, 0x7FC00000u},
    {"sin_minus_infinity", &kSin, 0xFF800000u, 0x7FC00000u},
    {"cos_quiet_nan", &kCos, 0x7FC00000u, 0x7FC00000u},
    {"cos_signalling_nan", &kCos, 0x7F800001u, 0x7FC00000u},
    {"sin_negative_nan", &kSin, 0xFFC00001u, 0x7FC00000u},
    {"sin_signalling_nan", &kSin, 0xFFBFFFFFu, 0x7FC00000u},
    // The smallest subnormal: the sine is the input itself, the cosine 1.
    {"sin_smallest_subnormal", &kSin, 0x00000001u, 0x00000001u},
    {"sin_minus_smallest_subnormal", &kSin, 0x80000001u, 0x80000001u},
    {"cos_smallest_subnormal", &kCos, 0x00000001u, 0x3F800000u},
    // The largest binary32 and 2π as the model's wrap uses it.
    {"cos_largest", &kCos, 0x7F7FFFFFu, 0x3F5A5F96u},
    {"sin_largest", &kSin, 0x7F7FFFFFu, 0xBF0599B3u},
    {"cos_two_pi", &kCos, 0x40C90FDBu, 0x3F800000u},
    {"sin_two_pi", &kSin, 0x40C90FDBu, 0x343BBD2Eu},
};

class SpecialTest : public ::testing::TestWithParam<SpecialCase> {};

TEST_P(SpecialTest, GivesExactBits) {
    const SpecialCase& c = GetParam();
    const float got = c.fn->host(F(c.in));
    if (c.out == 0x7FC00000u) {
        EXPECT_TRUE(got != got) << std::hex << B(got);
    } else {
        EXPECT_EQ(B(got), c.out);
    }
}

INSTANTIATE_TEST_SUITE_P(Trig, SpecialTest, ::testing::ValuesIn(kSpecial),
                         [](const auto& info) { return std::string(info.param.name); });

// --- samples of every range against cosl and sinl ------------------------------

struct Range {
    const char* name;
    uint32_t first, last;  // bits of positive binary32 values; each is also taken negated
    uint32_t stride;
    bool reduceFirst;  // cosl and sinl see the argument reduced by the test
};

// Strides are odd, so that the samples run through every last-bit pattern.
// Above 2π the test reduces the argument itself: some C libraries reduce
// large arguments with too short a π.
const Range kRanges[] = {
    {"subnormals", 0x00000001u, 0x007FFFFFu, 1021, false},
    {"below_pi_over_4", 0x00800000u, 0x3F490FDAu, 2003, false},
    {"pi_over_4_to_2_pi", 0x3F490FDBu, 0x40C90FDBu, 101, false},
    {"above_2_pi", 0x40C90FDCu, 0x7F7FFFFFu, 4001, true},
};

class RangeTest : public ::testing::TestWithParam<Range> {};

TEST_P(RangeTest, MatchesTheRoundedExtendedResult) {
    const Range& range = GetParam();
    for (const Function* fn : {&kCos, &kSin}) {
        int failures = 0;
        for (uint64_t bits = range.first; bits <= range.last && failures < 10; bits += range.stride) {
            const float x = F(static_cast<uint32_t>(bits));
            const long double extended =
                range.reduceFirst ? trig_reference::reducedCosOrSin(x, fn->cosine) : fn->reference(x);
            const std::optional<float> want = trig_reference::rounded(extended);
            ASSERT_TRUE(want.has_value()) << fn->name << " reference undecidable at 0x" << std::hex << bits;
            const bool odd = !fn->cosine;
            const float gotPlus = fn->host(x);
            const float gotMinus = fn->host(-x);
            const uint32_t wantMinus = odd ? B(-*want) : B(*want);
            if (B(gotPlus) != B(*want) || B(gotMinus) != wantMinus) {
                ++failures;
                ADD_FAILURE() << fn->name << "(±0x" << std::hex << bits << "): got 0x" << B(gotPlus) << " and 0x"
                              << B(gotMinus) << ", want 0x" << B(*want) << " and 0x" << wantMinus;
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Trig, RangeTest, ::testing::ValuesIn(kRanges),
                         [](const auto& info) { return std::string(info.param.name); });

// --- inputs whose double result lies too near a rounding boundary ------------
//
// The fast evaluation cannot decide these; the precise one must, and its
// result must be the rounded extended one.  Where the C library's cosf or
// sinf differs, its result is noted.

struct PreciseCase {
    const char* name;
    const Function* fn;
    uint32_t in;
    uint32_t out;
};

const PreciseCase kPrecise[] = {
    {"cos_just_below_2_pow_minus_12", &kCos, 0x397FFFFDu, 0x3F800000u},
    {"cos_small", &kCos, 0x3A400000u, 0x3F7FFFFCu},
    {"sin_small", &kSin, 0x3B2A0680u, 0x3B2A0673u},      // sinf 0x3B2A0674
    {"sin_0_006", &kSin, 0x3BC30FE8u, 0x3BC30F9Cu},      // sinf 0x3BC30F9D
    {"cos_0_218", &kCos, 0x3E5FA70Eu, 0x3F79EB10u},      // cosf 0x3F79EB11
    {"sin_0_475", &kSin, 0x3EF32001u, 0x3EEA1732u},      // sinf 0x3EEA1731
    {"cos_0_768", &kCos, 0x3F44A58Au, 0x3F381D46u},      // cosf 0x3F381D45
    {"cos_1_713", &kCos, 0x3FDB3C0Eu, 0xBE10E4B3u},      // cosf 0xBE10E4B4
    {"sin_2_486", &kSin, 0x401F2100u, 0x3F1BFC6Fu},      // sinf 0x3F1BFC70
    {"cos_3_498", &kCos, 0x405FE077u, 0xBF6FE7C3u},      // cosf 0xBF6FE7C2
    {"sin_5_090", &kSin, 0x40A2DF75u, 0xBF6DFC3Du},
    {"sin_456", &kSin, 0x43E423F5u, 0xBF2E7EE5u},        // sinf 0xBF2E7EE6
    {"cos_985847", &kCos, 0x4970AF79u, 0xBF7F2F3Bu},     // cosf 0xBF7F2F3C
    {"cos_1e19", &kCos, 0x5F18B878u, 0x3F7F14BBu},       // cosf 0x3F7F14BC
    {"sin_7_7e28", &kSin, 0x6F79E7ACu, 0x3E291E87u},
    {"cos_2_2e31", &kCos, 0x73898955u, 0x3F310A63u},
};

class PreciseTest : public ::testing::TestWithParam<PreciseCase> {};

TEST_P(PreciseTest, DecidesOnThePrecisePath) {
    const PreciseCase& c = GetParam();
    const subhost::trig::Result got = c.fn->traced(F(c.in));
    EXPECT_EQ(got.path, subhost::trig::Path::precise);
    EXPECT_EQ(B(got.value), c.out);
    EXPECT_EQ(B(c.fn->host(F(c.in))), c.out);
    EXPECT_EQ(trig_reference::rounded(trig_reference::reducedCosOrSin(F(c.in), c.fn->cosine)),
              std::optional<float>(F(c.out)));
    // The sine is odd, the cosine even, on this path too.
    const float minus = c.fn->traced(-F(c.in)).value;
    EXPECT_EQ(B(minus), c.fn->cosine ? c.out : (c.out ^ 0x80000000u));
}

INSTANTIATE_TEST_SUITE_P(Trig, PreciseTest, ::testing::ValuesIn(kPrecise),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
