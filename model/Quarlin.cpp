// Quarlin: current and back-EMF observer of a permanent-magnet machine,
// followed by a PLL.
//
// Observer: forward Euler, step Ts, per axis of the stationary frame,
//   L di^/dt = -Rs i^ + v - e^ + L G1 (i^ - i)
//   deA^/dt  = -w eB^ + G2 (iA^ - iA)
//   deB^/dt  =  w eA^ + G2 (iB^ - iB)
// with w the electrical speed held from the last step.
// PLL: phase error -cos(theta) eA^ - sin(theta) eB^, a PI controller whose
// output is saturated to +-2000 pi rad/s with the integrator clamped while
// saturated, and an angle integrator wrapped into [0, 2 pi].
//
// All arithmetic is binary32, one rounding per operation, in the order and
// grouping written here: order is part of the result.

#include "model/Quarlin.h"

#include <bit>
#include <cstdint>
#include <cstring>

#include "mdlref/Quarlin_capi.h"
#include "model/Quarlin_environment.h"
#include "model/rt_nonfinite.h"

// The model's parameters as decimals; the assertions pin their binary32
// roundings.
constexpr float rtP_Quarlin_G1 = -4000.0F;    // 1/s
constexpr float rtP_Quarlin_G2 = 14000.0F;    // V/(A s)
constexpr float rtP_Quarlin_L = 0.00535F;     // H
constexpr float rtP_Quarlin_Pn = 4.0F;        // pole pairs
constexpr float rtP_Quarlin_Rs = 6.97F;       // ohm
constexpr float rtP_Quarlin_Ts = 1e-4F;       // s
static_assert(std::bit_cast<uint32_t>(rtP_Quarlin_G1) == 0xC57A0000U);
static_assert(std::bit_cast<uint32_t>(rtP_Quarlin_G2) == 0x465AC000U);
static_assert(std::bit_cast<uint32_t>(rtP_Quarlin_L) == 0x3BAF4F0EU);
static_assert(std::bit_cast<uint32_t>(rtP_Quarlin_Pn) == 0x40800000U);
static_assert(std::bit_cast<uint32_t>(rtP_Quarlin_Rs) == 0x40DF0A3DU);
static_assert(std::bit_cast<uint32_t>(rtP_Quarlin_Ts) == 0x38D1B717U);

constexpr P_Quarlin_T Quarlin_P = {
    .piIntegralGain = 2500.0F,
    .pllIntegratorInit = 0.0F,
    .speedLowerLimit = -6283.1855F,  // rad/s, -2000 pi
    .piProportionalGain = 212.1F,
    .speedUpperLimit = 6283.1855F,   // rad/s, 2000 pi
    .wrapHighStep = 6.2831855F,      // rad, 2 pi
    .wrapLowStep = 6.2831855F,       // rad, 2 pi
    .emfAlphaInit = 0.0F,
    .emfBetaInit = 0.0F,
    .speedInit = 0.0F,
    .angleInit = 0.0F,
    .pllIntegratorGain = 1e-4F,      // s
    .radPerSecToRpm = 9.549296F,     // 30/pi
    .clampZeroGain = 0.0F,
    .angleStepGain = 1e-4F,          // s
    .currentBetaInit = 0.0F,
    .currentAlphaInit = 0.0F,
};
static_assert(std::bit_cast<uint32_t>(Quarlin_P.piIntegralGain) == 0x451C4000U);
static_assert(std::bit_cast<uint32_t>(Quarlin_P.speedLowerLimit) == 0xC5C4597CU);
static_assert(std::bit_cast<uint32_t>(Quarlin_P.piProportionalGain) == 0x4354199AU);
static_assert(std::bit_cast<uint32_t>(Quarlin_P.speedUpperLimit) == 0x45C4597CU);
static_assert(std::bit_cast<uint32_t>(Quarlin_P.wrapHighStep) == 0x40C90FDBU);
static_assert(std::bit_cast<uint32_t>(Quarlin_P.wrapLowStep) == 0x40C90FDBU);
static_assert(std::bit_cast<uint32_t>(Quarlin_P.pllIntegratorGain) == 0x38D1B717U);
static_assert(std::bit_cast<uint32_t>(Quarlin_P.radPerSecToRpm) == 0x4118C9EBU);
static_assert(std::bit_cast<uint32_t>(Quarlin_P.angleStepGain) == 0x38D1B717U);

