// A MEX file that calls the bridge as the module and the engine do, for the
// paths the module takes only when something goes wrong:
//
//   [ended, id, args] = bridge_probe("error", ID, ARG...)
//       a guarded call raises ID with the arguments through "message" and
//       "error"; what the guard reports
//   [ended, id, args] = bridge_probe("id and text", ID, TEXT)
//       a guarded call raises "error" with an identifier and a text, as the
//       module does for a fault that is its own
//   bridge_probe("unguarded id and text", ID, TEXT)
//       the same outside any guard
//   [ended, id, text] = bridge_probe("octave error")
//       a guarded call of an Octave function that does not exist
//   bridge_probe("warning", ID, ARG...)
//       "message" and "warning", unguarded: an Octave warning
//   bridge_probe("unguarded error", ID, ARG...)
//       "message" and "error" outside any guard: an Octave error
//   leftover = bridge_probe("scopes")
//       arrays made in nested scopes, one kept: the scope depth afterwards
#include <mex.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "bridge/bridge_control.h"

extern "C" {
int32_t mexCallMATLAB_800(int32_t nlhs, mxArray** plhs, int32_t nrhs, mxArray** prhs, const char* name);
int32_t subhost_mex_guard(void (*entry)(void*), void* context);
const mxArray* subhost_mex_lastError(void);
const char* subhost_message_id(const mxArray* object);
int32_t subhost_message_argCount(const mxArray* object);
const mxArray* subhost_message_arg(const mxArray* object, int32_t index);
void subhost_mx_beginScope(void);
void subhost_mx_endScope(void);
void subhost_mx_release(const void* array);
mxArray* mxCreateDoubleScalar_800(double value);
mxArray* mxCreateStructMatrix_800(size_t rows, size_t columns, int32_t count, const char** names);
void mxSetFieldByNumber_800(mxArray* array, size_t index, int32_t field, mxArray* value);
mxArray* mxDuplicateArray_800(const mxArray* array);
}

namespace {

struct Raise {
    const char* how;  // "error" or "warning"
    std::vector<mxArray*> args;
};

// As the module raises a host error or warning: "message", then the function.
void raise(void* context) {
    auto* r = static_cast<Raise*>(context);
    mxArray* message = nullptr;
    mexCallMATLAB_800(1, &message, static_cast<int32_t>(r->args.size()), r->args.data(), "message");
    mexCallMATLAB_800(0, nullptr, 1, &message, r->how);
}

// As the module raises a fault of its own: "error" with an ID and a text.
void raiseIdAndText(void* context) {
    auto* r = static_cast<Raise*>(context);
    mexCallMATLAB_800(0, nullptr, static_cast<int32_t>(r->args.size()), r->args.data(), "error");
}

void callMissing(void*) { mexCallMATLAB_800(0, nullptr, 0, nullptr, "quarlin_no_such_function"); }

std::string text(const mxArray* a) {
    char* t = mxArrayToString(a);
    std::string s = t != nullptr ? t : "";
    mxFree(t);
    return s;
}

}  // namespace

void mexFunction(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]) {
    if (nrhs < 1 || !mxIsChar(prhs[0])) mexErrMsgIdAndTxt("probe:usage", "bridge_probe(WHAT, ...)");
    const std::string what = text(prhs[0]);
    Raise r;
    for (int i = 1; i < nrhs; ++i) r.args.push_back(mxDuplicateArray(prhs[i]));

    if (what == "error" || what == "id and text" || what == "octave error") {
        r.how = "error";
        const int32_t ended = what == "error"         ? subhost_mex_guard(&raise, &r)
                              : what == "id and text" ? subhost_mex_guard(&raiseIdAndText, &r)
                                                      : subhost_mex_guard(&callMissing, nullptr);
        const mxArray* last = subhost_mex_lastError();
        plhs[0] = mxCreateDoubleScalar(ended);
        if (nlhs >= 2) plhs[1] = mxCreateString(last != nullptr ? subhost_message_id(last) : "");
        if (nlhs >= 3 && what == "octave error") {
            plhs[2] = mxCreateString(last != nullptr ? text(mxGetField(last, 0, "message")).c_str() : "");
        } else if (nlhs >= 3) {
            const int32_t count = subhost_message_argCount(last);
            plhs[2] = mxCreateCellMatrix(1, count);
            for (int32_t i = 0; i < count; ++i) mxSetCell(plhs[2], i, mxDuplicateArray(subhost_message_arg(last, i)));
        }
    } else if (what == "unguarded id and text") {
        raiseIdAndText(&r);
    } else if (what == "warning" || what == "unguarded error") {
        r.how = what == "warning" ? "warning" : "error";
        raise(&r);
    } else if (what == "scopes") {
        const size_t before = octave_bridge_scopeDepth();
        subhost_mx_beginScope();
        const char* names[] = {"a"};
        mxArray* kept = mxCreateStructMatrix_800(1, 1, 1, names);
        mxSetFieldByNumber_800(kept, 0, 0, mxCreateDoubleScalar_800(7));
        subhost_mx_release(kept);
        subhost_mx_beginScope();
        mxCreateDoubleScalar_800(1);
        subhost_mx_beginScope();  // left open, as an abandoned call leaves it
        mxCreateDoubleScalar_800(2);
        octave_bridge_closeScopesTo(before + 1);
        subhost_mx_endScope();
        plhs[0] = mxCreateDoubleScalar(static_cast<double>(octave_bridge_scopeDepth() - before));
        if (nlhs >= 2) plhs[1] = kept;
    } else {
        mexErrMsgIdAndTxt("probe:usage", "bridge_probe: unknown %s", what.c_str());
    }
}
