// How well the estimates follow the scenario's machine, over the last part
// of a run.
#pragma once

#include <cstdint>
#include <optional>

namespace quarlin_sim {

// The errors count over a run's last 0.1 s: the steps from
// trackingStart(end) to end - 1 of a run that ends before step `end`.
inline constexpr uint64_t kTrackingWindowSteps = 1000;
inline uint64_t trackingStart(uint64_t end) { return end > kTrackingWindowSteps ? end - kTrackingWindowSteps : 0; }

// The difference of two angles wrapped into (-pi, pi].
double wrappedAngleError(double estimate, double truth);

class Tracking {
public:
    // Only steps from `firstStep` on count towards the errors.
    explicit Tracking(uint64_t firstStep) : firstStep_(firstStep) {}

    void add(uint64_t step, float angle, float speedRpm, double trueAngle, double trueSpeedRpm);

    uint64_t firstStep() const { return firstStep_; }
    uint64_t counted() const { return counted_; }
    double largestAngleError() const { return largestAngleError_; }  // rad, over finite outputs
    double largestSpeedError() const { return largestSpeedError_; }  // rpm, over finite outputs
    // The first step, of the whole run, whose output was not finite.
    std::optional<uint64_t> divergedAt() const { return divergedAt_; }
    // Marks a non-finite output outside the scenario (measured inputs).
    void noteOutputs(uint64_t step, float angle, float speedRpm);

private:
    uint64_t firstStep_;
    uint64_t counted_ = 0;
    double largestAngleError_ = 0.0;
    double largestSpeedError_ = 0.0;
    std::optional<uint64_t> divergedAt_;
};

}  // namespace quarlin_sim
