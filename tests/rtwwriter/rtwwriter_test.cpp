// The code-generator records as the host's writer functions receive them,
// and the diagnostics that stop a record before it reaches the host.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "gateway/sfun_support.h"
#include "rtwwriter/ssWriteRTW.h"
#include "subhost/control.h"
#include "subhost/host_record.h"

namespace {

using subhost::HostRecord;
using subhost::WriterCall;

std::string constantText(const char* id) {
    return std::string("<diag_root><diag id=\"Simulink:SFunctions:") + id +
           "\"><arguments></arguments></diag></diag_root>";
}

// A writer call in short: "text <line>", "pair <kind> <name> w=<word> <rows>x<columns>",
// "param <kind> <name> <text> w=<word> <rows>x<columns>".
std::string brief(const WriterCall& call) {
    const std::string shape = " w=" + std::to_string(call.dataTypeWord) + " " + std::to_string(call.rows) +
                              "x" + std::to_string(call.columns);
    switch (call.kind) {
        case WriterCall::Kind::text: return "text " + call.text;
        case WriterCall::Kind::pair: return "pair " + std::to_string(call.valueKind) + " " + call.name + shape;
        case WriterCall::Kind::param:
            return "param " + std::to_string(call.valueKind) + " " + call.name + " " + call.text + shape;
    }
    return "";
}

std::vector<std::string> briefs(const HostRecord& host) {
    std::vector<std::string> out;
    for (const WriterCall& call : host.writerCalls) out.push_back(brief(call));
    return out;
}

template <class T>
T valueAs(const WriterCall& call) {
    T value{};
    EXPECT_GE(call.valueBytes.size(), sizeof value);
    if (call.valueBytes.size() >= sizeof value) std::memcpy(&value, call.valueBytes.data(), sizeof value);
    return value;
}

struct Parts {
    const void* real;
    const void* imag;
};

const double kValues[6] = {1, 2, 3, 4, 5, 6};
const double kImag[6] = {};

// --- name/value pairs ----------------------------------------------------------------

struct PairCase {
    const char* name;
    int32_t (*write)(SimStruct*);
    const char* written;  // the pair the host receives; null when a diagnostic stops it
    const char* error;    // message ID of that diagnostic
};

const PairCase kPairCases[] = {
    {"kind0_scalar", [](SimStruct* S) { return ssWriteRTWNameValuePair(S, 0, "A", kValues); },
     "pair 0 A w=0 1x1", nullptr},
    {"kind1_text", [](SimStruct* S) { return ssWriteRTWNameValuePair(S, 1, "T", "txt"); },
     "pair 1 T w=0 1x1", nullptr},
    {"kind2_vector", [](SimStruct* S) { return ssWriteRTWNameValuePair(S, 2, "V", kValues, 3); },
     "pair 2 V w=0 3x1", nullptr},
    {"kind2_empty_null", [](SimStruct* S) { return ssWriteRTWNameValuePair(S, 2, "V", nullptr, 0); },
     "pair 2 V w=0 0x1", nullptr},
    {"kind3_typed", [](SimStruct* S) { return ssWriteRTWNameValuePair(S, 3, "D", kValues, 0); },
     "pair 3 D w=0 1x1", nullptr},
    {"kind4_typed_vector", [](SimStruct* S) { return ssWriteRTWNameValuePair(S, 4, "V", kValues, 6, 4); },
     "pair 4 V w=6 4x1", nullptr},
    {"kind5_matrix_empty", [](SimStruct* S) { return ssWriteRTWNameValuePair(S, 5, "M", nullptr, 0, 0, 0); },
     "pair 5 M w=0 0x0", nullptr},
    {"kind6_typed", [](SimStruct* S) { return ssWriteRTWNameValuePair(S, 6, "N", kValues, 6); },
     "pair 6 N w=6 1x1", nullptr},
    {"kind7_typed_vector", [](SimStruct* S) { return ssWriteRTWNameValuePair(S, 7, "V", kValues, 1, 2); },
     "pair 7 V w=1 2x1", nullptr},
    {"kind8_matrix", [](SimStruct* S) { return ssWriteRTWNameValuePair(S, 8, "M", kValues, 0x10000, 2, 3); },
     "pair 8 M w=65536 2x3", nullptr},
    {"kind10_real_only", [](SimStruct* S) { Parts p{kValues, nullptr}; return ssWriteRTWNameValuePair(S, 10, "C", &p, 0, 2, 3); },
     "pair 10 C w=0 2x3", nullptr},
    {"kind9_real_only", [](SimStruct* S) { Parts p{kValues, nullptr}; return ssWriteRTWNameValuePair(S, 9, "C", &p, 0, 2); },
     "pair 9 C w=0 2x1", nullptr},
    {"kind9_empty_no_parts", [](SimStruct* S) { Parts p{nullptr, nullptr}; return ssWriteRTWNameValuePair(S, 9, "C", &p, 0x10000, 0); },
     "pair 9 C w=65536 0x1", nullptr},
    {"kind_above_10", [](SimStruct* S) { return ssWriteRTWNameValuePair(S, 11, "X", kValues); },
     nullptr, "SimStructInvalidRTWPairValueType"},
    {"kind_negative", [](SimStruct* S) { return ssWriteRTWNameValuePair(S, -1, "X", kValues); },
     nullptr, "SimStructInvalidRTWPairValueType"},
    {"kind_checked_before_name", [](SimStruct* S) { return ssWriteRTWNameValuePair(S, 12, nullptr, nullptr); },
     nullptr, "SimStructInvalidRTWPairValueType"},
    {"name_null", [](SimStruct* S) { return ssWriteRTWNameValuePair(S, 0, nullptr, kValues); },
     nullptr, "SimStructInvalidRTWPairName"},
    {"name_empty", [](SimStruct* S) { return ssWriteRTWNameValuePair(S, 2, "", kValues, 2); },
     nullptr, "SimStructInvalidRTWPairName"},
    {"name_checked_before_dims", [](SimStruct* S) { return ssWriteRTWNameValuePair(S, 2, "", kValues, -1); },
     nullptr, "SimStructInvalidRTWPairName"},
    {"count_negative", [](SimStruct* S) { return ssWriteRTWNameValuePair(S, 4, "V", kValues, 0, -1); },
     nullptr, "SimStructInvalidRTWPairDimension"},
    {"matrix_zero_rows_only", [](SimStruct* S) { return ssWriteRTWNameValuePair(S, 5, "M", kValues, 0, 0, 3); },
     nullptr, "SimStructInvalidRTWPairDimension"},
    {"matrix_zero_columns_only", [](SimStruct* S) { return ssWriteRTWNameValuePair(S, 8, "M", kValues, 0, 2, 0); },
     nullptr, "SimStructInvalidRTWPairDimension"},
    {"matrix_negative_columns", [](SimStruct* S) { return ssWriteRTWNameValuePair(S, 10, "M", kValues, 0, 2, -2); },
     nullptr, "SimStructInvalidRTWPairDimension"},
    {"dims_checked_before_null", [](SimStruct* S) { return ssWriteRTWNameValuePair(S, 5, "M", nullptr, 0, 0, 3); },
     nullptr, "SimStructInvalidRTWPairDimension"},
    {"scalar_null", [](SimStruct* S) { return ssWriteRTWNameValuePair(S, 0, "A", nullptr); },
     nullptr, "SimStructNullRTWPair"},
    {"matrix_null", [](SimStruct* S) { return ssWriteRTWNameValuePair(S, 8, "M", nullptr, 0, 2, 3); },
     nullptr, "SimStructNullRTWPair"},
    {"kind9_real_null", [](SimStruct* S) { Parts p{nullptr, kImag}; return ssWriteRTWNameValuePair(S, 9, "C", &p, 0, 2); },
     nullptr, "SimStructNullRTWPair"},
    {"kind9_complex_imag_null", [](SimStruct* S) { Parts p{kValues, nullptr}; return ssWriteRTWNameValuePair(S, 9, "C", &p, 0x10006, 2); },
     nullptr, "SimStructNullRTWPair"},
    {"kind10_complex_imag_null", [](SimStruct* S) { Parts p{kValues, nullptr}; return ssWriteRTWNameValuePair(S, 10, "C", &p, 0x10000, 1, 1); },
     nullptr, "SimStructNullRTWPair"},
    {"kind9_no_parts_pointer", [](SimStruct* S) { return ssWriteRTWNameValuePair(S, 9, "C", nullptr, 0, 2); },
     nullptr, "SimStructNullRTWPair"},
};

TEST(NameValuePair, ChecksInOrderThenHandsThePairToTheHost) {
    for (const PairCase& row : kPairCases) {
        SCOPED_TRACE(row.name);
        HostRecord host;
        host.pairAnswer = 1;
        const int32_t result = row.write(host.S());
        if (row.written != nullptr) {
            EXPECT_EQ(result, 1);
            EXPECT_EQ(briefs(host), std::vector<std::string>{row.written});
            EXPECT_EQ(host.errorStatus(), "");
        } else {
            EXPECT_EQ(result, 0);
            EXPECT_TRUE(host.writerCalls.empty());
            EXPECT_EQ(host.errorStatus(), constantText(row.error));
        }
    }
}

TEST(NameValuePair, ValuePointerReachesTheHostUnchanged) {
    HostRecord host;
    ssWriteRTWNameValuePair(host.S(), 4, "V", kValues, 6, 4);
    ASSERT_EQ(host.writerCalls.size(), 1u);
    EXPECT_EQ(host.writerCalls[0].value, kValues);
}

TEST(NameValuePair, AWriterFailureComesBackUnchangedWithoutADiagnostic) {
    HostRecord host;
    host.pairAnswer = 5;
    EXPECT_EQ(ssWriteRTWNameValuePair(host.S(), 0, "A", kValues), 5);
    host.pairAnswer = 0;
    EXPECT_EQ(ssWriteRTWNameValuePair(host.S(), 0, "A", kValues), 0);
    EXPECT_EQ(host.errorStatus(), "");
}

TEST(NameValuePair, ADiagnosticReplacesAnEarlierError) {
    HostRecord host;
    ssReportFormatted(host.S(), "earlier");
    ssWriteRTWNameValuePair(host.S(), 0, "", kValues);
    EXPECT_EQ(host.errorStatus(), constantText("SimStructInvalidRTWPairName"));
}

TEST(NameValuePair, ComplexPartsArePassedAsAPairOfPointers) {
    HostRecord host;
    host.valueBytesToCopy = sizeof(Parts);
    EXPECT_EQ(ssWriteRTWMxVectParam(host.S(), "V", kValues, kImag, 0x10000, 3), 1);
    EXPECT_EQ(ssWriteRTWMx2dMatParam(host.S(), "M", kValues, kImag, 0x10001, 2, 3), 1);
    EXPECT_EQ(briefs(host), (std::vector<std::string>{"pair 9 V w=65536 3x1", "pair 10 M w=65537 2x3"}));
    for (const WriterCall& call : host.writerCalls) {
        const Parts parts = valueAs<Parts>(call);
        EXPECT_EQ(parts.real, kValues);
        EXPECT_EQ(parts.imag, kImag);
    }
    EXPECT_EQ(ssWriteRTWMxVectParam(host.S(), "V", kValues, nullptr, 0x10000, 3), 0);
    EXPECT_EQ(host.errorStatus(), constantText("SimStructNullRTWPair"));
}

TEST(NameValuePair, WritesThroughTheRecordsOwnWritersAndReportsAtTheRoot) {
    HostRecord root;
    HostRecord child;
    child.S()->root = root.S();
    EXPECT_EQ(ssWriteRTWStr(child.S(), "line"), 1);
    EXPECT_EQ(ssWriteRTWNameValuePair(child.S(), 0, "A", kValues), 1);
    EXPECT_EQ(briefs(child), (std::vector<std::string>{"text line", "pair 0 A w=0 1x1"}));
    EXPECT_TRUE(root.writerCalls.empty());
    EXPECT_EQ(ssWriteRTWNameValuePair(child.S(), 0, "A", nullptr), 0);
    EXPECT_EQ(root.errorStatus(), constantText("SimStructNullRTWPair"));
    EXPECT_EQ(child.S()->errorStatus, nullptr);
}

// --- parameters -------------------------------------------------------------------------

struct ParamCase {
    const char* name;
    int32_t (*write)(SimStruct*);
    std::vector<std::string> written;
    int32_t result;
    const char* error;  // null: no diagnostic
};

const ParamCase kParamCases[] = {
    {"none", [](SimStruct* S) { return ssWriteRTWParameters(S, 0); }, {}, 1, nullptr},
    {"negative_count", [](SimStruct* S) { return ssWriteRTWParameters(S, -2); }, {}, 1, nullptr},
    {"kind4_vector", [](SimStruct* S) { return ssWriteRTWParameters(S, 1, 4, "P", "Gain", kValues, 3); },
     {"param 4 P Gain w=0 3x1"}, 1, nullptr},
    {"kind4_empty", [](SimStruct* S) { return ssWriteRTWParameters(S, 1, 4, "P", "t", nullptr, 0); },
     {"param 4 P t w=0 0x0"}, 1, nullptr},
    {"kind5_matrix", [](SimStruct* S) { return ssWriteRTWParameters(S, 1, 5, "P", "t", kValues, 2, 3); },
     {"param 5 P t w=0 2x3"}, 1, nullptr},
    {"kind7_word_last", [](SimStruct* S) { return ssWriteRTWParameters(S, 1, 7, "P", "t", kValues, 4, 6); },
     {"param 7 P t w=6 4x1"}, 1, nullptr},
    {"kind8_word_last", [](SimStruct* S) { return ssWriteRTWParameters(S, 1, 8, "P", "t", kValues, 2, 3, 1); },
     {"param 8 P t w=1 2x3"}, 1, nullptr},
    {"kind9_parts", [](SimStruct* S) { return ssWriteRTWParameters(S, 1, 9, "P", "t", kValues, kImag, 2, 0x10000); },
     {"param 9 P t w=65536 2x1"}, 1, nullptr},
    {"kind9_parts_not_tested", [](SimStruct* S) { return ssWriteRTWParameters(S, 1, 9, "P", "t", nullptr, nullptr, 2, 0x10000); },
     {"param 9 P t w=65536 2x1"}, 1, nullptr},
    {"kind10_parts", [](SimStruct* S) { return ssWriteRTWParameters(S, 1, 10, "P", "t", kValues, kImag, 2, 3, 0x10001); },
     {"param 10 P t w=65537 2x3"}, 1, nullptr},
    {"two_in_order", [](SimStruct* S) { return ssWriteRTWParameters(S, 2, 4, "A", "a", kValues, 1, 7, "B", "b", kValues, 2, 3); },
     {"param 4 A a w=0 1x1", "param 7 B b w=3 2x1"}, 1, nullptr},
    {"kind6_invalid", [](SimStruct* S) { return ssWriteRTWParameters(S, 1, 6, "P", "t", kValues, 6); },
     {}, 0, "SimStructInvalidRTWParamValueType"},
    {"kind11_invalid_after_good", [](SimStruct* S) { return ssWriteRTWParameters(S, 2, 4, "A", "a", kValues, 1, 11, "B", "b"); },
     {"param 4 A a w=0 1x1"}, 0, "SimStructInvalidRTWParamValueType"},
    {"name_empty", [](SimStruct* S) { return ssWriteRTWParameters(S, 1, 4, "", "t", kValues, 1); },
     {}, 0, "SimStructInvalidRTWParamArgument"},
    {"name_null", [](SimStruct* S) { return ssWriteRTWParameters(S, 1, 5, nullptr, "t", kValues, 1, 1); },
     {}, 0, "SimStructInvalidRTWParamArgument"},
    {"value_null", [](SimStruct* S) { return ssWriteRTWParameters(S, 1, 4, "P", "t", nullptr, 2); },
     {}, 0, "SimStructInvalidRTWParamArgument"},
    {"count_negative", [](SimStruct* S) { return ssWriteRTWParameters(S, 1, 7, "P", "t", kValues, -1, 6); },
     {}, 0, "SimStructInvalidRTWParamArgument"},
    {"zero_rows_only", [](SimStruct* S) { return ssWriteRTWParameters(S, 1, 5, "P", "t", kValues, 0, 2); },
     {}, 0, "SimStructInvalidRTWParamArgument"},
    {"zero_columns_only", [](SimStruct* S) { return ssWriteRTWParameters(S, 1, 10, "P", "t", kValues, kImag, 2, 0, 0); },
     {}, 0, "SimStructInvalidRTWParamArgument"},
};

TEST(Parameters, CheckEachAndWriteInOrder) {
    for (const ParamCase& row : kParamCases) {
        SCOPED_TRACE(row.name);
        HostRecord host;
        EXPECT_EQ(row.write(host.S()), row.result);
        EXPECT_EQ(briefs(host), row.written);
        EXPECT_EQ(host.errorStatus(), row.error != nullptr ? constantText(row.error) : "");
    }
}

TEST(Parameters, PartsReachTheHostAsAPair) {
    HostRecord host;
    host.valueBytesToCopy = sizeof(Parts);
    ssWriteRTWParameters(host.S(), 1, 9, "P", "t", kValues, kImag, 2, 0);
    ASSERT_EQ(host.writerCalls.size(), 1u);
    const Parts parts = valueAs<Parts>(host.writerCalls[0]);
    EXPECT_EQ(parts.real, kValues);
    EXPECT_EQ(parts.imag, kImag);
}

TEST(Parameters, AFailedWriteEndsWithZeroAndOtherResultsGoOn) {
    HostRecord host;
    host.writerAnswerAt = {{0, 7}, {1, 0}};
    EXPECT_EQ(ssWriteRTWParameters(host.S(), 3, 4, "A", "a", kValues, 1, 4, "B", "b", kValues, 1, 4, "C", "c",
                                   kValues, 1),
              0);
    EXPECT_EQ(briefs(host), (std::vector<std::string>{"param 4 A a w=0 1x1", "param 4 B b w=0 1x1"}));
    HostRecord last;
    last.writerAnswerAt = {{1, 9}};
    EXPECT_EQ(ssWriteRTWParameters(last.S(), 2, 4, "A", "a", kValues, 1, 4, "B", "b", kValues, 1), 9);
}

// --- parameter settings -------------------------------------------------------------------

TEST(ParamSettings, EveryKindIsWrittenAsItsPair) {
    HostRecord host;
    const int32_t result = ssWriteRTWParamSettings(
        host.S(), 11,
        0, "S0", kValues,
        1, "S1", "text",
        2, "S2", kValues, 3,
        3, "S3", 2.5,
        4, "S4", kValues, 2,
        5, "S5", kValues, 2, 3,
        6, "S6", kValues, 6,
        7, "S7", kValues, 4, 1,
        8, "S8", kValues, 2, 3, 0x10000,
        9, "S9", kValues, kImag, 2, 0x10000,
        10, "S10", kValues, kImag, 3, 2, 0x10006);
    EXPECT_EQ(result, 1);
    EXPECT_EQ(briefs(host), (std::vector<std::string>{
                                "text SFcnParamSettings {",
                                "pair 0 S0 w=0 1x1",
                                "pair 1 S1 w=0 1x1",
                                "pair 2 S2 w=0 3x1",
                                "pair 3 S3 w=0 1x1",
                                "pair 4 S4 w=0 2x1",
                                "pair 5 S5 w=0 2x3",
                                "pair 6 S6 w=6 1x1",
                                "pair 7 S7 w=1 4x1",
                                "pair 8 S8 w=65536 2x3",
                                "pair 9 S9 w=65536 2x1",
                                "pair 10 S10 w=65542 3x2",
                                "text }",
                            }));
    EXPECT_EQ(host.errorStatus(), "");
}

TEST(ParamSettings, ANumberIsHandedOverAsTheAddressOfACopy) {
    HostRecord host;
    host.valueBytesToCopy = sizeof(double);
    ssWriteRTWParamSettings(host.S(), 1, 3, "Tol", 2.5);
    ASSERT_EQ(host.writerCalls.size(), 3u);
    EXPECT_EQ(brief(host.writerCalls[1]), "pair 3 Tol w=0 1x1");
    EXPECT_EQ(valueAs<double>(host.writerCalls[1]), 2.5);
}

TEST(ParamSettings, ZeroSettingsWriteNothingAndReportNothing) {
    HostRecord host;
    ssReportFormatted(host.S(), "earlier");
    EXPECT_EQ(ssWriteRTWParamSettings(host.S(), 0), 0);
    EXPECT_EQ(ssWriteRTWParamSettings(host.S(), -1), 0);
    EXPECT_TRUE(host.writerCalls.empty());
    EXPECT_EQ(host.errorStatus(), "earlier");
}

TEST(ParamSettings, AnInvalidKindStopsBeforeTheClosingLine) {
    HostRecord host;
    EXPECT_EQ(ssWriteRTWParamSettings(host.S(), 3, 6, "Good", kValues, 6, 11, "Bad", 1, "Never", "x"), 0);
    EXPECT_EQ(briefs(host), (std::vector<std::string>{"text SFcnParamSettings {", "pair 6 Good w=6 1x1"}));
    EXPECT_EQ(host.errorStatus(), constantText("SimStructInvalidRTWParamSetting"));
}

TEST(ParamSettings, AFailingWriteIsReturnedAtOnce) {
    HostRecord opening;
    opening.textAnswer = 3;
    EXPECT_EQ(ssWriteRTWParamSettings(opening.S(), 1, 0, "A", kValues), 3);
    EXPECT_EQ(briefs(opening), std::vector<std::string>{"text SFcnParamSettings {"});

    HostRecord pair;
    pair.pairAnswer = 4;
    EXPECT_EQ(ssWriteRTWParamSettings(pair.S(), 2, 0, "A", kValues, 0, "B", kValues), 4);
    EXPECT_EQ(briefs(pair), (std::vector<std::string>{"text SFcnParamSettings {", "pair 0 A w=0 1x1"}));

    HostRecord badPair;
    EXPECT_EQ(ssWriteRTWParamSettings(badPair.S(), 1, 0, "A", nullptr), 0);
    EXPECT_EQ(badPair.errorStatus(), constantText("SimStructNullRTWPair"));
    EXPECT_EQ(briefs(badPair), std::vector<std::string>{"text SFcnParamSettings {"});

    HostRecord closing;
    closing.writerAnswerAt = {{2, 8}};
    EXPECT_EQ(ssWriteRTWParamSettings(closing.S(), 1, 0, "A", kValues), 8);
}

// --- work vectors ---------------------------------------------------------------------------

const std::vector<std::string> kRWorkDefines = {
    "pair 6 NumRWorkDefines w=6 1x1",
    "text RWorkDefine {", "pair 1 Name w=0 1x1", "pair 6 Width w=6 1x1", "pair 6 StartIndex w=6 1x1", "text }",
    "text RWorkDefine {", "pair 1 Name w=0 1x1", "pair 6 Width w=6 1x1", "pair 6 StartIndex w=6 1x1", "text }",
};

TEST(WorkVect, WritesTheDefinesWithTheirStartIndices) {
    HostRecord host;
    host.giveWorkVectors(0, 7, 0);
    host.valueBytesToCopy = sizeof(int32_t);
    EXPECT_EQ(ssWriteRTWWorkVect(host.S(), "RWork", 2, "gain", 3, "state", 4), 1);
    EXPECT_EQ(briefs(host), kRWorkDefines);
    const std::vector<WriterCall>& calls = host.writerCalls;
    EXPECT_EQ(valueAs<int32_t>(calls[0]), 2);
    EXPECT_STREQ(static_cast<const char*>(calls[2].value), "gain");
    EXPECT_EQ(valueAs<int32_t>(calls[3]), 3);
    EXPECT_EQ(valueAs<int32_t>(calls[4]), 0);
    EXPECT_STREQ(static_cast<const char*>(calls[7].value), "state");
    EXPECT_EQ(valueAs<int32_t>(calls[8]), 4);
    EXPECT_EQ(valueAs<int32_t>(calls[9]), 3);
    EXPECT_EQ(host.errorStatus(), "");
}

TEST(WorkVect, AWidthSumThatMissesTheDeclaredLengthIsReportedAfterWriting) {
    HostRecord host;
    host.giveWorkVectors(0, 8, 0);
    EXPECT_EQ(ssWriteRTWWorkVect(host.S(), "RWork", 2, "gain", 3, "state", 4), 0);
    EXPECT_EQ(briefs(host), kRWorkDefines);
    EXPECT_EQ(host.errorStatus(),
              "<diag_root><diag id=\"Simulink:SFunctions:SimStructRTWWorkVectorSizeMismatch\"><arguments>"
              "<arg type=\"string\">RWork</arg><arg type=\"numeric\">7</arg>"
              "<arg type=\"string\">RWork</arg><arg type=\"numeric\">8</arg>"
              "</arguments></diag></diag_root>");
    EXPECT_EQ(ssRoot(host.S())->errorStatus, ssRoot(host.S())->blockInfo->msgBuffer);
}

TEST(WorkVect, EachVectorUsesItsOwnDeclaredLength) {
    HostRecord host;
    host.giveWorkVectors(2, 9, 5);
    EXPECT_EQ(ssWriteRTWWorkVect(host.S(), "IWork", 1, "i", 2), 1);
    EXPECT_EQ(ssWriteRTWWorkVect(host.S(), "PWork", 2, "p", 1, "q", 4), 1);
    EXPECT_EQ(host.writerCalls.front().name, "NumIWorkDefines");
    EXPECT_EQ(host.writerCalls[6].name, "NumPWorkDefines");
    EXPECT_EQ(host.errorStatus(), "");
}

struct RefusedVectorCase {
    const char* name;
    const char* vector;
    int32_t numDefines;
    const char* error;
};

const RefusedVectorCase kRefusedVectors[] = {
    {"dwork", "DWork", 1, "SimStructInvalidRTWWorkVectorName"},
    {"lower_case", "rwork", 1, "SimStructInvalidRTWWorkVectorName"},
    {"null_name", nullptr, 1, "SimStructInvalidRTWWorkVectorName"},
    {"zero_defines", "IWork", 0, "SimStructInvalidRTWWorkVectorNumArgs"},
    {"negative_defines", "PWork", -3, "SimStructInvalidRTWWorkVectorNumArgs"},
    {"name_checked_first", "DWork", 0, "SimStructInvalidRTWWorkVectorName"},
};

TEST(WorkVect, RefusedVectorsWriteNothing) {
    for (const RefusedVectorCase& row : kRefusedVectors) {
        SCOPED_TRACE(row.name);
        HostRecord host;
        host.giveWorkVectors(1, 1, 1);
        EXPECT_EQ(ssWriteRTWWorkVect(host.S(), row.vector, row.numDefines, "a", 1), 0);
        EXPECT_TRUE(host.writerCalls.empty());
        EXPECT_EQ(host.errorStatus(), constantText(row.error));
    }
}

TEST(WorkVect, AFailedWriteEndsWithItsResult) {
    HostRecord host;
    host.giveWorkVectors(0, 7, 0);
    host.writerAnswerAt = {{3, 0}};  // the first Width
    EXPECT_EQ(ssWriteRTWWorkVect(host.S(), "RWork", 2, "gain", 3, "state", 4), 0);
    EXPECT_EQ(host.writerCalls.size(), 4u);
    EXPECT_EQ(host.errorStatus(), "");

    HostRecord noName;
    noName.giveWorkVectors(0, 3, 0);
    EXPECT_EQ(ssWriteRTWWorkVect(noName.S(), "RWork", 1, nullptr, 3), 0);
    EXPECT_EQ(noName.errorStatus(), constantText("SimStructNullRTWPair"));
}

// --- data type ids and string buffers ---------------------------------------------------------

struct ClassCase {
    const char* name;
    mxArray* (*make)();
    int32_t id;
};

template <int32_t Class>
mxArray* numeric() {
    return mxCreateNumericMatrix_800(1, 1, Class, mxREAL);
}

const ClassCase kClassCases[] = {
    {"logical", numeric<mx_class::logical>, 8},
    {"double", numeric<mx_class::doubleClass>, 0},
    {"single", numeric<mx_class::singleClass>, 1},
    {"int8", numeric<mx_class::int8>, 2},
    {"uint8", numeric<mx_class::uint8>, 3},
    {"int16", numeric<mx_class::int16>, 4},
    {"uint16", numeric<mx_class::uint16>, 5},
    {"int32", numeric<mx_class::int32>, 6},
    {"uint32", numeric<mx_class::uint32>, 7},
    {"int64", numeric<mx_class::int64>, -10},
    {"uint64", numeric<mx_class::uint64>, -10},
    {"cell", [] { return mxCreateCellMatrix_800(1, 1); }, -10},
    {"struct", [] { return mxCreateStructMatrix_800(1, 1, 0, nullptr); }, -10},
    {"char", [] { return mxCreateString_800("c"); }, -10},
    {"unknown", []() -> mxArray* { return nullptr; }, -10},
};

TEST(DataTypeId, FollowsTheArrayClass) {
    subhost_mx_beginScope();
    for (const ClassCase& row : kClassCases) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(ssGetDTypeIdFromMxArray(row.make()), row.id);
    }
    subhost_mx_endScope();
}

TEST(StringBuffer, IsMadeAndFilledThroughTheHost) {
    HostRecord host;
    const int32_t first = _ssCreateSLCGStringBuffer(host.S());
    const int32_t second = _ssCreateSLCGStringBuffer(host.S());
    EXPECT_GE(first, 0);
    EXPECT_NE(first, second);
    _ssAddToSLCGStringBuffer(host.S(), second, "line");
    ASSERT_EQ(host.serviceCalls.size(), 3u);
    EXPECT_EQ(host.serviceCalls[0].code, 42);
    EXPECT_EQ(host.serviceCalls[0].intValue, 0);
    EXPECT_EQ(host.serviceCalls[2].code, 43);
    EXPECT_EQ(host.serviceCalls[2].intValue, second);
    EXPECT_EQ(host.serviceCalls[2].summary, "line");
}

TEST(StringBuffer, WithoutAHostIsNotMade) {
    subhost::HostRecordOptions options;
    options.withHostService = false;
    HostRecord host(options);
    EXPECT_EQ(_ssCreateSLCGStringBuffer(host.S()), -1);
    _ssAddToSLCGStringBuffer(host.S(), 0, "line");
    EXPECT_TRUE(host.serviceCalls.empty());
}

}  // namespace
