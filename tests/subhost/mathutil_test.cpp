// Single-precision scalar mathematics, checked bit for bit.
#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <string>

#include "subhost/control.h"

namespace {

float F(uint32_t bits) { return std::bit_cast<float>(bits); }
uint32_t B(float x) { return std::bit_cast<uint32_t>(x); }

struct UnaryCase {
    const char* name;
    float (*fn)(float);
    uint32_t in;
    uint32_t out;
};

const UnaryCase kUnary[] = {
    {"sign_positive", muSingleScalarSign, 0x40400000u /* 3 */, 0x3F800000u},
    {"sign_negative", muSingleScalarSign, 0xBF000000u /* -0.5 */, 0xBF800000u},
    {"sign_smallest_subnormal", muSingleScalarSign, 0x00000001u, 0x3F800000u},
    {"sign_plus_infinity", muSingleScalarSign, 0x7F800000u, 0x3F800000u},
    {"sign_minus_infinity", muSingleScalarSign, 0xFF800000u, 0xBF800000u},
    {"sign_plus_zero", muSingleScalarSign, 0x00000000u, 0x00000000u},
    {"sign_minus_zero_gives_plus_zero", muSingleScalarSign, 0x80000000u, 0x00000000u},
    {"sign_nan_passes_through", muSingleScalarSign, 0x7FC00000u, 0x7FC00000u},
    {"sign_negative_nan_keeps_its_sign", muSingleScalarSign, 0xFFC00000u, 0xFFC00000u},
    {"cos_zero", muSingleScalarCos, 0x00000000u, 0x3F800000u},
    {"cos_one", muSingleScalarCos, 0x3F800000u, 0x3F0A5140u},
    {"cos_three", muSingleScalarCos, 0x40400000u, 0xBF7D7026u},
    {"sin_minus_zero", muSingleScalarSin, 0x80000000u, 0x80000000u},
    {"sin_one", muSingleScalarSin, 0x3F800000u, 0x3F576AA4u},
    {"sin_half", muSingleScalarSin, 0x3F000000u, 0x3EF57744u},
};

class UnaryTest : public ::testing::TestWithParam<UnaryCase> {};

TEST_P(UnaryTest, GivesExactBits) {
    EXPECT_EQ(B(GetParam().fn(F(GetParam().in))), GetParam().out);
}

INSTANTIATE_TEST_SUITE_P(Mu, UnaryTest, ::testing::ValuesIn(kUnary),
                         [](const auto& info) { return std::string(info.param.name); });

struct RemCase {
    const char* name;
    uint32_t x;
    uint32_t y;
    uint32_t out;  // 0x7FC00000 stands for any NaN
};

const RemCase kRem[] = {
    {"minus_one_keeps_sign", 0xBF800000u, 0x43800000u /* 256 */, 0xBF800000u},
    {"above_divisor", 0x43808000u /* 257 */, 0x43800000u, 0x3F800000u},
    {"below_minus_divisor", 0xC3808000u /* -257 */, 0x43800000u, 0xBF800000u},
    {"exact_multiple_of_negative_is_minus_zero", 0xC4000000u /* -512 */, 0x43800000u, 0x80000000u},
    {"fraction", 0x40D00000u /* 6.5 */, 0x40000000u /* 2 */, 0x3F000000u},
    {"finite_by_infinity", 0x40A00000u /* 5 */, 0x7F800000u, 0x40A00000u},
    {"infinity_is_nan", 0x7F800000u, 0x43800000u, 0x7FC00000u},
    {"by_zero_is_nan", 0x40A00000u, 0x00000000u, 0x7FC00000u},
    {"minus_zero_keeps_sign", 0x80000000u, 0x43800000u, 0x80000000u},
    {"below_negative_divisor_is_itself", 0x3F800000u, 0xC3800000u /* -256 */, 0x3F800000u},
    {"equal_magnitude_is_zero_of_its_sign", 0xC3800000u, 0x43800000u, 0x80000000u},
    {"nan_is_nan", 0x7FC00000u, 0x43800000u, 0x7FC00000u},
    {"by_nan_is_nan", 0x3F800000u, 0x7FC00000u, 0x7FC00000u},
};

class RemTest : public ::testing::TestWithParam<RemCase> {};

TEST_P(RemTest, GivesExactBits) {
    const float r = muSingleScalarRem(F(GetParam().x), F(GetParam().y));
    if (GetParam().out == 0x7FC00000u) {
        EXPECT_TRUE(r != r);
    } else {
        EXPECT_EQ(B(r), GetParam().out);
    }
}

INSTANTIATE_TEST_SUITE_P(Mu, RemTest, ::testing::ValuesIn(kRem),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(MuIsNaN, TrueExactlyForNaN) {
    for (uint32_t bits : {0x7FC00000u, 0xFFC00000u, 0x7F800001u, 0xFFFFFFFFu}) {
        EXPECT_TRUE(muSingleScalarIsNaN(F(bits))) << std::hex << bits;
    }
    for (uint32_t bits : {0x7F800000u, 0xFF800000u, 0x00000000u, 0x80000000u, 0x7F7FFFFFu, 0x00000001u}) {
        EXPECT_FALSE(muSingleScalarIsNaN(F(bits))) << std::hex << bits;
    }
}

}  // namespace
