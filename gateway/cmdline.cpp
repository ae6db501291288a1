// The command-line path of mexFunction: a sizes query on a record made on
// the spot, or the bind of a record the host brings in a record handle.
// Either way the block is registered and the 40 sizes come back as a column.

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <optional>

#include "block/Quarlin_msp.h"
#include "gateway/Quarlin_gateway.h"
#include "gateway/record_probe.h"
#include "gateway/sfun_messages.h"
#include "gateway/sfun_support.h"
#include "host/host_imports.h"
#include "host/host_services.h"
#include "host/simstruc.h"

namespace {

constexpr const DiagMessage& kTooFewRHSArguments = diagMessage("SimStructTooFewRHSArguments");
constexpr const DiagMessage& kTooManyLHSArguments = diagMessage("SimStructTooManyLHSArguments");
constexpr const DiagMessage& kForthRHSArgIsNotInteger = diagMessage("SimStructForthRHSArgIsNotInteger");
constexpr const DiagMessage& kInvalidFlagPassedToSfcn = diagMessage("SimStructInvalidFlagPassedToSfcn");
constexpr const DiagMessage& kSFunctionNameMismatch = diagMessage("SimStructSFunctionNameMismatch");

constexpr int32_t kFixedArguments = 4;
constexpr int32_t kBindExtensionOn = 1;
constexpr uint32_t kCmdLineOptionsBit = 0x2000;

// Elements of the result read as unsigned.
constexpr int kUnsignedElements[] = {15, 16, 17, 18, sizes_index::options};

// Reads the flag of prhs[3]: a real numeric scalar holding exactly 0.
void checkFlag(const mxArray* flagArray) {
    if (mxGetM_800(flagArray) * mxGetN_800(flagArray) != 1 || mxIsComplex_800(flagArray) ||
        !mxIsNumeric_800(flagArray))
        ssRaiseError(&kForthRHSArgIsNotInteger, _sfcnName);
    // A numeric array the host cannot show as doubles has no flag to read.
    const double* values = mxGetPr_800(flagArray);
    if (values == nullptr) ssRaiseError(&kForthRHSArgIsNotInteger, _sfcnName);
    const double flag = values[0];
    const std::optional<int32_t> integer = truncatedInt32(flag);
    if (!integer || static_cast<double>(*integer) != flag)
        ssRaiseError(&kForthRHSArgIsNotInteger, _sfcnName);
    if (*integer != 0) ssRaiseError(&kInvalidFlagPassedToSfcn, _sfcnName);
}

// A record handle is a real double column of three rows whose third element
// is the stamp.
bool isRecordHandle(const mxArray* argument) {
    if (argument == nullptr || mxGetM_800(argument) != 3 || mxGetN_800(argument) < 1 ||
        mxGetClassID_800(argument) != mx_class::doubleClass || mxIsComplex_800(argument))
        return false;
    const double* values = mxGetPr_800(argument);
    return values != nullptr && values[2] == static_cast<double>(kRecordHandleStamp);
}

// A record handle that names no usable record is no fault the host's
// catalogue knows: the module raises it under an identifier of its own.
constexpr const char* kInvalidRecordHandleId = "Quarlin_msp:InvalidRecordHandle";
constexpr size_t kModelNameLimit = 4096;  // bytes, terminator included

[[noreturn]] void refuseHandle(const char* problem) {
    char text[256];
    std::snprintf(text, sizeof text, "%s: the record handle names no block record: %s.", _sfcnName,
                  problem);
    ssRaiseModuleError(kInvalidRecordHandleId, text);
}

// The record a handle names.  The address is joined from two signed 32-bit
// halves, low half first.  Handles are typed by people at the command line,
// so the address is accepted only where a record can be: not null, aligned,
// readable over the whole record, with a model name that is a readable text.
// Nothing of the memory is read before the system has said it can be.
SimStruct* recordFromHandle(const mxArray* handle) {
    const double* values = mxGetPr_800(handle);
    const std::optional<int32_t> low = truncatedInt32(values[0]);
    const std::optional<int32_t> high = truncatedInt32(values[1]);
    if (!low || !high) refuseHandle("an address half is not a signed 32-bit integer");
    const uintptr_t address = (static_cast<uintptr_t>(static_cast<uint32_t>(*high)) << 32) |
                              static_cast<uintptr_t>(static_cast<uint32_t>(*low));
    if (address == 0) refuseHandle("the address is null");
    if (address % alignof(SimStruct) != 0) refuseHandle("the address is not aligned for a record");
    auto* S = reinterpret_cast<SimStruct*>(address);
    if (!recordMemoryReadable(S, sizeof(SimStruct))) refuseHandle("the memory at the address cannot be read");
    if (S->modelName != nullptr && !recordTextReadable(S->modelName, kModelNameLimit))
        refuseHandle("the record's model name is not a readable text");
    return S;
}

void bindMethods(SimStruct* S) {
    MethodEntries& m = S->methods;
    m.mdlInitializeSizes = mdlInitializeSizes;
    m.mdlSetWorkWidths = mdlSetWorkWidths;
    m.mdlInitializeSampleTimes = mdlInitializeSampleTimes;
    m.mdlSetupRuntimeResources = mdlSetupRuntimeResources;
    m.mdlCleanupRuntimeResources = mdlCleanupRuntimeResources;
    m.mdlStart = mdlStart;
    m.mdlGetTimeOfNextVarHit = mdlGetTimeOfNextVarHit;
    m.mdlOutputs = mdlOutputs;
    m.mdlUpdate = mdlUpdate;
    m.mdlZeroCrossings = mdlZeroCrossings;
    m.mdlTerminate = mdlTerminate;
}

SimStruct* bind(const mxArray* handle) {
    SimStruct* S = recordFromHandle(handle);
    const char* recordName = S->modelName != nullptr ? S->modelName : "";
    if (std::strcmp(recordName, kModuleName) != 0)
        ssRaiseError(&kSFunctionNameMismatch, kModuleName, recordName);
    bindMethods(S);
    return S;
}

}  // namespace

