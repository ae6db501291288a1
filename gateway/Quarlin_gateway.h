// The module's entry points.
#pragma once

#include <cstdint>
#include <optional>

#include "host/host_imports.h"
#include "host/simstruc.h"

#if defined(_WIN32)
#define QUARLIN_EXPORT extern "C" __declspec(dllexport)
#else
#define QUARLIN_EXPORT extern "C" __attribute__((visibility("default")))
#endif

QUARLIN_EXPORT void mexFunction(int32_t nlhs, mxArray* plhs[], int32_t nrhs, const mxArray* prhs[]);
QUARLIN_EXPORT void mexfilerequiredapiversion(uint32_t* releaseStamp, uint32_t* interfaceVersion);

// The command-line path of mexFunction: a sizes query or the bind of a
// host-made record.
void _ProcessMexSfunctionCmdLineCall(int32_t nlhs, mxArray* plhs[], int32_t nrhs,
                                     const mxArray* prhs[]);
SimStruct* _CreateSimStruct(int32_t nrhs, const mxArray* prhs[]);

// The third element of a record handle, and the version stamp of sizes[19].
inline constexpr int32_t kRecordHandleStamp = 8480229;

// A double of the host truncated toward zero, when that gives a 32-bit
// integer; empty for NaN and for values beyond the 32-bit range.
inline std::optional<int32_t> truncatedInt32(double value) {
    if (!(value > -2147483649.0 && value < 2147483648.0)) return std::nullopt;
    return static_cast<int32_t>(value);
}
