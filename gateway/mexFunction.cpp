// mexFunction: the module's one entry point.  A command-line call (nlhs >= 0)
// goes to the command-line entry; a host call carries its block record in
// plhs[1] and its method flag in prhs[3], and is dispatched through a table
// indexed by flag - 101.

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "block/Quarlin_msp.h"
#include "gateway/Quarlin_gateway.h"
#include "gateway/sfun_support.h"
#include "host/host_imports.h"
#include "host/host_services.h"
#include "host/simstruc.h"

namespace {

// When a row's method may run.
enum class When : uint8_t {
    always,
    entrySet,          // the row's method entry is not null
    widthEntrySet,     // dimsInfoMethods clear and the shared port entry set
    dimsInfoEntrySet,  // dimsInfoMethods set and the shared port entry set
    simStateHandling,  // simStateHandling is 3
};

// How a row's method is called.
enum class Call : uint8_t {
    invalid,         // no row: the invalid-flag diagnostic
    nothing,         // the call returns at once
    direct,          // the module's own method (record)
    directOutputs,   // mdlOutputs (record, -2 or 0)
    directUpdate,    // mdlUpdate (record, 0)
    getSimState,     // mdlGetSimState into *callPtrValue, then service 152
    setSimState,     // mdlSetSimState (record, callPtrValue)
    entry,           // through the entry (record)
    entryPortInt,    // through the entry (record, callArg, callIntValue)
    entryPortTime,   // through the entry (record, callArg, callPeriod, callOffset)
    entryPortPtr,    // through the entry (record, callArg, callPtrValue)
    entryInt,        // through the entry (record, callArg)
};

// The report of a method that is not available.
enum class Report : uint8_t { formatted, local };

inline constexpr std::ptrdiff_t kNoEntry = -1;

struct Row {
    int32_t flag = 0;
    const char* method = nullptr;  // spelled as UnexpectedFunctionCall names it
    When when = When::always;
    Call call = Call::invalid;
    std::ptrdiff_t entry = kNoEntry;  // offset of the method entry in MethodEntries
    MdlMethod direct = nullptr;
    Report report = Report::formatted;
};

#define ENTRY(member) static_cast<std::ptrdiff_t>(offsetof(MethodEntries, member))

// One row per flag that has a method, in flag order.
constexpr Row kRows[] = {
    {101, "mdlInitializeSampleTimes", When::always, Call::direct, kNoEntry, mdlInitializeSampleTimes},
    {103, "mdlGetTimeOfNextVarHit", When::always, Call::direct, kNoEntry, mdlGetTimeOfNextVarHit},
    {104, "mdlOutputs", When::always, Call::directOutputs},
    {105, "mdlUpdate", When::entrySet, Call::directUpdate, ENTRY(mdlUpdate), nullptr, Report::local},
    {107, "mdlTerminate", When::always, Call::direct, kNoEntry, mdlTerminate},
    {108, "mdlZeroCrossings", When::always, Call::direct, kNoEntry, mdlZeroCrossings},
    {111, "mdlSetWorkWidths", When::entrySet, Call::entry, ENTRY(mdlSetWorkWidths)},
    {112, "mdlCheckParameters", When::entrySet, Call::entry, ENTRY(mdlCheckParameters)},
    {113, "mdlSetInputPortDataType", When::entrySet, Call::entryPortInt, ENTRY(mdlSetInputPortDataType)},
    {114, "mdlSetOutputPortDataType", When::entrySet, Call::entryPortInt, ENTRY(mdlSetOutputPortDataType)},
    {115, "mdlSetInputPortWidth", When::widthEntrySet, Call::entryPortInt,
     ENTRY(mdlSetInputPortWidthOrDimensionInfo)},
    {116, "mdlSetOutputPortWidth", When::widthEntrySet, Call::entryPortInt,
     ENTRY(mdlSetOutputPortWidthOrDimensionInfo)},
    {117, "mdlStart", When::entrySet, Call::direct, ENTRY(mdlStart), mdlStart},
    {120, "mdlSetInputPortComplexSignal", When::entrySet, Call::entryPortInt,
     ENTRY(mdlSetInputPortComplexSignal)},
    {121, "mdlSetOutputPortComplexSignal", When::entrySet, Call::entryPortInt,
     ENTRY(mdlSetOutputPortComplexSignal)},
    {122, "mdlSetInputPortSampleTime", When::entrySet, Call::entryPortTime, ENTRY(mdlSetInputPortSampleTime)},
    {123, "mdlSetOutputPortSampleTime", When::entrySet, Call::entryPortTime, ENTRY(mdlSetOutputPortSampleTime)},
    {126, "mdlSetInputPortDimensionInfo", When::dimsInfoEntrySet, Call::entryPortPtr,
     ENTRY(mdlSetInputPortWidthOrDimensionInfo)},
    {127, "mdlSetOutputPortDimensionInfo", When::dimsInfoEntrySet, Call::entryPortPtr,
     ENTRY(mdlSetOutputPortWidthOrDimensionInfo)},
    {128, "mdlSetInputPortFrameData", When::entrySet, Call::entryPortInt, ENTRY(mdlSetInputPortFrameData)},
    {131, "mdlSetDefaultPortDimensionInfo", When::entrySet, Call::entry, ENTRY(mdlSetDefaultPortDimensionInfo)},
    {132, "mdlSetDefaultPortDataTypes", When::entrySet, Call::entry, ENTRY(mdlSetDefaultPortDataTypes)},
    {133, "mdlSetDefaultPortComplexSignals", When::entrySet, Call::entry,
     ENTRY(mdlSetDefaultPortComplexSignals)},
    {142, "mdlInitializePropagationPass", When::entrySet, Call::entryInt, ENTRY(mdlInitializePropagationPass)},
    {144, "mdlGetSimState", When::simStateHandling, Call::getSimState},
    {145, "mdlSetSimState", When::simStateHandling, Call::setSimState},
    {149, "mdlSetInputPortSymbolicDimensions", When::entrySet, Call::entryPortInt,
     ENTRY(mdlSetInputPortSymbolicDimensions)},
    {150, "mdlSetOutputPortSymbolicDimensions", When::entrySet, Call::entryPortInt,
     ENTRY(mdlSetOutputPortSymbolicDimensions)},
    {151, "mdlSetupRuntimeResources", When::entrySet, Call::direct, ENTRY(mdlSetupRuntimeResources),
     mdlSetupRuntimeResources},
    {152, "mdlCleanupRuntimeResources", When::entrySet, Call::direct, ENTRY(mdlCleanupRuntimeResources),
     mdlCleanupRuntimeResources},
    {153, nullptr, When::always, Call::nothing},
};

#undef ENTRY

inline constexpr int32_t kFirstFlag = 101;
inline constexpr int32_t kLastFlag = 153;
inline constexpr size_t kTableSize = kLastFlag - kFirstFlag + 1;
static_assert(kTableSize == 53);

// kRows spread over flag - 101; flags without a row keep Call::invalid.
constexpr std::array<Row, kTableSize> kDispatch = [] {
    std::array<Row, kTableSize> table{};
    for (const Row& row : kRows) table[static_cast<size_t>(row.flag - kFirstFlag)] = row;
    return table;
}();

constexpr bool rowsAreSound() {
    int32_t previous = kFirstFlag - 1;
    for (const Row& row : kRows) {
        if (row.flag <= previous || row.flag > kLastFlag) return false;
        const bool needsEntry = row.when == When::entrySet || row.when == When::widthEntrySet ||
                                row.when == When::dimsInfoEntrySet;
        if (needsEntry != (row.entry != kNoEntry)) return false;
        previous = row.flag;
    }
    return true;
}
static_assert(rowsAreSound(), "rows in flag order, each with the entry its condition reads");

// The generic function pointer held in a method entry; every entry has the
// size and representation of one.
using AnyMethod = void (*)();

AnyMethod entryOf(const SimStruct* S, std::ptrdiff_t offset) {
    AnyMethod method = nullptr;
    std::memcpy(&method, reinterpret_cast<const unsigned char*>(&S->methods) + offset, sizeof method);
    return method;
}

template <typename Method>
Method as(AnyMethod method) {
    return reinterpret_cast<Method>(method);
}

// `held` is the row's method entry as the record holds it (null for a row
// without one).
bool mayRun(const SimStruct* S, const Row& row, AnyMethod held) {
    switch (row.when) {
        case When::always: return true;
        case When::entrySet: return held != nullptr;
        case When::widthEntrySet: return !ssGetDimsInfoMethods(S) && held != nullptr;
        case When::dimsInfoEntrySet: return ssGetDimsInfoMethods(S) && held != nullptr;
        case When::simStateHandling: return ssGetSimStateHandling(S) == 3;
    }
    return false;
}

void reportUnexpected(SimStruct* S, const Row& row) {
    char text[kMsgBufferSize];
    diag::formatUnexpectedFunctionCall(text, row.method);
    if (row.report == Report::local) {
        ssReportLocal(S, text);
    } else {
        ssReportFormatted(S, text);
    }
}

void run(SimStruct* S, const Row& row, AnyMethod held) {
    const int32_t callArg = S->sizes[sizes_index::callArg];
    BlockInfo& info = *S->blockInfo;
    switch (row.call) {
        case Call::invalid:
        case Call::nothing:
            return;
        case Call::direct:
            row.direct(S);
            return;
        case Call::directOutputs:
            mdlOutputs(S, callArg == -2 ? -2 : 0);
            return;
        case Call::directUpdate:
            mdlUpdate(S, 0);
            return;
        case Call::getSimState: {
            mxArray* snapshot = mdlGetSimState(S);
            // A host without a slot for the snapshot still learns of it
            // through service 152.
            if (info.callPtrValue != nullptr) *static_cast<mxArray**>(info.callPtrValue) = snapshot;
            ssCallHostService(S, host_service::simStateTaken, 0, snapshot);
            return;
        }
        case Call::setSimState:
            mdlSetSimState(S, static_cast<const mxArray*>(info.callPtrValue));
            return;
        case Call::entry:
            as<MdlMethod>(held)(S);
            return;
        case Call::entryPortInt:
            as<MdlPortIntMethod>(held)(S, callArg, info.callIntValue);
            return;
        case Call::entryPortTime:
            as<MdlPortTimeMethod>(held)(S, callArg, info.callPeriod, info.callOffset);
            return;
        case Call::entryPortPtr:
            as<MdlPortPtrMethod>(held)(S, callArg, info.callPtrValue);
            return;
        case Call::entryInt:
            as<MdlIntMethod>(held)(S, callArg);
            return;
    }
}

// The row of the flag in prhs[3], truncated toward zero; null when no row
// serves it.  A value without a 32-bit integer counterpart serves none.
const Row* rowOf(const mxArray* flagArray) {
    const double* values = mxGetPr_800(flagArray);
    if (values == nullptr) return nullptr;
    const int32_t flag = truncatedInt32(values[0]).value_or(0);
    if (flag < kFirstFlag || flag > kLastFlag) return nullptr;
    const Row& row = kDispatch[static_cast<size_t>(flag - kFirstFlag)];
    return row.call != Call::invalid ? &row : nullptr;
}

}  // namespace

void mexFunction(int32_t nlhs, mxArray* plhs[], int32_t nrhs, const mxArray* prhs[]) {
    if (nlhs >= 0) {
        _ProcessMexSfunctionCmdLineCall(nlhs, plhs, nrhs, prhs);
        return;
    }
    // A host call without a record or a flag array has nowhere to report to.
    if (plhs == nullptr || prhs == nullptr || prhs[3] == nullptr) return;
    SimStruct* S = reinterpret_cast<SimStruct*>(plhs[1]);
    if (S == nullptr || S->blockInfo == nullptr) return;

    const Row* row = rowOf(prhs[3]);
    if (row == nullptr) {
        ssReportConstant(S, diag::kInvalidFlagInSimulinkC);
        return;
    }
    const AnyMethod held = row->entry != kNoEntry ? entryOf(S, row->entry) : nullptr;
    if (!mayRun(S, *row, held)) {
        reportUnexpected(S, *row);
        return;
    }
    run(S, *row, held);
}
