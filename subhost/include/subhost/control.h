// The substitute host's own side: what the engine and the tests use to run,
// script and inspect the host libraries that the module imports from.
//
// Everything here is exported by the same libraries as the imports
// (libmx, libmex, libmwsl_simtarget_core, libmwsl_simtarget_instrumentation,
// libmwmathutil, libfixedpoint) and is plain C, so it works across DLLs.
#pragma once

#include <cstddef>
#include <cstdint>

// One export macro per host library: a library exports what it defines and
// imports what the others define.  Each library is compiled with its own
// SUBHOST_BUILDING_<LIBRARY>.  The imports header declares the same
// functions through its per-library HOST_<LIBRARY>_API, set to these.
#if defined(_WIN32)
#define SUBHOST_EXPORT __declspec(dllexport)
#define SUBHOST_IMPORT __declspec(dllimport)
#else
#define SUBHOST_EXPORT __attribute__((visibility("default")))
#define SUBHOST_IMPORT
#endif

#if defined(SUBHOST_BUILDING_MX)
#define SUBHOST_MX_API SUBHOST_EXPORT
#else
#define SUBHOST_MX_API SUBHOST_IMPORT
#endif
#if defined(SUBHOST_BUILDING_MEX)
#define SUBHOST_MEX_API SUBHOST_EXPORT
#else
#define SUBHOST_MEX_API SUBHOST_IMPORT
#endif
#if defined(SUBHOST_BUILDING_MWSL_SIMTARGET_CORE)
#define SUBHOST_MWSL_SIMTARGET_CORE_API SUBHOST_EXPORT
#else
#define SUBHOST_MWSL_SIMTARGET_CORE_API SUBHOST_IMPORT
#endif
#if defined(SUBHOST_BUILDING_MWSL_SIMTARGET_INSTRUMENTATION)
#define SUBHOST_MWSL_SIMTARGET_INSTRUMENTATION_API SUBHOST_EXPORT
#else
#define SUBHOST_MWSL_SIMTARGET_INSTRUMENTATION_API SUBHOST_IMPORT
#endif
#if defined(SUBHOST_BUILDING_MWMATHUTIL)
#define SUBHOST_MWMATHUTIL_API SUBHOST_EXPORT
#else
#define SUBHOST_MWMATHUTIL_API SUBHOST_IMPORT
#endif
#if defined(SUBHOST_BUILDING_FIXEDPOINT)
#define SUBHOST_FIXEDPOINT_API SUBHOST_EXPORT
#else
#define SUBHOST_FIXEDPOINT_API SUBHOST_IMPORT
#endif

// A program that included the imports header first has them as imports
// already, which is what it needs; a host library includes this header first.
#if !defined(HOST_MX_API)
#define HOST_MX_API SUBHOST_MX_API
#define HOST_MEX_API SUBHOST_MEX_API
#define HOST_MWSL_SIMTARGET_CORE_API SUBHOST_MWSL_SIMTARGET_CORE_API
#define HOST_MWSL_SIMTARGET_INSTRUMENTATION_API SUBHOST_MWSL_SIMTARGET_INSTRUMENTATION_API
#define HOST_MWMATHUTIL_API SUBHOST_MWMATHUTIL_API
#define HOST_FIXEDPOINT_API SUBHOST_FIXEDPOINT_API
#endif

#include "host/host_imports.h"

