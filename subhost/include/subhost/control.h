// The substitute host's own side: what the engine and the tests use to run,
// script and inspect the host libraries that the module imports from.
//
// Everything here is exported by the same libraries as the imports
// (libmx, libmex, libmwsl_simtarget_core, libmwsl_simtarget_instrumentation,
// libmwmathutil, libfixedpoint) and is plain C, so it works across DLLs.
#pragma once

#include <cstddef>
#include <cstdint>

// Defined before the imports so that the host libraries can declare them
// with `#define HOST_API SUBHOST_API`.
#if defined(_WIN32)
#if defined(SUBHOST_BUILDING)
#define SUBHOST_API __declspec(dllexport)
#else
#define SUBHOST_API __declspec(dllimport)
#endif
#else
#define SUBHOST_API __attribute__((visibility("default")))
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

SUBHOST_API void subhost_mx_beginScope(void);
SUBHOST_API void subhost_mx_endScope(void);
// Takes an array (or mxCalloc block) out of its scope: the caller now owns it
// and frees it with mxDestroyArray_800 (or mxFree_800).
SUBHOST_API void subhost_mx_release(const void* arrayOrBlock);
SUBHOST_API size_t subhost_mx_liveArrays(void);  // arrays not yet freed
SUBHOST_API size_t subhost_mx_liveBlocks(void);  // mxCalloc blocks not yet freed

SUBHOST_API void mxDestroyArray_800(mxArray* array);
SUBHOST_API void mxFree_800(void* block);
SUBHOST_API mxArray* mxCreateNumericMatrix_800(size_t rows, size_t columns, int32_t classId,
                                               int32_t complexity);
SUBHOST_API mxArray* mxCreateCellMatrix_800(size_t rows, size_t columns);
SUBHOST_API mxArray* mxDuplicateArray_800(const mxArray* array);
SUBHOST_API void* mxGetImagData_800(const mxArray* array);
SUBHOST_API size_t mxGetNumberOfElements_800(const mxArray* array);
SUBHOST_API size_t mxGetElementSize_800(const mxArray* array);
SUBHOST_API int32_t mxGetNumberOfFields_800(const mxArray* array);
SUBHOST_API const char* mxGetFieldNameByNumber_800(const mxArray* array, int32_t field);
SUBHOST_API bool mxIsStruct_800(const mxArray* array);
SUBHOST_API bool mxIsCell_800(const mxArray* array);
SUBHOST_API bool mxIsChar_800(const mxArray* array);
// The text of a char array; valid while the array lives.  Null otherwise.
SUBHOST_API const char* subhost_mx_string(const mxArray* array);

// ---------------------------------------------------------------------------
// libmex: entry calls, host errors, warnings, message objects.
//
// The host runs each call into the module through subhost_mex_guard.  The
// host's "error" function ends that call: control returns from the guard
// with 1 and the error's message object is kept until the next guard.

using subhost_entry_fn = void (*)(void* context);
SUBHOST_API int32_t subhost_mex_guard(subhost_entry_fn entry, void* context);
// The message object of the last error that ended a guarded call, or null.
SUBHOST_API const mxArray* subhost_mex_lastError(void);

// Message objects, as "message" makes them.
SUBHOST_API bool subhost_message_is(const mxArray* object);
SUBHOST_API const char* subhost_message_id(const mxArray* object);
SUBHOST_API int32_t subhost_message_argCount(const mxArray* object);
// An argument as it was given: a char array or a numeric array.
SUBHOST_API const mxArray* subhost_message_arg(const mxArray* object, int32_t index);

// Warnings: those raised through "warning" (message objects) and the texts
// given to mexWarnMsgTxt_800, in the order they came.
SUBHOST_API int32_t subhost_mex_warningCount(void);
SUBHOST_API const mxArray* subhost_mex_warning(int32_t index);
SUBHOST_API int32_t subhost_mex_warnTextCount(void);
SUBHOST_API const char* subhost_mex_warnText(int32_t index);
SUBHOST_API void subhost_mex_clearRecords(void);

// ---------------------------------------------------------------------------
// libmwsl_simtarget_core and libmwsl_simtarget_instrumentation: what the
// model-reference services received, per record.

SUBHOST_API int32_t subhost_slmr_checksumCount(const SimStruct* S);
// Checksum registration `index` of the record: model name and four words.
SUBHOST_API const char* subhost_slmr_checksumModel(const SimStruct* S, int32_t index);
SUBHOST_API void subhost_slmr_checksumWords(const SimStruct* S, int32_t index, uint32_t words[4]);

SUBHOST_API MdlMethod subhost_slmr_systemInitializeMethod(const SimStruct* S);
SUBHOST_API MdlMethod subhost_slmr_systemResetMethod(const SimStruct* S);
SUBHOST_API MdlTidMethod subhost_slmr_periodicOutputUpdateMethod(const SimStruct* S);
// How often the three registrations were made, in all, for the record.
SUBHOST_API int32_t subhost_slmr_methodRegistrations(const SimStruct* S);

SUBHOST_API int32_t subhost_slmr_ioPortVectorsCalls(const SimStruct* S);

// Task ids answered by slmrGetTopTidFromMdlRefChildTid: by default the child
// task id itself; a test may set another answer per child task id.
SUBHOST_API void subhost_slmr_setTopTid(int32_t childTid, int32_t answer);
SUBHOST_API void subhost_slmr_clearTopTids(void);

SUBHOST_API int32_t subhost_slmr_pluginEventCount(const SimStruct* S);
SUBHOST_API const char* subhost_slmr_pluginEventModel(const SimStruct* S, int32_t index);
SUBHOST_API const char* subhost_slmr_pluginEventName(const SimStruct* S, int32_t index);
// Events served since the process started, for every record, forgotten or not.
SUBHOST_API int32_t subhost_slmr_pluginEventsRun(void);

// Diagnostic objects made by slmrCreateDiagnostic (host-owned, freed at
// subhost_slmr_forgetAll or exit).  Arguments are kept as pointer-sized values.
SUBHOST_API bool subhost_slmr_isDiagnostic(const void* object);
SUBHOST_API const char* subhost_slmr_diagnosticId(const void* object);
SUBHOST_API int32_t subhost_slmr_diagnosticArgCount(const void* object);
SUBHOST_API intptr_t subhost_slmr_diagnosticArg(const void* object, int32_t index);
// Make slmrCreateDiagnostic hand back null (true) or objects (false).
SUBHOST_API void subhost_slmr_refuseDiagnostics(bool refuse);

// Full paths made by slmrCreateFullPathToTop: "first/second" as a
// host-owned text; null when either pointer is null.
SUBHOST_API int32_t subhost_slmr_fullPathCount(void);

// Forget what was recorded for one record (the host is done with it), or
// for all records.
SUBHOST_API void subhost_slmr_forget(const SimStruct* S);
SUBHOST_API void subhost_slmr_forgetAll(void);

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
SUBHOST_API void subhost_mu_openLog(void);
SUBHOST_API void subhost_mu_closeLog(void);
SUBHOST_API int32_t subhost_mu_logLength(void);
SUBHOST_API bool subhost_mu_logEntry(int32_t index, subhost_mu_call* call);

// ---------------------------------------------------------------------------
// libfixedpoint

SUBHOST_API int32_t subhost_fxp_callCount(const SimStruct* S);
SUBHOST_API int32_t subhost_fxp_lastValue(const SimStruct* S);
SUBHOST_API void subhost_fxp_forgetAll(void);

}  // extern "C"
