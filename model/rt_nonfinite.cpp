#include "model/rt_nonfinite.h"

#include <bit>
#include <cstdint>

#include "model/rtGetInf.h"
#include "model/rtGetNaN.h"

double rtInf;
double rtMinusInf;
double rtNaN;
float rtInfF;
float rtMinusInfF;
float rtNaNF;

void rt_InitInfAndNaN(size_t realSize) {
    (void)realSize;
    rtNaN = rtGetNaN();
    rtNaNF = rtGetNaNF();
    rtInf = rtGetInf();
    rtInfF = rtGetInfF();
    rtMinusInf = rtGetMinusInf();
    rtMinusInfF = rtGetMinusInfF();
}

// The infinity tests compare with the infinities themselves rather than with
// the variables, which are still zero until rt_InitInfAndNaN has run and
// would then call 0.0 infinite.  Once they are set both answers agree.
bool rtIsInf(double value) {
    return value == rtGetInf() || value == rtGetMinusInf();
}

bool rtIsInfF(float value) {
    return value == rtGetInfF() || value == rtGetMinusInfF();
}

// The NaN tests read the bits only, so they hold before initialisation too.
bool rtIsNaN(double value) {
    const rtDoubleWords words = rtWordsOfDouble(value);
    const bool exponentAllOnes = (words.high & 0x7FF00000U) == 0x7FF00000U;
    const bool fractionNonZero = (words.high & 0x000FFFFFU) != 0U || words.low != 0U;
    return exponentAllOnes && fractionNonZero;
}

bool rtIsNaNF(float value) {
    const uint32_t bits = std::bit_cast<uint32_t>(value);
    return (bits & 0x7F800000U) == 0x7F800000U && (bits & 0x007FFFFFU) != 0U;
}
