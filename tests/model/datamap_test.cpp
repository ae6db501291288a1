// The data map as the host reads it: the instance record filled at set-up,
// and the static tables, read at the byte offsets of the host's layout.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "mdlref/Quarlin_capi.h"
#include "model/Quarlin.h"
#include "subhost/host_record.h"
#include "tests/model/model_fixture.h"

namespace {

void* const sysRanBase = reinterpret_cast<void*>(0x5157);

std::string textAt(const void* base, size_t offset) {
    const char* text = readAt<const char*>(base, offset);
    return text == nullptr ? "(null)" : text;
}

// One instance set up as the block's run-time set-up does it: task index 3
// for task 0, context task 0, no parent.
struct Instance {
    subhost::HostRecord host;
    Quarlin_MdlrefDW container{};

    Instance() {
        Quarlin_initialize(host.S(), 3, 1, &container.rtm, &container.rtb, &container.rtdw,
                           sysRanBase, 0, nullptr, nullptr, 0, -1);
    }
    const Quarlin_DataMapInfo& map() const { return container.rtm.dataMapInfo; }
    void* entry(size_t i) const { return readAt<void**>(&map(), 32)[i]; }
};

TEST(DataMap, AddressTableAndStateRowsListTheStatesInOrder) {
    Instance a;
    Quarlin_DW& dw = a.container.rtdw;
    // Positions among the seven states of Quarlin_DW, counting from 1.
    float* const statesInOrder[7] = {&dw.emfAlpha, &dw.emfBeta, &dw.speed, &dw.angle,
                                     &dw.pllIntegrator, &dw.currentBeta, &dw.currentAlpha};
    struct Row {
        const char* state;
        float* address;
    };
    const Row rows[7] = {{"speed", &dw.speed},           {"currentAlpha", &dw.currentAlpha},
                         {"emfAlpha", &dw.emfAlpha},     {"currentBeta", &dw.currentBeta},
                         {"emfBeta", &dw.emfBeta},       {"angle", &dw.angle},
                         {"pllIntegrator", &dw.pllIntegrator}};
    for (uint32_t i = 0; i < 7; ++i) {
        SCOPED_TRACE(rows[i].state);
        const uint32_t addressIndex = readAt<uint32_t>(&rtBlockStates[i], 0);
        EXPECT_EQ(addressIndex, i);
        EXPECT_EQ(a.entry(addressIndex), rows[i].address);
        EXPECT_EQ(statesInOrder[rt_LoggedStateIdxList[i] - 1], rows[i].address);
    }
}

TEST(DataMap, WritingThroughEntryZeroChangesOnlyThatInstancesSpeed) {
    Instance a;
    Instance b;
    const Quarlin_DW aBefore = a.container.rtdw;
    const Quarlin_DW bBefore = b.container.rtdw;
    *static_cast<float*>(a.entry(0)) = 1234.5F;

    Quarlin_DW expected = aBefore;
    expected.speed = 1234.5F;
    EXPECT_EQ(std::memcmp(&a.container.rtdw, &expected, sizeof expected), 0);
    EXPECT_EQ(std::memcmp(&b.container.rtdw, &bBefore, sizeof bBefore), 0);
}

TEST(DataMap, InstancesShareTheStaticMapButPointIntoTheirOwnStates) {
    Instance a;
    Instance b;
    EXPECT_EQ(readAt<const void*>(&a.map(), 8), Quarlin_GetCAPIStaticMap());
    EXPECT_EQ(readAt<const void*>(&b.map(), 8), Quarlin_GetCAPIStaticMap());
    EXPECT_EQ(Quarlin_GetCAPIStaticMap(), &mmiStatic);
    for (const Instance* instance : {&a, &b}) {
        const auto* first = reinterpret_cast<const unsigned char*>(&instance->container.rtdw);
        for (size_t i = 0; i < 7; ++i) {
            const auto* address = static_cast<const unsigned char*>(instance->entry(i));
            EXPECT_TRUE(address >= first && address + sizeof(float) <= first + sizeof(Quarlin_DW)) << i;
        }
    }
}

TEST(DataMap, InstanceRecordAsTheHostReadsIt) {
    for (int32_t& system : rtContextSystems) {
        system = -7;  // the filling must write all five
    }
    Instance a;
    const Quarlin_DataMapInfo* map = &a.map();
    const auto* base = reinterpret_cast<const unsigned char*>(map);
    const Quarlin_DW& dw = a.container.rtdw;

    EXPECT_EQ(readAt<uint8_t>(map, 0), 1);
    EXPECT_EQ(readAt<const char*>(map, 16), nullptr);
    EXPECT_EQ(readAt<const char*>(map, 24), nullptr);
    EXPECT_EQ(readAt<const void*>(map, 32), base + 112);
    EXPECT_EQ(readAt<const void*>(map, 40), nullptr);
    EXPECT_EQ(readAt<int32_t>(map, 48), 0);
    EXPECT_EQ(readAt<const void*>(map, 56), base + 88);
    EXPECT_EQ(readAt<const void*>(map, 64), base + 168);
    EXPECT_EQ(readAt<const void*>(map, 80), base + 224);
    EXPECT_EQ(readAt<const void*>(map, 88), base + 280);
    EXPECT_EQ(readAt<const void*>(map, 96), base + 320);
    EXPECT_EQ(readAt<const void*>(map, 104), &a.container.rtm.globalTid[0]);
    EXPECT_EQ(readAt<const void*>(map, 168), nullptr);
    for (size_t slot = 0; slot < 7; ++slot) {
        EXPECT_EQ(readAt<const void*>(map, 224 + 8 * slot), nullptr) << "per-state slot " << slot;
    }

    const void* systemRan[5] = {sysRanBase, &dw.noWrapRan, &dw.wrapHighRan, &dw.wrapLowRan, nullptr};
    const int32_t systemTid[5] = {0, 3, 3, 3, 3};
    const int32_t contextSystems[5] = {0, 1, 2, 3, 0};
    for (size_t system = 0; system < 5; ++system) {
        SCOPED_TRACE("system " + std::to_string(system));
        EXPECT_EQ(readAt<const void*>(map, 280 + 8 * system), systemRan[system]);
        EXPECT_EQ(readAt<int32_t>(map, 320 + 4 * system), systemTid[system]);
        EXPECT_EQ(rtContextSystems[system], contextSystems[system]);
    }
}

// Each row: offset, width and the value there.  Texts are compared as texts.
struct Field {
    size_t offset;
    int width;  // 1, 2, 4 or 8 for integers; 0 for a text pointer
    uint64_t value;
    const char* text;
};

uint64_t integerAt(const void* base, const Field& f) {
    switch (f.width) {
        case 1: return readAt<uint8_t>(base, f.offset);
        case 2: return readAt<uint16_t>(base, f.offset);
        case 4: return readAt<uint32_t>(base, f.offset);
        default: return readAt<uint64_t>(base, f.offset);
    }
}

void expectFields(const void* row, std::initializer_list<Field> fields) {
    for (const Field& f : fields) {
        SCOPED_TRACE("offset " + std::to_string(f.offset));
        if (f.width == 0) {
            EXPECT_EQ(textAt(row, f.offset), f.text == nullptr ? "(null)" : f.text);
        } else {
            EXPECT_EQ(integerAt(row, f), f.value);
        }
    }
}

constexpr uint32_t minus1 = 0xFFFFFFFF;

TEST(DataMap, StateRowsHoldTheirBytesAtTheirOffsets) {
    for (int row = 0; row < 7; ++row) {
        SCOPED_TRACE("row " + std::to_string(row));
        expectFields(&rtBlockStates[row],
                     {{0, 4, uint64_t(row), nullptr}, {4, 4, minus1, nullptr},
                      {8, 0, 0, "Block_in_protected_model"}, {16, 0, 0, "DSTATE"}, {24, 0, 0, ""},
                      {32, 2, 0, nullptr}, {34, 2, 0, nullptr}, {36, 2, 0, nullptr},
                      {38, 2, 0, nullptr}, {40, 1, 0, nullptr}, {41, 1, 0, nullptr},
                      {42, 2, 0, nullptr}, {44, 4, minus1, nullptr}, {48, 4, 0, nullptr},
                      {52, 4, 0, nullptr}});
    }
    SCOPED_TRACE("terminating row");
    expectFields(&rtBlockStates[7],
                 {{0, 4, 0, nullptr}, {4, 4, minus1, nullptr}, {8, 8, 0, nullptr}, {16, 8, 0, nullptr},
                  {24, 8, 0, nullptr}, {32, 8, 0, nullptr}, {40, 4, 0, nullptr},
                  {44, 4, minus1, nullptr}, {48, 8, 0, nullptr}});
}

TEST(DataMap, DescriptionTablesHoldTheirBytes) {
    {
        SCOPED_TRACE("rtDataTypeMap");
        expectFields(rtDataTypeMap, {{0, 0, 0, "float"}, {8, 0, 0, "real32_T"}, {16, 2, 0, nullptr},
                                     {18, 2, 0, nullptr}, {20, 2, 4, nullptr}, {22, 1, 1, nullptr},
                                     {23, 1, 0, nullptr}, {24, 8, 0, nullptr}});
    }
    {
        SCOPED_TRACE("rtDimensionMap");
        expectFields(rtDimensionMap, {{0, 4, 0, nullptr}, {4, 4, 0, nullptr}, {8, 4, 2, nullptr},
                                      {12, 4, 0, nullptr}});
        EXPECT_EQ(rtDimensionArray[0], 1U);
        EXPECT_EQ(rtDimensionArray[1], 1U);
    }
    {
        SCOPED_TRACE("rtFixPtMap");
        expectFields(rtFixPtMap, {{0, 8, 0, nullptr}, {8, 8, 0, nullptr}, {16, 1, 2, nullptr},
                                  {17, 1, 0, nullptr}, {18, 1, 0, nullptr}, {19, 1, 0, nullptr}});
    }
    {
        SCOPED_TRACE("rtSampleTimeMap");
        const double* period = readAt<const double*>(rtSampleTimeMap, 0);
        const double* offset = readAt<const double*>(rtSampleTimeMap, 8);
        EXPECT_EQ(std::bit_cast<uint64_t>(*period), std::bit_cast<uint64_t>(1e-4));
        EXPECT_EQ(std::bit_cast<uint64_t>(*offset), 0U);
        EXPECT_EQ(period, &rtcapiStoredFloats[0]);
        EXPECT_EQ(offset, &rtcapiStoredFloats[1]);
        expectFields(rtSampleTimeMap, {{16, 1, 0, nullptr}, {17, 1, 0, nullptr}});
    }
    {
        SCOPED_TRACE("loggingMetaInfo");
        expectFields(loggingMetaInfo, {{0, 4, 0, nullptr}, {4, 4, 0, nullptr}, {8, 0, 0, ""},
                                       {16, 4, 0, nullptr}});
    }
    {
        SCOPED_TRACE("mmiStaticInfoLogging");
        expectFields(&mmiStaticInfoLogging, {{0, 8, 5, nullptr}});
        EXPECT_EQ(readAt<const void*>(&mmiStaticInfoLogging, 8), rtContextSystems);
        EXPECT_EQ(readAt<const void*>(&mmiStaticInfoLogging, 16), loggingMetaInfo);
        for (size_t offset = 24; offset < 96; offset += 8) {
            EXPECT_EQ(readAt<uint64_t>(&mmiStaticInfoLogging, offset), 0U) << offset;
        }
    }
}

TEST(DataMap, StaticMapHoldsItsTablesAndCounts) {
    Instance a;  // the filling rewrites offset 168 with its own value
    const void* map = Quarlin_GetCAPIStaticMap();
    struct Pointer {
        size_t offset;
        const void* value;
    };
    const Pointer pointers[] = {
        {0, rtBlockSignals},   {16, nullptr},           {32, nullptr},          {48, nullptr},
        {64, nullptr},         {80, rtBlockStates},     {96, rtDataTypeMap},    {104, rtDimensionMap},
        {112, rtFixPtMap},     {120, rtElementMap},     {128, rtSampleTimeMap}, {136, rtDimensionArray},
        {168, &mmiStaticInfoLogging}, {192, rt_LoggedStateIdxList},
    };
    for (const Pointer& p : pointers) {
        EXPECT_EQ(readAt<const void*>(map, p.offset), p.value) << "offset " << p.offset;
    }
    expectFields(map, {{8, 8, 0, nullptr}, {24, 8, 0, nullptr}, {40, 8, 0, nullptr},
                       {56, 8, 0, nullptr}, {72, 8, 0, nullptr}, {88, 8, 7, nullptr},
                       {144, 0, 0, "float"}, {152, 4, 0x94F4D448, nullptr}, {156, 4, 0x22573D35, nullptr},
                       {160, 4, 0x9019CCE3, nullptr}, {164, 4, 0x357AA368, nullptr},
                       {176, 8, 0, nullptr}, {184, 8, 1, nullptr}});
    const int32_t logged[7] = {3, 7, 1, 6, 2, 4, 5};
    EXPECT_EQ(std::memcmp(rt_LoggedStateIdxList, logged, sizeof logged), 0);
}

}  // namespace
