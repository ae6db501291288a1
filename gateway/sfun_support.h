// The generic S-function support layer: checked accessors and the one
// diagnostic convention, port/dimension/zero-crossing helpers, model-reference
// target hooks.  Block code uses these; the gateway and the block methods of
// this module use a few of them.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdint>

#include "host/host_imports.h"
#include "host/simstruc.h"

// "MEX level2 S-function "Quarlin_msp"": names the module in messages.
extern const char* const _sfcnName;
inline constexpr const char* kModuleName = "Quarlin_msp";

// ---------------------------------------------------------------------------
// Diagnostics.  A diagnostic text is
//   <diag_root><diag id="ID"><arguments>ARGS</arguments></diag></diag_root>
// with one <arg type="string">…</arg> or <arg type="numeric">…</arg> per
// argument.  Every report of the module takes one of these forms.

inline constexpr size_t kMsgBufferSize = 1024;

// Constant form: errorStatus of the root points at `text` (not copied).
void ssReportConstant(SimStruct* S, const char* text);
// Formatted form: `text` (already formatted, zero-terminated) is copied,
// at most 1023 bytes, into the root's msgBuffer, which becomes errorStatus.
void ssReportFormatted(SimStruct* S, const char* text);
// Guarded formatted form: as above, only while the root has no errorStatus.
void ssReportFormattedGuarded(SimStruct* S, const char* text);
// Local form: into the record's own localMsgBuffer; localErrorStatus is
// pointed at it only when it was null.
void ssReportLocal(SimStruct* S, const char* text);

// Host error / warning: "message" with the ID and arguments, then "error"
// (does not return) or "warning" (returns).  `argTypes` has one letter per
// argument: 's' for a text (const char*), 'd' for a number (double).
[[noreturn]] void ssRaiseHostError(const char* id, const char* argTypes, ...);
void ssRaiseHostWarning(const char* id, const char* argTypes, ...);
// A fault that no host catalogue describes: the host's "error" with an
// identifier of the module's own ("Quarlin_msp:...") and the whole text.
[[noreturn]] void ssRaiseModuleError(const char* id, const char* text);

// Plain-text warning "block '<path>': <text>" through mexWarnMsgTxt_800.
void ssWarning(SimStruct* S, const char* text);

// Message IDs (full, with the common beginning "Simulink:SFunctions:") and
// the constant texts of the messages that have no arguments.
namespace diag {
extern const char* const kInvalidFlagInSimulinkC;      // constant text
extern const char* const kNoMdlZeroCrossings;          // constant text
extern const char* const kNoMdlGetTimeOfNextVarHit;    // constant text
extern const char* const kIncorrectAbsTol;             // "Incorrect absolute tolerance value."
// Formats the UnexpectedFunctionCall text for `method` into `buffer`
// (kMsgBufferSize bytes).
void formatUnexpectedFunctionCall(char* buffer, const char* method);
}  // namespace diag

// ---------------------------------------------------------------------------
// Checked accessors.

void ReportIndexOutOfBoundsError(const char* file, int32_t line, SimStruct* S, int32_t lowest,
                                 int32_t* index, int32_t count, const char* accessor);