namespace {

constexpr float twoPi = 6.2831855F;  // rad, wrap threshold
static_assert(std::bit_cast<uint32_t>(twoPi) == 0x40C90FDBU);

constexpr const char* modelName = "Quarlin";

// The sign of x as a signed 8-bit integer: -1, 0 or +1, and 0 for a NaN.
// The sign is reduced modulo 256 before the truncation toward zero, through a
// 32-bit integer, so that a finite answer outside [-1, 1] wraps instead of
// making the conversion undefined.
int8_t signAsInt8(float x) {
    const float sign = Quarlin_env_sign(x);
    if (Quarlin_env_isNaN(sign)) {
        return 0;
    }
    return static_cast<int8_t>(static_cast<int32_t>(Quarlin_env_rem(sign, 256.0F)));
}

// A run flag moves 0 -> 2 and 3 -> 1 when its branch runs; any other value
// stays.
void advanceRunFlag(int8_t& flag) {
    if (flag == 0) {
        flag = 2;
    } else if (flag == 3) {
        flag = 1;
    }
}

}  // namespace

void Quarlin(const float* iAlpha, const float* iBeta, const float* vAlpha, const float* vBeta,
             float* angleOut, float* speedRpmOut, Quarlin_B* rtb, Quarlin_DW* rtdw) {
    const float emfAlpha = rtdw->emfAlpha;  // V, held
    const float emfBeta = rtdw->emfBeta;    // V, held

    // --- PLL ---------------------------------------------------------------
    *angleOut = rtdw->angle;
    const float theta = *angleOut;  // rad; the output as written is the angle used below

    const float cosTheta = Quarlin_env_cos(theta);
    const float sinTheta = Quarlin_env_sin(theta);

    // Subtraction from +0.0, not a negation: the sign of a zero product
    // matters to the bits.
    const float phaseError = (0.0F - cosTheta * emfAlpha) - sinTheta * emfBeta;  // V

    const float piOutput = Quarlin_P.piProportionalGain * phaseError + rtdw->pllIntegrator;  // rad/s

    // Saturation, both limits inclusive; deadZone is how far piOutput lies
    // outside them.  Every comparison with NaN is false, so NaN passes.
    const float lower = Quarlin_P.speedLowerLimit;
    const float upper = Quarlin_P.speedUpperLimit;
    float deadZone;
    if (piOutput > upper) {
        rtb->pllSpeed = upper;
        deadZone = piOutput - upper;
    } else {
        rtb->pllSpeed = piOutput < lower ? lower : piOutput;
        deadZone = piOutput >= lower ? 0.0F : piOutput - lower;
    }

    *speedRpmOut = ((1.0F / rtP_Quarlin_Pn) * rtb->pllSpeed) * Quarlin_P.radPerSecToRpm;  // rpm

    const float integralInput = Quarlin_P.piIntegralGain * phaseError;  // rad/s^2

    // The integrator stops while the output is saturated and its input would
    // drive it further out.  An unordered comparison counts as not equal.
    const int8_t deadZoneSign = signAsInt8(deadZone);
    const int8_t integralInputSign = signAsInt8(integralInput);
    const bool saturated = !(Quarlin_P.clampZeroGain * piOutput == deadZone);
    if (saturated && deadZoneSign == integralInputSign) {
        rtb->pllIntegratorIn = 0.0F;
    } else {
        rtb->pllIntegratorIn = integralInput;
    }

    // Integrated from this step's saturated speed, not the held one.
    const float thetaRaw = rtb->pllSpeed * Quarlin_P.angleStepGain + theta;  // rad
    if (thetaRaw > twoPi) {
        rtb->pllAngle = thetaRaw - Quarlin_P.wrapHighStep;
        advanceRunFlag(rtdw->wrapHighRan);
    } else if (thetaRaw < 0.0F) {
        rtb->pllAngle = Quarlin_P.wrapLowStep + thetaRaw;
        advanceRunFlag(rtdw->wrapLowRan);
    } else {
        rtb->pllAngle = thetaRaw;
        advanceRunFlag(rtdw->noWrapRan);
    }

    // --- Observer --------------------------------------------------------
    // Coefficients from the parameters as they stand, every step.  The
    // inputs are read only now, after both outputs are written.
    const float currentGain = rtP_Quarlin_Ts / rtP_Quarlin_L;  // k1, A/V
    const float vBetaTerm = *vBeta * currentGain;  // A
    const float currentErrorBeta = rtdw->currentBeta - *iBeta;  // A
    const float currentDecay = 1.0F - (rtP_Quarlin_Ts * rtP_Quarlin_Rs) / rtP_Quarlin_L;  // k2, 1
    const float currentErrorGain = rtP_Quarlin_Ts * rtP_Quarlin_G1;  // k3, 1
    rtb->currentBetaNext = currentErrorGain * currentErrorBeta +
                           ((rtdw->currentBeta * currentDecay - currentGain * emfBeta) + vBetaTerm);
    const float angleStep = rtP_Quarlin_Ts * rtdw->speed;  // rad, held speed over one step
    const float emfErrorGain = rtP_Quarlin_Ts * rtP_Quarlin_G2;  // k4, V/A
    rtb->emfBetaNext = emfErrorGain * currentErrorBeta + (angleStep * emfAlpha + emfBeta);

    const float vAlphaTerm = *vAlpha * currentGain;  // A
    const float currentErrorAlpha = rtdw->currentAlpha - *iAlpha;  // A
    rtb->currentAlphaNext = currentErrorGain * currentErrorAlpha +
                            ((rtdw->currentAlpha * currentDecay - currentGain * emfAlpha) + vAlphaTerm);
    rtb->emfAlphaNext = emfErrorGain * currentErrorAlpha + (emfAlpha - emfBeta * angleStep);
}

