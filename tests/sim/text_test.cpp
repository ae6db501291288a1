// Numbers as text, the input CSV reader and the command-line parser.
#include <gtest/gtest.h>

#include <bit>
#include <charconv>
#include <cmath>
#include <limits>

#include "args.h"
#include "csv_input.h"
#include "failure.h"
#include "floats.h"
#include "sim_support.h"

namespace {

using quarlin_sim::Failure;
using sim_test::bitsOf;

std::string written(float value) {
    char text[quarlin_sim::kMaxNumberText];
    return std::string(text, quarlin_sim::writeBinary32(text, value));
}

// Every binary32 comes back from its text with the same bits, in the
// shortest text that does so.
TEST(Binary32Text, WritesTheShortestTextThatReadsBackToTheSameBits) {
    struct Case {
        uint32_t bits;
        const char* text;
    };
    const Case cases[] = {
        {0x00000000, "0"},           {0x80000000, "-0"},           {0x3DCCCCCD, "0.1"},
        {0x00000001, "1e-45"},       {0x80000001, "-1e-45"},       {0x007FFFFF, "1.1754942e-38"},
        {0x00800000, "1.1754944e-38"}, {0x7F7FFFFF, "3.4028235e+38"}, {0x7F800000, "inf"},
        {0xFF800000, "-inf"},        {0x7FC00000, "nan"},          {0xFFC00000, "-nan"},
        {0x40C90FDB, "6.2831855"},   {0x4118C9EB, "9.549296"},     {0x3F800000, "1"},
        {0x4B7FFFFF, "16777215"},    {0xBECCCCCC, "-0.39999998"},
    };
    for (const auto& c : cases) {
        const float value = std::bit_cast<float>(c.bits);
        EXPECT_EQ(written(value), c.text) << std::hex << c.bits;
        const auto back = quarlin_sim::readBinary32(written(value));
        ASSERT_TRUE(back) << c.text;
        EXPECT_EQ(bitsOf(*back), c.bits) << c.text;
    }
}

TEST(Binary32Text, RoundTripsEveryExponentAndBothSigns) {
    // A sweep through all exponents with awkward mantissas.
    for (uint32_t exponent = 0; exponent < 255; ++exponent) {
        for (uint32_t mantissa : {0x000000u, 0x000001u, 0x400000u, 0x7FFFFFu, 0x2AAAAAu}) {
            for (uint32_t sign : {0u, 0x80000000u}) {
                const uint32_t bits = sign | (exponent << 23) | mantissa;
                const auto back = quarlin_sim::readBinary32(written(std::bit_cast<float>(bits)));
                ASSERT_TRUE(back);
                ASSERT_EQ(bitsOf(*back), bits) << std::hex << bits;
            }
        }
    }
}

TEST(Binary32Text, ReadsDecimalTextToTheNearestBinary32) {
    struct Case {
        const char* text;
        uint32_t bits;
    };
    const Case cases[] = {
        {"0.1", 0x3DCCCCCD},          {"  0.1\t", 0x3DCCCCCD},   {"+2", 0x40000000},
        {"-0", 0x80000000},           {"1e-46", 0x00000000},     {"-1e-46", 0x80000000},
        {"8e-46", 0x00000001},        {"1e50", 0x7F800000},      {"-1e50", 0xFF800000},
        {"3.4028235e38", 0x7F7FFFFF}, {"3.4028236e38", 0x7F800000}, {"NaN", 0x7FC00000},
        {"Inf", 0x7F800000},          {"-infinity", 0xFF800000}, {"1.00000006", 0x3F800001},
        {".5", 0x3F000000},           {"5.", 0x40A00000},        {"0.100000001490116119384765625", 0x3DCCCCCD},
    };
    for (const auto& c : cases) {
        const auto value = quarlin_sim::readBinary32(c.text);
        ASSERT_TRUE(value) << c.text;
        EXPECT_EQ(bitsOf(*value), c.bits) << c.text;
    }
}

TEST(Binary32Text, RefusesWhatIsNotOneNumber) {
    for (const char* text : {"", "  ", "abc", "1,5", "1 2", "0x10", "1e", "--1", "+-1", "++1", "1.2.3",
                             "nanx", "- 1", "1f", "٣"}) {
        EXPECT_FALSE(quarlin_sim::readBinary32(text)) << '"' << text << '"';
    }
}

// The CSV text is what std::to_chars writes, byte for byte: a sweep over
// the bit patterns of binary32 (every exponent, mantissas spread over the
// whole range) and over binary64 (every exponent, random mantissas, and the
// decimals of times and speeds).
TEST(NumberText, MatchesToCharsByteForByte) {
    char ours[quarlin_sim::kMaxNumberText];
    char theirs[64];
    for (uint64_t bits = 0; bits <= 0xFFFFFFFFu; bits += 4093) {
        const float value = std::bit_cast<float>(static_cast<uint32_t>(bits));
        const std::string expected(theirs, std::to_chars(theirs, theirs + sizeof theirs, value).ptr);
        ASSERT_EQ(std::string(ours, quarlin_sim::writeBinary32(ours, value)), expected) << std::hex << bits;
    }
    uint64_t state = 0x9E3779B97F4A7C15u;
    const auto next = [&] {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        return state;
    };
    for (int i = 0; i < 400000; ++i) {
        const uint64_t random = next();
        double value = std::bit_cast<double>(random);
        if (i % 3 == 1) value = static_cast<double>(random % 100000000) / 10000.0;  // times, speeds
        if (i % 3 == 2) value = static_cast<double>(static_cast<int64_t>(random >> 11)) * 0x1p-40;
        const std::string expected(theirs, std::to_chars(theirs, theirs + sizeof theirs, value).ptr);
        ASSERT_EQ(std::string(ours, quarlin_sim::writeDouble(ours, value)), expected) << std::hexfloat << value;
        if (!(value > -1e15 && value < 1e15)) continue;
        const auto fixed = std::to_chars(theirs, theirs + quarlin_sim::kMaxNumberText, value, std::chars_format::fixed);
        if (fixed.ec != std::errc()) continue;
        ASSERT_EQ(std::string(ours, quarlin_sim::writeDoubleFixed(ours, value)), std::string(theirs, fixed.ptr))
            << std::hexfloat << value;
    }
}

TEST(NumberText, StepTimesFromTheCountMatchTheDivision) {
    const auto check = [](uint64_t k) {
        char ours[quarlin_sim::kMaxNumberText];
        char theirs[quarlin_sim::kMaxNumberText];
        return std::string(ours, quarlin_sim::writeTenThousandths(ours, k)) ==
               std::string(theirs, quarlin_sim::writeDoubleFixed(theirs, static_cast<double>(k) / 10000.0));
    };
    for (uint64_t k = 0; k < 300000; ++k) ASSERT_TRUE(check(k)) << k;
    for (uint64_t k = 300000; k < 2000000000000000; k = k * 3 + 7) ASSERT_TRUE(check(k)) << k;
}

TEST(Binary32Text, WritesTimesInPositionalNotation) {
    struct Case {
        double value;
        const char* text;
    };
    const Case cases[] = {{0.0, "0"}, {3 / 10000.0, "0.0003"}, {7999 / 10000.0, "0.7999"}, {12345.6789, "12345.6789"},
                          {1e20, "1e+20"}, {1e-25, "0.0000000000000000000000001"}, {1.2345678901234567e-30,
                          "1.2345678901234567e-30"}, {-2.5e-300, "-2.5e-300"}};
    for (const auto& c : cases) {
        char text[quarlin_sim::kMaxNumberText];
        EXPECT_EQ(std::string(text, quarlin_sim::writeDoubleFixed(text, c.value)), c.text);
    }
}

// --- input CSV ---------------------------------------------------------------

std::string failureOf(const std::string& text) {
    try {
        (void)quarlin_sim::parseInputCsv(text, "in.csv");
    } catch (const Failure& failure) {
        return failure.what();
    }
    return "";
}

TEST(InputCsv, FindsTheFourColumnsByNameInAnyOrderAndIgnoresOthers) {
    struct Case {
        const char* name;
        const char* text;
    };
    const Case cases[] = {
        {"plain", "i_alpha,i_beta,v_alpha,v_beta\n1,2,3,4\n"},
        {"reordered with extras", "note,v_beta,t,i_beta,v_alpha,i_alpha\nx,4,0,2,3,1\n"},
        {"CRLF, no final newline", "i_alpha,i_beta,v_alpha,v_beta\r\n1,2,3,4"},
        {"byte-order mark and spaces", "\xEF\xBB\xBF i_alpha , i_beta,v_alpha,v_beta\n 1 ,2,3,4\n\n\n"},
        {"quoted fields", "\"i_alpha\",i_beta,\"v,alpha\",v_alpha,v_beta\n\"1\",2,\"x,\"\"y\",3,4\n"},
        {"short row missing only ignored columns", "i_alpha,i_beta,v_alpha,v_beta,note\n1,2,3,4\n"},
    };
    for (const auto& c : cases) {
        const auto table = quarlin_sim::parseInputCsv(c.text, "in.csv");
        ASSERT_EQ(table.rows.size(), 1u) << c.name;
        EXPECT_EQ(table.rows[0], (quarlin_sim::InputSample{1, 2, 3, 4})) << c.name;
    }
}

TEST(InputCsv, NamesTheLineAndColumnOfEveryDefect) {
    struct Case {
        const char* name;
        const char* text;
        const char* message;
    };
    const Case cases[] = {
        {"empty file", "", "in.csv is empty"},
        {"missing column", "i_alpha,i_beta,v_alpha\n1,2,3\n", "line 1: the header has no column v_beta"},
        {"column twice", "i_alpha,i_beta,v_alpha,v_beta,i_beta\n1,2,3,4,5\n",
         "line 1: column i_beta is named twice (fields 2 and 5)"},
        {"header only", "i_alpha,i_beta,v_alpha,v_beta\n", "has a header but no data rows"},
        {"short row", "i_alpha,i_beta,v_alpha,v_beta\n1,2,3,4\n1,2,3\n",
         "line 3, column v_beta: missing (the row has 3 of the header's 4 fields)"},
        {"long row", "i_alpha,i_beta,v_alpha,v_beta\n1,2,3,4,5\n", "line 2: 5 fields, but the header names 4"},
        {"not a number", "i_alpha,i_beta,v_alpha,v_beta\n1,2,3,4\n1,2,abc,4\n",
         "line 3, column v_alpha: \"abc\" is not a number"},
        {"empty value", "i_alpha,i_beta,v_alpha,v_beta\n,2,3,4\n", "line 2, column i_alpha: \"\" is not a number"},
        {"blank line inside", "i_alpha,i_beta,v_alpha,v_beta\n1,2,3,4\n\n1,2,3,4\n", "line 3, column i_alpha"},
        {"open quote", "i_alpha,i_beta,v_alpha,v_beta\n1,2,\"3,4\n", "line 2: a quoted field is not closed"},
        {"control bytes shown escaped", "i_alpha,i_beta,v_alpha,v_beta\n1,2,3,\x01\n",
         "column v_beta: \"\\x01\" is not a number"},
    };
    for (const auto& c : cases) {
        const std::string message = failureOf(c.text);
        EXPECT_NE(message.find(c.message), std::string::npos) << c.name << ": " << message;
        EXPECT_EQ(message.find('\n'), std::string::npos) << c.name;
    }
}

// --- command lines -------------------------------------------------------------

constexpr quarlin_sim::OptionSpec kOptions[] = {
    {"--rpm", "", "RPM", "speed"},
    {"--output", "-o", "FILE", "where"},
    {"--log-states", "", "", "more columns"},
};
constexpr quarlin_sim::CommandSpec kCommand{"demo", "demo [options]", "A command.", kOptions, 1};

TEST(CommandLine, ReadsOptionsInEveryForm) {
    const std::vector<std::string> args = {"--rpm=-1500", "-o", "out.csv", "--log-states", "file"};
    const auto parsed = quarlin_sim::parseArgs(kCommand, args);
    EXPECT_EQ(parsed.number("--rpm"), -1500.0);
    EXPECT_EQ(parsed.text("--output"), "out.csv");
    EXPECT_TRUE(parsed.has("--log-states"));
    EXPECT_EQ(parsed.positionals, std::vector<std::string>{"file"});
    EXPECT_TRUE(quarlin_sim::parseArgs(kCommand, std::vector<std::string>{"--rpm", "x", "--help"}).help);
}

TEST(CommandLine, RefusesWhatItCannotRead) {
    struct Case {
        std::vector<std::string> args;
        const char* message;
    };
    const Case cases[] = {
        {{"--speed", "1"}, "unknown option --speed for demo"},
        {{"--rpm", "1", "--rpm", "2"}, "--rpm is given twice"},
        {{"--rpm"}, "--rpm needs a value: RPM"},
        {{"--log-states=1"}, "--log-states takes no value"},
        {{"a", "b"}, "unexpected argument \"b\" for demo"},
    };
    for (const auto& c : cases) {
        try {
            (void)quarlin_sim::parseArgs(kCommand, c.args);
            ADD_FAILURE() << c.message;
        } catch (const Failure& failure) {
            EXPECT_NE(std::string(failure.what()).find(c.message), std::string::npos) << failure.what();
            EXPECT_EQ(failure.exitCode(), quarlin_sim::kExitUsage);
        }
    }
    const auto parsed = quarlin_sim::parseArgs(kCommand, std::vector<std::string>{"--rpm", "fast"});
    EXPECT_THROW((void)parsed.number("--rpm"), Failure);
}

TEST(CommandLine, HelpListsEveryOption) {
    const std::string help = quarlin_sim::helpText(kCommand);
    for (const char* text : {"usage: quarlin-sim demo [options]", "--rpm RPM", "-o, --output FILE", "--log-states",
                             "-h, --help"}) {
        EXPECT_NE(help.find(text), std::string::npos) << text;
    }
}

}  // namespace
