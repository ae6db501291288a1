// Entry calls, host errors, warnings and message objects.
#include <gtest/gtest.h>

#include <string>

#include "subhost/control.h"

namespace {

class Mex : public ::testing::Test {
protected:
    void SetUp() override {
        subhost_mex_clearRecords();
        subhost_mx_beginScope();
    }
    void TearDown() override {
        subhost_mx_endScope();
        subhost_mex_clearRecords();
    }
};

// What the module does: make the message, then hand it to "error" or "warning".
mxArray* message(const char* id, double number, const char* text) {
    mxArray* args[] = {mxCreateString_800(id), mxCreateDoubleScalar_800(number), mxCreateString_800(text)};
    mxArray* object = nullptr;
    EXPECT_EQ(mexCallMATLAB_800(1, &object, 3, args, "message"), 0);
    return object;
}

void raise(const char* function, mxArray* object) { mexCallMATLAB_800(0, nullptr, 1, &object, function); }

struct Trace {
    int reached = 0;
    int innerResult = -1;
};

TEST_F(Mex, MessageKeepsIdAndCopiesOfItsArguments) {
    mxArray* args[] = {mxCreateString_800("Simulink:SFunctions:SimStructTooFewRHSArguments"),
                       mxCreateString_800("MEX level2 S-function \"Quarlin_msp\""),
                       mxCreateDoubleScalar_800(4)};
    mxArray* object = nullptr;
    ASSERT_EQ(mexCallMATLAB_800(1, &object, 3, args, "message"), 0);
    *mxGetPr_800(args[2]) = 99;  // the object holds its own copies
    mxDestroyArray_800(args[1]);

    ASSERT_TRUE(subhost_message_is(object));
    EXPECT_EQ(mxGetClassID_800(object), mx_class::object);
    EXPECT_STREQ(subhost_message_id(object), "Simulink:SFunctions:SimStructTooFewRHSArguments");
    ASSERT_EQ(subhost_message_argCount(object), 2);
    EXPECT_STREQ(subhost_mx_string(subhost_message_arg(object, 0)), "MEX level2 S-function \"Quarlin_msp\"");
    EXPECT_EQ(mxGetScalar_800(subhost_message_arg(object, 1)), 4.0);
    EXPECT_EQ(subhost_message_arg(object, 2), nullptr);
    EXPECT_FALSE(subhost_message_is(args[0]));
}

TEST_F(Mex, RefusedCallsReturnNonZero) {
    const char* names[] = {"a"};
    mxArray* structArg = mxCreateStructMatrix_800(1, 1, 1, names);
    mxArray* id = mxCreateString_800("A:b");
    mxArray* number = mxCreateDoubleScalar_800(1);
    mxArray* object = nullptr;
    mxArray* badArgument[] = {id, structArg};
    EXPECT_NE(mexCallMATLAB_800(1, &object, 2, badArgument, "message"), 0);
    EXPECT_EQ(object, nullptr);
    mxArray* badId[] = {number};
    EXPECT_NE(mexCallMATLAB_800(1, &object, 1, badId, "message"), 0);
    EXPECT_NE(mexCallMATLAB_800(0, nullptr, 1, &id, "disp"), 0);
    EXPECT_NE(mexCallMATLAB_800(0, nullptr, 1, &id, nullptr), 0);
}

TEST_F(Mex, ErrorEndsTheGuardedCall) {
    Trace trace;
    const int32_t result = subhost_mex_guard(
        [](void* context) {
            auto* t = static_cast<Trace*>(context);
            t->reached = 1;
            raise("error", message("Simulink:SFunctions:SimStructInvalidFlagPassedToSfcn", 7, "x"));
            t->reached = 2;
        },
        &trace);
    EXPECT_EQ(result, 1);
    EXPECT_EQ(trace.reached, 1);
    const mxArray* error = subhost_mex_lastError();
    EXPECT_STREQ(subhost_message_id(error), "Simulink:SFunctions:SimStructInvalidFlagPassedToSfcn");
    EXPECT_EQ(mxGetScalar_800(subhost_message_arg(error, 0)), 7.0);

    // The error outlives the scope of the arrays that made it, until the next guard.
    subhost_mx_endScope();
    subhost_mx_beginScope();
    EXPECT_STREQ(subhost_message_id(subhost_mex_lastError()),
                 "Simulink:SFunctions:SimStructInvalidFlagPassedToSfcn");
    EXPECT_EQ(subhost_mex_guard([](void*) {}, nullptr), 0);
    EXPECT_EQ(subhost_mex_lastError(), nullptr);
}

TEST_F(Mex, NestedGuardsEndOnlyTheInnermostCall) {
    Trace trace;
    const int32_t outer = subhost_mex_guard(
        [](void* context) {
            auto* t = static_cast<Trace*>(context);
            t->innerResult = subhost_mex_guard(
                [](void*) { raise("error", message("Inner:id", 1, "")); }, nullptr);
            t->reached = 1;  // the outer call goes on
            raise("error", message("Outer:id", 2, ""));
            t->reached = 2;
        },
        &trace);
    EXPECT_EQ(trace.innerResult, 1);
    EXPECT_EQ(trace.reached, 1);
    EXPECT_EQ(outer, 1);
    EXPECT_STREQ(subhost_message_id(subhost_mex_lastError()), "Outer:id");

    // After an inner error, an outer call that finishes reports success.
    EXPECT_EQ(subhost_mex_guard(
                  [](void*) { subhost_mex_guard([](void*) { raise("error", message("I:d", 0, "")); }, nullptr); },
                  nullptr),
              0);
}

TEST_F(Mex, WarningsAreRecordedAndReturn) {
    Trace trace;
    EXPECT_EQ(subhost_mex_guard(
                  [](void* context) {
                      raise("warning", message("Simulink:SFunctions:SimStructReplace", 0, "n"));
                      mexWarnMsgTxt_800("block 'top/obs': x");
                      static_cast<Trace*>(context)->reached = 1;
                  },
                  &trace),
              0);
    EXPECT_EQ(trace.reached, 1);
    ASSERT_EQ(subhost_mex_warningCount(), 1);
    EXPECT_STREQ(subhost_message_id(subhost_mex_warning(0)), "Simulink:SFunctions:SimStructReplace");
    ASSERT_EQ(subhost_mex_warnTextCount(), 1);
    EXPECT_STREQ(subhost_mex_warnText(0), "block 'top/obs': x");
    EXPECT_EQ(subhost_mex_warning(1), nullptr);
    EXPECT_EQ(subhost_mex_warnText(-1), nullptr);

    subhost_mex_clearRecords();
    EXPECT_EQ(subhost_mex_warningCount(), 0);
    EXPECT_EQ(subhost_mex_warnTextCount(), 0);
}

TEST(MexDeath, ErrorOutsideAnyGuardAborts) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(raise("error", message("Simulink:SFunctions:Unguarded", 0, "")),
                 "Simulink:SFunctions:Unguarded");
}

}  // namespace
