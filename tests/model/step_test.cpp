// The observer step: worked cases to the bit, the branches of saturation,
// clamping and wrap, NaN handling, a binary32 reference on general values,
// and the estimates of a simulated machine.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <numbers>
#include <optional>
#include <random>
#include <vector>

#include "host/host_imports.h"
#include "model/Quarlin.h"
#include "tests/model/model_fixture.h"

namespace {

constexpr float upperLimit = fromBits(0x45C4597C);  // rad/s
constexpr float lowerLimit = fromBits(0xC5C4597C);  // rad/s
constexpr float twoPi = fromBits(0x40C90FDB);       // rad
constexpr float nan = std::numeric_limits<float>::quiet_NaN();

TEST(ModelParameters, HaveTheirBitPatterns) {
    struct Row {
        const char* name;
        float value;
        uint32_t bits;
    };
    const Row rows[] = {
        {"rtP_Quarlin_G1", rtP_Quarlin_G1, 0xC57A0000},
        {"rtP_Quarlin_G2", rtP_Quarlin_G2, 0x465AC000},
        {"rtP_Quarlin_L", rtP_Quarlin_L, 0x3BAF4F0E},
        {"rtP_Quarlin_Pn", rtP_Quarlin_Pn, 0x40800000},
        {"rtP_Quarlin_Rs", rtP_Quarlin_Rs, 0x40DF0A3D},
        {"rtP_Quarlin_Ts", rtP_Quarlin_Ts, 0x38D1B717},
        {"piIntegralGain", Quarlin_P.piIntegralGain, 0x451C4000},
        {"pllIntegratorInit", Quarlin_P.pllIntegratorInit, 0x00000000},
        {"speedLowerLimit", Quarlin_P.speedLowerLimit, 0xC5C4597C},
        {"piProportionalGain", Quarlin_P.piProportionalGain, 0x4354199A},
        {"speedUpperLimit", Quarlin_P.speedUpperLimit, 0x45C4597C},
        {"wrapHighStep", Quarlin_P.wrapHighStep, 0x40C90FDB},
        {"wrapLowStep", Quarlin_P.wrapLowStep, 0x40C90FDB},
        {"emfAlphaInit", Quarlin_P.emfAlphaInit, 0x00000000},
        {"emfBetaInit", Quarlin_P.emfBetaInit, 0x00000000},
        {"speedInit", Quarlin_P.speedInit, 0x00000000},
        {"angleInit", Quarlin_P.angleInit, 0x00000000},
        {"pllIntegratorGain", Quarlin_P.pllIntegratorGain, 0x38D1B717},
        {"radPerSecToRpm", Quarlin_P.radPerSecToRpm, 0x4118C9EB},
        {"clampZeroGain", Quarlin_P.clampZeroGain, 0x00000000},
        {"angleStepGain", Quarlin_P.angleStepGain, 0x38D1B717},
        {"currentBetaInit", Quarlin_P.currentBetaInit, 0x00000000},
        {"currentAlphaInit", Quarlin_P.currentAlphaInit, 0x00000000},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(hexOf(row.value), hexOf(fromBits(row.bits))) << row.name;
    }
}

// One step from given states and inputs; every expectation that is set is
// compared by its bits.
struct Expected {
    std::optional<float> angleOut{}, speedRpm{};
    std::optional<float> pllSpeed{}, pllIntegratorIn{}, pllAngle{};
    std::optional<float> currentBetaNext{}, emfBetaNext{}, currentAlphaNext{}, emfAlphaNext{};
    std::optional<float> pllIntegratorAfterUpdate{};
};

struct StepCase {
    const char* name;
    States states;
    Inputs inputs;
    Expected expected;
};

void expectBits(const std::optional<float>& expected, float actual, const char* what) {
    if (expected) {
        EXPECT_EQ(hexOf(actual), hexOf(*expected)) << what;
    }
}

// The PI output of `error` plus the integrator that makes it land exactly on
// `limit`; the integrator is searched downwards from limit - Kp*error.
float integratorReaching(float limit, float error) {
    float integrator = limit - Quarlin_P.piProportionalGain * error;
    for (int tries = 0; tries < 8 && Quarlin_P.piProportionalGain * error + integrator != limit; ++tries) {
        integrator = std::nextafter(integrator, limit);
    }
    return integrator;
}

TEST(Step, WorkedCasesToTheBit) {
    const float upperReach = integratorReaching(upperLimit, 1.0F);
    const float lowerReach = integratorReaching(lowerLimit, -1.0F);
    ASSERT_EQ(bits(Quarlin_P.piProportionalGain * 1.0F + upperReach), bits(upperLimit));
    ASSERT_EQ(bits(Quarlin_P.piProportionalGain * -1.0F + lowerReach), bits(lowerLimit));

    const StepCase cases[] = {
        {"all inputs zero", {}, {},
         {.angleOut = 0.0F, .speedRpm = 0.0F, .pllSpeed = 0.0F, .pllIntegratorIn = 0.0F,
          .pllAngle = 0.0F, .currentBetaNext = 0.0F, .emfBetaNext = 0.0F,
          .currentAlphaNext = 0.0F, .emfAlphaNext = 0.0F, .pllIntegratorAfterUpdate = 0.0F}},
        {"current alpha 1 gives -k3 and -k4", {}, {.iAlpha = 1.0F},
         {.angleOut = 0.0F, .speedRpm = 0.0F, .pllSpeed = 0.0F, .pllIntegratorIn = 0.0F,
          .pllAngle = 0.0F, .currentBetaNext = 0.0F, .emfBetaNext = 0.0F,
          .currentAlphaNext = 0.39999998F, .emfAlphaNext = -1.4F}},
        {"current alpha -1 gives k3 and k4", {}, {.iAlpha = -1.0F},
         {.currentAlphaNext = fromBits(0xBECCCCCC), .emfAlphaNext = fromBits(0x3FB33333)}},
        {"voltage alpha 1 gives k1", {}, {.vAlpha = 1.0F},
         {.speedRpm = 0.0F, .pllSpeed = 0.0F, .pllIntegratorIn = 0.0F, .pllAngle = 0.0F,
          .currentBetaNext = 0.0F, .emfBetaNext = 0.0F,
          .currentAlphaNext = fromBits(0x3C991F1A), .emfAlphaNext = 0.0F}},
        {"voltage beta 1 gives k1", {}, {.vBeta = 1.0F},
         {.currentBetaNext = fromBits(0x3C991F1A), .emfBetaNext = 0.0F,
          .currentAlphaNext = 0.0F}},
        {"held current equal to measured gives k2", {.currentAlpha = 1.0F}, {.iAlpha = 1.0F},
         {.currentAlphaNext = fromBits(0x3F5EA5F2), .emfAlphaNext = 0.0F}},
        {"emf alpha -1: phase error 1, unsaturated", {.emfAlpha = -1.0F}, {},
         {.angleOut = 0.0F, .speedRpm = fromBits(0x43FD2CFC), .pllSpeed = 212.1F,
          .pllIntegratorIn = 2500.0F, .pllAngle = 0.02121F, .currentBetaNext = 0.0F,
          .emfBetaNext = 0.0F, .currentAlphaNext = fromBits(0x3C991F1A), .emfAlphaNext = -1.0F,
          .pllIntegratorAfterUpdate = 0.25F}},
        {"above the upper limit, integrator clamped", {.emfAlpha = -1.0F, .pllIntegrator = 7000.0F}, {},
         {.speedRpm = 15000.0F, .pllSpeed = upperLimit, .pllIntegratorIn = 0.0F,
          .pllIntegratorAfterUpdate = 7000.0F}},
        {"above the upper limit, integrator runs back", {.emfAlpha = 1.0F, .pllIntegrator = 7000.0F}, {},
         {.speedRpm = 15000.0F, .pllSpeed = upperLimit, .pllIntegratorIn = -2500.0F,
          .pllIntegratorAfterUpdate = 6999.75F}},
        {"below the lower limit, integrator clamped", {.emfAlpha = 1.0F, .pllIntegrator = -7000.0F}, {},
         {.speedRpm = -15000.0F, .pllSpeed = lowerLimit, .pllIntegratorIn = 0.0F,
          .pllIntegratorAfterUpdate = -7000.0F}},
        {"below the lower limit, integrator runs back", {.emfAlpha = -1.0F, .pllIntegrator = -7000.0F}, {},
         {.speedRpm = -15000.0F, .pllSpeed = lowerLimit, .pllIntegratorIn = 2500.0F,
          .pllIntegratorAfterUpdate = -6999.75F}},
        {"exactly the upper limit passes unclamped", {.emfAlpha = -1.0F, .pllIntegrator = upperReach}, {},
         {.speedRpm = 15000.0F, .pllSpeed = upperLimit, .pllIntegratorIn = 2500.0F}},
        {"exactly the lower limit passes unclamped", {.emfAlpha = 1.0F, .pllIntegrator = lowerReach}, {},
         {.speedRpm = -15000.0F, .pllSpeed = lowerLimit, .pllIntegratorIn = -2500.0F}},
        {"angle above 2 pi wraps down", {.angle = 6.25F, .pllIntegrator = 1000.0F}, {},
         {.angleOut = 6.25F, .speedRpm = 2387.324F, .pllSpeed = 1000.0F,
          .pllAngle = fromBits(0x3D88D600)}},
        {"angle below 0 wraps up", {.angle = 0.05F, .pllIntegrator = -1000.0F}, {},
         {.angleOut = 0.05F, .speedRpm = -2387.324F, .pllSpeed = -1000.0F,
          .pllAngle = fromBits(0x40C77641)}},
        {"angle landing on 2 pi is kept", {.angle = twoPi}, {}, {.pllAngle = twoPi}},
        {"-0 angle reaches output 0 with its sign", {.angle = -0.0F}, {},
         {.angleOut = -0.0F, .pllAngle = 0.0F}},
    };

    for (const StepCase& c : cases) {
        SCOPED_TRACE(c.name);
        Model m(c.states);
        m.output(c.inputs);
        const Expected& e = c.expected;
        expectBits(e.angleOut, m.angleOut, "output 0");
        expectBits(e.speedRpm, m.speedRpmOut, "output 1");
        expectBits(e.pllSpeed, m.rtb.pllSpeed, "pllSpeed");
        expectBits(e.pllIntegratorIn, m.rtb.pllIntegratorIn, "pllIntegratorIn");
        expectBits(e.pllAngle, m.rtb.pllAngle, "pllAngle");
        expectBits(e.currentBetaNext, m.rtb.currentBetaNext, "currentBetaNext");
        expectBits(e.emfBetaNext, m.rtb.emfBetaNext, "emfBetaNext");
        expectBits(e.currentAlphaNext, m.rtb.currentAlphaNext, "currentAlphaNext");
        expectBits(e.emfAlphaNext, m.rtb.emfAlphaNext, "emfAlphaNext");

        // The output function changes no state; the update commits rtb.
        const States before = statesOf(m.rtdw);
        EXPECT_EQ(std::memcmp(&before, &c.states, sizeof before), 0);
        Quarlin_Update(&m.rtb, &m.rtdw);
        expectBits(e.pllIntegratorAfterUpdate, m.rtdw.pllIntegrator, "pllIntegrator after update");
        EXPECT_EQ(bits(m.rtdw.emfAlpha), bits(m.rtb.emfAlphaNext));
        EXPECT_EQ(bits(m.rtdw.emfBeta), bits(m.rtb.emfBetaNext));
        EXPECT_EQ(bits(m.rtdw.speed), bits(m.rtb.pllSpeed));
        EXPECT_EQ(bits(m.rtdw.angle), bits(m.rtb.pllAngle));
        EXPECT_EQ(bits(m.rtdw.currentBeta), bits(m.rtb.currentBetaNext));
        EXPECT_EQ(bits(m.rtdw.currentAlpha), bits(m.rtb.currentAlphaNext));
    }
}

TEST(Step, RunFlagOfTheBranchTakenAdvances) {
    enum class Branch { noWrap, wrapHigh, wrapLow };
    struct Scenario {
        const char* name;
        Branch branch;
        States states;
    };
    const Scenario scenarios[] = {
        {"no wrap", Branch::noWrap, {}},
        {"wrap high", Branch::wrapHigh, {.angle = 6.25F, .pllIntegrator = 1000.0F}},
        {"wrap low", Branch::wrapLow, {.angle = 0.05F, .pllIntegrator = -1000.0F}},
        {"NaN angle takes no wrap", Branch::noWrap, {.angle = nan}},
        {"-0 angle takes no wrap", Branch::noWrap, {.angle = -0.0F}},
    };
    struct Advance {
        int8_t before;
        int8_t after;
    };
    const Advance advances[] = {{0, 2}, {3, 1}, {1, 1}, {2, 2}, {4, 4}, {5, 5}, {-1, -1}, {127, 127}};

    for (const Scenario& s : scenarios) {
        for (const Advance& a : advances) {
            SCOPED_TRACE(std::string(s.name) + ", flag " + std::to_string(a.before));
            Model m(s.states);
            m.rtdw.noWrapRan = m.rtdw.wrapHighRan = m.rtdw.wrapLowRan = a.before;
            m.output({});
            EXPECT_EQ(m.rtdw.noWrapRan, s.branch == Branch::noWrap ? a.after : a.before);
            EXPECT_EQ(m.rtdw.wrapHighRan, s.branch == Branch::wrapHigh ? a.after : a.before);
            EXPECT_EQ(m.rtdw.wrapLowRan, s.branch == Branch::wrapLow ? a.after : a.before);
        }
    }
}

TEST(Step, OutputTwiceWithoutUpdateGivesTheSameResults) {
    Model m({.emfAlpha = 0.5F, .emfBeta = -2.0F, .speed = 300.0F, .angle = 1.0F,
             .pllIntegrator = 250.0F, .currentBeta = 0.25F, .currentAlpha = -0.75F});
    const Inputs in{.iAlpha = 1.5F, .iBeta = -0.5F, .vAlpha = 12.0F, .vBeta = -3.0F};
    m.output(in);
    const Quarlin_B first = m.rtb;
    const float out0 = m.angleOut;
    const float out1 = m.speedRpmOut;
    m.output(in);
    EXPECT_EQ(std::memcmp(&first, &m.rtb, sizeof first), 0);
    EXPECT_EQ(bits(out0), bits(m.angleOut));
    EXPECT_EQ(bits(out1), bits(m.speedRpmOut));
}

TEST(Step, NanInACurrentReachesEveryEstimateAndLeavesTheIntegrator) {
    const float integrator = 123.5F;
    Model m({.pllIntegrator = integrator});
    m.step({.iAlpha = nan});
    m.step({});
    m.output({});  // two steps after the NaN reached the states
    for (int held = 0; held < 5; ++held) {
        SCOPED_TRACE("step " + std::to_string(held));
        EXPECT_TRUE(std::isnan(m.angleOut));
        EXPECT_TRUE(std::isnan(m.speedRpmOut));
        EXPECT_TRUE(std::isnan(m.rtb.pllSpeed));
        EXPECT_TRUE(std::isnan(m.rtb.pllAngle));
        EXPECT_TRUE(std::isnan(m.rtb.currentBetaNext));
        EXPECT_TRUE(std::isnan(m.rtb.emfBetaNext));
        EXPECT_TRUE(std::isnan(m.rtb.currentAlphaNext));
        EXPECT_TRUE(std::isnan(m.rtb.emfAlphaNext));
        EXPECT_EQ(bits(m.rtb.pllIntegratorIn), 0U);
        Quarlin_Update(&m.rtb, &m.rtdw);
        EXPECT_EQ(bits(m.rtdw.pllIntegrator), bits(integrator));
        m.output({.iAlpha = 1.0F, .iBeta = 1.0F, .vAlpha = 1.0F, .vBeta = 1.0F});
    }

    Quarlin_Reset(&m.rtdw);
    m.output({});
    EXPECT_EQ(bits(m.angleOut), 0U);
    EXPECT_EQ(bits(m.speedRpmOut), 0U);
    EXPECT_EQ(bits(m.rtb.emfAlphaNext), 0U);
}

// --- a binary32 reference on general values --------------------------------
//
// Each operation is done exactly in binary64 and rounded once to binary32:
// binary64 holds every product of two binary32 values exactly, and its 53
// bits are enough for a second rounding of a sum or quotient to give the
// binary32 result.  So these are the binary32 operations, done otherwise.

float mul(float a, float b) { return static_cast<float>(double(a) * double(b)); }
float add(float a, float b) { return static_cast<float>(double(a) + double(b)); }
float sub(float a, float b) { return static_cast<float>(double(a) - double(b)); }
float div(float a, float b) { return static_cast<float>(double(a) / double(b)); }

struct ReferenceStep {
    float speedRpm;
    Quarlin_B b;
};

// Only for states inside the speed limits whose angle stays inside [0, 2 pi]:
// the branches are the edge-case table's business.
ReferenceStep reference(const States& s, const Inputs& in) {
    const float Ts = 1e-4F, L = 0.00535F, Rs = 6.97F, G1 = -4000.0F, G2 = 14000.0F, Pn = 4.0F;
    const float c = muSingleScalarCos(s.angle);
    const float sn = muSingleScalarSin(s.angle);
    const float err = sub(sub(0.0F, mul(c, s.emfAlpha)), mul(sn, s.emfBeta));
    const float u = add(mul(212.1F, err), s.pllIntegrator);
    EXPECT_TRUE(u > lowerLimit && u < upperLimit) << "reference row leaves the linear range";
    ReferenceStep r{};
    r.b.pllSpeed = u;
    r.speedRpm = mul(mul(div(1.0F, Pn), u), 9.549296F);
    r.b.pllIntegratorIn = mul(2500.0F, err);
    r.b.pllAngle = add(mul(u, 1e-4F), s.angle);
    EXPECT_TRUE(r.b.pllAngle >= 0.0F && r.b.pllAngle <= twoPi) << "reference row wraps";

    const float k1 = div(Ts, L);
    const float k2 = sub(1.0F, div(mul(Ts, Rs), L));
    const float k3 = mul(Ts, G1);
    const float k4 = mul(Ts, G2);
    const float w = mul(Ts, s.speed);
    const float dB = sub(s.currentBeta, in.iBeta);
    const float dA = sub(s.currentAlpha, in.iAlpha);
    r.b.currentBetaNext =
        add(mul(k3, dB), add(sub(mul(s.currentBeta, k2), mul(k1, s.emfBeta)), mul(in.vBeta, k1)));
    r.b.emfBetaNext = add(mul(k4, dB), add(mul(w, s.emfAlpha), s.emfBeta));
    r.b.currentAlphaNext =
        add(mul(k3, dA), add(sub(mul(s.currentAlpha, k2), mul(k1, s.emfAlpha)), mul(in.vAlpha, k1)));
    r.b.emfAlphaNext = add(mul(k4, dA), sub(s.emfAlpha, mul(s.emfBeta, w)));
    return r;
}

TEST(Step, MatchesABinary32ReferenceOnGeneralValues) {
    struct Row {
        const char* name;
        States states;
        Inputs inputs;
    };
    const Row rows[] = {
        {"mid speed, every state set",
         {.emfAlpha = 3.7F, .emfBeta = -12.25F, .speed = 1234.5F, .angle = 1.2345F,
          .pllIntegrator = 321.0F, .currentBeta = 0.77F, .currentAlpha = -1.93F},
         {.iAlpha = -1.5F, .iBeta = 0.66F, .vAlpha = 24.1F, .vBeta = -17.3F}},
        {"reverse speed near 2 pi",
         {.emfAlpha = -0.031F, .emfBeta = 0.0172F, .speed = -2987.3F, .angle = 6.1F,
          .pllIntegrator = -2900.7F, .currentBeta = -7.1F, .currentAlpha = 3.3F},
         {.iAlpha = 3.29F, .iBeta = -7.3F, .vAlpha = -101.7F, .vBeta = 55.5F}},
        {"small values",
         {.emfAlpha = 1.3e-3F, .emfBeta = 7.7e-4F, .speed = 0.37F, .angle = 0.0031F,
          .pllIntegrator = 0.11F, .currentBeta = 2.2e-3F, .currentAlpha = -9.1e-4F},
         {.iAlpha = 1.1e-3F, .iBeta = -3.3e-3F, .vAlpha = 0.017F, .vBeta = 0.0091F}},
        {"large voltages",
         {.emfAlpha = -12.0F, .emfBeta = 8.5F, .speed = 5100.0F, .angle = 3.9F,
          .pllIntegrator = 4700.25F, .currentBeta = 12.5F, .currentAlpha = -18.75F},
         {.iAlpha = -18.0F, .iBeta = 13.0F, .vAlpha = 310.0F, .vBeta = -290.0F}},
    };
    auto check = [](const States& states, const Inputs& inputs) {
        const ReferenceStep r = reference(states, inputs);
        Model m(states);
        m.output(inputs);
        EXPECT_EQ(hexOf(m.angleOut), hexOf(states.angle));
        EXPECT_EQ(hexOf(m.speedRpmOut), hexOf(r.speedRpm));
        EXPECT_EQ(hexOf(m.rtb.pllSpeed), hexOf(r.b.pllSpeed));
        EXPECT_EQ(hexOf(m.rtb.pllIntegratorIn), hexOf(r.b.pllIntegratorIn));
        EXPECT_EQ(hexOf(m.rtb.pllAngle), hexOf(r.b.pllAngle));
        EXPECT_EQ(hexOf(m.rtb.currentBetaNext), hexOf(r.b.currentBetaNext));
        EXPECT_EQ(hexOf(m.rtb.emfBetaNext), hexOf(r.b.emfBetaNext));
        EXPECT_EQ(hexOf(m.rtb.currentAlphaNext), hexOf(r.b.currentAlphaNext));
        EXPECT_EQ(hexOf(m.rtb.emfAlphaNext), hexOf(r.b.emfAlphaNext));
        Quarlin_Update(&m.rtb, &m.rtdw);
        EXPECT_EQ(hexOf(m.rtdw.pllIntegrator),
                  hexOf(add(mul(r.b.pllIntegratorIn, 1e-4F), states.pllIntegrator)));
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        check(row.states, row.inputs);
    }

    // Rounding shows a change of grouping only on some values, so many are
    // tried; all stay inside the speed limits and away from the wrap.
    std::mt19937 random(20240611);
    auto uniform = [&random](float lo, float hi) {
        return std::uniform_real_distribution<float>(lo, hi)(random);
    };
    for (int n = 0; n < 2000; ++n) {
        const States states{.emfAlpha = uniform(-3.0F, 3.0F), .emfBeta = uniform(-3.0F, 3.0F),
                            .speed = uniform(-6000.0F, 6000.0F), .angle = uniform(1.0F, 5.0F),
                            .pllIntegrator = uniform(-3000.0F, 3000.0F),
                            .currentBeta = uniform(-20.0F, 20.0F),
                            .currentAlpha = uniform(-20.0F, 20.0F)};
        const Inputs inputs{.iAlpha = uniform(-20.0F, 20.0F), .iBeta = uniform(-20.0F, 20.0F),
                            .vAlpha = uniform(-300.0F, 300.0F), .vBeta = uniform(-300.0F, 300.0F)};
        SCOPED_TRACE("generated case " + std::to_string(n));
        check(states, inputs);
        if (HasFailure()) {
            break;
        }
    }
}

TEST(Step, InstancesKeepSeparateStates) {
    Model a;
    Model b({.emfAlpha = 1.0F, .angle = 2.0F, .pllIntegrator = 50.0F});
    Model bAlone = b;
    for (int k = 0; k < 100; ++k) {
        a.step({.iAlpha = 1.0F, .iBeta = -1.0F, .vAlpha = 5.0F, .vBeta = 3.0F});
    }
    EXPECT_EQ(std::memcmp(&b.rtdw, &bAlone.rtdw, sizeof b.rtdw), 0);
    for (int k = 0; k < 100; ++k) {
        b.step({.vAlpha = 2.0F});
        a.step({.iAlpha = -3.0F});
        bAlone.step({.vAlpha = 2.0F});
    }
    EXPECT_EQ(std::memcmp(&b.rtdw, &bAlone.rtdw, sizeof b.rtdw), 0);
    EXPECT_EQ(std::memcmp(&b.rtb, &bAlone.rtb, sizeof b.rtb), 0);
}

// --- the estimates of a turning machine -------------------------------------
//
// A machine with the model's Rs and L turns at a constant electrical speed.
// Its back-EMF phasor is (-E sin phi, E cos phi), E = flux * |speed| > 0, so
// that phi is the angle the PLL locks onto in either direction; its current
// is a constant-amplitude phasor and its voltage v = Rs i + L di/dt + e.
// From the state after Quarlin_Init the observer should recover the back-EMF
// and the PLL its angle and speed; throughout, the speed stays within its
// limits and the angle within [0, 2 pi].  (From a standing start the loop
// locks up to about 50 Hz; faster machines must be brought up to speed.)

// A NaN error counts as the worst there is.
void keepWorst(double& worst, double error) {
    worst = std::isnan(error) ? INFINITY : std::max(worst, std::abs(error));
}

TEST(Step, RecoversTheAngleAndSpeedOfATurningMachine) {
    struct Machine {
        const char* name;
        double speed;    // rad/s, electrical
        double flux;     // Wb
        double current;  // A, amplitude
    };
    const Machine machines[] = {
        {"forward, 50 Hz", 2.0 * std::numbers::pi * 50.0, 0.05, 2.0},
        {"backward, 50 Hz", -2.0 * std::numbers::pi * 50.0, 0.05, 2.0},
        {"forward, 10 Hz, no current", 2.0 * std::numbers::pi * 10.0, 0.05, 0.0},
    };
    const double Rs = 6.97, L = 0.00535, Ts = 1e-4;
    const int settle = 10000, observe = 2000;

    for (const Machine& machine : machines) {
        SCOPED_TRACE(machine.name);
        const double rpm = machine.speed / 4.0 * 30.0 / std::numbers::pi;
        const double E = machine.flux * std::abs(machine.speed);
        Model m;
        double worstAngleError = 0.0, worstSpeedError = 0.0, worstRpmError = 0.0;
        bool withinLimits = true;
        for (int k = 0; k < settle + observe; ++k) {
            const double phi = machine.speed * (k * Ts);
            const double currentAngle = phi + std::numbers::pi / 2.0;
            const double iA = machine.current * std::cos(currentAngle);
            const double iB = machine.current * std::sin(currentAngle);
            const double diA = -machine.speed * iB;
            const double diB = machine.speed * iA;
            const double eA = -E * std::sin(phi);
            const double eB = E * std::cos(phi);
            m.output({.iAlpha = float(iA), .iBeta = float(iB),
                      .vAlpha = float(Rs * iA + L * diA + eA), .vBeta = float(Rs * iB + L * diB + eB)});
            withinLimits = withinLimits && m.rtb.pllSpeed >= lowerLimit && m.rtb.pllSpeed <= upperLimit &&
                           m.rtb.pllAngle >= 0.0F && m.rtb.pllAngle <= twoPi;
            if (k >= settle) {
                const double angleError = std::remainder(double(m.angleOut) - phi, 2.0 * std::numbers::pi);
                keepWorst(worstAngleError, angleError);
                keepWorst(worstSpeedError, m.rtb.pllSpeed - machine.speed);
                keepWorst(worstRpmError, m.speedRpmOut - rpm);
            }
            Quarlin_Update(&m.rtb, &m.rtdw);
        }
        EXPECT_TRUE(withinLimits);
        EXPECT_LT(worstAngleError, 0.01) << "rad";
        EXPECT_LT(worstSpeedError, 0.01 * std::abs(machine.speed)) << "rad/s";
        EXPECT_LT(worstRpmError, 0.01 * std::abs(rpm)) << "rpm";
    }
}

}  // namespace

