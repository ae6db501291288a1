// Set-up, initial values, reset and termination of one instance, with the
// plug-in events that the substitute host records per block record.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "model/Quarlin.h"
#include "subhost/control.h"
#include "subhost/host_record.h"
#include "tests/model/model_fixture.h"

namespace {

constexpr const char* startEvent = "START_OF_SIM_MODEL_MODELREF_ACCEL_EVENT";
constexpr const char* terminatingEvent = "SIMSTATUS_TERMINATING_MODELREF_ACCEL_EVENT";

void* const sysRanBase = reinterpret_cast<void*>(0x5157);

struct Lifecycle : ::testing::Test {
    subhost::HostRecord host;
    Quarlin_MdlrefDW container;

    void SetUp() override {
        subhost_slmr_forget(host.S());
        std::memset(&container, 0xA5, sizeof container);  // whatever the host left there
    }

    void initialize(Quarlin_DataMapInfo* parentMap = nullptr, const char* childPath = nullptr,
                    int32_t childIndex = 0, int32_t contStateStart = -1) {
        Quarlin_initialize(host.S(), 3, 7, &container.rtm, &container.rtb, &container.rtdw,
                           sysRanBase, 0, parentMap, childPath, childIndex, contStateStart);
    }

    int32_t events() { return subhost_slmr_pluginEventCount(host.S()); }

