// The synthetic machine that drives a run when no measured inputs are given:
// a surface-magnet machine with the model's constants, ramping from
// standstill to a final speed and holding it, at a constant torque current.
//
// Everything is computed in double and handed to the block as binary32.
#pragma once

#include <cstdint>

#include "csv_input.h"

namespace quarlin_sim {

inline constexpr double kStepSeconds = 1e-4;
// Steps per second; times are k / kStepsPerSecond, the double nearest to the
// decimal time of step k.
inline constexpr double kStepsPerSecond = 10000.0;

// The model's machine: inductance (H), resistance (Ohm), pole pairs.
inline constexpr double kInductance = 5.35e-3;
inline constexpr double kResistance = 6.97;
inline constexpr double kPolePairs = 4.0;

struct PmsmParams {
    double rpm = 1500.0;  // final mechanical speed, rev/min
    double ramp = 0.5;    // s from standstill to it
    double hold = 0.3;    // s at it
    double psi = 0.01;    // flux linkage, V*s
    double iq = 1.0;      // torque current, A
    double phi0 = 0.0;    // electrical angle at step 0, rad
};

struct PmsmSample {
    InputSample input;     // i_alpha, i_beta, v_alpha, v_beta as the block gets them
    double trueAngle;      // electrical angle wrapped into [0, 2*pi), rad
    double trueSpeedRpm;   // mechanical speed, rev/min
};

class PmsmScenario {
public:
    explicit PmsmScenario(PmsmParams params) : params_(params), phase_(params.phi0) {}

    const PmsmParams& params() const { return params_; }
    // Steps of the default run: (ramp + hold) / 1e-4.
    uint64_t defaultSteps() const;

    // The machine at step k, for the current phase.
    PmsmSample sample(uint64_t k) const;
    // Moves the phase on by the electrical speed of step k over one step.
    void advance(uint64_t k);

    // The electrical angle, unwrapped: phi0 plus every step's advance.
    double phase() const { return phase_; }
    void setPhase(double phase) { phase_ = phase; }

    double mechanicalRpm(uint64_t k) const;
    double electricalSpeed(uint64_t k) const;  // rad/s

private:
    PmsmParams params_;
    double phase_;
};

// Empty when every parameter is usable; otherwise why not.
const char* pmsmParamsProblem(const PmsmParams& params);

}  // namespace quarlin_sim
