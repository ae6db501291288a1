// IEEE 754 infinities and NaNs for model code, in double and single
// precision, and the tests for them.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>

// A double as two 32-bit words.  The low word lies at the lower address; the
// order is fixed for the little-endian targets this module is built for.
struct rtDoubleWords {
    uint32_t low;   // fraction bits 0-31
    uint32_t high;  // sign, 11-bit exponent, fraction bits 32-51
};
static_assert(sizeof(rtDoubleWords) == sizeof(double));
static_assert(offsetof(rtDoubleWords, low) == 0);
static_assert(offsetof(rtDoubleWords, high) == 4);

inline double rtDoubleFromWords(uint32_t high, uint32_t low) {
    return std::bit_cast<double>(rtDoubleWords{low, high});
}

inline rtDoubleWords rtWordsOfDouble(double value) {
    return std::bit_cast<rtDoubleWords>(value);
}

// Zero at load; rt_InitInfAndNaN sets them, always to the same values.
extern double rtInf;
extern double rtMinusInf;
extern double rtNaN;
extern float rtInfF;
extern float rtMinusInfF;
extern float rtNaNF;

// The size of the model's real type is accepted for the interface's sake only.
void rt_InitInfAndNaN(size_t realSize);

bool rtIsInf(double value);
bool rtIsInfF(float value);
bool rtIsNaN(double value);
bool rtIsNaNF(float value);
