// The host's extension library on GNU Octave: calls into the interpreter,
// host errors and warnings, and the guard around each entry call of the
// engine.
//
// Where Octave's host differs from ours:
// - "error" ends a call by throwing Octave's execution_exception, which
//   unwinds through the module's frames.  The guard catches it where the
//   engine entered the module, lets the interpreter recover, and reports the
//   call as ended; outside any guard (Octave calling the module itself) it
//   goes on to the interpreter, which shows it as an Octave error.
// - "message" is the message function shipped beside the bridge: a struct
//   with the fields identifier, message and arguments, which Octave's own
//   "error" accepts.  Octave's "warning" takes such a struct as a set of
//   warning states instead, so a warning with a message object is raised
//   here with its identifier and text.
// - Octave's "error" returns when the struct's text is empty, and reads a
//   text after an identifier as a format; the host's never returns and
//   raises the text as it stands.  The bridge ends the call itself in both
//   cases.
#include <mex.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "bridge_control.h"
#include "octave_guard.h"

#define BRIDGE_API __attribute__((visibility("default")))

// From the bridge's libmx.
extern "C" const char* subhost_mx_string(const mxArray* array);

namespace {

constexpr const char* kIdField = "identifier";
constexpr const char* kTextField = "message";
constexpr const char* kArgsField = "arguments";

struct Records {
    int guardDepth = 0;
    // The message of the last error that ended a guarded call: persistent,
    // so that Octave's end of the MEX call does not free it under us.
    mxArray* lastError = nullptr;

    void setLastError(mxArray* message) {
        if (lastError != nullptr) mxDestroyArray(lastError);
        lastError = message;
        if (message != nullptr) mexMakeArrayPersistent(message);
    }
};

Records& records() {
    static Records* r = new Records;
    return *r;
}

std::string textOf(const mxArray* a) {
    if (a == nullptr || !mxIsChar(a)) return {};
    char* text = mxArrayToString(a);
    std::string out = text != nullptr ? text : "";
    mxFree(text);
    return out;
}

bool isMessage(const mxArray* a) {
    return a != nullptr && mxIsStruct(a) && mxGetNumberOfElements(a) == 1 &&
           mxGetFieldNumber(a, kIdField) >= 0 && mxGetFieldNumber(a, kTextField) >= 0;
}

std::string fieldText(const mxArray* message, const char* field) {
    return textOf(mxGetField(message, 0, field));
}

// A message of `id` and `text`, with `text` as its one argument, for an
// error that did not come through "message".
mxArray* messageOf(const std::string& id, const std::string& text) {
    const char* names[] = {kIdField, kTextField, kArgsField};
    mxArray* message = mxCreateStructMatrix(1, 1, 3, names);
    mxSetField(message, 0, kIdField, mxCreateString(id.c_str()));
    mxSetField(message, 0, kTextField, mxCreateString(text.c_str()));
    mxArray* args = mxCreateCellMatrix(1, 1);
    mxSetCell(args, 0, mxCreateString(text.c_str()));
    mxSetField(message, 0, kArgsField, args);
    return message;
}

[[noreturn]] void endWith(const mxArray* message) {
    const std::string id = fieldText(message, kIdField);
    std::string text = fieldText(message, kTextField);
    if (text.empty()) text = id.empty() ? "error" : id;
    if (id.empty()) mexErrMsgTxt(text.c_str());
    mexErrMsgIdAndTxt(id.c_str(), "%s", text.c_str());
    std::abort();  // not reached: both raise
}

// "error" with a message object goes to Octave's own "error", which takes
// the struct.  With an identifier and a text, the text is raised as it
// stands: Octave's "error" would read it as a format.
int32_t callError(int32_t nrhs, mxArray** prhs) {
    const mxArray* given = nrhs >= 1 && prhs != nullptr ? prhs[0] : nullptr;
    const bool guarded = records().guardDepth > 0;
    if (isMessage(given)) {
        if (guarded) records().setLastError(mxDuplicateArray(given));
        mexCallMATLAB(0, nullptr, nrhs, prhs, "error");
        endWith(given);  // Octave's "error" returned (an empty text): end the call all the same
    }
    if (nrhs >= 2 && mxIsChar(given) && mxIsChar(prhs[1])) {
        const std::string id = textOf(given);
        const std::string text = textOf(prhs[1]);
        if (guarded) records().setLastError(messageOf(id, text));
        mexErrMsgIdAndTxt(id.c_str(), "%s", text.c_str());
    }
    if (nrhs >= 1) mexCallMATLAB(0, nullptr, nrhs, prhs, "error");
    const std::string text = textOf(given);
    mexErrMsgTxt(text.empty() ? "error" : text.c_str());
    return 1;
}

int32_t callWarning(int32_t nrhs, mxArray** prhs) {
    if (nrhs == 1 && isMessage(prhs[0])) {
        const std::string id = fieldText(prhs[0], kIdField);
        const std::string text = fieldText(prhs[0], kTextField);
        if (id.empty()) {
            mexWarnMsgTxt(text.c_str());
        } else {
            mexWarnMsgIdAndTxt(id.c_str(), "%s", text.c_str());
        }
        return 0;
    }
    return mexCallMATLAB(0, nullptr, nrhs, prhs, "warning");
}

struct GuardDepth {
    GuardDepth() { ++records().guardDepth; }
    ~GuardDepth() { --records().guardDepth; }
};

}  // namespace

