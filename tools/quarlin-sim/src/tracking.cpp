#include "tracking.h"

#include <cmath>
#include <numbers>

namespace quarlin_sim {

double wrappedAngleError(double estimate, double truth) {
    constexpr double twoPi = 2.0 * std::numbers::pi;
    double e = std::fmod(estimate - truth, twoPi);  // in (-2pi, 2pi)
    if (e > std::numbers::pi) e -= twoPi;
    if (e <= -std::numbers::pi) e += twoPi;
    return e;
}

void Tracking::noteOutputs(uint64_t step, float angle, float speedRpm) {
    if (!divergedAt_ && !(std::isfinite(angle) && std::isfinite(speedRpm))) divergedAt_ = step;
}

void Tracking::add(uint64_t step, float angle, float speedRpm, double trueAngle, double trueSpeedRpm) {
    noteOutputs(step, angle, speedRpm);
    if (step < firstStep_ || !std::isfinite(angle) || !std::isfinite(speedRpm)) return;
    ++counted_;
    largestAngleError_ = std::max(largestAngleError_, std::abs(wrappedAngleError(angle, trueAngle)));
    largestSpeedError_ = std::max(largestSpeedError_, std::abs(static_cast<double>(speedRpm) - trueSpeedRpm));
}

}  // namespace quarlin_sim
