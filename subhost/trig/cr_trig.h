// Correctly rounded binary32 cosine and sine: for every binary32 input, the
// binary32 nearest to the exact value.  Plain double and integer arithmetic
// only, so that every platform gives the same bits.
#pragma once

#include <cstdint>

namespace subhost::trig {

// How a result was reached: without evaluation (zero, infinity, NaN), by the
// double-precision evaluation alone, or by the double-double evaluation that
// settles the inputs whose double result lies too close to a rounding
// boundary.  `unresolved` would mean that even the double-double result
// could not be placed on one side of a boundary; it is then rounded as it
// stands.
enum class Path : uint8_t { special, fast, precise, unresolved };

struct Result {
    float value;
    Path path;
};

Result cos(float x);
Result sin(float x);

}  // namespace subhost::trig