void _ProcessMexSfunctionCmdLineCall(int32_t nlhs, mxArray* plhs[], int32_t nrhs,
                                     const mxArray* prhs[]) {
    if (nrhs < kFixedArguments)
        ssRaiseError(&kTooFewRHSArguments, _sfcnName, static_cast<double>(kFixedArguments));
    if (nlhs > 1) ssRaiseError(&kTooManyLHSArguments, _sfcnName);
    checkFlag(prhs[3]);

    SimStruct* S = isRecordHandle(prhs[1]) ? bind(prhs[1]) : _CreateSimStruct(nrhs, prhs);

    S->sizes[sizes_index::versionStamp] = kRecordHandleStamp;
    if (S->hostExtension != nullptr) ssCallHostService(S, host_service::bindExtension, kBindExtensionOn, nullptr);
    ssSetFlagBits(S, flag_bits::simStateHandling, 3);
    mdlInitializeSizes(S);

    mxArray* result = mxCreateDoubleMatrix_800(sizes_index::count, 1, mxREAL);
    plhs[0] = result;
    double* column = mxGetPr_800(result);
    for (int k = 0; k < sizes_index::count; ++k) column[k] = static_cast<double>(S->sizes[k]);
    S->sizes[sizes_index::options] = static_cast<int32_t>(
        static_cast<uint32_t>(S->sizes[sizes_index::options]) | kCmdLineOptionsBit);
    for (int k : kUnsignedElements) column[k] = static_cast<double>(static_cast<uint32_t>(S->sizes[k]));
}

SimStruct* _CreateSimStruct(int32_t nrhs, const mxArray* prhs[]) {
    const int32_t numParams = nrhs > kFixedArguments ? nrhs - kFixedArguments : 0;

    auto* S = static_cast<SimStruct*>(mxCalloc_800(1, sizeof(SimStruct)));
    auto* info = static_cast<BlockInfo*>(mxCalloc_800(1, sizeof(BlockInfo)));
    auto* states = static_cast<StatesInfo*>(mxCalloc_800(1, sizeof(StatesInfo)));
    // The host's two sub-records of the states record; nothing here reads them.
    states->subRecordA = mxCalloc_800(1, sizeof(StatesInfo));
    states->subRecordB = mxCalloc_800(1, sizeof(StatesInfo));
    info->msgBuffer = static_cast<char*>(mxCalloc_800(kMsgBufferSize, 1));
    S->blockInfo = info;
    S->states = states;

    S->root = S;
    info->hostMode = 1;
    S->numDialogParams = numParams;
    S->modelName = kModuleName;
    S->path = kModuleName;
    if (numParams > 0) {
        S->dialogParams = static_cast<const mxArray**>(mxCalloc_800(static_cast<size_t>(numParams),
                                                                    sizeof(const mxArray*)));
        for (int32_t i = 0; i < numParams; ++i) S->dialogParams[i] = prhs[kFixedArguments + i];
    }
    S->numInputPortsFcn = _RegNumInputPortsCB;
    S->numInputPortsArg = S;
    S->numOutputPortsFcn = _RegNumOutputPortsCB;
    S->numOutputPortsArg = S;
    return S;
}
