// Host calls through the loaded module: every row of the dispatch table, the
// invalid flags and the two forms of the unexpected-call report.

#include <cmath>
#include <cstring>
#include <limits>

#include "engine_fixture.h"
#include "host/simstruc.h"

namespace engine_test {
namespace {

using subhost::CallResult;

// What a method put into an entry by a test was called with.
struct Received {
    enum class Kind { none, record, portInt, portTime, portPtr, integer } kind = Kind::none;
    SimStruct* S = nullptr;
    int32_t port = 0;
    int32_t value = 0;
    double period = 0.0;
    double offset = 0.0;
    const void* pointer = nullptr;
    int calls = 0;
};
Received received;

void takeRecord(SimStruct* S) { received = {Received::Kind::record, S, 0, 0, 0, 0, nullptr, received.calls + 1}; }
void takePortInt(SimStruct* S, int32_t port, int32_t value) {
    received = {Received::Kind::portInt, S, port, value, 0, 0, nullptr, received.calls + 1};
}
void takePortTime(SimStruct* S, int32_t port, double period, double offset) {
    received = {Received::Kind::portTime, S, port, 0, period, offset, nullptr, received.calls + 1};
}
void takePortPtr(SimStruct* S, int32_t port, const void* pointer) {
    received = {Received::Kind::portPtr, S, port, 0, 0, 0, pointer, received.calls + 1};
}
void takeInt(SimStruct* S, int32_t value) {
    received = {Received::Kind::integer, S, 0, value, 0, 0, nullptr, received.calls + 1};
}

using AnyMethod = void (*)();
template <typename F>
AnyMethod any(F f) {
    return reinterpret_cast<AnyMethod>(f);
}

constexpr int32_t kCallArg = 2;
constexpr int32_t kCallInt = 77;
constexpr double kCallPeriod = 0.25;
constexpr double kCallOffset = 0.125;
DimsInfo dimsForCall{1, 1, nullptr, nullptr};

class DispatchTest : public ReadyBlockTest {
protected:
    void SetUp() override {
        ReadyBlockTest::SetUp();
        received = {};
        BlockInfo& info = *block.record()->blockInfo;
        info.callIntValue = kCallInt;
        info.callPeriod = kCallPeriod;
        info.callOffset = kCallOffset;
        info.callPtrValue = &dimsForCall;
    }
    void setDimsInfoMethods(bool on) { ssSetFlagBits(block.record(), flag_bits::dimsInfoMethods, on ? 1 : 0); }

