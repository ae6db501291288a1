// The one diagnostic convention of the module: texts into the error-status
// slots of the block record, and host errors and warnings through the host's
// "message" function.

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "gateway/sfun_messages.h"
#include "gateway/sfun_support.h"
#include "host/host_imports.h"
#include "host/simstruc.h"

const char* const _sfcnName = "MEX level2 S-function \"Quarlin_msp\"";

namespace diag {
const char* const kInvalidFlagInSimulinkC = diagMessage("SimStructInvalidFlagInSimulinkC").text;
const char* const kNoMdlZeroCrossings = diagMessage("SimStructNoMdlZeroCrossings").text;
const char* const kNoMdlGetTimeOfNextVarHit = diagMessage("SimStructNoMdlGetTimeOfNextVarHit").text;
const char* const kIncorrectAbsTol = "Incorrect absolute tolerance value.";

void formatUnexpectedFunctionCall(char* buffer, const char* method) {
    ssFormatMessage(buffer, &diagMessage("SimStructUnexpectedFunctionCall"), method);
}
}  // namespace diag

namespace {

// Copies at most kMsgBufferSize - 1 bytes of `text`, terminator included.  A
// longer text is cut, and the last byte of the buffer ends it, so the slot
// never holds an unterminated text.  `text` may be the buffer itself.
void copyBounded(char* buffer, const char* text) {
    const size_t length = strnlen(text, kMsgBufferSize - 1);
    if (length < kMsgBufferSize - 1) {
        memmove(buffer, text, length + 1);
    } else {
        memmove(buffer, text, kMsgBufferSize - 1);
        buffer[kMsgBufferSize - 1] = '\0';
    }
}

void formatInto(char* buffer, const DiagMessage* message, va_list args) {
    vsnprintf(buffer, kMsgBufferSize, message->text, args);
}

constexpr int kMaxHostMessageArgs = 8;

// The host's message object for `id` and the arguments `argTypes` lists.
// Returns null when the host made none.  The host's "error" may end the call
// by unwinding through these frames, or by a jump: nothing on the way holds
// work that must run on the way out.
mxArray* makeHostMessage(const char* id, const char* argTypes, va_list args) {
    mxArray* rhs[1 + kMaxHostMessageArgs];
    int32_t count = 0;
    rhs[count++] = mxCreateString_800(id);
    for (const char* kind = argTypes; *kind != '\0' && count <= kMaxHostMessageArgs; ++kind) {
        if (*kind == 's') {
            const char* text = va_arg(args, const char*);
            rhs[count++] = mxCreateString_800(text != nullptr ? text : "");
        } else if (*kind == 'd') {
            rhs[count++] = mxCreateDoubleScalar_800(va_arg(args, double));
        } else {
            break;  // an unknown kind tells nothing about the argument's type
        }
    }
    mxArray* message = nullptr;
    mexCallMATLAB_800(1, &message, count, rhs, "message");
    return message;
}

// Hands a message object to the host's "error" or "warning".  Callers end
// their argument lists before this: "error" does not come back to end them.
void raiseWith(mxArray* message, DiagForm form) {
    mxArray* none[1] = {nullptr};
    mexCallMATLAB_800(0, none, 1, &message, form == DiagForm::hostWarning ? "warning" : "error");
    // "error" ends the host call; a host that came back here has lost it.
    if (form != DiagForm::hostWarning) std::abort();
}

}  // namespace

void ssReportConstant(SimStruct* S, const char* text) {
    SimStruct* root = ssRoot(S);
    root->blockInfo->errorStatusIsDiagnostic = 0;
    root->errorStatus = text;
}

void ssReportFormatted(SimStruct* S, const char* text) {
    SimStruct* root = ssRoot(S);
    BlockInfo* info = root->blockInfo;
    copyBounded(info->msgBuffer, text);
    info->errorStatusIsDiagnostic = 0;
    root->errorStatus = info->msgBuffer;
}

void ssReportFormattedGuarded(SimStruct* S, const char* text) {
    if (ssRoot(S)->errorStatus == nullptr) ssReportFormatted(S, text);
}

void ssReportLocal(SimStruct* S, const char* text) {
    // Without a buffer of its own the record cannot keep the text; the root's
    // slot still carries the failure to the host.
    if (S->localMsgBuffer == nullptr) {
        ssReportFormatted(S, text);
        return;
    }
    copyBounded(S->localMsgBuffer, text);
    // An earlier text pointer stays; an earlier diagnostic object does not,
    // since with the flag cleared the host would read it as a text.
    if (S->localErrorStatus == nullptr || S->localErrorStatusIsDiagnostic != 0)
        S->localErrorStatus = S->localMsgBuffer;
    S->localErrorStatusIsDiagnostic = 0;
}

void ssFormatMessage(char* buffer, const DiagMessage* message, ...) {
    va_list args;
    va_start(args, message);
    formatInto(buffer, message, args);
    va_end(args);
}

void ssReportMessage(SimStruct* S, const DiagMessage* message, ...) {
    switch (message->form) {
        case DiagForm::constant:
            ssReportConstant(S, message->text);
            return;
        case DiagForm::guardedFormatted:
            if (ssRoot(S)->errorStatus != nullptr) return;  // the first error wins
            [[fallthrough]];
        case DiagForm::formatted: {
            char text[kMsgBufferSize];
            va_list args;
            va_start(args, message);
            formatInto(text, message, args);
            va_end(args);
            ssReportFormatted(S, text);
            return;
        }
        case DiagForm::hostError:
        case DiagForm::hostWarning:
            return;  // raised through ssRaiseError and ssRaiseWarning
    }
}

void ssRaiseHostError(const char* id, const char* argTypes, ...) {
    va_list args;
    va_start(args, argTypes);
    mxArray* message = makeHostMessage(id, argTypes, args);
    va_end(args);
    raiseWith(message, DiagForm::hostError);
    std::abort();  // not reached: tells the compiler the call does not return
}

void ssRaiseModuleError(const char* id, const char* text) {
    mxArray* rhs[2] = {mxCreateString_800(id), mxCreateString_800(text)};
    mxArray* none[1] = {nullptr};
    mexCallMATLAB_800(0, none, 2, rhs, "error");
    std::abort();  // "error" ends the host call; a host that came back here has lost it
}

void ssRaiseError(const DiagMessage* message, ...) {
    va_list args;
    va_start(args, message);
    mxArray* object = makeHostMessage(message->fullId, message->argKinds, args);
    va_end(args);
    raiseWith(object, DiagForm::hostError);
    std::abort();  // not reached: raiseWith does not come back from "error"
}

void ssRaiseWarning(const DiagMessage* message, ...) {
    va_list args;
    va_start(args, message);
    mxArray* object = makeHostMessage(message->fullId, message->argKinds, args);
    va_end(args);
    raiseWith(object, DiagForm::hostWarning);
}
void ssRaiseHostWarning(const char* id, const char* argTypes, ...) {
    va_list args;
    va_start(args, argTypes);
    mxArray* message = makeHostMessage(id, argTypes, args);
    va_end(args);
    raiseWith(message, DiagForm::hostWarning);
}

void ssWarning(SimStruct* S, const char* text) {
    if (text == nullptr) text = "";
    if (S->path != nullptr) {
        const size_t size = strlen(text) + strlen(S->path) + 16;
        char* full = static_cast<char*>(malloc(size));
        if (full != nullptr) {
            snprintf(full, size, "block '%s': %s", S->path, text);
            mexWarnMsgTxt_800(full);
            free(full);
            return;
        }
    }
    mexWarnMsgTxt_800(text);
}
