// The synthetic machine and the tracking measure.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "scenario.h"
#include "tracking.h"

namespace {

using quarlin_sim::PmsmParams;
using quarlin_sim::PmsmScenario;

TEST(PmsmScenario, RampsToTheFinalSpeedAndHoldsIt) {
    const PmsmScenario scenario(PmsmParams{});
    EXPECT_EQ(scenario.defaultSteps(), 8000u);
    struct Case {
        uint64_t step;
        double rpm;
    };
    for (const Case c : {Case{0, 0.0}, Case{2500, 750.0}, Case{5000, 1500.0}, Case{7999, 1500.0}}) {
        EXPECT_DOUBLE_EQ(scenario.mechanicalRpm(c.step), c.rpm) << c.step;
    }
    EXPECT_DOUBLE_EQ(scenario.electricalSpeed(5000), 1500.0 * std::numbers::pi / 30.0 * 4.0);
    PmsmParams noRamp;
    noRamp.ramp = 0.0;
    EXPECT_EQ(PmsmScenario(noRamp).mechanicalRpm(0), 1500.0);
    EXPECT_EQ(PmsmScenario(noRamp).defaultSteps(), 3000u);
}

TEST(PmsmScenario, InputsObeyTheMachineEquations) {
    // At the held speed, the current turns at the electrical speed, and the
    // voltage minus the resistive drop and the back-EMF is L di/dt.
    PmsmParams params;
    params.iq = 2.0;
    params.phi0 = 0.7;
    PmsmScenario scenario(params);
    const uint64_t k = 6000;
    scenario.setPhase(0.7);
    const auto now = scenario.sample(k);
    scenario.advance(k);
    const auto next = scenario.sample(k + 1);
    const double omega = scenario.electricalSpeed(k);
    const double phi = 0.7;
    EXPECT_NEAR(now.input[0], -2.0 * std::sin(phi), 1e-6);
    EXPECT_NEAR(now.input[1], 2.0 * std::cos(phi), 1e-6);
    EXPECT_DOUBLE_EQ(scenario.phase(), phi + omega * 1e-4);
    // The numerical derivative of the current matches di/dt to first order.
    const double diAlpha = (static_cast<double>(next.input[0]) - now.input[0]) / 1e-4;
    const double diBeta = (static_cast<double>(next.input[1]) - now.input[1]) / 1e-4;
    const double eAlpha = -params.psi * omega * std::sin(phi);
    const double eBeta = params.psi * omega * std::cos(phi);
    const double vAlpha = quarlin_sim::kResistance * now.input[0] + quarlin_sim::kInductance * diAlpha + eAlpha;
    const double vBeta = quarlin_sim::kResistance * now.input[1] + quarlin_sim::kInductance * diBeta + eBeta;
    // A forward difference is off by about L * iq * omega^2 * Ts / 2.
    const double tolerance = quarlin_sim::kInductance * 2.0 * omega * omega * 1e-4;
    EXPECT_NEAR(now.input[2], vAlpha, tolerance);
    EXPECT_NEAR(now.input[3], vBeta, tolerance);
    EXPECT_DOUBLE_EQ(now.trueSpeedRpm, 1500.0);
    EXPECT_DOUBLE_EQ(now.trueAngle, phi);
}

TEST(PmsmScenario, TrueAngleIsWrappedIntoOneTurn) {
    PmsmScenario scenario(PmsmParams{});
    for (double phase : {0.0, 2 * std::numbers::pi, -0.5, 100.0, -1e-17, 2 * std::numbers::pi - 1e-16}) {
        scenario.setPhase(phase);
        const double angle = scenario.sample(0).trueAngle;
        EXPECT_GE(angle, 0.0) << phase;
        EXPECT_LT(angle, 2 * std::numbers::pi) << phase;
        EXPECT_NEAR(std::remainder(angle - phase, 2 * std::numbers::pi), 0.0, 1e-12) << phase;
    }
}

TEST(PmsmScenario, RefusesUnusableParameters) {
    struct Case {
        double PmsmParams::*member;
        double value;
        bool usable;
    };
    const Case cases[] = {{&PmsmParams::rpm, -3000, true},    {&PmsmParams::ramp, -1, false},
                          {&PmsmParams::hold, -1, false},     {&PmsmParams::psi, NAN, false},
                          {&PmsmParams::iq, INFINITY, false}, {&PmsmParams::hold, 2e7, false},
                          {&PmsmParams::ramp, 0, true}};
    for (const auto& c : cases) {
        PmsmParams p;
        p.*c.member = c.value;
        EXPECT_EQ(quarlin_sim::pmsmParamsProblem(p) == nullptr, c.usable) << c.value;
    }
}

TEST(Tracking, WrapsAngleErrorsIntoOneHalfTurnEachWay) {
    constexpr double pi = std::numbers::pi;
    struct Case {
        double estimate, truth, error;
    };
    const Case cases[] = {{0.1, 0.0, 0.1},           {6.2, 0.1, 6.1 - 2 * pi}, {0.1, 6.2, 2 * pi - 6.1},
                          {pi, 0.0, pi},             {0.0, pi, pi},           {3.0, 3.0, 0.0}};
    for (const auto& c : cases) {
        EXPECT_NEAR(quarlin_sim::wrappedAngleError(c.estimate, c.truth), c.error, 1e-12) << c.estimate << " " << c.truth;
    }
}

TEST(Tracking, CountsOnlyTheWindowAndNotesTheFirstNonFiniteOutput) {
    quarlin_sim::Tracking tracking(10);
    tracking.add(5, 3.0f, 900.0f, 0.0, 0.0);  // before the window
    tracking.add(10, 1.0f, 100.5f, 1.25, 100.0);
    tracking.add(11, NAN, 100.0f, 1.0, 100.0);
    tracking.add(12, 1.0f, INFINITY, 1.0, 100.0);
    EXPECT_EQ(tracking.counted(), 1u);
    EXPECT_DOUBLE_EQ(tracking.largestAngleError(), 0.25);
    EXPECT_DOUBLE_EQ(tracking.largestSpeedError(), 0.5);
    ASSERT_TRUE(tracking.divergedAt());
    EXPECT_EQ(*tracking.divergedAt(), 11u);
}

}  // namespace
