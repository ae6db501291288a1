// Checked accessors: clamped indices with the guarded index report, host
// errors for bad input ports and missing signals, the feed-through and
// obsolete reusable setters.

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "gateway/sfun_support.h"
#include "support_fixture.h"

namespace {

using subhost::HostRecord;
using support_test::HostMessage;

constexpr const char* kFile = "blk.c";
constexpr int32_t kLine = 42;

std::string indexText(int32_t index, const char* accessor, int32_t highest) {
    return "<diag_root><diag id=\"Simulink:SFunctions:SimStructIndexOutOfBound\"><arguments>"
           "<arg type=\"string\">blk.c</arg><arg type=\"numeric\">42</arg>"
           "<arg type=\"numeric\">" + std::to_string(index) + "</arg>"
           "<arg type=\"string\">" + accessor + "</arg>"
           "<arg type=\"numeric\">0</arg><arg type=\"numeric\">" + std::to_string(highest) +
           "</arg></arguments></diag></diag_root>";
}

// --- index-checked access -------------------------------------------------------

enum class Vector { iWork, rWork, pWork, bufferDstPort };

// The record's element i holds 100 + i.  Returns the element the access
// reached (a get: the element returned; a set: the element that changed),
// or -1 when it reached none.
int32_t access(SimStruct* S, Vector vector, bool set, int32_t index, int32_t count) {
    constexpr int32_t kMark = 7;
    if (!set) {
        int64_t got = 0;
        switch (vector) {
            case Vector::iWork: got = _ssGetIWorkValueFcn(kFile, kLine, S, index); break;
            case Vector::rWork: got = static_cast<int64_t>(_ssGetRWorkValueFcn(kFile, kLine, S, index)); break;
            case Vector::pWork: got = reinterpret_cast<intptr_t>(_ssGetPWorkValueFcn(kFile, kLine, S, index)); break;
            case Vector::bufferDstPort: got = _ssGetInputPortBufferDstPortFcn(kFile, kLine, S, index); break;
        }
        return got == 0 ? -1 : static_cast<int32_t>(got - 100);
    }
    switch (vector) {
        case Vector::iWork: _ssSetIWorkValueFcn(kFile, kLine, S, index, kMark); break;
        case Vector::rWork: _ssSetRWorkValueFcn(kFile, kLine, S, index, kMark); break;
        case Vector::pWork: _ssSetPWorkValueFcn(kFile, kLine, S, index, reinterpret_cast<void*>(intptr_t{kMark})); break;
        case Vector::bufferDstPort: return -2;
    }
    for (int32_t i = 0; i < count; ++i) {
        const int64_t now = vector == Vector::iWork   ? S->iWork[i]
                            : vector == Vector::rWork ? static_cast<int64_t>(S->rWork[i])
                                                      : reinterpret_cast<intptr_t>(S->pWork[i]);
        if (now == kMark) return i;
    }
    return -1;
}

struct IndexCase {
    const char* name;
    Vector vector;
    bool set;
    int32_t count;
    int32_t index;
    int32_t reached;         // element reached, -1 none
    const char* accessor;    // null: nothing reported
};

const IndexCase kIndexCases[] = {
    {"iwork_get_in_range", Vector::iWork, false, 3, 1, 1, nullptr},
    {"iwork_get_at_count", Vector::iWork, false, 3, 3, 2, "ssGetIWorkValue"},
    {"iwork_get_minus_one", Vector::iWork, false, 3, -1, 0, "ssGetIWorkValue"},
    {"iwork_set_far_above", Vector::iWork, true, 3, 50, 2, "ssSetIWorkValue"},
    {"iwork_set_in_range", Vector::iWork, true, 3, 0, 0, nullptr},
    {"iwork_get_empty", Vector::iWork, false, 0, 0, -1, "ssGetIWorkValue"},
    {"iwork_set_empty_negative", Vector::iWork, true, 0, -4, -1, "ssSetIWorkValue"},
    {"rwork_get_at_count", Vector::rWork, false, 2, 2, 1, "ssGetRWorkValue"},
    {"rwork_set_below", Vector::rWork, true, 2, -3, 0, "ssSetRWorkValue"},
    {"rwork_get_empty", Vector::rWork, false, 0, 5, -1, "ssGetRWorkValue"},
    {"pwork_get_above", Vector::pWork, false, 4, 9, 3, "ssGetPWorkValue"},
    {"pwork_set_at_count", Vector::pWork, true, 4, 4, 3, "ssSetPWorkValue"},
    {"pwork_set_empty", Vector::pWork, true, 0, 0, -1, "ssSetPWorkValue"},
    {"iwork_set_empty", Vector::iWork, true, 0, 0, -1, "ssSetIWorkValue"},
    {"rwork_set_empty", Vector::rWork, true, 0, 0, -1, "ssSetRWorkValue"},
    {"rwork_get_empty_negative", Vector::rWork, false, 0, -1, -1, "ssGetRWorkValue"},
    {"pwork_get_empty", Vector::pWork, false, 0, 0, -1, "ssGetPWorkValue"},
    {"buffer_port_no_inputs", Vector::bufferDstPort, false, 0, 0, -1, "ssGetInputPortBufferDstPort"},
    {"buffer_port_in_range", Vector::bufferDstPort, false, 4, 3, 3, nullptr},
    {"buffer_port_at_count", Vector::bufferDstPort, false, 4, 4, 3, "ssGetInputPortBufferDstPort"},
    {"buffer_port_negative", Vector::bufferDstPort, false, 4, -1, 0, "ssGetInputPortBufferDstPort"},
};

void fillVector(HostRecord& host, Vector vector, int32_t count) {
    SimStruct* S = host.S();
    if (vector == Vector::bufferDstPort) {
        support_test::givePorts(host, count, 1);
        for (int32_t i = 0; i < count; ++i) S->inputPorts[i].bufferDstPort = 100 + i;
        return;
    }
    host.giveWorkVectors(vector == Vector::iWork ? count : 0, vector == Vector::rWork ? count : 0,
                         vector == Vector::pWork ? count : 0);
    for (int32_t i = 0; i < count; ++i) {
        if (vector == Vector::iWork) S->iWork[i] = 100 + i;
        if (vector == Vector::rWork) S->rWork[i] = 100 + i;
        if (vector == Vector::pWork) S->pWork[i] = reinterpret_cast<void*>(intptr_t{100 + i});
    }
}

TEST(IndexCheck, ClampsTheIndexAndReportsWhileNoErrorIsSet) {
    for (const IndexCase& row : kIndexCases) {
        SCOPED_TRACE(row.name);
        HostRecord host;
        fillVector(host, row.vector, row.count);
        EXPECT_EQ(access(host.S(), row.vector, row.set, row.index, row.count), row.reached);
        EXPECT_EQ(host.errorStatus(),
                  row.accessor != nullptr ? indexText(row.index, row.accessor, row.count - 1) : "");
    }
}

TEST(IndexCheck, ASecondErrorReportsNothingAndStillClamps) {
    HostRecord host;
    fillVector(host, Vector::iWork, 3);
    EXPECT_EQ(_ssGetIWorkValueFcn(kFile, kLine, host.S(), 3), 102);
    EXPECT_EQ(_ssGetIWorkValueFcn(kFile, kLine, host.S(), -9), 100);
    EXPECT_EQ(host.errorStatus(), indexText(3, "ssGetIWorkValue", 2));
}

TEST(IndexCheck, InRangeAccessLeavesASetErrorAlone) {
    HostRecord host;
    fillVector(host, Vector::rWork, 2);
    ssReportConstant(host.S(), diag::kNoMdlZeroCrossings);
    _ssSetRWorkValueFcn(kFile, kLine, host.S(), 1, 2.5);
    EXPECT_EQ(host.S()->rWork[1], 2.5);
    EXPECT_EQ(ssRoot(host.S())->errorStatus, diag::kNoMdlZeroCrossings);
}

TEST(IndexCheck, RewritesTheCallersIndex) {
    HostRecord host;
    int32_t index = 8;
    ReportIndexOutOfBoundsError(kFile, kLine, host.S(), 0, &index, 5, "acc");
    EXPECT_EQ(index, 4);
    index = -2;
    ReportIndexOutOfBoundsError(kFile, kLine, host.S(), 0, &index, 5, "acc");
    EXPECT_EQ(index, 0);
}

// --- input signals and feed-through -----------------------------------------------

class InputPorts : public ::testing::Test {
protected:
    void SetUp() override { support_test::givePorts(host, 4, 2); }
    HostMessage errorOf(void (*call)(SimStruct*, int32_t), int32_t port) {
        struct {
            void (*call)(SimStruct*, int32_t);
            SimStruct* S;
            int32_t port;
            void operator()() { call(S, port); }
        } entry{call, host.S(), port};
        if (!support_test::endedByHostError(entry)) return {"<returned>", {}};
        return support_test::readMessage(subhost_mex_lastError());
    }
    HostRecord host;
};

void getSignal(SimStruct* S, int32_t port) { _ssGetInputPortSignalFcn(S, port); }
void getSignalPtrs(SimStruct* S, int32_t port) { _ssGetInputPortSignalPtrsFcn(S, port); }
void setFeedThrough(SimStruct* S, int32_t port) { _ssSetInputPortDirectFeedThroughFcn(S, port, 1); }

constexpr const char* kModel = "Quarlin_msp";
constexpr const char* kPath = "top/Quarlin_msp";

struct SignalCase {
    const char* name;
    void (*call)(SimStruct*, int32_t);
    int32_t port;
    bool detach;      // the port's signal is null
    uint8_t optimOpts;
    HostMessage error;
};

const SignalCase kSignalCases[] = {
    {"port_past_last", getSignal, 4, false, 0,
     {"Simulink:SFunctions:SimStructLevel2InvalidInputPortNumber", {kModel, kPath, "5", "3"}}},
    {"port_negative", getSignal, -1, false, 0,
     {"Simulink:SFunctions:SimStructLevel2InvalidInputPortNumber", {kModel, kPath, "0", "3"}}},
    {"ptrs_port_past_last", getSignalPtrs, 7, false, 0,
     {"Simulink:SFunctions:SimStructLevel2InvalidInputPortNumber", {kModel, kPath, "8", "3"}}},
    {"reusable_optim_1", getSignal, 2, true, 1,
     {"Simulink:SFunctions:SimStructLevel2InvalidAccessToReusableInputSignal", {kModel, kPath, "3"}}},
    {"reusable_optim_2", getSignal, 2, true, 2,
     {"Simulink:SFunctions:SimStructLevel2InvalidAccessToReusableInputSignal", {kModel, kPath, "3"}}},
    {"not_feedthrough_optim_0", getSignal, 0, true, 0,
     {"Simulink:SFunctions:SimStructLevel2InvalidAccessToNonDirectFeedthroughInputSignal", {kModel, kPath, "1"}}},
    {"not_feedthrough_optim_3", getSignalPtrs, 3, true, 3,
     {"Simulink:SFunctions:SimStructLevel2InvalidAccessToNonDirectFeedthroughInputSignal", {kModel, kPath, "4"}}},
    {"feedthrough_port_past_last", setFeedThrough, 4, false, 0,
     {"Simulink:SFunctions:SimStructLevel2InvalidInputPortNumberForDirectFeedThrough", {kModel, kPath, "5", "3"}}},
    {"feedthrough_port_negative", setFeedThrough, -1, false, 0,
     {"Simulink:SFunctions:SimStructLevel2InvalidInputPortNumberForDirectFeedThrough", {kModel, kPath, "0", "3"}}},
};

TEST_F(InputPorts, BadPortsAndMissingSignalsEndTheCallWithAHostError) {
    for (const SignalCase& row : kSignalCases) {
        SCOPED_TRACE(row.name);
        if (row.detach) {
            host.clearInputSignal(row.port);
            host.S()->inputPorts[row.port].optimOpts = row.optimOpts;
        }
        EXPECT_EQ(errorOf(row.call, row.port), row.error);
    }
}

TEST_F(InputPorts, GoodPortGivesItsSignal) {
    for (int32_t port = 0; port < 4; ++port) {
        EXPECT_NE(host.S()->inputPorts[port].signal, nullptr);
        EXPECT_EQ(_ssGetInputPortSignalFcn(host.S(), port), host.S()->inputPorts[port].signal);
        EXPECT_EQ(_ssGetInputPortSignalPtrsFcn(host.S(), port), host.S()->inputPorts[port].signal);
    }
    EXPECT_EQ(host.errorStatus(), "");
}

TEST_F(InputPorts, FeedThroughIsStoredUnchanged) {
    _ssSetInputPortDirectFeedThroughFcn(host.S(), 3, 7);
    EXPECT_EQ(host.S()->inputPorts[3].directFeedThrough, 7);
}

// --- obsolete reusable setters ------------------------------------------------------

struct ReusableCase {
    const char* name;
    bool input;
    int32_t port;
    int32_t reusable;
    uint8_t before;
    uint8_t after;
};

const ReusableCase kReusableCases[] = {
    {"input_reusable", true, 1, 5, 3, 1},
    {"input_not_reusable", true, 0, 0, 3, 0},
    {"output_reusable", false, 1, -1, 0, 1},
    {"output_not_reusable", false, 0, 0, 2, 0},
};

TEST_F(InputPorts, ReusableSettersWarnThenSet) {
    for (const ReusableCase& row : kReusableCases) {
        SCOPED_TRACE(row.name);
        subhost_mex_clearRecords();
        uint8_t& optimOpts = row.input ? host.S()->inputPorts[row.port].optimOpts
                                       : host.S()->outputPorts[row.port].optimOpts;
        optimOpts = row.before;
        if (row.input)
            _ssSetInputPortReusableFcn(host.S(), row.port, row.reusable);
        else
            _ssSetOutputPortReusableFcn(host.S(), row.port, row.reusable);
        EXPECT_EQ(optimOpts, row.after);
        ASSERT_EQ(subhost_mex_warningCount(), 1);
        const std::string id = row.input
            ? "Simulink:SFunctions:SimStructReplace_ssSetInputPortReusable_With_ssSetInputPortOptimOpts"
            : "Simulink:SFunctions:SimStructReplace_ssSetOutputPortReusable_With_ssSetOutputPortOptimOpts";
        EXPECT_EQ(support_test::readMessage(subhost_mex_warning(0)),
                  (HostMessage{id, {"MEX level2 S-function \"Quarlin_msp\""}}));
    }
}

TEST_F(InputPorts, ReusableSettersWarnButWriteNothingForAMissingPort) {
    subhost_mex_clearRecords();
    _ssSetInputPortReusableFcn(host.S(), 4, 1);
    _ssSetOutputPortReusableFcn(host.S(), -1, 1);
    EXPECT_EQ(subhost_mex_warningCount(), 2);
    for (int32_t port = 0; port < 4; ++port) EXPECT_NE(host.S()->inputPorts[port].optimOpts, 1);
}

}  // namespace
