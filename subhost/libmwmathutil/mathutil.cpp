// Single-precision scalar mathematics: binary32 in, binary32 out.
#include "subhost/control.h"

#include <cmath>

extern "C" {

float muSingleScalarCos(float x) { return cosf(x); }

float muSingleScalarSin(float x) { return sinf(x); }

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
