// The host's "error", raised inside the module's library while the host
// library runs a call into it, ends that call and nothing else: the guard
// reports the call as ended, and the module and the host go on serving.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "subhost/control.h"
#include "subhost/engine.h"

namespace {

std::string modulePath() {
    const char* dir = std::getenv("QUARLIN_BUILD_DIR");
    return std::string(dir != nullptr ? dir : ".") + QUARLIN_MODULE_IN_BUILD;
}

// Arguments of one mexFunction call, in the entry's own form.
struct EntryCall {
    subhost::MexFunctionFn entry;
    int32_t nlhs;
    mxArray** plhs;
    int32_t nrhs;
    const mxArray** prhs;
};

void enter(void* context) {
    auto* call = static_cast<EntryCall*>(context);
    call->entry(call->nlhs, call->plhs, call->nrhs, call->prhs);
}

// A command-line call, flag 0, with `record` in the record slot: the sizes
// query when it is empty, else the bind of the record the handle names.
int32_t commandLine(const subhost::Module& module, const mxArray* record, mxArray*& column) {
    mxArray* empty = mxCreateDoubleMatrix_800(0, 0, mxREAL);
    const mxArray* prhs[] = {empty, record != nullptr ? record : empty, empty, mxCreateDoubleScalar_800(0.0)};
    column = nullptr;
    EntryCall call{module.mexFunction(), 1, &column, 4, prhs};
    return subhost_mex_guard(enter, &call);
}

// A handle to `address`: its two 32-bit halves and the handle stamp.  The
// module refuses one that names no readable record by raising the host's
// error.
mxArray* handleTo(uintptr_t address) {
    mxArray* handle = mxCreateDoubleMatrix_800(3, 1, mxREAL);
    double* h = mxGetPr_800(handle);
    h[0] = static_cast<int32_t>(static_cast<uint32_t>(address));
    h[1] = static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(address) >> 32));
    h[2] = 8480229;
    return handle;
}

TEST(HostError, EndsTheEntryCallAcrossLibrariesAndTheNextCallWorks) {
    subhost::Module module(modulePath());
    ASSERT_TRUE(module.loaded()) << module.error();
    const size_t liveBefore = subhost_mx_liveArrays();
    // Each unreadable address, again and again: an error path that left
    // anything behind (a guard, a scope, a frame) shows on a later round.
    for (int round = 0; round < 3; ++round) {
        subhost_mx_beginScope();
        for (uintptr_t address : {uintptr_t{0}, uintptr_t{8}}) {
            mxArray* column = nullptr;
            EXPECT_EQ(commandLine(module, handleTo(address), column), 1) << "round " << round << ", address " << address;
            EXPECT_NE(subhost_mex_lastError(), nullptr) << address;

            ASSERT_EQ(commandLine(module, nullptr, column), 0) << "round " << round << ", after address " << address;
            EXPECT_EQ(subhost_mex_lastError(), nullptr);
            ASSERT_NE(column, nullptr);
            ASSERT_EQ(mxGetM_800(column), 40u);
            EXPECT_EQ(mxGetPr_800(column)[19], 8480229.0);
        }
        subhost_mx_endScope();
    }
    EXPECT_EQ(subhost_mx_liveArrays(), liveBefore);
}

}  // namespace