    std::string event(int32_t index) {
        return subhost_slmr_pluginEventModel(host.S(), index) + std::string(" ") +
               subhost_slmr_pluginEventName(host.S(), index);
    }
};

TEST_F(Lifecycle, InitializeClearsWhateverTheRecordsHeld) {
    initialize();

    const Quarlin_B& b = container.rtb;
    for (float field : {b.pllSpeed, b.pllIntegratorIn, b.pllAngle, b.currentBetaNext, b.emfBetaNext,
                        b.currentAlphaNext, b.emfAlphaNext}) {
        EXPECT_EQ(bits(field), 0U);
    }
    const Quarlin_DW& dw = container.rtdw;
    for (float state : {dw.emfAlpha, dw.emfBeta, dw.speed, dw.angle, dw.pllIntegrator, dw.currentBeta,
                        dw.currentAlpha}) {
        EXPECT_EQ(bits(state), 0U);
    }
    EXPECT_EQ(dw.spareWord, 0U);
    EXPECT_EQ(dw.noWrapRan, 0);
    EXPECT_EQ(dw.wrapLowRan, 0);
    EXPECT_EQ(dw.wrapHighRan, 0);

    const Quarlin_RTM& rtm = container.rtm;
    EXPECT_EQ(rtm.hostBlock, host.S());
    EXPECT_EQ(rtm.globalTid[0], 3);
    EXPECT_EQ(rtm.globalTid[1], 7);
    // Cleared, and not written by the data map's filling.
    EXPECT_EQ(rtm.dataMapInfo.reserved72, 0U);
    EXPECT_EQ(rtm.dataMapInfo.contStateStartIndex, 0);
    for (uint8_t byte : rtm.dataMapInfo.reserved176) {
        EXPECT_EQ(byte, 0);
    }

    ASSERT_EQ(events(), 1);
    EXPECT_EQ(event(0), std::string("Quarlin ") + startEvent);
}

TEST_F(Lifecycle, ParentLinkIsMadeOnlyWithParentAndPath) {
    struct Row {
        const char* name;
        bool withParent;
        bool withPath;
    };
    const Row rows[] = {
        {"parent and path", true, true},
        {"parent without path", true, false},
        {"path without parent", false, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Quarlin_DataMapInfo* children[3] = {nullptr, nullptr, nullptr};
        Quarlin_DataMapInfo parent{};
        parent.childTable = children;
        parent.numChildren = 3;
        const char* path = "top/child";

        std::memset(&container, 0xA5, sizeof container);
        initialize(row.withParent ? &parent : nullptr, row.withPath ? path : nullptr, 1, 12);

        const bool linked = row.withParent && row.withPath;
        EXPECT_EQ(children[0], nullptr);
        EXPECT_EQ(children[1], linked ? &container.rtm.dataMapInfo : nullptr);
        EXPECT_EQ(children[2], nullptr);
        EXPECT_EQ(container.rtm.dataMapInfo.path, linked ? path : nullptr);
        EXPECT_EQ(container.rtm.dataMapInfo.contStateStartIndex, linked ? 12 : 0);
        EXPECT_EQ(container.rtm.dataMapInfo.fullPath, nullptr);
    }
}

// Init and Reset share one body: both load the seven initial values and
// touch neither the block signals, nor the run flags, nor spareWord.
TEST_F(Lifecycle, InitAndResetLoadTheInitialStatesOnly) {
    struct Row {
        const char* name;
        void (*load)(Quarlin_DW*);
    };
    const Row rows[] = {{"Quarlin_Init", Quarlin_Init}, {"Quarlin_Reset", Quarlin_Reset}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        initialize();
        Quarlin_Init(&container.rtdw);
        container.rtdw.angle = 6.25F;
        container.rtdw.pllIntegrator = 1000.0F;
        float angleOut = 0.0F, speedRpmOut = 0.0F;
        const float in[4] = {1.0F, -2.0F, 30.0F, -40.0F};
        for (int k = 0; k < 3; ++k) {
            Quarlin(&in[0], &in[1], &in[2], &in[3], &angleOut, &speedRpmOut, &container.rtb, &container.rtdw);
            Quarlin_Update(&container.rtb, &container.rtdw);
        }
        container.rtdw.spareWord = 0x0123456789ABCDEFU;
        const Quarlin_MdlrefDW before = container;
        ASSERT_NE(before.rtdw.wrapHighRan, 0);

        row.load(&container.rtdw);

        EXPECT_EQ(std::memcmp(&container.rtb, &before.rtb, sizeof before.rtb), 0);
        EXPECT_EQ(container.rtdw.spareWord, before.rtdw.spareWord);
        EXPECT_EQ(container.rtdw.noWrapRan, before.rtdw.noWrapRan);
        EXPECT_EQ(container.rtdw.wrapLowRan, before.rtdw.wrapLowRan);
        EXPECT_EQ(container.rtdw.wrapHighRan, before.rtdw.wrapHighRan);
        const States zero{};
        const States now = statesOf(container.rtdw);
        EXPECT_EQ(std::memcmp(&now, &zero, sizeof now), 0);

        const float none[4] = {};
        Quarlin(&none[0], &none[1], &none[2], &none[3], &angleOut, &speedRpmOut, &container.rtb,
                &container.rtdw);
        EXPECT_EQ(bits(angleOut), 0U);
        EXPECT_EQ(bits(speedRpmOut), 0U);
    }
}

TEST_F(Lifecycle, EveryInitializeAndTermRunsItsEvent) {
    Quarlin_RTM rtm{};
    rtm.hostBlock = host.S();
    Quarlin_Term(&rtm);  // no set-up, no step
    ASSERT_EQ(events(), 1);
    EXPECT_EQ(event(0), std::string("Quarlin ") + terminatingEvent);

    for (int life = 0; life < 2; ++life) {
        initialize();
        Quarlin_Term(&container.rtm);
    }
    ASSERT_EQ(events(), 5);
    EXPECT_EQ(event(1), std::string("Quarlin ") + startEvent);
    EXPECT_EQ(event(2), std::string("Quarlin ") + terminatingEvent);
    EXPECT_EQ(event(3), std::string("Quarlin ") + startEvent);
    EXPECT_EQ(event(4), std::string("Quarlin ") + terminatingEvent);
    EXPECT_FALSE(slIsRapidAcceleratorSimulating());
}

}  // namespace
