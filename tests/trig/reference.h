// The reference for the binary32 cosine and sine: the C library's
// extended-precision cosl and sinl, rounded to binary32 where that rounding
// is certain.
#pragma once

#include <bit>
#include <cstdint>
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

}  // namespace trig_reference
