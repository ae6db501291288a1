#include "model/rtGetInf.h"

#include <bit>
#include <cstdint>

#include "model/rt_nonfinite.h"

double rtGetInf() {
    return rtDoubleFromWords(0x7FF00000U, 0U);
}

float rtGetInfF() {
    return std::bit_cast<float>(0x7F800000U);
}

double rtGetMinusInf() {
    return rtDoubleFromWords(0xFFF00000U, 0U);
}

float rtGetMinusInfF() {
    return std::bit_cast<float>(0xFF800000U);
}
