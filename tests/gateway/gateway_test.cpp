// mexFunction on hand-made records: the error slots as the host left them
// before a call, what each report form does to them, and the records the
// command-line entry makes on the spot.

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "gateway/Quarlin_gateway.h"
#include "gateway/sfun_support.h"
#include "host/host_imports.h"
#include "host/simstruc.h"
#include "model/Quarlin.h"
#include "subhost/control.h"
#include "subhost/host_record.h"

namespace {

struct ArrayScope {
    ArrayScope() { subhost_mx_beginScope(); }
    ~ArrayScope() { subhost_mx_endScope(); }
};

std::string unexpected(const char* method) {
    return std::string("<diag_root><diag id=\"Simulink:SFunctions:SimStructUnexpectedFunctionCall\"><arguments>"
                       "<arg type=\"string\">") +
           method + "</arg></arguments></diag></diag_root>";
}

class GatewayTest : public ::testing::Test {
protected:
    void SetUp() override { subhost_mx_beginScope(); }
    void TearDown() override { subhost_mx_endScope(); }

    void hostCall(double flag) {
        mxArray* plhs[2] = {nullptr, reinterpret_cast<mxArray*>(S())};
        const mxArray* prhs[4] = {nullptr, nullptr, nullptr, mxCreateDoubleScalar_800(flag)};
        mexFunction(-1, plhs, 4, prhs);
    }
    SimStruct* S() { return record.S(); }

