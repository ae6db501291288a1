// Rates, work widths and run-time resources: the two sample times, the
// model's (empty) file lists, and the instance brought to life in DWork 0.

#include "block/Quarlin_msp.h"
#include "host/host_services.h"

namespace {

// The model reads from no file and writes to none: one empty entry each,
// handed over with a count of 0.
const char* const fromFileNames[1] = {""};
const char* const toFileNames[1] = {""};

// A context task id of -2 from the host stands for the model's own task 0.
constexpr int32_t kUnsetContextTid = -2;

}  // namespace

void mdlInitializeSampleTimes(SimStruct* S) {
    S->samplePeriods[0] = 1e-4;
    S->sampleOffsets[0] = 0.0;
    // Task 1 never recurs.
    S->samplePeriods[1] = mxGetInf_800();
    S->sampleOffsets[1] = 0.0;
}

void mdlSetWorkWidths(SimStruct* S) {
    ssCallHostService(S, host_service::workWidthsDeclared, 1, nullptr);
    if (ssCallHostService(S, host_service::fromFileNames, 0, const_cast<char**>(fromFileNames)) != 0)
        ssCallHostService(S, host_service::toFileNames, 0, const_cast<char**>(toFileNames));
}

void mdlSetupRuntimeResources(SimStruct* S) {
    Quarlin_MdlrefDW* container = quarlinContainer(S);

    // The host fills both slots during the calls.
    void* sysRanBase = nullptr;
    int32_t contextTid = 0;
    ssCallHostService(S, host_service::systemRanBase, 0, &sysRanBase);
    ssCallHostService(S, host_service::contextTid, 0, &contextTid);
    if (contextTid == kUnsetContextTid) contextTid = 0;

    const int32_t tid1 = slmrGetTopTidFromMdlRefChildTid(S, 1, true);
    const int32_t tid0 = slmrGetTopTidFromMdlRefChildTid(S, 0, false);

    // This module never links the instance into a parent's data map.
    Quarlin_initialize(S, tid0, tid1, &container->rtm, &container->rtb, &container->rtdw,
                       sysRanBase, contextTid, nullptr, nullptr, 0, -1);

    // The host keeps this address for as long as the DWork lives.
    ssCallHostService(S, host_service::registerDataMap, 0, &container->rtm.dataMapInfo);
}

void mdlStart(SimStruct* S) {}

// The container belongs to the host's DWork; the model holds nothing else.
void mdlCleanupRuntimeResources(SimStruct* S) {}
