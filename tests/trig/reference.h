// The reference for the binary32 cosine and sine: the C library's
// extended-precision cosl and sinl, rounded to binary32 where that rounding
// is certain.
#pragma once

#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <optional>

namespace trig_reference {

// cosl and sinl are trusted to within 2^-58 of the exact value, a margin of
// some thirty units of their last place.
inline constexpr long double kReferenceBound = 0x1p-58L;

// The binary32 nearest to the exact value that v stands for; nothing when a
// midpoint between two binary32 values lies within the bound of v, so that
// v cannot decide.  A NaN gives a NaN.
inline std::optional<float> rounded(long double v) {
    const float nearest = static_cast<float>(v);  // rounded to nearest
    const long double nearestValue = nearest;
    if (v != v || nearestValue == v) return nearest;
    const uint32_t bits = std::bit_cast<uint32_t>(nearest);
    const bool outward = (v < 0 ? -v : v) > (nearestValue < 0 ? -nearestValue : nearestValue);
    const float other = std::bit_cast<float>(outward ? bits + 1 : bits - 1);
    const long double midpoint = (nearestValue + static_cast<long double>(other)) / 2;  // exact
    const long double distance = v - midpoint;                                       // exact
    const long double size = v < 0 ? -v : v;
    if ((distance < 0 ? -distance : distance) <= size * kReferenceBound) return std::nullopt;
    return nearest;
}

// cosl or sinl of x, for x of any size, on a C library that reduces large
// arguments with a short π (x87's fcos and fsin carry 66 bits of it): the
// argument is reduced here, and cosl or sinl sees it below π/4.
//
// x·2/π modulo 4 is the sum of x times 32-digit pieces of 2/π, each product
// exact in long double (24 + 32 digits) and so its remainder modulo 4; the
// remainders are summed with their rounding errors kept.  The fraction f
// (|f| ≤ 1/2) then holds far more than 64 good bits, as no binary32 comes
// nearer a multiple of π/2 than 2^-30.
inline long double reducedCosOrSin(float x, bool cosine) {
    constexpr uint32_t kTwoOverPiDigits[] = {0xA2F9836E, 0x4E441529, 0xFC2757D1, 0xF534DDC0, 0xDB629599,
                                             0x3C439041, 0xFE5163AB, 0xDEBBC561, 0xB7246E3A, 0x424DD2E0};
    constexpr long double kHalfPi = 0xc.90fdaa22168c235p-3L;
    const long double ax = x < 0 ? -static_cast<long double>(x) : x;
    long double sum = 0, error = 0;
    for (size_t i = 0; i < std::size(kTwoOverPiDigits); ++i) {
        const long double piece = std::ldexp(static_cast<long double>(kTwoOverPiDigits[i]), -32 * static_cast<int>(i + 1));
        const long double remainder = std::fmod(ax * piece, 4.0L);
        const long double s = sum + remainder;
        const long double part = s - sum;
        error += (sum - (s - part)) + (remainder - part);
        sum = s;
    }
    const long double nearest = std::nearbyint(sum);
    const long double r = ((sum - nearest) + error) * kHalfPi;
    const unsigned quadrant = (static_cast<unsigned>(nearest) + (cosine ? 1 : 0)) & 3;
    const long double v = (quadrant & 1) != 0 ? cosl(r) : sinl(r);
    const bool negate = ((quadrant & 2) != 0) != (!cosine && x < 0);
    return negate ? -v : v;
}

}  // namespace trig_reference