void _ssSetIWorkValueFcn(const char* file, int32_t line, SimStruct* S, int32_t index, int32_t value);
int32_t _ssGetIWorkValueFcn(const char* file, int32_t line, SimStruct* S, int32_t index);
void _ssSetRWorkValueFcn(const char* file, int32_t line, SimStruct* S, int32_t index, double value);
double _ssGetRWorkValueFcn(const char* file, int32_t line, SimStruct* S, int32_t index);
void _ssSetPWorkValueFcn(const char* file, int32_t line, SimStruct* S, int32_t index, void* value);
void* _ssGetPWorkValueFcn(const char* file, int32_t line, SimStruct* S, int32_t index);
int32_t _ssGetInputPortBufferDstPortFcn(const char* file, int32_t line, SimStruct* S, int32_t port);
// The whole check of an input signal, with the host errors for a port out of
// range and for a port without a signal.
void* ssCheckedInputPortSignal(SimStruct* S, int32_t port);
// Runs for every input in every output step, inline in the step methods: the
// good path is one range test and one null test.
inline void* _ssGetInputPortSignalFcn(SimStruct* S, int32_t port) {
    if (port >= 0 && port < ssGetNumInputPorts(S) && S->inputPorts[port].signal != nullptr)
        return S->inputPorts[port].signal;
    return ssCheckedInputPortSignal(S, port);
}
void* _ssGetInputPortSignalPtrsFcn(SimStruct* S, int32_t port);
void _ssSetInputPortDirectFeedThroughFcn(SimStruct* S, int32_t port, int32_t value);
void _ssSetInputPortReusableFcn(SimStruct* S, int32_t port, int32_t reusable);
void _ssSetOutputPortReusableFcn(SimStruct* S, int32_t port, int32_t reusable);

// ---------------------------------------------------------------------------
// Port dimensions, symbolic dimensions, zero-crossing signals.

extern const DimsInfo DYNAMIC_DIMENSION_DEF;
extern const DimsInfo* const DYNAMIC_DIMENSION;
inline constexpr int32_t kWidthFromCurrentDims = 2147483646;

int32_t _ssSetInputPortMatrixDimensions(SimStruct* S, int32_t port, int32_t rows, int32_t columns);
int32_t _ssSetOutputPortMatrixDimensions(SimStruct* S, int32_t port, int32_t rows, int32_t columns);
int32_t _ssSetInputPortVectorDimension(SimStruct* S, int32_t port, int32_t width);
int32_t _ssSetOutputPortVectorDimension(SimStruct* S, int32_t port, int32_t width);
int32_t _ssGetCurrentInputPortWidth(SimStruct* S, int32_t port);
int32_t _ssGetCurrentOutputPortWidth(SimStruct* S, int32_t port);

