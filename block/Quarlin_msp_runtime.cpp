// The run-time methods: each finds the container in DWork 0 and hands its
// records to the model.  The step path allocates nothing.

#include "block/Quarlin_msp.h"
#include "gateway/sfun_support.h"

namespace {

// Task ids with a meaning of their own to the output methods.
constexpr int32_t kTidNone = -2;
constexpr int32_t kTidConstant = -5;  // the model's task 1 only

struct PortSignals {
    const float* in[4];
    float* out[2];
};

// The inputs go through the checked accessor, which raises a host error for
// a missing signal before the model sees it.
PortSignals fetchSignals(SimStruct* S) {
    PortSignals signals{};
    for (int32_t k = 0; k < 4; ++k)
        signals.in[k] = static_cast<const float*>(_ssGetInputPortSignalFcn(S, k));
    for (int32_t k = 0; k < 2; ++k) signals.out[k] = static_cast<float*>(S->outputPorts[k].signal);
    return signals;
}

void step(const PortSignals& signals, Quarlin_MdlrefDW* container) {
    Quarlin(signals.in[0], signals.in[1], signals.in[2], signals.in[3], signals.out[0],
            signals.out[1], &container->rtb, &container->rtdw);
}

}  // namespace

void mdlOutputs(SimStruct* S, int32_t tid) {
    Quarlin_MdlrefDW* container = quarlinContainer(S);
    const PortSignals signals = fetchSignals(S);
    if (tid == kTidConstant) QuarlinTID1();
    if (tid == kTidNone || tid == kTidConstant) return;
    step(signals, container);
}

void mdlUpdate(SimStruct* S, int32_t tid) {
    Quarlin_MdlrefDW* container = quarlinContainer(S);
    Quarlin_Update(&container->rtb, &container->rtdw);
}

void mdlPeriodicOutputUpdate(SimStruct* S, int32_t tid) {
    Quarlin_MdlrefDW* container = quarlinContainer(S);
    const PortSignals signals = fetchSignals(S);
    if (tid != 0) return;
    step(signals, container);
    Quarlin_Update(&container->rtb, &container->rtdw);
}

void mdlInitializeConditions(SimStruct* S) { Quarlin_Init(&quarlinContainer(S)->rtdw); }

void mdlReset(SimStruct* S) { Quarlin_Reset(&quarlinContainer(S)->rtdw); }

void mdlTerminate(SimStruct* S) { Quarlin_Term(&quarlinContainer(S)->rtm); }

// The block has neither method; these tell the host so.
void mdlZeroCrossings(SimStruct* S) { ssReportConstant(S, diag::kNoMdlZeroCrossings); }

void mdlGetTimeOfNextVarHit(SimStruct* S) { ssReportConstant(S, diag::kNoMdlGetTimeOfNextVarHit); }

// Tolerances of continuous states.  -1 leaves the host's default in place.
// An index outside the block's continuous states has no entry to write.
void _ssSetStateAbsTol(SimStruct* S, int32_t index, double value) {
    if (value == -1.0) return;
    if (value >= 0.0 && value - value == 0.0) {
        const int32_t numContStates = ssSizesElement(S, sizes_index::numContStates);
        if (S->states == nullptr || index < 0 || index >= numContStates) return;
        S->states->absTolSetByBlock[index] = 1;
        S->states->absTol[index] = value;
        return;
    }
    ssReportConstant(S, diag::kIncorrectAbsTol);
}

double* _ssGetAbsTol(SimStruct* S) {
    if (S->states == nullptr) return nullptr;
    const int32_t numContStates = ssSizesElement(S, sizes_index::numContStates);
    for (int32_t i = 0; i < numContStates; ++i) S->states->absTolSetByBlock[i] = 1;
    return S->states->absTol;
}
