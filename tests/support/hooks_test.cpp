// Diagnostic objects and block paths made by the host, and where the hooks
// put them.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "gateway/sfun_support.h"
#include "support_fixture.h"

namespace {

using subhost::HostRecord;

class DiagnosticObjects : public ::testing::Test {
protected:
    void TearDown() override {
        subhost_slmr_refuseDiagnostics(false);
        subhost_slmr_forgetAll();
    }
    SimStruct* S() { return host.S(); }
    uint8_t& rootFlag() { return ssRoot(S())->blockInfo->errorStatusIsDiagnostic; }
    HostRecord host;
    int object = 0;
};

TEST_F(DiagnosticObjects, CreateHandsItsArgumentsOnToTheHost) {
    static const char first[] = "first";
    void* diagnostic = CreateDiagnosticAsVoidPtr("Simulink:X:Y", 2, first, reinterpret_cast<void*>(intptr_t{77}));
    ASSERT_TRUE(subhost_slmr_isDiagnostic(diagnostic));
    EXPECT_STREQ(subhost_slmr_diagnosticId(diagnostic), "Simulink:X:Y");
    ASSERT_EQ(subhost_slmr_diagnosticArgCount(diagnostic), 2);
    EXPECT_EQ(subhost_slmr_diagnosticArg(diagnostic, 0), reinterpret_cast<intptr_t>(first));
    EXPECT_EQ(subhost_slmr_diagnosticArg(diagnostic, 1), 77);
}

TEST_F(DiagnosticObjects, CreateWithoutArguments) {
    void* diagnostic = CreateDiagnosticAsVoidPtr("Simulink:X:None", 0);
    ASSERT_TRUE(subhost_slmr_isDiagnostic(diagnostic));
    EXPECT_EQ(subhost_slmr_diagnosticArgCount(diagnostic), 0);
}

TEST_F(DiagnosticObjects, CreatePassesOnTheHostsNull) {
    subhost_slmr_refuseDiagnostics(true);
    EXPECT_EQ(CreateDiagnosticAsVoidPtr("Simulink:X:Y", 0), nullptr);
}

TEST_F(DiagnosticObjects, FullPathComesFromTheHost) {
    const int32_t before = subhost_slmr_fullPathCount();
    const void* path = rt_CreateFullPathToTop("top", "sub");
    ASSERT_NE(path, nullptr);
    EXPECT_STREQ(static_cast<const char*>(path), "top/sub");
    EXPECT_EQ(rt_CreateFullPathToTop(nullptr, "sub"), nullptr);
    EXPECT_EQ(subhost_slmr_fullPathCount(), before + 1);
}

TEST_F(DiagnosticObjects, SetErrorKeepsTheObjectLocallyWhileTheRootHoldsNone) {
    S()->localErrorStatus = "earlier";
    rt_ssSet_slErrMsg(S(), &object);
    EXPECT_EQ(S()->localErrorStatus, reinterpret_cast<const char*>(&object));
    EXPECT_EQ(S()->localErrorStatusIsDiagnostic, 1);
    EXPECT_TRUE(host.serviceCalls.empty());
}

TEST_F(DiagnosticObjects, SetErrorGoesToTheHostWhenTheRootHoldsAnObject) {
    rootFlag() = 1;
    rt_ssSet_slErrMsg(S(), &object);
    ASSERT_EQ(host.serviceCalls.size(), 1u);
    EXPECT_EQ(host.serviceCalls[0].code, 363);
    EXPECT_EQ(host.serviceCalls[0].intValue, 0);
    EXPECT_EQ(host.serviceCalls[0].data, &object);
    EXPECT_EQ(S()->localErrorStatus, nullptr);
    EXPECT_EQ(S()->localErrorStatusIsDiagnostic, 0);
}

TEST_F(DiagnosticObjects, ReportsGoToTheHostWithTheirCodes) {
    rt_ssReportDiagnosticAsWarning(S(), &object);
    rt_ssReportDiagnosticAsInfo(S(), &object);
    ASSERT_EQ(host.serviceCalls.size(), 2u);
    EXPECT_EQ(host.serviceCalls[0].code, 340);
    EXPECT_EQ(host.serviceCalls[1].code, 367);
    for (const subhost::ServiceCall& call : host.serviceCalls) {
        EXPECT_EQ(call.intValue, 0);
        EXPECT_EQ(call.data, &object);
    }
}

TEST(DiagnosticObjectsWithoutHost, AreDroppedAndNothingChanges) {
    HostRecord host(support_test::noHost());
    SimStruct* S = host.S();
    int object = 0;
    ssRoot(S)->blockInfo->errorStatusIsDiagnostic = 1;
    rt_ssSet_slErrMsg(S, &object);
    rt_ssReportDiagnosticAsWarning(S, &object);
    rt_ssReportDiagnosticAsInfo(S, &object);
    EXPECT_EQ(S->localErrorStatus, nullptr);
    EXPECT_EQ(S->localErrorStatusIsDiagnostic, 0);
    EXPECT_EQ(ssRoot(S)->errorStatus, nullptr);
}

}  // namespace
