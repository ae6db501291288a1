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

// One row per entry, in table order: the identifier (or, for a generated
// token, the number of characters before "_prot"), kind, the word at offset
// 16 and whether "Quarlin" owns it.
struct EntryRow {
    const char* identifier;  // null: an opaque token
    size_t tokenLength;
    int32_t kind;
    int32_t offset16;
    bool owned;
};

constexpr EntryRow token(size_t length, int32_t kind) { return {nullptr, length, kind, -1, true}; }
constexpr EntryRow named(const char* identifier, int32_t kind, int32_t offset16, bool owned) {
    return {identifier, 0, kind, offset16, owned};
}

const EntryRow kTable[kQuarlinMdlInfoCount] = {
    token(11, 16),
    token(10, 17), token(10, 17), token(10, 17), token(10, 17), token(10, 17),  // 1-5
    token(10, 17), token(10, 17), token(10, 17), token(10, 17), token(10, 17),  // 6-10
    token(10, 17), token(10, 17), token(10, 17), token(10, 17),                 // 11-14
    token(10, 17),                                                              // 15: Quarlin_Term
    token(10, 17), token(10, 17),                                               // 16-17
    token(10, 17), token(10, 17), token(10, 17), token(10, 17),                 // 18-21: Update, Reset, Init, initialize
    token(10, 17), token(10, 17),                                               // 22-23
    named("Quarlin", 17, 0, false),                                             // 24
    token(10, 17), token(10, 17), token(10, 17),                                // 25-27
    named("mr_Quarlin_GetSimStateDisallowedBlocks", 20, -1, true),
    named("mr_Quarlin_extractBitFieldFromCellArrayWithOffset", 20, -1, true),
    named("mr_Quarlin_cacheBitFieldToCellArrayWithOffset", 20, -1, true),
    named("mr_Quarlin_restoreDataFromMxArrayWithOffset", 20, -1, true),
    named("mr_Quarlin_cacheDataToMxArrayWithOffset", 20, -1, true),
    named("mr_Quarlin_extractBitFieldFromMxArray", 20, -1, true),
    named("mr_Quarlin_cacheBitFieldToMxArray", 20, -1, true),
    named("mr_Quarlin_restoreDataFromMxArray", 20, -1, true),
    named("mr_Quarlin_cacheDataAsMxArray", 20, -1, true),
    named("mr_Quarlin_RegisterSimStateChecksum", 20, -1, true),
    named("mr_Quarlin_SetDWork", 20, -1, true),
    named("mr_Quarlin_GetDWork", 20, -1, true),
    named("Quarlin.h", 13, -1, false),
    named("Quarlin.c", 13, -1, true),
};

TEST_F(ModelInfo, TableEntriesOneByOne) {
    static_assert(sizeof(rtMdlInfo_Quarlin) == 42 * 32);
    std::set<std::string> tokens;
    for (int i = 0; i < kQuarlinMdlInfoCount; ++i) {
        SCOPED_TRACE("entry " + std::to_string(i));
        const EntryRow& row = kTable[i];
        const Quarlin_MdlInfoEntry& entry = rtMdlInfo_Quarlin[i];
        ASSERT_NE(entry.identifier, nullptr);
        if (row.identifier != nullptr) {
            EXPECT_STREQ(entry.identifier, row.identifier);
        } else {
            EXPECT_TRUE(isToken(entry.identifier, row.tokenLength)) << entry.identifier;
            EXPECT_TRUE(tokens.insert(entry.identifier).second) << "repeated token " << entry.identifier;
        }
        EXPECT_EQ(entry.kind, row.kind);
        EXPECT_EQ(entry.zero12, 0);
        EXPECT_EQ(entry.offset16, row.offset16);
        EXPECT_EQ(entry.zero20, 0);
        if (row.owned) {
            EXPECT_STREQ(entry.owner, "Quarlin");
        } else {
            EXPECT_EQ(entry.owner, nullptr);
        }
    }

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
