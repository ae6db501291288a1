// The model-information table, its registration with the host, and the
// state checksum.

#include <cctype>
#include <cstring>
#include <set>
#include <string>

#include "block_fixture.h"
#include "mdlref/mr_Quarlin.h"

namespace {

using ModelInfo = BlockTest;

// `length` of a-z and 0-9, the first a letter, then "_prot".
bool isToken(const std::string& text, size_t length) {
    if (text.size() != length + 5 || text.compare(length, 5, "_prot") != 0) return false;
    if (!std::islower(static_cast<unsigned char>(text[0]))) return false;
    for (size_t i = 0; i < length; ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (!std::islower(c) && !std::isdigit(c)) return false;
    }
    return true;
}

TEST_F(ModelInfo, TableEntries) {
    static_assert(sizeof(rtMdlInfo_Quarlin) == 42 * 32);
    int kinds[21] = {};
    std::set<std::string> tokens;
    for (int i = 0; i < kQuarlinMdlInfoCount; ++i) {
        SCOPED_TRACE(i);
        const Quarlin_MdlInfoEntry& entry = rtMdlInfo_Quarlin[i];
        ASSERT_NE(entry.identifier, nullptr);
        const std::string identifier = entry.identifier;
        ASSERT_TRUE(entry.kind == 13 || entry.kind == 16 || entry.kind == 17 || entry.kind == 20);
        ++kinds[entry.kind];
        EXPECT_EQ(entry.zero12, 0);
        EXPECT_EQ(entry.zero20, 0);
        EXPECT_EQ(entry.offset16, i == 24 ? 0 : -1);
        if (i == 24 || i == 40) {
            EXPECT_EQ(entry.owner, nullptr);
        } else {
            ASSERT_NE(entry.owner, nullptr);
            EXPECT_STREQ(entry.owner, "Quarlin");
        }
        if (i < 28 && i != 24) {
            EXPECT_TRUE(isToken(identifier, i == 0 ? 11 : 10)) << identifier;
            tokens.insert(identifier);
        }
        if (entry.kind == 20) {
            EXPECT_EQ(identifier.rfind("mr_Quarlin_", 0), 0u) << identifier;
        }
    }
    EXPECT_EQ(rtMdlInfo_Quarlin[0].kind, 16);
    EXPECT_STREQ(rtMdlInfo_Quarlin[24].identifier, "Quarlin");
    EXPECT_STREQ(rtMdlInfo_Quarlin[40].identifier, "Quarlin.h");
    EXPECT_STREQ(rtMdlInfo_Quarlin[41].identifier, "Quarlin.c");
    EXPECT_EQ(kinds[13], 2);
    EXPECT_EQ(kinds[16], 1);
    EXPECT_EQ(kinds[17], 27);
    EXPECT_EQ(kinds[20], 12);
    EXPECT_EQ(tokens.size(), 27u);

    // The state members' names of the snapshot are not among them.
    BlockInstance block;
    const mxArray* states = mxGetFieldByNumber_800(mxGetFieldByNumber_800(mdlGetSimState(block.S()), 0, 1), 0, 1);
    for (int32_t f = 0; f < mxGetNumberOfFields_800(states); ++f) {
        const std::string name = mxGetFieldNameByNumber_800(states, f);
        EXPECT_EQ(tokens.count(name.substr(std::strlen("mdlrefDW->rtdw."))), 0u) << name;
    }
}

struct RegistrationCase {
    const char* name;
    bool withHostService;
    int32_t answer72;
    int32_t success;
    std::vector<int32_t> codes;
};

const RegistrationCase kRegistrations[] = {
    {"host accepts", true, 1, 1, {239, 72}},
    {"host accepts with -1", true, -1, 1, {239, 72}},
    {"host refuses", true, 0, 0, {239, 72}},
    {"no host service", false, 1, 0, {}},
};

TEST_F(ModelInfo, RegistrationHandsTheTableToTheHost) {
    for (const RegistrationCase& c : kRegistrations) {
        SCOPED_TRACE(c.name);
        subhost::HostRecordOptions options;
        options.withHostService = c.withHostService;
        subhost::HostRecord host(options);
        host.answers[72] = c.answer72;
        Quarlin_MdlInfoRegistration seen{};
        uint8_t queryFlag = 0xFF;
        host.onService = [&](SimStruct*, int32_t code, int32_t intValue, void* data) {
            EXPECT_EQ(intValue, 0);
            if (code == 239) queryFlag = *static_cast<uint8_t*>(data);
            if (code == 72) seen = *static_cast<Quarlin_MdlInfoRegistration*>(data);
        };
        const char* model = "Quarlin";
        int32_t success = 7;
        mr_Quarlin_MdlInfoRegFcn(host.S(), model, &success);

        EXPECT_EQ(success, c.success);
        EXPECT_EQ(host.serviceCodes(), c.codes);
        if (!c.codes.empty()) {
            EXPECT_EQ(queryFlag, 0);
            EXPECT_EQ(seen.modelName, model);
            EXPECT_EQ(seen.table, rtMdlInfo_Quarlin);
            EXPECT_EQ(seen.count, 42);
        }
    }
}

TEST_F(ModelInfo, ChecksumReachesTheHostInOrder) {
    subhost::HostRecord host;
    mr_Quarlin_RegisterSimStateChecksum(host.S());
    ASSERT_EQ(subhost_slmr_checksumCount(host.S()), 1);
    EXPECT_STREQ(subhost_slmr_checksumModel(host.S(), 0), "Quarlin");
    uint32_t words[4] = {};
    subhost_slmr_checksumWords(host.S(), 0, words);
    const uint32_t expected[4] = {0xCC466449u, 0x53FC69BFu, 0x125D1680u, 0xFD15C90Cu};
    EXPECT_EQ(std::memcmp(words, expected, sizeof words), 0);
}

}  // namespace
