// Entry calls, host errors, warnings and message objects.
//
// Each call into the module runs under subhost_mex_guard.  The host's "error"
// ends that call by unwinding: it throws an exception of this library's own
// type, which only the innermost guard catches, so every frame in between,
// the module's among them, is left the way C++ leaves it (destructors run).
// Throw and catch both live here, in one library, whatever library the
// caller sits in.
#include "subhost/control.h"
#include "subhost/libmx/mx_object.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr const char* kMessageClass = "message";
constexpr int32_t kIdField = 0;
constexpr int32_t kArgsField = 1;
const char* kMessageFields[] = {"identifier", "arguments"};

// What "error" throws.  Nothing outside this library names the type, so no
// code in between can catch it by mistake for one of its own.
struct EntryCallEnded {};

// Arrays kept here are taken out of every scope and freed by this library.
struct Records {
    int32_t openGuards = 0;
    mxArray* lastError = nullptr;
    std::vector<mxArray*> warnings;
    std::vector<std::string> warnTexts;

    // Every guard clears the last error; most calls end without one, and
    // then the array library is not entered at all.
    void setLastError(mxArray* object) {
        if (lastError != nullptr) mxDestroyArray_800(lastError);
        lastError = object;
    }
    void clearWarnings() {
        for (mxArray* w : warnings) mxDestroyArray_800(w);
        warnings.clear();
        warnTexts.clear();
    }
};

// Never destroyed, so that exit code of other libraries may still warn.
Records& records() {
    static Records* r = new Records;
    return *r;
}

struct ExitCleanup {
    ~ExitCleanup() {
        records().setLastError(nullptr);
        records().clearWarnings();
    }
};
ExitCleanup exitCleanup;

mxArray* kept(mxArray* array) {
    subhost_mx_release(array);
    return array;
}

bool isMessageArgument(const mxArray* a) {
    return a != nullptr && (mxIsChar_800(a) || mxIsNumeric_800(a) ||
                            mxGetClassID_800(a) == mx_class::logical);
}

// A message object of `id` with copies of `args`.
mxArray* makeMessage(const char* id, int32_t argCount, mxArray* const* args) {
    mxArray* object = subhost_mx_createObject(kMessageClass, 2, kMessageFields);
    if (object == nullptr) return nullptr;
    mxSetFieldByNumber_800(object, 0, kIdField, mxCreateString_800(id));
    mxArray* list = mxCreateCellMatrix_800(1, static_cast<size_t>(argCount));
    for (int32_t i = 0; i < argCount; ++i) {
        mxSetCell_800(list, static_cast<size_t>(i), mxDuplicateArray_800(args[i]));
    }
    mxSetFieldByNumber_800(object, 0, kArgsField, list);
    return object;
}

// What "error" and "warning" keep of their arguments: the message object;
// for an identifier and a text, a message of that ID that carries the text;
// for a plain text, a message without ID that carries the text.
mxArray* keptMessage(int32_t nrhs, mxArray** prhs) {
    const mxArray* given = nrhs >= 1 && prhs != nullptr ? prhs[0] : nullptr;
    if (subhost_message_is(given)) return kept(mxDuplicateArray_800(given));
    if (nrhs >= 2 && given != nullptr && mxIsChar_800(given) && prhs[1] != nullptr &&
        mxIsChar_800(prhs[1])) {
        return kept(makeMessage(subhost_mx_string(given), 1, &prhs[1]));
    }
    if (given != nullptr && mxIsChar_800(given)) {
        mxArray* text = const_cast<mxArray*>(given);
        return kept(makeMessage("", 1, &text));
    }
    return kept(makeMessage("", 0, nullptr));
}

[[noreturn]] void endEntryCall(mxArray* error) {
    Records& r = records();
    r.setLastError(error);
    if (r.openGuards == 0) {
        const char* id = subhost_message_id(error);
        std::fprintf(stderr, "host error outside any entry call: %s\n", id != nullptr ? id : "");
        std::fflush(stderr);
        std::abort();
    }
    throw EntryCallEnded{};
}

