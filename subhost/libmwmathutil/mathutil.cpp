// Single-precision scalar mathematics: binary32 in, binary32 out.
#define HOST_API SUBHOST_API
#include "subhost/control.h"
#include "subhost/trig/cr_trig.h"

#include <cmath>

extern "C" {

// Correctly rounded, so that every platform gives the same bits.
float muSingleScalarCos(float x) { return subhost::trig::cos(x).value; }

float muSingleScalarSin(float x) { return subhost::trig::sin(x).value; }

// +1 or -1 by sign; both zeros give +0, and a NaN passes through.
float muSingleScalarSign(float x) {
    if (x > 0.0f) return 1.0f;
    if (x < 0.0f) return -1.0f;
    if (x == 0.0f) return 0.0f;
    return x;
}

bool muSingleScalarIsNaN(float x) { return x != x; }

// The remainder takes the sign of x, as C's fmodf does.
float muSingleScalarRem(float x, float y) { return fmodf(x, y); }

}  // extern "C"
