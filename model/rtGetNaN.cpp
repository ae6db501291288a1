#include "model/rtGetNaN.h"

#include <bit>
#include <cstdint>

#include "model/rt_nonfinite.h"

double rtGetNaN() {
    return rtDoubleFromWords(0xFFF80000U, 0U);
}

float rtGetNaNF() {
    return std::bit_cast<float>(0xFFC00000U);
}