int32_t callMessage(int32_t nlhs, mxArray** plhs, int32_t nrhs, mxArray** prhs) {
    if (nlhs >= 1 && plhs != nullptr) plhs[0] = nullptr;
    if (nrhs < 1 || prhs == nullptr || prhs[0] == nullptr || !mxIsChar_800(prhs[0])) return 1;
    for (int32_t i = 1; i < nrhs; ++i) {
        if (!isMessageArgument(prhs[i])) return 1;
    }
    if (nlhs < 1 || plhs == nullptr) return 0;  // nobody takes the object
    plhs[0] = makeMessage(subhost_mx_string(prhs[0]), nrhs - 1, prhs + 1);
    return plhs[0] != nullptr ? 0 : 1;
}

}  // namespace

extern "C" {

int32_t subhost_mex_guard(subhost_entry_fn entry, void* context) {
    Records& r = records();
    r.setLastError(nullptr);
    if (entry == nullptr) return 0;
    struct Open {
        int32_t& count;
        explicit Open(int32_t& c) : count(c) { ++count; }
        ~Open() { --count; }
    } open(r.openGuards);
    try {
        entry(context);
    } catch (const EntryCallEnded&) {
        return 1;
    }
    return 0;
}

const mxArray* subhost_mex_lastError(void) { return records().lastError; }

int32_t mexCallMATLAB_800(int32_t nlhs, mxArray** plhs, int32_t nrhs, mxArray** prhs,
                          const char* functionName) {
    if (functionName == nullptr) return 1;
    if (std::strcmp(functionName, "message") == 0) return callMessage(nlhs, plhs, nrhs, prhs);
    if (std::strcmp(functionName, "error") == 0) endEntryCall(keptMessage(nrhs, prhs));
    if (std::strcmp(functionName, "warning") == 0) {
        records().warnings.push_back(keptMessage(nrhs, prhs));
        return 0;
    }
    return 1;
}

void mexWarnMsgTxt_800(const char* text) {
    records().warnTexts.emplace_back(text != nullptr ? text : "");
}

bool subhost_message_is(const mxArray* object) {
    const char* name = subhost_mx_className(object);
    return name != nullptr && std::strcmp(name, kMessageClass) == 0;
}

const char* subhost_message_id(const mxArray* object) {
    if (!subhost_message_is(object)) return nullptr;
    return subhost_mx_string(mxGetFieldByNumber_800(object, 0, kIdField));
}

int32_t subhost_message_argCount(const mxArray* object) {
    if (!subhost_message_is(object)) return 0;
    return static_cast<int32_t>(mxGetNumberOfElements_800(mxGetFieldByNumber_800(object, 0, kArgsField)));
}

const mxArray* subhost_message_arg(const mxArray* object, int32_t index) {
    if (!subhost_message_is(object) || index < 0) return nullptr;
    return mxGetCell_800(mxGetFieldByNumber_800(object, 0, kArgsField), static_cast<size_t>(index));
}

int32_t subhost_mex_warningCount(void) { return static_cast<int32_t>(records().warnings.size()); }

const mxArray* subhost_mex_warning(int32_t index) {
    const auto& w = records().warnings;
    if (index < 0 || static_cast<size_t>(index) >= w.size()) return nullptr;
    return w[static_cast<size_t>(index)];
}

int32_t subhost_mex_warnTextCount(void) { return static_cast<int32_t>(records().warnTexts.size()); }

const char* subhost_mex_warnText(int32_t index) {
    const auto& t = records().warnTexts;
    if (index < 0 || static_cast<size_t>(index) >= t.size()) return nullptr;
    return t[static_cast<size_t>(index)].c_str();
}

void subhost_mex_clearRecords(void) { records().clearWarnings(); }

}  // extern "C"
