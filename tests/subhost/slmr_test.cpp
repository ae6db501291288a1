// What the model-reference, instrumentation and fixed-point services record.
#include <gtest/gtest.h>

#include <cstdarg>
#include <cstdint>
#include <cstring>
#include <string>

#include "subhost/control.h"

namespace {

class Slmr : public ::testing::Test {
protected:
    void TearDown() override {
        subhost_slmr_forgetAll();
        subhost_slmr_clearTopTids();
        subhost_slmr_refuseDiagnostics(false);
    }
    SimStruct a_{};
    SimStruct b_{};
};

void* diagnostic(const char* id, int32_t count, ...) {
    va_list args;
    va_start(args, count);
    void* result = reinterpret_cast<void*>(0x1);
    slmrCreateDiagnostic(id, count, args, &result);
    va_end(args);
    return result;
}

void methodA(SimStruct*) {}
void methodB(SimStruct*) {}
void tidMethod(SimStruct*, int32_t) {}

TEST_F(Slmr, ChecksumIsCopiedDuringTheCall) {
    char model[] = "Quarlin";
    uint32_t words[4] = {0xCC466449u, 0x53FC69BFu, 0x125D1680u, 0xFD15C90Cu};
    slmrModelRefRegisterSimStateChecksum(&a_, model, words);
    std::memset(words, 0, sizeof words);
    std::strcpy(model, "xxxxxxx");

    ASSERT_EQ(subhost_slmr_checksumCount(&a_), 1);
    EXPECT_EQ(subhost_slmr_checksumCount(&b_), 0);
    EXPECT_STREQ(subhost_slmr_checksumModel(&a_, 0), "Quarlin");
    uint32_t got[4] = {};
    subhost_slmr_checksumWords(&a_, 0, got);
    EXPECT_EQ(got[0], 0xCC466449u);
    EXPECT_EQ(got[1], 0x53FC69BFu);
    EXPECT_EQ(got[2], 0x125D1680u);
    EXPECT_EQ(got[3], 0xFD15C90Cu);
    EXPECT_EQ(subhost_slmr_checksumModel(&a_, 1), nullptr);
}

TEST_F(Slmr, MethodsArePerRecord) {
    slmrRegisterSystemInitializeMethod(&a_, methodA);
    slmrRegisterSystemResetMethod(&a_, methodB);
    slmrRegisterPeriodicOutputUpdateMethod(&a_, tidMethod);
    EXPECT_EQ(subhost_slmr_systemInitializeMethod(&a_), &methodA);
    EXPECT_EQ(subhost_slmr_systemResetMethod(&a_), &methodB);
    EXPECT_EQ(subhost_slmr_periodicOutputUpdateMethod(&a_), &tidMethod);
    EXPECT_EQ(subhost_slmr_methodRegistrations(&a_), 3);
    EXPECT_EQ(subhost_slmr_systemInitializeMethod(&b_), nullptr);
    EXPECT_EQ(subhost_slmr_methodRegistrations(&b_), 0);
}

TEST_F(Slmr, IoPortVectorsGiveZeroedSlotsAndASecondCallReplacesThem) {
    slmrInitializeIOPortDataVectors(&a_, 4, 2);
    ASSERT_NE(a_.inputPortTextIds, nullptr);
    ASSERT_NE(a_.outputPortTextIds, nullptr);
    for (int k = 0; k < 4; ++k) EXPECT_EQ(a_.inputPortTextIds[k], 0);
    for (int k = 0; k < 2; ++k) EXPECT_EQ(a_.outputPortTextIds[k], 0);
    a_.inputPortTextIds[3] = 17;
    a_.outputPortTextIds[1] = 18;

    slmrInitializeIOPortDataVectors(&a_, 5, 0);  // the first arrays are freed
    EXPECT_EQ(a_.inputPortTextIds[4], 0);
    EXPECT_EQ(a_.outputPortTextIds, nullptr);
    EXPECT_EQ(subhost_slmr_ioPortVectorsCalls(&a_), 2);

    subhost_slmr_forget(&a_);
    EXPECT_EQ(subhost_slmr_ioPortVectorsCalls(&a_), 0);
}

TEST_F(Slmr, TopTidIsTheChildTidUnlessScripted) {
    EXPECT_EQ(slmrGetTopTidFromMdlRefChildTid(&a_, 0, false), 0);
    EXPECT_EQ(slmrGetTopTidFromMdlRefChildTid(&a_, 1, true), 1);
    subhost_slmr_setTopTid(0, 7);
    subhost_slmr_setTopTid(1, -2);
    EXPECT_EQ(slmrGetTopTidFromMdlRefChildTid(&a_, 0, false), 7);
    EXPECT_EQ(slmrGetTopTidFromMdlRefChildTid(&a_, 1, true), -2);
    subhost_slmr_clearTopTids();
    EXPECT_EQ(slmrGetTopTidFromMdlRefChildTid(&a_, 0, false), 0);
}

TEST_F(Slmr, DiagnosticsCopyTheIdAndReadPointerSizedArguments) {
    char id[] = "Simulink:blocks:SomeId";
    int target = 0;
    void* d = diagnostic(id, 2, static_cast<intptr_t>(-5), &target);
    std::strcpy(id, "changed");
    ASSERT_TRUE(subhost_slmr_isDiagnostic(d));
    EXPECT_STREQ(subhost_slmr_diagnosticId(d), "Simulink:blocks:SomeId");
    ASSERT_EQ(subhost_slmr_diagnosticArgCount(d), 2);
    EXPECT_EQ(subhost_slmr_diagnosticArg(d, 0), -5);
    EXPECT_EQ(subhost_slmr_diagnosticArg(d, 1), reinterpret_cast<intptr_t>(&target));

    void* none = diagnostic("Empty:args", 0);
    EXPECT_EQ(subhost_slmr_diagnosticArgCount(none), 0);
    EXPECT_FALSE(subhost_slmr_isDiagnostic(&target));
    EXPECT_EQ(subhost_slmr_diagnosticId(&target), nullptr);

    subhost_slmr_refuseDiagnostics(true);
    EXPECT_EQ(diagnostic("Refused:id", 0), nullptr);
}

TEST_F(Slmr, FullPathJoinsBothTextsOrGivesNull) {
    const int32_t before = subhost_slmr_fullPathCount();
    void* path = reinterpret_cast<void*>(0x1);
    slmrCreateFullPathToTop("top/sub", "Quarlin_msp", &path);
    ASSERT_NE(path, nullptr);
    EXPECT_STREQ(static_cast<const char*>(path), "top/sub/Quarlin_msp");
    slmrCreateFullPathToTop(nullptr, "x", &path);
    EXPECT_EQ(path, nullptr);
    path = reinterpret_cast<void*>(0x1);
    slmrCreateFullPathToTop("x", nullptr, &path);
    EXPECT_EQ(path, nullptr);
    EXPECT_EQ(subhost_slmr_fullPathCount(), before + 1);
}

TEST_F(Slmr, PluginEventsAndFixedPointAreForgottenWithTheRecord) {
    std::string event = "START_OF_SIM_MODEL_MODELREF_ACCEL_EVENT";
    EXPECT_EQ(slmrRunPluginEvent(&a_, "Quarlin", event.c_str()), 0);
    event = "overwritten";
    slmrRunPluginEvent(&a_, "Quarlin", "SIMSTATUS_TERMINATING_MODELREF_ACCEL_EVENT");
    ssFxpSetU32BitRegionCompliant(&a_, 1);
    ssFxpSetU32BitRegionCompliant(&b_, 5);
    ssFxpSetU32BitRegionCompliant(&b_, 3);

    ASSERT_EQ(subhost_slmr_pluginEventCount(&a_), 2);
    EXPECT_STREQ(subhost_slmr_pluginEventModel(&a_, 0), "Quarlin");
    EXPECT_STREQ(subhost_slmr_pluginEventName(&a_, 0), "START_OF_SIM_MODEL_MODELREF_ACCEL_EVENT");
    EXPECT_STREQ(subhost_slmr_pluginEventName(&a_, 1), "SIMSTATUS_TERMINATING_MODELREF_ACCEL_EVENT");
    EXPECT_EQ(subhost_slmr_pluginEventName(&a_, 2), nullptr);
    EXPECT_EQ(subhost_slmr_pluginEventCount(&b_), 0);
    EXPECT_EQ(subhost_fxp_callCount(&a_), 1);
    EXPECT_EQ(subhost_fxp_lastValue(&a_), 1);
    EXPECT_EQ(subhost_fxp_callCount(&b_), 2);
    EXPECT_EQ(subhost_fxp_lastValue(&b_), 3);

    subhost_slmr_forget(&a_);
    EXPECT_EQ(subhost_slmr_pluginEventCount(&a_), 0);
    EXPECT_EQ(subhost_fxp_callCount(&a_), 0);
    EXPECT_EQ(subhost_fxp_callCount(&b_), 2);
    subhost_fxp_forgetAll();
    EXPECT_EQ(subhost_fxp_callCount(&b_), 0);
}

}  // namespace
