// The non-finite values and their tests.
#include <gtest/gtest.h>

#include <cfloat>
#include <cstring>

#include "model/rtGetInf.h"
#include "model/rtGetNaN.h"
#include "model/rt_nonfinite.h"
#include "tests/model/model_fixture.h"

namespace {

double fromWords(uint32_t high, uint32_t low) {
    const uint64_t bits64 = (uint64_t{high} << 32) | low;
    return std::bit_cast<double>(bits64);
}

struct NonFinite : ::testing::Test {
    void SetUp() override { rt_InitInfAndNaN(8); }
};

TEST_F(NonFinite, ValuesHaveTheirBitPatterns) {
    struct DoubleRow {
        const char* name;
        double value;
        uint32_t high;
    };
    const DoubleRow doubles[] = {
        {"rtNaN", rtNaN, 0xFFF80000}, {"rtGetNaN", rtGetNaN(), 0xFFF80000},
        {"rtInf", rtInf, 0x7FF00000}, {"rtGetInf", rtGetInf(), 0x7FF00000},
        {"rtMinusInf", rtMinusInf, 0xFFF00000}, {"rtGetMinusInf", rtGetMinusInf(), 0xFFF00000},
    };
    for (const DoubleRow& row : doubles) {
        EXPECT_EQ(std::bit_cast<uint64_t>(row.value), uint64_t{row.high} << 32) << row.name;
    }
    struct FloatRow {
        const char* name;
        float value;
        uint32_t bits;
    };
    const FloatRow floats[] = {
        {"rtNaNF", rtNaNF, 0xFFC00000}, {"rtGetNaNF", rtGetNaNF(), 0xFFC00000},
        {"rtInfF", rtInfF, 0x7F800000}, {"rtGetInfF", rtGetInfF(), 0x7F800000},
        {"rtMinusInfF", rtMinusInfF, 0xFF800000}, {"rtGetMinusInfF", rtGetMinusInfF(), 0xFF800000},
    };
    for (const FloatRow& row : floats) {
        EXPECT_EQ(bits(row.value), row.bits) << row.name;
    }
    // The low word is at the lower address.
    const double inf = rtGetInf();
    uint32_t words[2];
    std::memcpy(words, &inf, sizeof words);
    EXPECT_EQ(words[0], 0U);
    EXPECT_EQ(words[1], 0x7FF00000U);
}

TEST_F(NonFinite, NaNTestsReadTheBits) {
    struct Row {
        const char* name;
        double value;
        bool isNaN;
    };
    const Row doubles[] = {
        {"rtNaN", rtNaN, true},
        {"signalling NaN, low word 1", fromWords(0x7FF00000, 1), true},
        {"NaN, high fraction only", fromWords(0x7FF00001, 0), true},
        {"negative quiet NaN", fromWords(0xFFF80000, 0), true},
        {"+infinity", fromWords(0x7FF00000, 0), false},
        {"-infinity", fromWords(0xFFF00000, 0), false},
        {"largest finite", DBL_MAX, false},
        {"zero", 0.0, false},
    };
    for (const Row& row : doubles) {
        EXPECT_EQ(rtIsNaN(row.value), row.isNaN) << row.name;
    }
    struct FloatRow {
        const char* name;
        uint32_t bits;
        bool isNaN;
    };
    const FloatRow floats[] = {
        {"rtNaNF", 0xFFC00000, true},
        {"signalling NaN", 0x7F800001, true},
        {"+infinity", 0x7F800000, false},
        {"-infinity", 0xFF800000, false},
        {"largest finite", 0x7F7FFFFF, false},
        {"zero", 0x00000000, false},
    };
    for (const FloatRow& row : floats) {
        EXPECT_EQ(rtIsNaNF(fromBits(row.bits)), row.isNaN) << row.name;
    }
}

TEST_F(NonFinite, InfinityTestsAreOrderedEquality) {
    struct Row {
        const char* name;
        double value;
        bool isInf;
    };
    const Row doubles[] = {
        {"rtInf", rtInf, true},   {"rtMinusInf", rtMinusInf, true}, {"rtNaN", rtNaN, false},
        {"1.0e308", 1.0e308, false}, {"zero", 0.0, false},          {"largest finite", DBL_MAX, false},
    };
    for (const Row& row : doubles) {
        EXPECT_EQ(rtIsInf(row.value), row.isInf) << row.name;
    }
    struct FloatRow {
        const char* name;
        float value;
        bool isInf;
    };
    const FloatRow floats[] = {
        {"rtInfF", rtInfF, true}, {"rtMinusInfF", rtMinusInfF, true}, {"rtNaNF", rtNaNF, false},
        {"zero", 0.0F, false},    {"largest finite", FLT_MAX, false},
    };
    for (const FloatRow& row : floats) {
        EXPECT_EQ(rtIsInfF(row.value), row.isInf) << row.name;
    }
}

// Before rt_InitInfAndNaN the six variables are zero, as at load: zero must
// still not count as infinite, and the NaN tests must still work.
TEST_F(NonFinite, TestsAnswerRightlyBeforeInitialisation) {
    rtInf = rtMinusInf = rtNaN = 0.0;
    rtInfF = rtMinusInfF = rtNaNF = 0.0F;
    EXPECT_FALSE(rtIsInf(0.0));
    EXPECT_FALSE(rtIsInfF(0.0F));
    EXPECT_TRUE(rtIsInf(fromWords(0x7FF00000, 0)));
    EXPECT_TRUE(rtIsInfF(fromBits(0xFF800000)));
    EXPECT_TRUE(rtIsNaN(fromWords(0x7FF00000, 1)));
    EXPECT_TRUE(rtIsNaNF(fromBits(0x7F800001)));
    rt_InitInfAndNaN(8);
    EXPECT_EQ(bits(rtInfF), 0x7F800000U);
}

TEST_F(NonFinite, InitialisingAgainChangesNothing) {
    struct Snapshot {
        double values[3];
        float valuesF[3];
    };
    auto take = [] { return Snapshot{{rtNaN, rtInf, rtMinusInf}, {rtNaNF, rtInfF, rtMinusInfF}}; };
    const Snapshot first = take();
    for (size_t size : {size_t{8}, size_t{4}, size_t{0}}) {
        rt_InitInfAndNaN(size);
        const Snapshot again = take();
        EXPECT_EQ(std::memcmp(first.values, again.values, sizeof first.values), 0) << "size " << size;
        EXPECT_EQ(std::memcmp(first.valuesF, again.valuesF, sizeof first.valuesF), 0) << "size " << size;
    }
}

}  // namespace
