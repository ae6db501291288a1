#include "scenario.h"

#include <cmath>
#include <numbers>

namespace quarlin_sim {

uint64_t PmsmScenario::defaultSteps() const {
    return static_cast<uint64_t>(std::llround((params_.ramp + params_.hold) * kStepsPerSecond));
}

double PmsmScenario::mechanicalRpm(uint64_t k) const {
    const double t = static_cast<double>(k) / kStepsPerSecond;
    if (params_.ramp <= 0.0 || t >= params_.ramp) return params_.rpm;
    return params_.rpm * (t / params_.ramp);
}

double PmsmScenario::electricalSpeed(uint64_t k) const {
    return mechanicalRpm(k) * std::numbers::pi / 30.0 * kPolePairs;
}

PmsmSample PmsmScenario::sample(uint64_t k) const {
    const double omega = electricalSpeed(k);
    const double s = std::sin(phase_);
    const double c = std::cos(phase_);
    // Stator current on the q axis, its derivative at this speed, and the
    // back-EMF the magnet induces: v = Rs*i + L*di/dt + e.
    const double iAlpha = -params_.iq * s;
    const double iBeta = params_.iq * c;
    const double diAlpha = -params_.iq * omega * c;
    const double diBeta = -params_.iq * omega * s;
    const double eAlpha = -params_.psi * omega * s;
    const double eBeta = params_.psi * omega * c;
    const double vAlpha = kResistance * iAlpha + kInductance * diAlpha + eAlpha;
    const double vBeta = kResistance * iBeta + kInductance * diBeta + eBeta;

    PmsmSample out{};
    out.input = {static_cast<float>(iAlpha), static_cast<float>(iBeta), static_cast<float>(vAlpha),
                 static_cast<float>(vBeta)};
    double wrapped = std::fmod(phase_, 2.0 * std::numbers::pi);
    if (wrapped < 0.0) wrapped += 2.0 * std::numbers::pi;
    // fmod of a value just below a multiple of 2*pi, then adding 2*pi, can
    // round up to 2*pi itself.
    if (wrapped >= 2.0 * std::numbers::pi) wrapped = 0.0;
    out.trueAngle = wrapped;
    out.trueSpeedRpm = mechanicalRpm(k);
    return out;
}

void PmsmScenario::advance(uint64_t k) { phase_ += electricalSpeed(k) * kStepSeconds; }

const char* pmsmParamsProblem(const PmsmParams& p) {
    for (double v : {p.rpm, p.ramp, p.hold, p.psi, p.iq, p.phi0}) {
        if (!std::isfinite(v)) return "every scenario value must be finite";
    }
    if (p.ramp < 0.0) return "--ramp must not be negative";
    if (p.hold < 0.0) return "--hold must not be negative";
    // Ten million seconds is a billion steps per hour of compute at best; the
    // bound keeps the step count far inside every integer type used.
    if (p.ramp + p.hold > 1e7) return "--ramp plus --hold must be at most 1e7 s";
    return nullptr;
}

}  // namespace quarlin_sim
