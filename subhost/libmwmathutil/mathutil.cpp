// Single-precision scalar mathematics: binary32 in, binary32 out.
#include "subhost/control.h"
#include "subhost/trig/cr_trig.h"

#include <bit>
#include <cmath>

namespace {

// The log of the calls served, in their order, while a test has it open.
// A fixed table: serving a call never allocates, logged or not.
constexpr int32_t kLogCapacity = 256;
struct CallLog {
    bool open = false;
    int32_t length = 0;  // calls served while open; only the first kLogCapacity are kept
    subhost_mu_call calls[kLogCapacity];
};
CallLog callLog;

float logged(subhost_mu_function function, float x, float y, int32_t argCount, float result) {
    if (callLog.open) {
        if (callLog.length < kLogCapacity) {
            subhost_mu_call& call = callLog.calls[callLog.length];
            call.function = function;
            call.argCount = argCount;
            call.args[0] = std::bit_cast<uint32_t>(x);
            call.args[1] = std::bit_cast<uint32_t>(y);
            call.result = std::bit_cast<uint32_t>(result);
        }
        ++callLog.length;
    }
    return result;
}

}  // namespace

extern "C" {

// Correctly rounded, so that every platform gives the same bits.
float muSingleScalarCos(float x) { return logged(subhost_mu_cos, x, 0.0f, 1, subhost::trig::cos(x).value); }

float muSingleScalarSin(float x) { return logged(subhost_mu_sin, x, 0.0f, 1, subhost::trig::sin(x).value); }

// +1 or -1 by sign; both zeros give +0, and a NaN passes through.
float muSingleScalarSign(float x) {
    float sign = x;
    if (x > 0.0f) {
        sign = 1.0f;
    } else if (x < 0.0f) {
        sign = -1.0f;
    } else if (x == 0.0f) {
        sign = 0.0f;
    }
    return logged(subhost_mu_sign, x, 0.0f, 1, sign);
}

bool muSingleScalarIsNaN(float x) {
    const bool nan = x != x;
    logged(subhost_mu_isNaN, x, 0.0f, 1, nan ? 1.0f : 0.0f);
    return nan;
}

// The remainder takes the sign of x, as C's fmodf does.  Below |y| it is x
// itself, zeros with their sign included: the common case takes no division.
float muSingleScalarRem(float x, float y) {
    const float remainder = std::fabs(x) < std::fabs(y) ? x : fmodf(x, y);
    return logged(subhost_mu_rem, x, y, 2, remainder);
}

void subhost_mu_openLog(void) {
    callLog.open = true;
    callLog.length = 0;
}

void subhost_mu_closeLog(void) { callLog.open = false; }

int32_t subhost_mu_logLength(void) { return callLog.length; }

bool subhost_mu_logEntry(int32_t index, subhost_mu_call* call) {
    if (call == nullptr || index < 0 || index >= callLog.length || index >= kLogCapacity) return false;
    *call = callLog.calls[index];
    return true;
}

}  // extern "C"
