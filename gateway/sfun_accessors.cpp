// Checked accessors of the block record: work vectors and buffer destination
// ports by clamped index, input signals and direct feed-through by a host
// error on a bad port, and the obsolete reusable setters.

#include <cstdint>

#include "gateway/sfun_messages.h"
#include "gateway/sfun_support.h"
#include "host/simstruc.h"

namespace {

constexpr const DiagMessage& kIndexOutOfBound = diagMessage("SimStructIndexOutOfBound");
constexpr const DiagMessage& kInvalidInputPort = diagMessage("SimStructLevel2InvalidInputPortNumber");
constexpr const DiagMessage& kReusableInputSignal =
    diagMessage("SimStructLevel2InvalidAccessToReusableInputSignal");
constexpr const DiagMessage& kNonDirectFeedthroughSignal =
    diagMessage("SimStructLevel2InvalidAccessToNonDirectFeedthroughInputSignal");
constexpr const DiagMessage& kInvalidFeedThroughPort =
    diagMessage("SimStructLevel2InvalidInputPortNumberForDirectFeedThrough");
constexpr const DiagMessage& kInputReusableObsolete =
    diagMessage("SimStructReplace_ssSetInputPortReusable_With_ssSetInputPortOptimOpts");
constexpr const DiagMessage& kOutputReusableObsolete =
    diagMessage("SimStructReplace_ssSetOutputPortReusable_With_ssSetOutputPortOptimOpts");

// The index after the check, or -1 when the vector has no element at all:
// clamping into an empty vector leaves nothing to read or write.  The good
// path is the two comparisons.
int32_t checkedIndex(const char* file, int32_t line, SimStruct* S, int32_t index, int32_t count,
                     const char* accessor) {
    if (index >= 0 && index < count) return index;
    ReportIndexOutOfBoundsError(file, line, S, 0, &index, count, accessor);
    return index >= 0 && index < count ? index : -1;
}

int32_t numIWork(const SimStruct* S) { return S->sizes[sizes_index::numIWork]; }
int32_t numRWork(const SimStruct* S) { return S->sizes[sizes_index::numRWork]; }
int32_t numPWork(const SimStruct* S) { return S->sizes[sizes_index::numPWork]; }

}  // namespace

void ReportIndexOutOfBoundsError(const char* file, int32_t line, SimStruct* S, int32_t lowest,
                                 int32_t* index, int32_t count, const char* accessor) {
    if (*index >= lowest && *index < count) return;
    ssReportMessage(S, &kIndexOutOfBound, file != nullptr ? file : "", line, *index,
                    accessor != nullptr ? accessor : "", lowest, count - 1);
    *index = *index < 0 ? 0 : count - 1;
}

void _ssSetIWorkValueFcn(const char* file, int32_t line, SimStruct* S, int32_t index, int32_t value) {
    const int32_t at = checkedIndex(file, line, S, index, numIWork(S), "ssSetIWorkValue");
    if (at >= 0) S->iWork[at] = value;
}

int32_t _ssGetIWorkValueFcn(const char* file, int32_t line, SimStruct* S, int32_t index) {
    const int32_t at = checkedIndex(file, line, S, index, numIWork(S), "ssGetIWorkValue");
    return at >= 0 ? S->iWork[at] : 0;
}

void _ssSetRWorkValueFcn(const char* file, int32_t line, SimStruct* S, int32_t index, double value) {
    const int32_t at = checkedIndex(file, line, S, index, numRWork(S), "ssSetRWorkValue");
    if (at >= 0) S->rWork[at] = value;
}

double _ssGetRWorkValueFcn(const char* file, int32_t line, SimStruct* S, int32_t index) {
    const int32_t at = checkedIndex(file, line, S, index, numRWork(S), "ssGetRWorkValue");
    return at >= 0 ? S->rWork[at] : 0.0;
}

void _ssSetPWorkValueFcn(const char* file, int32_t line, SimStruct* S, int32_t index, void* value) {
    const int32_t at = checkedIndex(file, line, S, index, numPWork(S), "ssSetPWorkValue");
    if (at >= 0) S->pWork[at] = value;
}

void* _ssGetPWorkValueFcn(const char* file, int32_t line, SimStruct* S, int32_t index) {
    const int32_t at = checkedIndex(file, line, S, index, numPWork(S), "ssGetPWorkValue");
    return at >= 0 ? S->pWork[at] : nullptr;
}

int32_t _ssGetInputPortBufferDstPortFcn(const char* file, int32_t line, SimStruct* S, int32_t port) {
    const int32_t at =
        checkedIndex(file, line, S, port, ssGetNumInputPorts(S), "ssGetInputPortBufferDstPort");
    return at >= 0 ? S->inputPorts[at].bufferDstPort : 0;
}

void* ssCheckedInputPortSignal(SimStruct* S, int32_t port) {
    const int32_t numInputs = ssGetNumInputPorts(S);
    if (port < 0 || port >= numInputs)
        ssRaiseError(&kInvalidInputPort, S->modelName, S->path, port + 1.0, numInputs - 1.0);
    const InputPortRecord& input = S->inputPorts[port];
    if (input.signal == nullptr) {
        const DiagMessage& message = input.optimOpts == 1 || input.optimOpts == 2
                                         ? kReusableInputSignal
                                         : kNonDirectFeedthroughSignal;
        ssRaiseError(&message, S->modelName, S->path, port + 1.0);
    }
    return input.signal;
}

void* _ssGetInputPortSignalPtrsFcn(SimStruct* S, int32_t port) { return _ssGetInputPortSignalFcn(S, port); }

void _ssSetInputPortDirectFeedThroughFcn(SimStruct* S, int32_t port, int32_t value) {
    const int32_t numInputs = ssGetNumInputPorts(S);
    if (port < 0 || port >= numInputs)
        ssRaiseError(&kInvalidFeedThroughPort, S->modelName, S->path, port + 1.0, numInputs - 1.0);
    S->inputPorts[port].directFeedThrough = value;
}

// The warning comes first and the setting is made anyway; a port that does
// not exist gets the warning and nothing is written.
void _ssSetInputPortReusableFcn(SimStruct* S, int32_t port, int32_t reusable) {
    ssRaiseWarning(&kInputReusableObsolete, _sfcnName);
    if (port >= 0 && port < ssGetNumInputPorts(S)) S->inputPorts[port].optimOpts = reusable != 0 ? 1 : 0;
}

void _ssSetOutputPortReusableFcn(SimStruct* S, int32_t port, int32_t reusable) {
    ssRaiseWarning(&kOutputReusableObsolete, _sfcnName);
    if (port >= 0 && port < ssGetNumOutputPorts(S)) S->outputPorts[port].optimOpts = reusable != 0 ? 1 : 0;
}
