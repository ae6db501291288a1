// Quarlin: a closed-loop current and back-EMF observer of a permanent-magnet
// machine in the stationary (alpha, beta) frame, followed by a phase-locked
// loop that estimates the electrical angle and speed.  Discrete, one step
// every 1e-4 s, all arithmetic in binary32.
//
// This header holds the model's memory: the per-instance container, its
// three records, the six parameters and the fixed block parameters.
#pragma once

#include <cstddef>
#include <cstdint>

#include "mdlref/Quarlin_capi_types.h"

struct SimStruct;  // the host's block record; the model only keeps its address

// Block signals: the results of the current step.
struct Quarlin_B {
    float pllSpeed;          // rad/s, PI output after saturation
    float pllIntegratorIn;   // input of the PLL integrator (0 while clamped)
    float pllAngle;          // rad, next step's angle, wrapped into [0, 2pi]
    float currentBetaNext;   // A
    float emfBetaNext;       // V
    float currentAlphaNext;  // A
    float emfAlphaNext;      // V
};
static_assert(sizeof(Quarlin_B) == 28);

// States carried from step to step, and the run flags of the angle wrap.
struct Quarlin_DW {
    uint64_t spareWord;      // zeroed at initialisation, otherwise untouched
    float emfAlpha;          // V
    float emfBeta;           // V
    float speed;             // rad/s, electrical, of the last step
    float angle;             // rad, electrical; output 0 of the next step
    float pllIntegrator;     // rad/s, integrator of the PI controller
    float currentBeta;       // A
    float currentAlpha;      // A
    int8_t noWrapRan;
    int8_t wrapLowRan;
    int8_t wrapHighRan;
};
static_assert(sizeof(Quarlin_DW) == 40);
static_assert(offsetof(Quarlin_DW, emfAlpha) == 8);
static_assert(offsetof(Quarlin_DW, currentAlpha) == 32);
static_assert(offsetof(Quarlin_DW, noWrapRan) == 36);
static_assert(offsetof(Quarlin_DW, wrapLowRan) == 37);
static_assert(offsetof(Quarlin_DW, wrapHighRan) == 38);

// The instance record.
struct Quarlin_RTM {
    SimStruct* hostBlock;
    Quarlin_DataMapInfo dataMapInfo;
    int32_t globalTid[2];    // host task indices of the model's tasks 0 and 1
};
static_assert(sizeof(Quarlin_RTM) == 360);
static_assert(offsetof(Quarlin_RTM, dataMapInfo) == 8);
static_assert(offsetof(Quarlin_RTM, globalTid) == 352);

// The per-instance container, the data of the block's only work vector.
struct Quarlin_MdlrefDW {
    Quarlin_B rtb;
    Quarlin_DW rtdw;
    Quarlin_RTM rtm;
};
static_assert(sizeof(Quarlin_MdlrefDW) == 432);
static_assert(offsetof(Quarlin_MdlrefDW, rtb) == 0);
static_assert(offsetof(Quarlin_MdlrefDW, rtdw) == 32);
static_assert(offsetof(Quarlin_MdlrefDW, rtm) == 72);

// Fixed block parameters, set when the module is built.
struct P_Quarlin_T {
    float piIntegralGain;
    float pllIntegratorInit;
    float speedLowerLimit;
    float piProportionalGain;
    float speedUpperLimit;
    float wrapHighStep;
    float wrapLowStep;
    float emfAlphaInit;
    float emfBetaInit;
    float speedInit;
    float angleInit;
    float pllIntegratorGain;
    float radPerSecToRpm;
    float clampZeroGain;
    float angleStepGain;
    float currentBetaInit;
    float currentAlphaInit;
};
static_assert(sizeof(P_Quarlin_T) == 17 * 4);

// Model parameters, shared by all instances and never written.
extern const float rtP_Quarlin_G1;  // 1/s, observer gain on the current error
extern const float rtP_Quarlin_G2;  // V/(A s), back-EMF gain on the current error
extern const float rtP_Quarlin_L;   // H
extern const float rtP_Quarlin_Pn;  // pole pairs
extern const float rtP_Quarlin_Rs;  // ohm
extern const float rtP_Quarlin_Ts;  // s, step of the observer equations

extern const P_Quarlin_T Quarlin_P;

// Step (task 0) and the empty task 1.
void Quarlin(const float* iAlpha, const float* iBeta, const float* vAlpha, const float* vBeta,
             float* angleOut, float* speedRpmOut, Quarlin_B* rtb, Quarlin_DW* rtdw);
void Quarlin_Update(const Quarlin_B* rtb, Quarlin_DW* rtdw);
void QuarlinTID1();
void Quarlin_UpdateTID1();

// Lifecycle.
void Quarlin_initialize(SimStruct* hostBlock, int32_t tid0, int32_t tid1, Quarlin_RTM* rtm,
                        Quarlin_B* rtb, Quarlin_DW* rtdw, void* sysRanBase, int32_t contextTid,
                        Quarlin_DataMapInfo* parentMap, const char* childPath, int32_t childIndex,
                        int32_t contStateStart);
void Quarlin_Init(Quarlin_DW* rtdw);
void Quarlin_Reset(Quarlin_DW* rtdw);
void Quarlin_Term(Quarlin_RTM* rtm);

// Always false here: the module never runs in the host's rapid-accelerator mode.
bool slIsRapidAcceleratorSimulating();
