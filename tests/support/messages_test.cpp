// The module's messages byte for byte, and the reporting forms over the
// error-status slots of a host record.

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <string_view>

#include "gateway/sfun_messages.h"
#include "gateway/sfun_support.h"
#include "support_fixture.h"

namespace {

using subhost::HostRecord;
using support_test::HostMessage;

// Text for the error status: the constant, or the printf template.
constexpr const char* kPrefix = "<diag_root><diag id=\"Simulink:SFunctions:";
constexpr const char* kS = "<arg type=\"string\">%s</arg>";
constexpr const char* kD = "<arg type=\"numeric\">%d</arg>";
constexpr const char* kSuffix = "</arguments></diag></diag_root>";

std::string diagText(const char* id, std::initializer_list<const char*> args) {
    std::string text = std::string(kPrefix) + id + "\"><arguments>";
    for (const char* arg : args) text += arg;
    return text + kSuffix;
}

struct MessageRow {
    const char* id;
    const char* kinds;
    DiagForm form;
    std::string text;  // empty for host messages
};

const MessageRow kExpectedMessages[] = {
    {"SimStructUnexpectedFunctionCall", "s", DiagForm::formatted, diagText("SimStructUnexpectedFunctionCall", {kS})},
    {"SimStructInvalidFlagInSimulinkC", "", DiagForm::constant, diagText("SimStructInvalidFlagInSimulinkC", {})},
    {"SimStructNoMdlZeroCrossings", "", DiagForm::constant, diagText("SimStructNoMdlZeroCrossings", {})},
    {"SimStructNoMdlGetTimeOfNextVarHit", "", DiagForm::constant, diagText("SimStructNoMdlGetTimeOfNextVarHit", {})},
    {"SimStructIndexOutOfBound", "sddsdd", DiagForm::guardedFormatted,
     diagText("SimStructIndexOutOfBound", {kS, kD, kD, kS, kD, kD})},
    {"SimStructInvalidRTWPairValueType", "", DiagForm::constant, diagText("SimStructInvalidRTWPairValueType", {})},
    {"SimStructInvalidRTWPairName", "", DiagForm::constant, diagText("SimStructInvalidRTWPairName", {})},
    {"SimStructInvalidRTWPairDimension", "", DiagForm::constant, diagText("SimStructInvalidRTWPairDimension", {})},
    {"SimStructNullRTWPair", "", DiagForm::constant, diagText("SimStructNullRTWPair", {})},
    {"SimStructInvalidRTWParamValueType", "", DiagForm::constant, diagText("SimStructInvalidRTWParamValueType", {})},
    {"SimStructInvalidRTWParamArgument", "", DiagForm::constant, diagText("SimStructInvalidRTWParamArgument", {})},
    {"SimStructInvalidRTWParamSetting", "", DiagForm::constant, diagText("SimStructInvalidRTWParamSetting", {})},
    {"SimStructInvalidRTWWorkVectorName", "", DiagForm::constant, diagText("SimStructInvalidRTWWorkVectorName", {})},
    {"SimStructInvalidRTWWorkVectorNumArgs", "", DiagForm::constant,
     diagText("SimStructInvalidRTWWorkVectorNumArgs", {})},
    {"SimStructRTWWorkVectorSizeMismatch", "sdsd", DiagForm::formatted,
     diagText("SimStructRTWWorkVectorSizeMismatch", {kS, kD, kS, kD})},
    {"SimStructTooFewRHSArguments", "sd", DiagForm::hostError, ""},
    {"SimStructTooManyLHSArguments", "s", DiagForm::hostError, ""},
    {"SimStructForthRHSArgIsNotInteger", "s", DiagForm::hostError, ""},
    {"SimStructInvalidFlagPassedToSfcn", "s", DiagForm::hostError, ""},
    {"SimStructSFunctionNameMismatch", "ss", DiagForm::hostError, ""},
    {"SimStructLevel2InvalidInputPortNumber", "ssdd", DiagForm::hostError, ""},
    {"SimStructLevel2InvalidAccessToReusableInputSignal", "ssd", DiagForm::hostError, ""},
    {"SimStructLevel2InvalidAccessToNonDirectFeedthroughInputSignal", "ssd", DiagForm::hostError, ""},
    {"SimStructLevel2InvalidInputPortNumberForDirectFeedThrough", "ssdd", DiagForm::hostError, ""},
    {"SimStructReplace_ssSetInputPortReusable_With_ssSetInputPortOptimOpts", "s", DiagForm::hostWarning, ""},
    {"SimStructReplace_ssSetOutputPortReusable_With_ssSetOutputPortOptimOpts", "s", DiagForm::hostWarning, ""},
};

const DiagMessage* findMessage(std::string_view id) {
    for (const DiagMessage& message : kDiagMessages)
        if (message.id == id) return &message;
    return nullptr;
}

TEST(MessageTable, EveryMessageHasItsIdKindsFormAndText) {
    EXPECT_EQ(std::size(kDiagMessages), std::size(kExpectedMessages));
    for (const MessageRow& row : kExpectedMessages) {
        SCOPED_TRACE(row.id);
        const DiagMessage* message = findMessage(row.id);
        ASSERT_NE(message, nullptr);
        EXPECT_STREQ(message->fullId, (std::string("Simulink:SFunctions:") + row.id).c_str());
        EXPECT_STREQ(message->argKinds, row.kinds);
        EXPECT_EQ(message->form, row.form);
        if (row.text.empty())
            EXPECT_EQ(message->text, nullptr);
        else
            EXPECT_STREQ(message->text, row.text.c_str());
    }
}

TEST(MessageTable, NamedConstantsAreTheTableTexts) {
    EXPECT_STREQ(diag::kInvalidFlagInSimulinkC,
                 "<diag_root><diag id=\"Simulink:SFunctions:SimStructInvalidFlagInSimulinkC\">"
                 "<arguments></arguments></diag></diag_root>");
    EXPECT_STREQ(diag::kNoMdlZeroCrossings,
                 "<diag_root><diag id=\"Simulink:SFunctions:SimStructNoMdlZeroCrossings\">"
                 "<arguments></arguments></diag></diag_root>");
    EXPECT_STREQ(diag::kNoMdlGetTimeOfNextVarHit,
                 "<diag_root><diag id=\"Simulink:SFunctions:SimStructNoMdlGetTimeOfNextVarHit\">"
                 "<arguments></arguments></diag></diag_root>");
    EXPECT_STREQ(diag::kIncorrectAbsTol, "Incorrect absolute tolerance value.");
    EXPECT_STREQ(_sfcnName, "MEX level2 S-function \"Quarlin_msp\"");
}

TEST(MessageTable, UnexpectedFunctionCallNamesTheMethod) {
    char buffer[kMsgBufferSize];
    diag::formatUnexpectedFunctionCall(buffer, "mdlSetInputPortWidth");
    EXPECT_STREQ(buffer,
                 "<diag_root><diag id=\"Simulink:SFunctions:SimStructUnexpectedFunctionCall\"><arguments>"
                 "<arg type=\"string\">mdlSetInputPortWidth</arg></arguments></diag></diag_root>");
}

// --- the forms over the error-status slots ---------------------------------

class ReportForms : public ::testing::Test {
protected:
    HostRecord host;
    SimStruct* S = host.S();
    SimStruct* root() { return ssRoot(S); }
    uint8_t& rootFlag() { return root()->blockInfo->errorStatusIsDiagnostic; }
};

TEST_F(ReportForms, ConstantAfterFormattedPointsAtTheConstantAndKeepsTheBuffer) {
    rootFlag() = 1;
    ssReportFormatted(S, "first");
    EXPECT_EQ(root()->errorStatus, root()->blockInfo->msgBuffer);
    EXPECT_EQ(rootFlag(), 0);
    rootFlag() = 1;
    ssReportConstant(S, diag::kNoMdlZeroCrossings);
    EXPECT_EQ(root()->errorStatus, diag::kNoMdlZeroCrossings);  // not copied
    EXPECT_EQ(rootFlag(), 0);
    EXPECT_STREQ(root()->blockInfo->msgBuffer, "first");
}

TEST_F(ReportForms, FormattedReplacesAnEarlierError) {
    ssReportConstant(S, diag::kNoMdlZeroCrossings);
    ssReportFormatted(S, "second");
    EXPECT_EQ(host.errorStatus(), "second");
}

TEST_F(ReportForms, FormattedCopiesAtMost1023BytesAndStaysTerminated) {
    std::memset(root()->blockInfo->msgBuffer, 'z', kMsgBufferSize);
    const std::string longText(2000, 'a');
    ssReportFormatted(S, longText.c_str());
    EXPECT_EQ(host.errorStatus(), std::string(1023, 'a'));
    const std::string exact(1022, 'b');  // with its zero byte exactly 1023
    ssReportFormatted(S, exact.c_str());
    EXPECT_EQ(host.errorStatus(), exact);
}

TEST_F(ReportForms, FormattedAcceptsItsOwnBuffer) {
    ssReportFormatted(S, "kept");
    ssReportFormatted(S, root()->blockInfo->msgBuffer);
    EXPECT_EQ(host.errorStatus(), "kept");
}

TEST_F(ReportForms, GuardedKeepsTheFirstError) {
    ssReportFormattedGuarded(S, "first");
    ssReportFormattedGuarded(S, "second");
    EXPECT_EQ(host.errorStatus(), "first");
    ssReportConstant(S, diag::kNoMdlZeroCrossings);
    ssReportFormattedGuarded(S, "third");
    EXPECT_EQ(root()->errorStatus, diag::kNoMdlZeroCrossings);
}

TEST_F(ReportForms, LocalSetsAnEmptyPointerAndClearsItsFlag) {
    S->localErrorStatusIsDiagnostic = 1;
    S->localErrorStatus = nullptr;
    ssReportLocal(S, "local one");
    EXPECT_EQ(S->localErrorStatus, S->localMsgBuffer);
    EXPECT_EQ(S->localErrorStatusIsDiagnostic, 0);
    EXPECT_EQ(host.localErrorStatus(), "local one");
    EXPECT_EQ(root()->errorStatus, nullptr);
}

TEST_F(ReportForms, LocalKeepsAnEarlierTextPointerAndReplacesTheText) {
    static const char earlier[] = "earlier";
    S->localErrorStatus = earlier;
    ssReportLocal(S, "new text");
    EXPECT_EQ(S->localErrorStatus, earlier);
    EXPECT_STREQ(S->localMsgBuffer, "new text");
}

TEST_F(ReportForms, LocalReplacesAnEarlierDiagnosticObject) {
    int object = 0;
    S->localErrorStatus = reinterpret_cast<const char*>(&object);
    S->localErrorStatusIsDiagnostic = 1;
    ssReportLocal(S, "text now");
    EXPECT_EQ(S->localErrorStatus, S->localMsgBuffer);
    EXPECT_EQ(S->localErrorStatusIsDiagnostic, 0);
}

TEST_F(ReportForms, LocalWithoutABufferReportsAtTheRoot) {
    S->localMsgBuffer = nullptr;
    S->localErrorStatus = nullptr;
    ssReportLocal(S, "no local buffer");
    EXPECT_EQ(S->localErrorStatus, nullptr);
    EXPECT_EQ(host.errorStatus(), "no local buffer");
}

TEST_F(ReportForms, AChildRecordReportsIntoItsRoot) {
    HostRecord child;
    child.S()->root = S;
    ssReportFormatted(child.S(), "from the child");
    EXPECT_EQ(host.errorStatus(), "from the child");
    EXPECT_EQ(child.S()->errorStatus, nullptr);
}

// --- host errors and warnings -------------------------------------------------

TEST(HostMessages, ErrorEndsTheCallWithTheMessageObject) {
    bool after = false;
    auto call = [&] {
        ssRaiseHostError("Simulink:SFunctions:SimStructTooFewRHSArguments", "sd", _sfcnName, 4.0);
        after = true;
    };
    EXPECT_TRUE(support_test::endedByHostError(call));
    EXPECT_FALSE(after);
    EXPECT_EQ(support_test::readMessage(subhost_mex_lastError()),
              (HostMessage{"Simulink:SFunctions:SimStructTooFewRHSArguments",
                           {"MEX level2 S-function \"Quarlin_msp\"", "4"}}));
}

TEST(HostMessages, WarningReturnsAndIsRecorded) {
    subhost_mex_clearRecords();
    ssRaiseHostWarning("Simulink:SFunctions:Some", "dsd", -2.5, "text", 7.0);
    ASSERT_EQ(subhost_mex_warningCount(), 1);
    EXPECT_EQ(support_test::readMessage(subhost_mex_warning(0)),
              (HostMessage{"Simulink:SFunctions:Some", {"-2.5", "text", "7"}}));
}

// --- plain-text warnings ---------------------------------------------------------

struct WarningCase {
    const char* name;
    const char* path;
    const char* text;
    const char* expected;
};

const WarningCase kWarningCases[] = {
    {"with_path", "top/obs", "x", "block 'top/obs': x"},
    {"without_path", nullptr, "x", "x"},
    {"empty_text", "top/obs", "", "block 'top/obs': "},
};

TEST(PlainWarning, HandsTheHostTheTextWithTheBlockPath) {
    for (const WarningCase& row : kWarningCases) {
        SCOPED_TRACE(row.name);
        subhost_mex_clearRecords();
        HostRecord host;
        host.S()->path = row.path;
        ssWarning(host.S(), row.text);
        ASSERT_EQ(subhost_mex_warnTextCount(), 1);
        EXPECT_STREQ(subhost_mex_warnText(0), row.expected);
    }
}

}  // namespace
