// Sample times, work widths and the run-time set-up of an instance.

#include <limits>
#include <string>

#include "block_fixture.h"

namespace {

using subhost::HostRecord;
using subhost::HostRecordOptions;

using RatesAndResources = BlockTest;

TEST_F(RatesAndResources, SampleTimesAreTheStepAndTheHostsInfinity) {
    HostRecord host;
    SimStruct* S = host.S();
    S->samplePeriods[0] = S->samplePeriods[1] = 7.0;
    S->sampleOffsets[0] = S->sampleOffsets[1] = 7.0;
    mdlInitializeSampleTimes(S);
    EXPECT_EQ(bitsOf(S->samplePeriods[0]), bitsOf(1e-4));
    EXPECT_EQ(bitsOf(S->samplePeriods[1]), bitsOf(std::numeric_limits<double>::infinity()));
    EXPECT_EQ(bitsOf(S->sampleOffsets[0]), bitsOf(0.0));
    EXPECT_EQ(bitsOf(S->sampleOffsets[1]), bitsOf(0.0));
}

struct WorkWidthsCase {
    const char* name;
    int32_t fromFilesAnswer;
    std::vector<std::string> events;
};

const WorkWidthsCase kWorkWidths[] = {
    {"74 answers 0", 0, {"service 148 1", "service 74 0"}},
    {"74 answers 1", 1, {"service 148 1", "service 74 0", "service 73 0"}},
    {"74 answers -3", -3, {"service 148 1", "service 74 0", "service 73 0"}},
};

TEST_F(RatesAndResources, WorkWidthsHandOverTheFileListsOnlyWhenTheHostTakesTheFirst) {
    for (const WorkWidthsCase& c : kWorkWidths) {
        SCOPED_TRACE(c.name);
        HostRecord host;
        host.answers[74] = c.fromFilesAnswer;
        mdlSetWorkWidths(host.S());
        EXPECT_EQ(host.eventNames(), c.events);
        for (const subhost::ServiceCall& call : host.serviceCalls) {
            if (call.code == 74 || call.code == 73) {
                EXPECT_EQ(call.summary, "") << call.code;
            }
        }
    }
}

struct ContextTidCase {
    const char* name;
    int32_t written;
    int32_t handedOn;
};

const ContextTidCase kContextTids[] = {
    {"-2 stands for 0", -2, 0},
    {"-1 passes", -1, -1},
    {"5 passes", 5, 5},
};

TEST_F(RatesAndResources, RuntimeResourcesHandTheHostsValuesToTheDataMap) {
    for (const ContextTidCase& c : kContextTids) {
        SCOPED_TRACE(c.name);
        HostRecord host;
        host.contextTid = c.written;
        host.giveDWork(sizeof(Quarlin_MdlrefDW), 0xA5);
        SimStruct* S = host.S();
        mdlSetupRuntimeResources(S);

        const Quarlin_MdlrefDW& dw = *quarlinContainer(S);
        EXPECT_EQ(dw.rtm.dataMapInfo.systemTid[0], c.handedOn);
        EXPECT_EQ(dw.rtm.dataMapInfo.systemRan[0], host.sysRanBase);
        EXPECT_EQ(host.eventNames(),
                  (std::vector<std::string>{"service 95 0", "service 96 0", "service 64 0"}));
        EXPECT_EQ(host.keptDataMap, &dw.rtm.dataMapInfo);
    }
}

TEST_F(RatesAndResources, RuntimeResourcesWithoutAHostStillInitialiseTheInstance) {
    HostRecordOptions options;
    options.withHostService = false;
    HostRecord host(options);
    host.giveDWork(sizeof(Quarlin_MdlrefDW), 0xA5);
    SimStruct* S = host.S();
    mdlSetupRuntimeResources(S);

    const Quarlin_MdlrefDW& dw = *quarlinContainer(S);
    EXPECT_EQ(dw.rtm.hostBlock, S);
    EXPECT_EQ(dw.rtm.dataMapInfo.systemRan[0], nullptr);
    EXPECT_EQ(dw.rtm.dataMapInfo.systemTid[0], 0);
    EXPECT_EQ(host.keptDataMap, nullptr);
    EXPECT_EQ(subhost_slmr_pluginEventCount(S), 1);
}

TEST_F(RatesAndResources, RuntimeResourcesSetUpTheContainerWithTheHostsTaskIds) {
    subhost_slmr_setTopTid(0, 7);
    subhost_slmr_setTopTid(1, -2);
    HostRecord host;
    host.giveDWork(sizeof(Quarlin_MdlrefDW), 0xA5);
    SimStruct* S = host.S();
    mdlSetupRuntimeResources(S);

    const Quarlin_MdlrefDW& dw = *quarlinContainer(S);
    EXPECT_EQ(dw.rtm.globalTid[0], 7);
    EXPECT_EQ(dw.rtm.globalTid[1], -2);
    EXPECT_EQ(dw.rtm.hostBlock, S);
    // The records handed over are the container's own: all cleared.
    EXPECT_EQ(bytesOf(dw.rtb), std::vector<uint8_t>(sizeof(Quarlin_B), 0));
    EXPECT_EQ(bytesOf(dw.rtdw), std::vector<uint8_t>(sizeof(Quarlin_DW), 0));
    // Never linked into a parent's map.
    EXPECT_EQ(dw.rtm.dataMapInfo.path, nullptr);
    EXPECT_EQ(dw.rtm.dataMapInfo.contStateStartIndex, 0);
    ASSERT_EQ(subhost_slmr_pluginEventCount(S), 1);
    EXPECT_STREQ(subhost_slmr_pluginEventName(S, 0), "START_OF_SIM_MODEL_MODELREF_ACCEL_EVENT");
}

TEST_F(RatesAndResources, StartAndCleanupLeaveRecordAndContainerAsTheyWere) {
    BlockInstance block;
    block.setInputs(1.0f, 2.0f, 3.0f, 4.0f);
    block.step();
    const auto record = bytesOf(*block.S());
    const auto container = bytesOf(block.container());
    const size_t events = block.host.events.size();

    mdlStart(block.S());
    mdlCleanupRuntimeResources(block.S());

    EXPECT_EQ(bytesOf(*block.S()), record);
    EXPECT_EQ(bytesOf(block.container()), container);
    EXPECT_EQ(block.host.events.size(), events);
}

}  // namespace