void _ssSetSymbolicDimsSupport(SimStruct* S, uint8_t flag);
int32_t _ssRegisterSymbolicDimsExpr(SimStruct* S, const char* expression);
int32_t _ssRegisterSymbolicDims(SimStruct* S, void* first, void* second);
int32_t _ssRegisterSymbolicDimsString(SimStruct* S, const char* text);
int32_t _ssRegisterSymbolicDimsIntValue(SimStruct* S, int32_t value);
int32_t _ssRegisterSymbolicDimsPlus(SimStruct* S, int32_t a, int32_t b);
int32_t _ssRegisterSymbolicDimsMinus(SimStruct* S, int32_t a, int32_t b);
int32_t _ssRegisterSymbolicDimsMultiply(SimStruct* S, int32_t a, int32_t b);
int32_t _ssRegisterSymbolicDimsDivide(SimStruct* S, int32_t a, int32_t b);
int64_t _ssGetNumSymbolicDims(SimStruct* S, int32_t id);
int32_t _ssGetSymbolicDim(SimStruct* S, int32_t id, int32_t index);
void _ssSetInputPortSymbolicDimsId(SimStruct* S, int32_t port, int32_t id);
int32_t _ssGetCompInputPortSymbolicDimsId(SimStruct* S, int32_t port);
void _ssSetCompInputPortSymbolicDimsId(SimStruct* S, int32_t port, int32_t id);
void _ssSetOutputPortSymbolicDimsId(SimStruct* S, int32_t port, int32_t id);
int32_t _ssGetCompOutputPortSymbolicDimsId(SimStruct* S, int32_t port);
void _ssSetCompOutputPortSymbolicDimsId(SimStruct* S, int32_t port, int32_t id);
void _ssSetCompDWorkSymbolicDimsId(SimStruct* S, int32_t index, int32_t id);
void _ssRegisterSymbolicEqualRelation(SimStruct* S, int32_t a, int32_t b);
void _ssRegisterSymbolicEqualValue(SimStruct* S, int32_t a, int32_t b);
int32_t _ssAmendLeadingSymbolicDims(SimStruct* S, int32_t a, int32_t b);
int32_t _ssAmendTrailingSymbolicDims(SimStruct* S, int32_t a, int32_t b);
int32_t ssIsRunTimeParamTunable(SimStruct* S, int32_t index);
double ssGetSFuncBlockHandle(SimStruct* S);
int32_t _ssGetCallSystemNumFcnCallDestinations(SimStruct* S, int32_t element);
uint8_t ssGetParameterTuningCompliance(SimStruct* S);
uint8_t ssGetIsInputPortElementContinuous(SimStruct* S, int32_t port, int32_t element);
void ssSetIsInputPortUsedForContZcSignal(SimStruct* S, int32_t port, uint8_t flag);
int32_t ssCreateAndAddZcSignalInfo(SimStruct* S);
void ssSetZcSignalName(SimStruct* S, int32_t signal, const char* name);
const char* ssGetZcSignalName(SimStruct* S, int32_t signal);
void ssSetZcSignalWidth(SimStruct* S, int32_t signal, int32_t width);
int32_t ssGetZcSignalWidth(SimStruct* S, int32_t signal);
void ssSetZcSignalZcEventType(SimStruct* S, int32_t signal, uint8_t type);
uint8_t ssGetZcSignalZcEventType(SimStruct* S, int32_t signal);
void ssSetZcSignalType(SimStruct* S, int32_t signal, int32_t type);
int32_t ssGetZcSignalType(SimStruct* S, int32_t signal);
void ssSetZcSignalZcTol(SimStruct* S, int32_t signal, double tolerance);
double ssGetZcSignalZcTol(SimStruct* S, int32_t signal);
void ssSetZcSignalNeedsEventNotification(SimStruct* S, int32_t signal, uint8_t flag);
uint8_t ssGetZcSignalNeedsEventNotification(SimStruct* S, int32_t signal);
int32_t ssGetNumZcSignals(SimStruct* S);
void* ssGetZcSignalVector(SimStruct* S, int32_t signal);
void ssSetZcSignalIsZcElementDisc(SimStruct* S, int32_t signal, int32_t element, uint8_t flag);
uint8_t ssGetZcSignalIsZcElementDisc(SimStruct* S, int32_t signal, int32_t element);
int32_t ssCloneAndAddZcSignalInfo(SimStruct* S, int32_t source);
void* ssGetZcSignalZcEvents(SimStruct* S, int32_t signal);
uint8_t ssGetIsZeroCrossControlDisabled(SimStruct* S);

// ---------------------------------------------------------------------------
// Model-reference target hooks and diagnostic-object helpers.

void* rt_GetMatSignalLoggingFileName();
void* rt_GetMatSigLogSelectorFileName();
void* rt_GetOSigstreamManager();
void* rt_slioCatalogue();
void* rtwGetPointerFromUniquePtr(void* uniquePtr);
void rt_RAccelReplaceFromFilename(const char* blockPath, char* fileName);
void rt_RAccelReplaceToFilename(const char* blockPath, char* fileName);
void slsaCacheDWorkPointerForSimTargetOP(void* block, void** pointer);
void slsaCacheDWorkDataForSimTargetOP(void* block, void* data, int32_t size);
void slsaSaveRawMemoryForSimTargetOP(void* block, const char* name, void** memory, int32_t size);

void* CreateDiagnosticAsVoidPtr(const char* id, int32_t count, ...);
void rt_ssSet_slErrMsg(SimStruct* S, void* diagnostic);
void rt_ssReportDiagnosticAsWarning(SimStruct* S, void* diagnostic);
void rt_ssReportDiagnosticAsInfo(SimStruct* S, void* diagnostic);
void* rt_CreateFullPathToTop(const char* top, const char* sub);