extern "C" {

BRIDGE_API int32_t mexCallMATLAB_800(int32_t nlhs, mxArray** plhs, int32_t nrhs, mxArray** prhs,
                                     const char* functionName) {
    if (functionName == nullptr || nlhs < 0 || nrhs < 0) return 1;
    if (std::strcmp(functionName, "error") == 0) return callError(nrhs, prhs);
    if (std::strcmp(functionName, "warning") == 0) return callWarning(nrhs, prhs);
    return mexCallMATLAB(nlhs, plhs, nrhs, prhs, functionName);
}

BRIDGE_API void mexWarnMsgTxt_800(const char* text) { mexWarnMsgTxt(text != nullptr ? text : ""); }

// One entry call of the engine.  Returns 1 when an Octave error ended it;
// subhost_mex_lastError then holds its message.
BRIDGE_API int32_t subhost_mex_guard(void (*entry)(void*), void* context) {
    Records& r = records();
    r.setLastError(nullptr);
    if (entry == nullptr) return 0;
    std::string id;
    std::string text;
    bool completed = false;
    {
        GuardDepth depth;
        completed = octave_bridge::runGuarded(entry, context, id, text);
    }
    if (completed) return 0;
    if (r.lastError == nullptr) r.setLastError(messageOf(id, text));
    return 1;
}

BRIDGE_API const mxArray* subhost_mex_lastError(void) { return records().lastError; }

BRIDGE_API bool subhost_message_is(const mxArray* object) { return isMessage(object); }

BRIDGE_API const char* subhost_message_id(const mxArray* object) {
    if (!isMessage(object)) return nullptr;
    return subhost_mx_string(mxGetField(object, 0, kIdField));
}

BRIDGE_API int32_t subhost_message_argCount(const mxArray* object) {
    if (!isMessage(object)) return 0;
    const mxArray* args = mxGetField(object, 0, kArgsField);
    return args != nullptr && mxIsCell(args) ? static_cast<int32_t>(mxGetNumberOfElements(args)) : 0;
}

BRIDGE_API const mxArray* subhost_message_arg(const mxArray* object, int32_t index) {
    if (index < 0 || index >= subhost_message_argCount(object)) return nullptr;
    return mxGetCell(mxGetField(object, 0, kArgsField), static_cast<mwIndex>(index));
}

}  // extern "C"