extern "C" {

// ---------------------------------------------------------------------------
// libmx: arrays and memory beyond what the module imports.
//
// Every array and every mxCalloc block is owned by the innermost scope that
// the thread making it has open.  Storing an array into a struct field or a
// cell hands it to that parent, which then frees it.  Closing a scope frees
// whatever it still owns; a thread that ends closes the scopes it left open.
// There is always an outermost scope, shared by all threads and closed at
// process exit.

SUBHOST_MX_API void subhost_mx_beginScope(void);
SUBHOST_MX_API void subhost_mx_endScope(void);
// Takes an array (or mxCalloc block) out of its scope: the caller now owns it
// and frees it with mxDestroyArray_800 (or mxFree_800).
SUBHOST_MX_API void subhost_mx_release(const void* arrayOrBlock);
SUBHOST_MX_API size_t subhost_mx_liveArrays(void);  // arrays not yet freed
SUBHOST_MX_API size_t subhost_mx_liveBlocks(void);  // mxCalloc blocks not yet freed

SUBHOST_MX_API void mxDestroyArray_800(mxArray* array);
SUBHOST_MX_API void mxFree_800(void* block);
SUBHOST_MX_API mxArray* mxCreateNumericMatrix_800(size_t rows, size_t columns, int32_t classId,
                                               int32_t complexity);
SUBHOST_MX_API mxArray* mxCreateCellMatrix_800(size_t rows, size_t columns);
SUBHOST_MX_API mxArray* mxDuplicateArray_800(const mxArray* array);
SUBHOST_MX_API void* mxGetImagData_800(const mxArray* array);
SUBHOST_MX_API size_t mxGetNumberOfElements_800(const mxArray* array);
SUBHOST_MX_API size_t mxGetElementSize_800(const mxArray* array);
SUBHOST_MX_API int32_t mxGetNumberOfFields_800(const mxArray* array);
SUBHOST_MX_API const char* mxGetFieldNameByNumber_800(const mxArray* array, int32_t field);
SUBHOST_MX_API bool mxIsStruct_800(const mxArray* array);
SUBHOST_MX_API bool mxIsCell_800(const mxArray* array);
SUBHOST_MX_API bool mxIsChar_800(const mxArray* array);
// The text of a char array; valid while the array lives.  Null otherwise.
SUBHOST_MX_API const char* subhost_mx_string(const mxArray* array);

// ---------------------------------------------------------------------------
// libmex: entry calls, host errors, warnings, message objects.
//
// The host runs each call into the module through subhost_mex_guard.  The
// host's "error" function ends that call: control returns from the guard
// with 1 and the error's message object is kept until the next guard.

using subhost_entry_fn = void (*)(void* context);
SUBHOST_MEX_API int32_t subhost_mex_guard(subhost_entry_fn entry, void* context);
// The message object of the last error that ended a guarded call, or null.
SUBHOST_MEX_API const mxArray* subhost_mex_lastError(void);

// Message objects, as "message" makes them.
SUBHOST_MEX_API bool subhost_message_is(const mxArray* object);
SUBHOST_MEX_API const char* subhost_message_id(const mxArray* object);
SUBHOST_MEX_API int32_t subhost_message_argCount(const mxArray* object);
// An argument as it was given: a char array or a numeric array.
SUBHOST_MEX_API const mxArray* subhost_message_arg(const mxArray* object, int32_t index);

// Warnings: those raised through "warning" (message objects) and the texts
// given to mexWarnMsgTxt_800, in the order they came.
SUBHOST_MEX_API int32_t subhost_mex_warningCount(void);
SUBHOST_MEX_API const mxArray* subhost_mex_warning(int32_t index);
SUBHOST_MEX_API int32_t subhost_mex_warnTextCount(void);
SUBHOST_MEX_API const char* subhost_mex_warnText(int32_t index);
SUBHOST_MEX_API void subhost_mex_clearRecords(void);

// ---------------------------------------------------------------------------
// libmwsl_simtarget_core and libmwsl_simtarget_instrumentation: what the
// model-reference services received, per record.

SUBHOST_MWSL_SIMTARGET_CORE_API int32_t subhost_slmr_checksumCount(const SimStruct* S);
// Checksum registration `index` of the record: model name and four words.
SUBHOST_MWSL_SIMTARGET_CORE_API const char* subhost_slmr_checksumModel(const SimStruct* S, int32_t index);
SUBHOST_MWSL_SIMTARGET_CORE_API void subhost_slmr_checksumWords(const SimStruct* S, int32_t index, uint32_t words[4]);

SUBHOST_MWSL_SIMTARGET_CORE_API MdlMethod subhost_slmr_systemInitializeMethod(const SimStruct* S);
SUBHOST_MWSL_SIMTARGET_CORE_API MdlMethod subhost_slmr_systemResetMethod(const SimStruct* S);
SUBHOST_MWSL_SIMTARGET_CORE_API MdlTidMethod subhost_slmr_periodicOutputUpdateMethod(const SimStruct* S);
// How often the three registrations were made, in all, for the record.
SUBHOST_MWSL_SIMTARGET_CORE_API int32_t subhost_slmr_methodRegistrations(const SimStruct* S);

SUBHOST_MWSL_SIMTARGET_CORE_API int32_t subhost_slmr_ioPortVectorsCalls(const SimStruct* S);

// Task ids answered by slmrGetTopTidFromMdlRefChildTid: by default the child
// task id itself; a test may set another answer per child task id.
SUBHOST_MWSL_SIMTARGET_CORE_API void subhost_slmr_setTopTid(int32_t childTid, int32_t answer);
SUBHOST_MWSL_SIMTARGET_CORE_API void subhost_slmr_clearTopTids(void);

SUBHOST_MWSL_SIMTARGET_INSTRUMENTATION_API int32_t subhost_slmr_pluginEventCount(const SimStruct* S);
SUBHOST_MWSL_SIMTARGET_INSTRUMENTATION_API const char* subhost_slmr_pluginEventModel(const SimStruct* S, int32_t index);
SUBHOST_MWSL_SIMTARGET_INSTRUMENTATION_API const char* subhost_slmr_pluginEventName(const SimStruct* S, int32_t index);
// Events served since the process started, for every record, forgotten or not.
SUBHOST_MWSL_SIMTARGET_INSTRUMENTATION_API int32_t subhost_slmr_pluginEventsRun(void);

// Diagnostic objects made by slmrCreateDiagnostic (host-owned, freed at
// subhost_slmr_forgetAll or exit).  Arguments are kept as pointer-sized values.
SUBHOST_MWSL_SIMTARGET_CORE_API bool subhost_slmr_isDiagnostic(const void* object);
SUBHOST_MWSL_SIMTARGET_CORE_API const char* subhost_slmr_diagnosticId(const void* object);
SUBHOST_MWSL_SIMTARGET_CORE_API int32_t subhost_slmr_diagnosticArgCount(const void* object);
SUBHOST_MWSL_SIMTARGET_CORE_API intptr_t subhost_slmr_diagnosticArg(const void* object, int32_t index);
// Make slmrCreateDiagnostic hand back null (true) or objects (false).
SUBHOST_MWSL_SIMTARGET_CORE_API void subhost_slmr_refuseDiagnostics(bool refuse);

// Full paths made by slmrCreateFullPathToTop: "first/second" as a
// host-owned text; null when either pointer is null.
SUBHOST_MWSL_SIMTARGET_CORE_API int32_t subhost_slmr_fullPathCount(void);

// Forget what was recorded for one record (the host is done with it), or
// for all records.
SUBHOST_MWSL_SIMTARGET_CORE_API void subhost_slmr_forget(const SimStruct* S);
SUBHOST_MWSL_SIMTARGET_CORE_API void subhost_slmr_forgetAll(void);

// ---------------------------------------------------------------------------
// libmwmathutil: an ordered log of the calls served, with their argument
// and result bits (an IsNaN result as 1.0f or 0.0f).

enum subhost_mu_function : int32_t {
    subhost_mu_cos,
    subhost_mu_sin,
    subhost_mu_sign,
    subhost_mu_isNaN,
    subhost_mu_rem,
};

struct subhost_mu_call {
    subhost_mu_function function;
    int32_t argCount;
    uint32_t args[2];
    uint32_t result;
};

// Opening empties the log; calls are logged until it is closed.  The log
// keeps the first 256 calls and counts the rest.
SUBHOST_MWMATHUTIL_API void subhost_mu_openLog(void);
SUBHOST_MWMATHUTIL_API void subhost_mu_closeLog(void);
SUBHOST_MWMATHUTIL_API int32_t subhost_mu_logLength(void);
SUBHOST_MWMATHUTIL_API bool subhost_mu_logEntry(int32_t index, subhost_mu_call* call);

// ---------------------------------------------------------------------------
// libfixedpoint

SUBHOST_FIXEDPOINT_API int32_t subhost_fxp_callCount(const SimStruct* S);
SUBHOST_FIXEDPOINT_API int32_t subhost_fxp_lastValue(const SimStruct* S);
SUBHOST_FIXEDPOINT_API void subhost_fxp_forgetAll(void);

}  // extern "C"
