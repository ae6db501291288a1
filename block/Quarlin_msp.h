// The block methods of Quarlin_msp: registration, set-up, steps, reset,
// snapshot and terminate, over one host block record each.
#pragma once

#include <cstdint>

#include "host/host_imports.h"
#include "host/simstruc.h"
#include "model/Quarlin.h"

// The container of the instance: the data of DWork 0.
inline Quarlin_MdlrefDW* quarlinContainer(SimStruct* S) {
    return static_cast<Quarlin_MdlrefDW*>(S->dWorks[0].data);
}

// Registration.
void mdlInitializeSizes(SimStruct* S);
int32_t _RegNumInputPortsCB(void* arg, int32_t count);
int32_t _RegNumOutputPortsCB(void* arg, int32_t count);

// Rates, work widths and run-time resources.
void mdlInitializeSampleTimes(SimStruct* S);
void mdlSetWorkWidths(SimStruct* S);
void mdlSetupRuntimeResources(SimStruct* S);
void mdlStart(SimStruct* S);
void mdlCleanupRuntimeResources(SimStruct* S);

// Run-time methods.
void mdlOutputs(SimStruct* S, int32_t tid);
void mdlUpdate(SimStruct* S, int32_t tid);
void mdlPeriodicOutputUpdate(SimStruct* S, int32_t tid);
void mdlInitializeConditions(SimStruct* S);
void mdlReset(SimStruct* S);
void mdlTerminate(SimStruct* S);
void mdlZeroCrossings(SimStruct* S);
void mdlGetTimeOfNextVarHit(SimStruct* S);
void _ssSetStateAbsTol(SimStruct* S, int32_t index, double value);
double* _ssGetAbsTol(SimStruct* S);

// Snapshot.
mxArray* mdlGetSimState(SimStruct* S);
void mdlSetSimState(SimStruct* S, const mxArray* snapshot);