// A host may hand an output buffer that is also an input buffer.  The step
// writes both outputs before it reads any input, so each aliased input reads
// the output just written: the result equals a step whose inputs are those
// outputs.
TEST(Step, WritesBothOutputsBeforeReadingAnInput) {
    const States start{1.5F, -0.25F, 300.0F, 2.0F, 40.0F, 0.5F, -0.5F};
    const Inputs given{0.1F, -0.2F, 3.0F, -4.0F};

    Model outputsOnly(start);
    outputsOnly.output(given);
    const float angle = outputsOnly.angleOut;
    const float speed = outputsOnly.speedRpmOut;

    struct Case {
        const char* name;
        int angleInput;  // index into the four inputs
        int speedInput;
    };
    for (const Case c : {Case{"angle on i_alpha, speed on v_beta", 0, 3}, Case{"angle on v_alpha, speed on i_beta", 2, 1}}) {
        SCOPED_TRACE(c.name);
        float expectedIn[4] = {given.iAlpha, given.iBeta, given.vAlpha, given.vBeta};
        expectedIn[c.angleInput] = angle;
        expectedIn[c.speedInput] = speed;
        Model reference(start);
        reference.step({expectedIn[0], expectedIn[1], expectedIn[2], expectedIn[3]});

        Model aliased(start);
        float buffers[4] = {given.iAlpha, given.iBeta, given.vAlpha, given.vBeta};
        Quarlin(&buffers[0], &buffers[1], &buffers[2], &buffers[3], &buffers[c.angleInput],
                &buffers[c.speedInput], &aliased.rtb, &aliased.rtdw);
        Quarlin_Update(&aliased.rtb, &aliased.rtdw);

        EXPECT_EQ(bits(buffers[c.angleInput]), bits(angle));
        EXPECT_EQ(bits(buffers[c.speedInput]), bits(speed));
        const States got = statesOf(aliased.rtdw);
        const States want = statesOf(reference.rtdw);
        EXPECT_EQ(std::memcmp(&got, &want, sizeof got), 0);
        EXPECT_EQ(hexOf(got.currentAlpha), hexOf(want.currentAlpha));
        EXPECT_EQ(hexOf(got.emfBeta), hexOf(want.emfBeta));
    }
}