    // The block's observable state: states, run flags and outputs.
    struct Observed {
        std::array<float, subhost::kNumStates> states;
        std::array<int8_t, subhost::kNumRunFlags> flags;
        float out0, out1;
        bool operator==(const Observed& o) const {
            return std::memcmp(this, &o, sizeof *this) == 0;
        }
    };
    Observed observe() {
        Observed o{};
        o.states = block.states();
        o.flags = block.runFlags();
        o.out0 = block.output(0);
        o.out1 = block.output(1);
        return o;
    }
    // Moves the block away from its initial state.
    void stepOnce() {
        block.setInput(0, 1.5f);
        block.setInput(1, -0.75f);
        block.setInput(2, 24.0f);
        block.setInput(3, 3.0f);
        ASSERT_TRUE(block.outputs().ok);
        ASSERT_TRUE(block.update().ok);
    }
};

TEST_F(DispatchTest, FlagsWithoutARowSetTheConstantInvalidFlagText) {
    stepOnce();
    const Observed before = observe();
    for (double flag : {100.0, 154.0, 102.0, 106.0, 143.0, 148.0, -104.0, 0.0, 1e12,
                        std::numeric_limits<double>::quiet_NaN()}) {
        const CallResult call = block.hostCall(flag);
        EXPECT_EQ(call.errorStatus, diagText("SimStructInvalidFlagInSimulinkC")) << "flag " << flag;
        EXPECT_EQ(call.localErrorStatus, "") << "flag " << flag;
        EXPECT_FALSE(call.hostError.has_value()) << "flag " << flag;
    }
    EXPECT_TRUE(observe() == before);
}

TEST_F(DispatchTest, Flag153ReturnsAtOnce) {
    stepOnce();
    const Observed before = observe();
    const size_t services = block.host().serviceCalls.size();
    const CallResult call = block.hostCall(153);
    EXPECT_TRUE(call.ok) << call.describe();
    EXPECT_TRUE(observe() == before);
    EXPECT_EQ(block.host().serviceCalls.size(), services);
}

TEST_F(DispatchTest, FlagIsTruncatedTowardZero) {
    block.record()->samplePeriods[0] = 7.0;
    block.record()->samplePeriods[1] = 7.0;
    ASSERT_TRUE(block.hostCall(101.9).ok);
    const auto times = block.sampleTimes();
    ASSERT_EQ(times.size(), 2u);
    EXPECT_EQ(bits(times[0].period), bits(1e-4));
    EXPECT_EQ(bits(times[0].offset), bits(0.0));
    EXPECT_EQ(times[1].period, std::numeric_limits<double>::infinity());
    EXPECT_EQ(bits(times[1].offset), bits(0.0));
}

TEST_F(DispatchTest, OutputsRunWithTaskIdZeroUnlessCallArgIsMinusTwo) {
    subhost::Block reference(module());
    ASSERT_TRUE(reference.setUp().ok);
    for (int port = 0; port < 4; ++port) {
        const float value = port == 2 ? 24.0f : 1.0f + port;
        block.setInput(port, value);
        reference.setInput(port, value);
    }
    // A few steps away from the initial state, where both outputs are zero.
    for (int k = 0; k < 20; ++k) {
        for (subhost::Block* b : {&block, &reference}) {
            ASSERT_TRUE(b->outputs(0).ok);
            ASSERT_TRUE(b->update().ok);
        }
    }
    ASSERT_TRUE(reference.outputs(0).ok);
    ASSERT_NE(bits(reference.output(0)), bits(0.0f));
    ASSERT_NE(bits(reference.output(1)), bits(0.0f));

    constexpr float kSentinel = -1234.5f;
    struct Case {
        int32_t callArg;
        bool computes;
    };
    for (const Case c : {Case{-2, false}, Case{-1, true}, Case{3, true}, Case{-5, true}, Case{0, true}}) {
        for (int port = 0; port < 2; ++port) *static_cast<float*>(block.record()->outputPorts[port].signal) = kSentinel;
        const CallResult call = block.hostCall(104, c.callArg);
        ASSERT_TRUE(call.ok) << "callArg " << c.callArg << ": " << call.describe();
        for (int port = 0; port < 2; ++port) {
            EXPECT_EQ(bits(block.output(port)), bits(c.computes ? reference.output(port) : kSentinel))
                << "callArg " << c.callArg << " output " << port;
        }
    }
}

TEST_F(DispatchTest, EntryRowsCallTheEntryWithTheirArguments) {
    using Kind = Received::Kind;
    struct Case {
        double flag;
        void (*install)(MethodEntries&);
        bool dimsInfo;
        Kind kind;
    };
    const Case cases[] = {
        {111, [](MethodEntries& m) { m.mdlSetWorkWidths = takeRecord; }, false, Kind::record},
        {112, [](MethodEntries& m) { m.mdlCheckParameters = takeRecord; }, false, Kind::record},
        {113, [](MethodEntries& m) { m.mdlSetInputPortDataType = takePortInt; }, false, Kind::portInt},
        {114, [](MethodEntries& m) { m.mdlSetOutputPortDataType = takePortInt; }, false, Kind::portInt},
        {115, [](MethodEntries& m) { m.mdlSetInputPortWidthOrDimensionInfo = any(takePortInt); }, false, Kind::portInt},
        {116, [](MethodEntries& m) { m.mdlSetOutputPortWidthOrDimensionInfo = any(takePortInt); }, false, Kind::portInt},
        {120, [](MethodEntries& m) { m.mdlSetInputPortComplexSignal = takePortInt; }, false, Kind::portInt},
        {121, [](MethodEntries& m) { m.mdlSetOutputPortComplexSignal = takePortInt; }, false, Kind::portInt},
        {122, [](MethodEntries& m) { m.mdlSetInputPortSampleTime = takePortTime; }, false, Kind::portTime},
        {123, [](MethodEntries& m) { m.mdlSetOutputPortSampleTime = takePortTime; }, false, Kind::portTime},
        {126, [](MethodEntries& m) { m.mdlSetInputPortWidthOrDimensionInfo = any(takePortPtr); }, true, Kind::portPtr},
        {127, [](MethodEntries& m) { m.mdlSetOutputPortWidthOrDimensionInfo = any(takePortPtr); }, true, Kind::portPtr},
        {128, [](MethodEntries& m) { m.mdlSetInputPortFrameData = takePortInt; }, false, Kind::portInt},
        {131, [](MethodEntries& m) { m.mdlSetDefaultPortDimensionInfo = takeRecord; }, false, Kind::record},
        {132, [](MethodEntries& m) { m.mdlSetDefaultPortDataTypes = takeRecord; }, false, Kind::record},
        {133, [](MethodEntries& m) { m.mdlSetDefaultPortComplexSignals = takeRecord; }, false, Kind::record},
        {142, [](MethodEntries& m) { m.mdlInitializePropagationPass = takeInt; }, false, Kind::integer},
        {149, [](MethodEntries& m) { m.mdlSetInputPortSymbolicDimensions = takePortInt; }, false, Kind::portInt},
        {150, [](MethodEntries& m) { m.mdlSetOutputPortSymbolicDimensions = takePortInt; }, false, Kind::portInt},
    };
    for (const Case& c : cases) {
        const MethodEntries saved = block.record()->methods;
        c.install(block.record()->methods);
        setDimsInfoMethods(c.dimsInfo);
        received = {};
        const CallResult call = block.hostCall(c.flag, kCallArg);
        block.record()->methods = saved;

        EXPECT_TRUE(call.ok) << "flag " << c.flag << ": " << call.describe();
        EXPECT_EQ(received.calls, 1) << "flag " << c.flag;
        EXPECT_EQ(received.kind, c.kind) << "flag " << c.flag;
        EXPECT_EQ(received.S, block.record()) << "flag " << c.flag;
        switch (c.kind) {
            case Kind::portInt:
                EXPECT_EQ(received.port, kCallArg) << "flag " << c.flag;
                EXPECT_EQ(received.value, kCallInt) << "flag " << c.flag;
                break;
            case Kind::portTime:
                EXPECT_EQ(received.port, kCallArg) << "flag " << c.flag;
                EXPECT_EQ(bits(received.period), bits(kCallPeriod)) << "flag " << c.flag;
                EXPECT_EQ(bits(received.offset), bits(kCallOffset)) << "flag " << c.flag;
                break;
            case Kind::portPtr:
                EXPECT_EQ(received.port, kCallArg) << "flag " << c.flag;
                EXPECT_EQ(received.pointer, &dimsForCall) << "flag " << c.flag;
                break;
            case Kind::integer:
                EXPECT_EQ(received.value, kCallArg) << "flag " << c.flag;
                break;
            default:
                break;
        }
    }
}

TEST_F(DispatchTest, UnavailableMethodsAreReportedByName) {
    struct Case {
        double flag;
        const char* method;
        void (*prepare)(MethodEntries&);  // leaves the entry the row tests
        bool dimsInfo;
    };
    auto none = [](MethodEntries&) {};
    const Case cases[] = {
        {111, "mdlSetWorkWidths", [](MethodEntries& m) { m.mdlSetWorkWidths = nullptr; }, false},
        {112, "mdlCheckParameters", none, false},
        {113, "mdlSetInputPortDataType", none, false},
        {114, "mdlSetOutputPortDataType", none, false},
        {115, "mdlSetInputPortWidth", none, false},
        // A filled shared entry holds dimension-information methods while
        // the flag is set, and width methods while it is clear.
        {115, "mdlSetInputPortWidth",
         [](MethodEntries& m) { m.mdlSetInputPortWidthOrDimensionInfo = any(takePortPtr); }, true},
        {116, "mdlSetOutputPortWidth",
         [](MethodEntries& m) { m.mdlSetOutputPortWidthOrDimensionInfo = any(takePortPtr); }, true},
        {117, "mdlStart", [](MethodEntries& m) { m.mdlStart = nullptr; }, false},
        {120, "mdlSetInputPortComplexSignal", none, false},
        {121, "mdlSetOutputPortComplexSignal", none, false},
        {122, "mdlSetInputPortSampleTime", none, false},
        {123, "mdlSetOutputPortSampleTime", none, false},
        {126, "mdlSetInputPortDimensionInfo", none, true},
        {126, "mdlSetInputPortDimensionInfo",
         [](MethodEntries& m) { m.mdlSetInputPortWidthOrDimensionInfo = any(takePortInt); }, false},
        {127, "mdlSetOutputPortDimensionInfo",
         [](MethodEntries& m) { m.mdlSetOutputPortWidthOrDimensionInfo = any(takePortInt); }, false},
        {128, "mdlSetInputPortFrameData", none, false},
        {131, "mdlSetDefaultPortDimensionInfo", none, false},
        {132, "mdlSetDefaultPortDataTypes", none, false},
        {133, "mdlSetDefaultPortComplexSignals", none, false},
        {142, "mdlInitializePropagationPass", none, false},
        {149, "mdlSetInputPortSymbolicDimensions", none, false},
        {150, "mdlSetOutputPortSymbolicDimensions", none, false},
        {151, "mdlSetupRuntimeResources", [](MethodEntries& m) { m.mdlSetupRuntimeResources = nullptr; }, false},
        {152, "mdlCleanupRuntimeResources", [](MethodEntries& m) { m.mdlCleanupRuntimeResources = nullptr; },
         false},
    };
    stepOnce();
    const Observed before = observe();
    for (const Case& c : cases) {
        const MethodEntries saved = block.record()->methods;
        c.prepare(block.record()->methods);
        setDimsInfoMethods(c.dimsInfo);
        received = {};
        const CallResult call = block.hostCall(c.flag, kCallArg);
        block.record()->methods = saved;

        EXPECT_EQ(call.errorStatus, unexpected(c.method)) << "flag " << c.flag;
        EXPECT_EQ(block.record()->errorStatus, block.host().msgBuffer()) << "flag " << c.flag << ": formatted form";
        EXPECT_EQ(call.localErrorStatus, "") << "flag " << c.flag;
        EXPECT_EQ(received.calls, 0) << "flag " << c.flag;
    }
    EXPECT_TRUE(observe() == before);
}

TEST_F(DispatchTest, UpdateWithoutItsEntryReportsInTheLocalSlot) {
    stepOnce();
    ASSERT_TRUE(block.outputs().ok);
    const Observed before = observe();
    block.record()->methods.mdlUpdate = nullptr;
    const CallResult call = block.update();
    EXPECT_EQ(call.localErrorStatus, unexpected("mdlUpdate"));
    EXPECT_EQ(block.record()->localErrorStatus, block.host().localMsgBuffer());
    EXPECT_EQ(call.errorStatus, "");
    EXPECT_TRUE(observe() == before) << "the states are not committed";
}

TEST_F(DispatchTest, SnapshotCallsNeedTheBlocksOwnSnapshotHandling) {
    stepOnce();
    const Observed before = observe();
    ssSetFlagBits(block.record(), flag_bits::simStateHandling, 2);
    const int32_t taken = block.host().serviceCount(152);

    subhost::ArrayPtr snapshot;
    const CallResult save = block.saveSimState(snapshot);
    EXPECT_EQ(save.errorStatus, unexpected("mdlGetSimState"));
    EXPECT_EQ(snapshot, nullptr);
    EXPECT_EQ(block.host().serviceCount(152), taken);

    ssSetFlagBits(block.record(), flag_bits::simStateHandling, 3);
    ASSERT_TRUE(block.saveSimState(snapshot).ok);
    ASSERT_NE(snapshot, nullptr);
    EXPECT_EQ(block.host().serviceCount(152), taken + 1);
    EXPECT_EQ(block.host().keptSimState, snapshot.get()) << "service 152 hands over the snapshot itself";

    ssSetFlagBits(block.record(), flag_bits::simStateHandling, 0);
    stepOnce();
    const Observed moved = observe();
    const CallResult restore = block.restoreSimState(snapshot.get());
    EXPECT_EQ(restore.errorStatus, unexpected("mdlSetSimState"));
    EXPECT_TRUE(observe() == moved);
    EXPECT_FALSE(moved == before);
}

// A refused tree is reported in the constant-text form: plain text naming the
// fault, no ID for a host catalogue to look up, and the instance untouched.
TEST_F(DispatchTest, ARefusedSnapshotIsAPlainTextAndChangesNothing) {
    subhost::ArrayPtr snapshot;
    ASSERT_TRUE(block.saveSimState(snapshot).ok);
    stepOnce();
    const Observed moved = observe();
    mxSetFieldByNumber_800(snapshot.get(), 0, 3, mxCreateString_800("0.1"));
    const CallResult restore = block.restoreSimState(snapshot.get());
    EXPECT_FALSE(restore.ok);
    EXPECT_FALSE(restore.hostError.has_value());
    EXPECT_EQ(restore.errorStatus, "Invalid simulation state: tNext is not a real numeric scalar");
    EXPECT_TRUE(observe() == moved);
}

TEST_F(DispatchTest, TerminateEndsTheSetUp) {
    ASSERT_TRUE(block.terminate().ok);
    EXPECT_FALSE(block.outputs().engineError.empty()) << "a step after terminate";
    EXPECT_FALSE(block.update().engineError.empty());
    const CallResult again = block.setUp();
    ASSERT_TRUE(again.ok) << again.describe();
    EXPECT_TRUE(block.outputs().ok);
}

TEST_F(EngineTest, ABlockGoingOutOfScopeSetUpIsTerminated) {
    struct Case {
        const char* name;
        bool setUp;
        bool terminatedBefore;
        int32_t terminations;
    };
    for (const Case& c : {Case{"bound only", false, false, 0}, Case{"set up", true, false, 1},
                          Case{"terminated already", true, true, 0}}) {
        int32_t before = 0;
        {
            subhost::Block block(module());
            ASSERT_TRUE(c.setUp ? block.setUp().ok : block.bind().ok) << c.name;
            if (c.terminatedBefore) ASSERT_TRUE(block.terminate().ok);
            before = subhost_slmr_pluginEventsRun();
        }
        EXPECT_EQ(subhost_slmr_pluginEventsRun() - before, c.terminations) << c.name;
    }
}

TEST_F(DispatchTest, MethodsTheBlockDoesNotHaveSayIt) {
    EXPECT_EQ(block.hostCall(103).errorStatus, diagText("SimStructNoMdlGetTimeOfNextVarHit"));
    EXPECT_EQ(block.hostCall(108).errorStatus, diagText("SimStructNoMdlZeroCrossings"));
}

TEST_F(DispatchTest, HostErrorInAStepComesBackAsAValue) {
    block.host().clearInputSignal(0);
    const CallResult call = block.outputs();
    ASSERT_TRUE(call.hostError.has_value()) << call.describe();
    EXPECT_EQ(call.hostError->id,
              "Simulink:SFunctions:SimStructLevel2InvalidAccessToNonDirectFeedthroughInputSignal");
    ASSERT_EQ(call.hostError->args.size(), 3u);
    EXPECT_EQ(call.hostError->args[0].text, "Quarlin_msp");
    EXPECT_EQ(call.hostError->args[1].text, "top/Quarlin_msp");
    EXPECT_EQ(call.hostError->args[2].number, 1.0);
}

TEST_F(EngineTest, EngineRefusesCallsTheBlockIsNotReadyFor) {
    subhost::Block block(module());
    EXPECT_FALSE(block.outputs().engineError.empty()) << "not bound";
    ASSERT_TRUE(block.bind().ok);
    for (const CallResult& call : {block.outputs(), block.update(), block.terminate(), block.initializeConditions(),
                                   block.periodicOutputUpdate(0), block.reset()}) {
        EXPECT_FALSE(call.ok);
        EXPECT_FALSE(call.engineError.empty());
    }
    subhost::ArrayPtr snapshot;
    EXPECT_FALSE(block.saveSimState(snapshot).engineError.empty());
    EXPECT_FALSE(block.restoreSimState(nullptr).engineError.empty());
}

}  // namespace
}  // namespace engine_test
