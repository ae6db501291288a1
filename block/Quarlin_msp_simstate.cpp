// The block's simulation-state snapshot: the instance snapshot of
// mr_Quarlin_GetDWork with the block record's next-hit time and task index.
//
// A snapshot may come back from a file, so a restore first checks the whole
// tree and refuses a malformed one as a whole, before anything is written.
// The refusal is a constant text in the error status: a host looks up no
// catalogue for it, and the text names the fault.

#include <cmath>

#include "block/Quarlin_msp.h"
#include "gateway/sfun_support.h"
#include "mdlref/mr_Quarlin.h"

namespace {

const char* const simStateFieldNames[6] = {
    "localX", "mdlrefDW", "disallowedStateData", "tNext", "tNextTid", "nonContDerivSigInfoPrevVal",
};

constexpr int32_t kInstanceField = 1;
constexpr int32_t kDisallowedField = 2;
constexpr int32_t kTNextField = 3;
constexpr int32_t kTNextTidField = 4;

bool isRealNumericScalar(const mxArray* array) {
    return array != nullptr && mxIsNumeric_800(array) && !mxIsComplex_800(array) &&
           mxGetM_800(array) == 1 && mxGetN_800(array) == 1;
}

bool isInt32Value(double value) {
    return std::isfinite(value) && value == std::trunc(value) && value >= -2147483648.0 &&
           value <= 2147483647.0;
}

// Null when the snapshot holds everything the restore reads; otherwise what
// is wrong with it.
const char* checkSnapshot(const mxArray* snapshot) {
    if (!mr_Quarlin_isStruct1x1(snapshot)) return "Invalid simulation state: not a 1x1 struct";
    if (const char* problem =
            mr_Quarlin_CheckDWork(mxGetFieldByNumber_800(snapshot, 0, kInstanceField)))
        return problem;
    if (!isRealNumericScalar(mxGetFieldByNumber_800(snapshot, 0, kTNextField)))
        return "Invalid simulation state: tNext is not a real numeric scalar";
    const mxArray* tNextTid = mxGetFieldByNumber_800(snapshot, 0, kTNextTidField);
    if (!isRealNumericScalar(tNextTid)) return "Invalid simulation state: tNextTid is not a real numeric scalar";
    if (!isInt32Value(mxGetScalar_800(tNextTid)))
        return "Invalid simulation state: tNextTid is not a whole number in the signed 32-bit range";
    return nullptr;
}

}  // namespace

mxArray* mdlGetSimState(SimStruct* S) {
    const Quarlin_MdlrefDW* container = quarlinContainer(S);
    mxArray* snapshot =
        mxCreateStructMatrix_800(1, 1, 6, const_cast<const char**>(simStateFieldNames));
    mxSetFieldByNumber_800(snapshot, 0, kInstanceField, mr_Quarlin_GetDWork(container));
    // No block of the model keeps state that cannot be saved: the field stays empty.
    if (mxArray* disallowed = mr_Quarlin_GetSimStateDisallowedBlocks())
        mxSetFieldByNumber_800(snapshot, 0, kDisallowedField, disallowed);
    mxSetFieldByNumber_800(snapshot, 0, kTNextField, mxCreateDoubleScalar_800(S->tNext));
    mxSetFieldByNumber_800(snapshot, 0, kTNextTidField,
                           mxCreateDoubleScalar_800(static_cast<double>(S->tNextTid)));
    return snapshot;
}

void mdlSetSimState(SimStruct* S, const mxArray* snapshot) {
    if (const char* problem = checkSnapshot(snapshot)) {
        ssReportConstant(S, problem);
        return;
    }
    mr_Quarlin_SetDWork(quarlinContainer(S), mxGetFieldByNumber_800(snapshot, 0, kInstanceField));
    S->tNext = mxGetScalar_800(mxGetFieldByNumber_800(snapshot, 0, kTNextField));
    S->tNextTid =
        static_cast<int32_t>(mxGetScalar_800(mxGetFieldByNumber_800(snapshot, 0, kTNextTidField)));
}