    subhost::HostRecord record;
};

TEST(ApiVersion, WritesTheTwoWordsWhateverTheyHeld) {
    for (uint32_t preset : {0u, 0xFFFFFFFFu, 134217728u}) {
        uint32_t release = preset;
        uint32_t interface = preset;
        mexfilerequiredapiversion(&release, &interface);
        EXPECT_EQ(release, 131611u) << preset;
        EXPECT_EQ(interface, 134217728u) << preset;
    }
}

// The same arguments, shaped as a host call with flag 101: a non-negative
// nlhs takes them to the command line, where flag 101 is refused.
TEST_F(GatewayTest, NlhsAloneTellsACommandLineCallFromAHostCall) {
    struct Case {
        int32_t nlhs;
        bool commandLine;
    };
    for (const Case c : {Case{0, true}, Case{1, true}, Case{-1, false}}) {
        S()->samplePeriods[0] = 7.0;
        struct Call {
            int32_t nlhs;
            SimStruct* S;
            static void run(void* context) {
                auto* call = static_cast<Call*>(context);
                mxArray* plhs[2] = {nullptr, reinterpret_cast<mxArray*>(call->S)};
                const mxArray* prhs[4] = {mxCreateDoubleScalar_800(0), mxCreateDoubleScalar_800(0),
                                          mxCreateDoubleScalar_800(0), mxCreateDoubleScalar_800(101)};
                mexFunction(call->nlhs, plhs, 4, prhs);
            }
        } call{c.nlhs, S()};
        const int32_t ended = subhost_mex_guard(&Call::run, &call);
        EXPECT_EQ(ended, c.commandLine ? 1 : 0) << "nlhs " << c.nlhs;
        if (c.commandLine) {
            EXPECT_STREQ(subhost_message_id(subhost_mex_lastError()),
                         "Simulink:SFunctions:SimStructInvalidFlagPassedToSfcn")
                << "nlhs " << c.nlhs;
            EXPECT_EQ(S()->samplePeriods[0], 7.0) << "nlhs " << c.nlhs;
        } else {
            EXPECT_EQ(S()->samplePeriods[0], 1e-4) << "nlhs " << c.nlhs;
        }
    }
}

// The host's "error" ends a call by unwinding: an object with a destructor
// that lives between the host's entry and the module is destroyed on the way
// out, as it is under a host that throws.
TEST_F(GatewayTest, HostErrorUnwindsThroughTheModuleAndRunsDestructors) {
    struct Witness {
        int* destroyed;
        ~Witness() { ++*destroyed; }
    };
    struct Call {
        int destroyed = 0;
        int reached = 0;
        static void run(void* context) {
            auto* call = static_cast<Call*>(context);
            Witness witness{&call->destroyed};
            mxArray* plhs[1] = {nullptr};
            const mxArray* prhs[4] = {nullptr, nullptr, nullptr, mxCreateDoubleScalar_800(1)};
            mexFunction(0, plhs, 4, prhs);
            call->reached = 1;
        }
    } call;
    EXPECT_EQ(subhost_mex_guard(&Call::run, &call), 1);
    EXPECT_EQ(call.destroyed, 1);
    EXPECT_EQ(call.reached, 0);
    EXPECT_STREQ(subhost_message_id(subhost_mex_lastError()), "Simulink:SFunctions:SimStructInvalidFlagPassedToSfcn");
}

// A handle that names no record: the host's "error" with the module's own
// identifier and the whole text, not a message object of the host's catalogue.
TEST_F(GatewayTest, UnusableRecordHandleRaisesTheModulesOwnError) {
    struct Call {
        static void run(void*) {
            mxArray* handle = mxCreateDoubleMatrix_800(3, 1, mxREAL);
            mxGetPr_800(handle)[2] = 8480229;  // address 0
            mxArray* plhs[1] = {nullptr};
            const mxArray* prhs[4] = {nullptr, handle, nullptr, mxCreateDoubleScalar_800(0)};
            mexFunction(0, plhs, 4, prhs);
        }
    };
    ASSERT_EQ(subhost_mex_guard(&Call::run, nullptr), 1);
    const mxArray* error = subhost_mex_lastError();
    EXPECT_STREQ(subhost_message_id(error), "Quarlin_msp:InvalidRecordHandle");
    ASSERT_EQ(subhost_message_argCount(error), 1);
    EXPECT_STREQ(subhost_mx_string(subhost_message_arg(error, 0)),
                 "MEX level2 S-function \"Quarlin_msp\": the record handle names no block record: "
                 "the address is null.");
}

TEST_F(GatewayTest, Flag153LeavesEvenTheErrorSlots) {
    const char* earlier = "earlier";
    S()->errorStatus = earlier;
    S()->blockInfo->errorStatusIsDiagnostic = 1;
    S()->localErrorStatus = earlier;
    S()->localErrorStatusIsDiagnostic = 1;
    hostCall(153);
    EXPECT_EQ(S()->errorStatus, earlier);
    EXPECT_EQ(S()->blockInfo->errorStatusIsDiagnostic, 1);
    EXPECT_EQ(S()->localErrorStatus, earlier);
    EXPECT_EQ(S()->localErrorStatusIsDiagnostic, 1);
}

TEST_F(GatewayTest, InvalidFlagPointsAtTheConstantText) {
    std::strcpy(record.msgBuffer(), "kept");
    S()->blockInfo->errorStatusIsDiagnostic = 1;
    hostCall(154);
    EXPECT_EQ(S()->errorStatus, diag::kInvalidFlagInSimulinkC) << "the text is not copied";
    EXPECT_EQ(S()->blockInfo->errorStatusIsDiagnostic, 0);
    EXPECT_STREQ(record.msgBuffer(), "kept");
}

TEST_F(GatewayTest, UnexpectedCallsReplaceEachOtherInTheRootsBuffer) {
    S()->blockInfo->errorStatusIsDiagnostic = 1;
    hostCall(113);
    hostCall(142);
    EXPECT_EQ(S()->errorStatus, record.msgBuffer());
    EXPECT_EQ(record.errorStatus(), unexpected("mdlInitializePropagationPass"));
    EXPECT_EQ(S()->blockInfo->errorStatusIsDiagnostic, 0);
}

TEST_F(GatewayTest, UpdateWithoutEntryReportsLocallyKeepingAnEarlierPointer) {
    const char* earlier = "earlier";
    struct Case {
        const char* name;
        const char* before;
        uint8_t beforeIsDiagnostic;
        const char* after;
    };
    const Case cases[] = {
        {"slot empty", nullptr, 1, record.localMsgBuffer()},
        {"slot holding a text", earlier, 0, earlier},
    };
    for (const Case& c : cases) {
        std::strcpy(record.localMsgBuffer(), "old text");
        S()->localErrorStatus = c.before;
        S()->localErrorStatusIsDiagnostic = c.beforeIsDiagnostic;
        hostCall(105);
        EXPECT_EQ(S()->localErrorStatus, c.after) << c.name;
        EXPECT_EQ(std::string(record.localMsgBuffer()), unexpected("mdlUpdate")) << c.name;
        EXPECT_EQ(S()->localErrorStatusIsDiagnostic, 0) << c.name;
        EXPECT_EQ(S()->errorStatus, nullptr) << c.name;
    }
}

// A snapshot call without a slot still hands the snapshot to the host.
TEST_F(GatewayTest, SnapshotWithoutASlotGoesToTheHostOnly) {
    ssSetFlagBits(S(), flag_bits::simStateHandling, 3);
    record.giveDWork(sizeof(Quarlin_MdlrefDW));
    S()->blockInfo->callPtrValue = nullptr;
    hostCall(144);
    ASSERT_EQ(record.serviceCount(152), 1);
    EXPECT_NE(record.keptSimState, nullptr);
    EXPECT_EQ(record.serviceCalls.back().data, record.keptSimState);
}

TEST_F(GatewayTest, RecordMadeOnTheSpotKeepsTheParametersAfterTheFixedArguments) {
    const mxArray* prhs[6] = {nullptr, nullptr, nullptr, nullptr, mxCreateDoubleScalar_800(1),
                              mxCreateString_800("p")};
    struct Case {
        int32_t nrhs;
        int32_t params;
    };
    for (const Case c : {Case{4, 0}, Case{6, 2}, Case{2, 0}}) {
        SimStruct* made = _CreateSimStruct(c.nrhs, prhs);
        ASSERT_NE(made, nullptr);
        EXPECT_EQ(made->root, made) << c.nrhs;
        ASSERT_NE(made->blockInfo, nullptr);
        EXPECT_EQ(made->blockInfo->hostMode, 1) << c.nrhs;
        EXPECT_EQ(made->blockInfo->hostService, nullptr) << c.nrhs;
        EXPECT_NE(made->blockInfo->msgBuffer, nullptr) << c.nrhs;
        ASSERT_NE(made->states, nullptr);
        EXPECT_NE(made->states->subRecordA, nullptr);
        EXPECT_NE(made->states->subRecordB, nullptr);
        EXPECT_STREQ(made->modelName, "Quarlin_msp");
        EXPECT_STREQ(made->path, "Quarlin_msp");
        EXPECT_EQ(made->numInputPortsArg, made);
        EXPECT_EQ(made->numOutputPortsArg, made);
        EXPECT_NE(made->numInputPortsFcn, nullptr);
        EXPECT_NE(made->numOutputPortsFcn, nullptr);
        EXPECT_EQ(made->numDialogParams, c.params) << c.nrhs;
        if (c.params == 0) {
            EXPECT_EQ(made->dialogParams, nullptr) << c.nrhs;
        } else {
            ASSERT_NE(made->dialogParams, nullptr);
            EXPECT_EQ(made->dialogParams[0], prhs[4]);
            EXPECT_EQ(made->dialogParams[1], prhs[5]);
        }
    }
}

}  // namespace