void Quarlin_Update(const Quarlin_B* rtb, Quarlin_DW* rtdw) {
    rtdw->emfAlpha = rtb->emfAlphaNext;
    rtdw->emfBeta = rtb->emfBetaNext;
    rtdw->speed = rtb->pllSpeed;
    rtdw->angle = rtb->pllAngle;
    rtdw->pllIntegrator = rtb->pllIntegratorIn * Quarlin_P.pllIntegratorGain + rtdw->pllIntegrator;
    rtdw->currentBeta = rtb->currentBetaNext;
    rtdw->currentAlpha = rtb->currentAlphaNext;
}

// Task 1 has nothing to compute.
void QuarlinTID1() {}

void Quarlin_UpdateTID1() {}

void Quarlin_initialize(SimStruct* hostBlock, int32_t tid0, int32_t tid1, Quarlin_RTM* rtm,
                        Quarlin_B* rtb, Quarlin_DW* rtdw, void* sysRanBase, int32_t contextTid,
                        Quarlin_DataMapInfo* parentMap, const char* childPath, int32_t childIndex,
                        int32_t contStateStart) {
    rt_InitInfAndNaN(sizeof(double));

    std::memset(rtm, 0, sizeof(*rtm));
    rtm->globalTid[0] = tid0;
    rtm->globalTid[1] = tid1;
    rtm->hostBlock = hostBlock;

    if (!slIsRapidAcceleratorSimulating()) {
        Quarlin_env_pluginEvent(rtm->hostBlock, modelName, "START_OF_SIM_MODEL_MODELREF_ACCEL_EVENT");
    }

    // +0.0F is all zero bits, so clearing the bytes sets every signal and
    // state to 0.0 as well as spareWord and the run flags to 0.
    std::memset(rtb, 0, sizeof(*rtb));
    std::memset(rtdw, 0, sizeof(*rtdw));

    Quarlin_InitializeDataMapInfo(rtm, rtdw, sysRanBase, contextTid);

    // The link into a parent's data map needs both the parent and a path.
    if (parentMap != nullptr && childPath != nullptr) {
        parentMap->childTable[childIndex] = &rtm->dataMapInfo;
        rtm->dataMapInfo.path = childPath;
        rtm->dataMapInfo.contStateStartIndex = contStateStart;
    }
}

// Quarlin_Init and Quarlin_Reset load the same initial values.
void Quarlin_Init(Quarlin_DW* rtdw) {
    rtdw->emfAlpha = Quarlin_P.emfAlphaInit;
    rtdw->emfBeta = Quarlin_P.emfBetaInit;
    rtdw->speed = Quarlin_P.speedInit;
    rtdw->angle = Quarlin_P.angleInit;
    rtdw->pllIntegrator = Quarlin_P.pllIntegratorInit;
    rtdw->currentBeta = Quarlin_P.currentBetaInit;
    rtdw->currentAlpha = Quarlin_P.currentAlphaInit;
}

void Quarlin_Reset(Quarlin_DW* rtdw) {
    Quarlin_Init(rtdw);
}

// The container belongs to the host's work vector: nothing to release.
void Quarlin_Term(Quarlin_RTM* rtm) {
    if (!slIsRapidAcceleratorSimulating()) {
        Quarlin_env_pluginEvent(rtm->hostBlock, modelName, "SIMSTATUS_TERMINATING_MODELREF_ACCEL_EVENT");
    }
}

bool slIsRapidAcceleratorSimulating() {
    return false;
}
