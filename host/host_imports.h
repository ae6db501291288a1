// Every host function the module imports, by the name the host's libraries
// export.  The array and extension functions carry the interface suffix _800.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdint>

#include "host/simstruc.h"

#if defined(_WIN32)
#define HOST_IMPORT __declspec(dllimport)
#else
#define HOST_IMPORT
#endif

// One macro per host library; the host's own libraries set them to export
// what each defines.
#ifndef HOST_MX_API
#define HOST_MX_API HOST_IMPORT
#endif
#ifndef HOST_MEX_API
#define HOST_MEX_API HOST_IMPORT
#endif
#ifndef HOST_MWSL_SIMTARGET_CORE_API
#define HOST_MWSL_SIMTARGET_CORE_API HOST_IMPORT
#endif
#ifndef HOST_MWSL_SIMTARGET_INSTRUMENTATION_API
#define HOST_MWSL_SIMTARGET_INSTRUMENTATION_API HOST_IMPORT
#endif
#ifndef HOST_MWMATHUTIL_API
#define HOST_MWMATHUTIL_API HOST_IMPORT
#endif
#ifndef HOST_FIXEDPOINT_API
#define HOST_FIXEDPOINT_API HOST_IMPORT
#endif

// Host array class ids.
namespace mx_class {
inline constexpr int32_t unknown = 0;
inline constexpr int32_t cell = 1;
inline constexpr int32_t structure = 2;
inline constexpr int32_t logical = 3;
inline constexpr int32_t character = 4;
inline constexpr int32_t voidClass = 5;
inline constexpr int32_t doubleClass = 6;
inline constexpr int32_t singleClass = 7;
inline constexpr int32_t int8 = 8;
inline constexpr int32_t uint8 = 9;
inline constexpr int32_t int16 = 10;
inline constexpr int32_t uint16 = 11;
inline constexpr int32_t int32 = 12;
inline constexpr int32_t uint32 = 13;
inline constexpr int32_t int64 = 14;
inline constexpr int32_t uint64 = 15;
inline constexpr int32_t function = 16;
inline constexpr int32_t opaque = 17;
inline constexpr int32_t object = 18;
}  // namespace mx_class

inline constexpr int32_t mxREAL = 0;
inline constexpr int32_t mxCOMPLEX = 1;

extern "C" {

// libmx
HOST_MX_API void* mxCalloc_800(size_t count, size_t size);
HOST_MX_API mxArray* mxCreateDoubleMatrix_800(size_t rows, size_t columns, int32_t complexity);
HOST_MX_API mxArray* mxCreateDoubleScalar_800(double value);
HOST_MX_API mxArray* mxCreateString_800(const char* text);
HOST_MX_API mxArray* mxCreateStructMatrix_800(size_t rows, size_t columns, int32_t fieldCount,
                                           const char** fieldNames);
HOST_MX_API mxArray* mxCreateUninitNumericMatrix_800(size_t rows, size_t columns, int32_t classId,
                                                  int32_t complexity);
HOST_MX_API void* mxGetData_800(const mxArray* array);
HOST_MX_API double* mxGetPr_800(const mxArray* array);
HOST_MX_API mxArray* mxGetFieldByNumber_800(const mxArray* array, size_t index, int32_t field);
HOST_MX_API void mxSetFieldByNumber_800(mxArray* array, size_t index, int32_t field, mxArray* value);
HOST_MX_API mxArray* mxGetCell_800(const mxArray* array, size_t index);
HOST_MX_API void mxSetCell_800(mxArray* array, size_t index, mxArray* value);
HOST_MX_API double mxGetScalar_800(const mxArray* array);
HOST_MX_API size_t mxGetM_800(const mxArray* array);
HOST_MX_API size_t mxGetN_800(const mxArray* array);
HOST_MX_API bool mxIsComplex_800(const mxArray* array);
HOST_MX_API bool mxIsNumeric_800(const mxArray* array);
HOST_MX_API int32_t mxGetClassID_800(const mxArray* array);
HOST_MX_API double mxGetInf_800(void);

// libmex
HOST_MEX_API int32_t mexCallMATLAB_800(int32_t nlhs, mxArray** plhs, int32_t nrhs, mxArray** prhs,
                                   const char* functionName);
HOST_MEX_API void mexWarnMsgTxt_800(const char* text);

// libmwsl_simtarget_core
HOST_MWSL_SIMTARGET_CORE_API void slmrCreateDiagnostic(const char* id, int32_t count, va_list args, void** result);
HOST_MWSL_SIMTARGET_CORE_API void slmrCreateFullPathToTop(const char* first, const char* second, void** result);
HOST_MWSL_SIMTARGET_CORE_API int32_t slmrGetTopTidFromMdlRefChildTid(SimStruct* S, int32_t tid, bool flag);
HOST_MWSL_SIMTARGET_CORE_API void slmrInitializeIOPortDataVectors(SimStruct* S, int32_t numInputs, int32_t numOutputs);
HOST_MWSL_SIMTARGET_CORE_API void slmrModelRefRegisterSimStateChecksum(SimStruct* S, const char* model,
                                                   const uint32_t* checksum);
HOST_MWSL_SIMTARGET_CORE_API void slmrRegisterSystemInitializeMethod(SimStruct* S, MdlMethod method);
HOST_MWSL_SIMTARGET_CORE_API void slmrRegisterSystemResetMethod(SimStruct* S, MdlMethod method);
HOST_MWSL_SIMTARGET_CORE_API void slmrRegisterPeriodicOutputUpdateMethod(SimStruct* S, MdlTidMethod method);

// libmwsl_simtarget_instrumentation
HOST_MWSL_SIMTARGET_INSTRUMENTATION_API int32_t slmrRunPluginEvent(SimStruct* S, const char* model, const char* event);

// libmwmathutil
HOST_MWMATHUTIL_API float muSingleScalarCos(float x);
HOST_MWMATHUTIL_API float muSingleScalarSin(float x);
HOST_MWMATHUTIL_API float muSingleScalarSign(float x);
HOST_MWMATHUTIL_API bool muSingleScalarIsNaN(float x);
HOST_MWMATHUTIL_API float muSingleScalarRem(float x, float y);

// libfixedpoint
HOST_FIXEDPOINT_API void ssFxpSetU32BitRegionCompliant(SimStruct* S, int32_t value);

}  // extern "C"
