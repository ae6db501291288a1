// What the host's maths library sees of one observer step: which functions
// are called, in which order, with which argument bits.  A host that logs
// its calls must see exactly this sequence, whatever its own rounding.

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "model_fixture.h"
#include "subhost/control.h"

namespace {

struct LoggedStep {
    std::vector<subhost_mu_call> calls;
    int32_t length = 0;
};

LoggedStep logOneStep(Model& model, const Inputs& in) {
    subhost_mu_openLog();
    model.output(in);
    subhost_mu_closeLog();
    LoggedStep step;
    step.length = subhost_mu_logLength();
    for (int32_t i = 0; i < step.length; ++i) {
        subhost_mu_call call{};
        if (subhost_mu_logEntry(i, &call)) step.calls.push_back(call);
    }
    return step;
}

std::vector<subhost_mu_function> functionsOf(const LoggedStep& step) {
    std::vector<subhost_mu_function> functions;
    for (const subhost_mu_call& call : step.calls) functions.push_back(call.function);
    return functions;
}

constexpr uint32_t k256 = 0x43800000u;

struct Case {
    const char* name;
    States states;
    std::vector<subhost_mu_function> functions;
};

// Cosine and sine of the held angle; then, per sign taken (dead zone first,
// integrator input second), the sign, its NaN test and, for a sign that is a
// number, its remainder by 256.  A NaN sign counts as 0 without a remainder.
const std::vector<subhost_mu_function> kNumberSigns = {
    subhost_mu_cos,  subhost_mu_sin,   subhost_mu_sign, subhost_mu_isNaN,
    subhost_mu_rem,  subhost_mu_sign,  subhost_mu_isNaN, subhost_mu_rem,
};
const std::vector<subhost_mu_function> kNanSigns = {
    subhost_mu_cos, subhost_mu_sin, subhost_mu_sign, subhost_mu_isNaN, subhost_mu_sign, subhost_mu_isNaN,
};

const Case kCases[] = {
    {"inside the speed limits", {1.5F, -0.25F, 300.0F, 2.0F, 40.0F, 0.5F, -0.5F}, kNumberSigns},
    {"saturated above", {-300.0F, 0.0F, 6000.0F, 0.0F, 7000.0F, 0.0F, 0.0F}, kNumberSigns},
    {"NaN back-EMF", {std::nanf(""), 0.0F, 0.0F, 1.0F, 0.0F, 0.0F, 0.0F}, kNanSigns},
};

TEST(HostCalls, OneStepCallsTheMathsLibraryInTheStepsOrder) {
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        Model model(c.states);
        const LoggedStep step = logOneStep(model, {0.1F, -0.2F, 3.0F, -4.0F});
        ASSERT_EQ(step.length, static_cast<int32_t>(c.functions.size()));
        ASSERT_EQ(functionsOf(step), c.functions);

        // Both trigonometric calls take the held angle.
        EXPECT_EQ(step.calls[0].args[0], bits(c.states.angle));
        EXPECT_EQ(step.calls[1].args[0], bits(c.states.angle));

        // Each NaN test takes the sign just answered; each remainder takes
        // that sign and 256.
        for (size_t i = 2; i < step.calls.size(); ++i) {
            const subhost_mu_call& call = step.calls[i];
            const subhost_mu_call& before = step.calls[i - 1];
            if (call.function == subhost_mu_isNaN) EXPECT_EQ(call.args[0], before.result) << "call " << i;
            if (call.function == subhost_mu_rem) {
                EXPECT_EQ(call.args[0], step.calls[i - 2].result) << "call " << i;
                EXPECT_EQ(call.args[1], k256) << "call " << i;
            }
        }

        // The second sign is that of the integrator input, 2500 times the
        // phase error made from the host's own cosine and sine.
        const float cosTheta = fromBits(step.calls[0].result);
        const float sinTheta = fromBits(step.calls[1].result);
        const float phaseError = (0.0F - cosTheta * c.states.emfAlpha) - sinTheta * c.states.emfBeta;
        const size_t secondSign = c.functions == kNanSigns ? 4 : 5;
        EXPECT_EQ(step.calls[secondSign].args[0], bits(2500.0F * phaseError));
    }
}

}  // namespace
