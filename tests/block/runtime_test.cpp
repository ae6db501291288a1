// The run-time methods on a set-up instance: which model functions each
// runs for which task id, on which records.

#include <cmath>
#include <limits>
#include <string>

#include "block_fixture.h"
#include "gateway/sfun_support.h"

namespace {

using Runtime = BlockTest;

// What a method call should leave: nothing, the outputs of one step, or
// one step and its update.
enum class Effect { none, outputs, outputsAndUpdate };

struct StepCase {
    const char* name;
    MdlTidMethod method;
    int32_t tid;
    Effect effect;
};

const StepCase kSteps[] = {
    {"outputs, task 0", mdlOutputs, 0, Effect::outputs},
    {"outputs, task 1", mdlOutputs, 1, Effect::outputs},
    {"outputs, task -1", mdlOutputs, -1, Effect::outputs},
    {"outputs, no task (-2)", mdlOutputs, -2, Effect::none},
    {"outputs, task 1 of the model only (-5)", mdlOutputs, -5, Effect::none},
    {"periodic, task 0", mdlPeriodicOutputUpdate, 0, Effect::outputsAndUpdate},
    {"periodic, task 1", mdlPeriodicOutputUpdate, 1, Effect::none},
    {"periodic, -2", mdlPeriodicOutputUpdate, -2, Effect::none},
    {"periodic, -5", mdlPeriodicOutputUpdate, -5, Effect::none},
};

// The instance after a few steps, so that every state and flag is in play.
void warmUp(BlockInstance& block) {
    for (int sample = 0; sample < 40; ++sample) {
        driveInputs(block, sample);
        block.step();
    }
    block.setInputs(0.25f, -1.5f, 30.0f, 7.0f);
}

TEST_F(Runtime, StepMethodsRunTheModelByTaskId) {
    for (const StepCase& c : kSteps) {
        SCOPED_TRACE(c.name);
        BlockInstance block;
        warmUp(block);

        // The expected result: the model run directly on a copy of the records.
        Quarlin_MdlrefDW expected = block.container();
        float angle = block.host.output(0);
        float speed = block.host.output(1);
        if (c.effect != Effect::none) {
            const float in[4] = {0.25f, -1.5f, 30.0f, 7.0f};
            Quarlin(&in[0], &in[1], &in[2], &in[3], &angle, &speed, &expected.rtb, &expected.rtdw);
        }
        if (c.effect == Effect::outputsAndUpdate) Quarlin_Update(&expected.rtb, &expected.rtdw);

        c.method(block.S(), c.tid);

        EXPECT_EQ(bitsOf(block.host.output(0)), bitsOf(angle));
        EXPECT_EQ(bitsOf(block.host.output(1)), bitsOf(speed));
        EXPECT_EQ(bytesOf(block.container().rtb), bytesOf(expected.rtb));
        EXPECT_EQ(bytesOf(block.container().rtdw), bytesOf(expected.rtdw));
    }
}

TEST_F(Runtime, StepMethodsFetchEveryInputWhateverTheTaskId) {
    for (const StepCase& c : kSteps) {
        SCOPED_TRACE(c.name);
        BlockInstance block;
        warmUp(block);
        const auto before = bytesOf(block.container());
        block.host.clearInputSignal(3);

        SimStruct* S = block.S();
        EXPECT_TRUE(endsInHostError([&] { c.method(S, c.tid); }));
        ASSERT_NE(subhost_mex_lastError(), nullptr);
        EXPECT_STREQ(subhost_message_id(subhost_mex_lastError()),
                     "Simulink:SFunctions:SimStructLevel2InvalidAccessToNonDirectFeedthroughInputSignal");
        EXPECT_EQ(bytesOf(block.container()), before);
    }
}

TEST_F(Runtime, UpdateCommitsTheBlockSignalsWhateverTheTaskId) {
    for (int32_t tid : {0, -2, 3}) {
        SCOPED_TRACE(tid);
        BlockInstance block;
        // Before any output call the signals are the zeros of the set-up.
        block.container().rtdw.angle = 1.0f;
        mdlUpdate(block.S(), tid);
        EXPECT_EQ(bitsOf(block.container().rtdw.angle), 0u);

        warmUp(block);
        mdlOutputs(block.S(), 0);
        Quarlin_MdlrefDW expected = block.container();
        Quarlin_Update(&expected.rtb, &expected.rtdw);
        mdlUpdate(block.S(), tid);
        EXPECT_EQ(bytesOf(block.container().rtdw), bytesOf(expected.rtdw));
    }
}

struct LoadCase {
    const char* name;
    MdlMethod method;
};

const LoadCase kLoads[] = {
    {"initialize conditions", mdlInitializeConditions},
    {"reset", mdlReset},
};

TEST_F(Runtime, InitializeAndResetLoadTheInitialStatesOnly) {
    for (const LoadCase& c : kLoads) {
        SCOPED_TRACE(c.name);
        BlockInstance block;
        warmUp(block);
        Quarlin_MdlrefDW& dw = block.container();
        const Quarlin_MdlrefDW before = dw;
        ASSERT_NE(bitsOf(dw.rtdw.angle), 0u);

        c.method(block.S());

        for (float state : {dw.rtdw.emfAlpha, dw.rtdw.emfBeta, dw.rtdw.speed, dw.rtdw.angle,
                            dw.rtdw.pllIntegrator, dw.rtdw.currentBeta, dw.rtdw.currentAlpha})
            EXPECT_EQ(bitsOf(state), 0u);
        EXPECT_EQ(dw.rtdw.noWrapRan, before.rtdw.noWrapRan);
        EXPECT_EQ(dw.rtdw.wrapLowRan, before.rtdw.wrapLowRan);
        EXPECT_EQ(dw.rtdw.wrapHighRan, before.rtdw.wrapHighRan);
        EXPECT_EQ(bytesOf(dw.rtb), bytesOf(before.rtb));
        EXPECT_EQ(bytesOf(dw.rtm), bytesOf(before.rtm));
    }
}

TEST_F(Runtime, TerminateRunsTheTerminatingEventOnTheBlock) {
    BlockInstance block;
    mdlTerminate(block.S());
    SimStruct* S = block.S();
    ASSERT_EQ(subhost_slmr_pluginEventCount(S), 2);
    EXPECT_STREQ(subhost_slmr_pluginEventModel(S, 1), "Quarlin");
    EXPECT_STREQ(subhost_slmr_pluginEventName(S, 1), "SIMSTATUS_TERMINATING_MODELREF_ACCEL_EVENT");
}

TEST_F(Runtime, MissingMethodsReportTheirConstantDiagnostics) {
    BlockInstance block;
    SimStruct* S = block.S();
    mdlZeroCrossings(S);
    mdlZeroCrossings(S);
    EXPECT_EQ(S->errorStatus, diag::kNoMdlZeroCrossings);
    EXPECT_EQ(block.host.errorStatus(),
              "<diag_root><diag id=\"Simulink:SFunctions:SimStructNoMdlZeroCrossings\"><arguments>"
              "</arguments></diag></diag_root>");
    mdlGetTimeOfNextVarHit(S);
    EXPECT_EQ(S->errorStatus, diag::kNoMdlGetTimeOfNextVarHit);
    EXPECT_EQ(block.host.errorStatus(),
              "<diag_root><diag id=\"Simulink:SFunctions:SimStructNoMdlGetTimeOfNextVarHit\">"
              "<arguments></arguments></diag></diag_root>");
    EXPECT_EQ(S->blockInfo->errorStatusIsDiagnostic, 0);
}

struct AbsTolCase {
    const char* name;
    int32_t index;
    double value;
    bool stored;
    bool reported;
};

const double kInf = std::numeric_limits<double>::infinity();
const double kNaN = std::numeric_limits<double>::quiet_NaN();

// Two continuous states; every entry starts at 0.5, unmarked.
const AbsTolCase kAbsTols[] = {
    {"-1 keeps the host's default", 0, -1.0, false, false},
    {"zero", 0, 0.0, true, false},
    {"small", 1, 1e-6, true, false},
    {"negative zero", 1, -0.0, true, false},
    {"negative", 0, -2.0, false, true},
    {"+infinity", 0, kInf, false, true},
    {"NaN", 1, kNaN, false, true},
    {"index past the states", 2, 1e-3, false, false},
    {"negative index", -1, 1e-3, false, false},
    {"bad value at a bad index", 5, -2.0, false, true},
};

TEST_F(Runtime, StateAbsTolStoresValidTolerancesOfExistingStates) {
    for (const AbsTolCase& c : kAbsTols) {
        SCOPED_TRACE(c.name);
        subhost::HostRecord host;
        host.giveStates(2);
        SimStruct* S = host.S();
        S->states->absTol[0] = S->states->absTol[1] = 0.5;

        _ssSetStateAbsTol(S, c.index, c.value);

        for (int32_t i = 0; i < 2; ++i) {
            const bool hit = c.stored && i == c.index;
            EXPECT_EQ(bitsOf(S->states->absTol[i]), bitsOf(hit ? c.value : 0.5)) << i;
            EXPECT_EQ(S->states->absTolSetByBlock[i], hit ? 1 : 0) << i;
        }
        EXPECT_EQ(host.errorStatus(), c.reported ? "Incorrect absolute tolerance value." : "");
    }
}

TEST_F(Runtime, GetAbsTolMarksEveryContinuousState) {
    for (int32_t states : {0, 3}) {
        SCOPED_TRACE(states);
        subhost::HostRecord host;
        host.giveStates(states);
        SimStruct* S = host.S();
        EXPECT_EQ(_ssGetAbsTol(S), S->states->absTol);
        const int32_t kept = states > 0 ? states : 1;
        for (int32_t i = 0; i < kept; ++i) EXPECT_EQ(S->states->absTolSetByBlock[i], states > 0 ? 1 : 0);
    }
}

}  // namespace
