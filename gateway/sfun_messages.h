// The module's messages, one row each: ID, argument kinds, form.
//
// Diagnostic texts are derived from the row at compile time, so an ID is
// written once and its text cannot drift from it.  A text without arguments
// is the constant itself; a text with arguments is a printf template with
// %s for each string argument and %d for each numeric one.  Host messages
// (errors and warnings raised through "message") carry no text: the host
// builds it from the ID and the arguments.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

enum class DiagForm : uint8_t {
    constant,          // errorStatus points at the text itself
    formatted,         // template filled into the root's msgBuffer
    guardedFormatted,  // as formatted, only while no error status is set
    hostError,         // "message" then "error": ends the host call
    hostWarning,       // "message" then "warning": returns
};

struct DiagMessage {
    std::string_view id;   // without the common beginning
    const char* fullId;    // "Simulink:SFunctions:" + id
    const char* argKinds;  // one letter per argument: 's' text, 'd' number
    DiagForm form;
    const char* text;      // constant text or template; null for host messages
};

namespace diag_text {

inline constexpr std::string_view kIdPrefix = "Simulink:SFunctions:";
inline constexpr std::string_view kHead = "<diag_root><diag id=\"";
inline constexpr std::string_view kOpenArguments = "\"><arguments>";
inline constexpr std::string_view kStringArg = "<arg type=\"string\">%s</arg>";
inline constexpr std::string_view kNumericArg = "<arg type=\"numeric\">%d</arg>";
inline constexpr std::string_view kTail = "</arguments></diag></diag_root>";

// A string literal usable as a template argument.
template <size_t N>
struct Literal {
    char chars[N]{};
    constexpr Literal(const char (&text)[N]) {
        for (size_t i = 0; i < N; ++i) chars[i] = text[i];
    }
    constexpr std::string_view view() const { return {chars, N - 1}; }
};

constexpr std::string_view argPiece(char kind) { return kind == 's' ? kStringArg : kNumericArg; }

constexpr size_t textLength(std::string_view id, std::string_view kinds) {
    size_t length = kHead.size() + kIdPrefix.size() + id.size() + kOpenArguments.size() + kTail.size();
    for (char kind : kinds) length += argPiece(kind).size();
    return length;
}

template <size_t Size>
struct Builder {
    std::array<char, Size + 1> chars{};
    size_t at = 0;
    constexpr void put(std::string_view piece) {
        for (char c : piece) chars[at++] = c;
    }
};

template <Literal Id, Literal Kinds>
constexpr auto makeText() {
    constexpr std::string_view id = Id.view();
    constexpr std::string_view kinds = Kinds.view();
    Builder<textLength(id, kinds)> text;
    text.put(kHead);
    text.put(kIdPrefix);
    text.put(id);
    text.put(kOpenArguments);
    for (char kind : kinds) text.put(argPiece(kind));
    text.put(kTail);
    return text.chars;
}

template <Literal Id>
constexpr auto makeFullId() {
    Builder<kIdPrefix.size() + Id.view().size()> full;
    full.put(kIdPrefix);
    full.put(Id.view());
    return full.chars;
}

template <Literal Id, Literal Kinds>
inline constexpr auto kText = makeText<Id, Kinds>();
template <Literal Id>
inline constexpr auto kFullId = makeFullId<Id>();
template <Literal Kinds>
inline constexpr auto kKinds = Kinds;

constexpr bool validKinds(std::string_view kinds) {
    for (char kind : kinds)
        if (kind != 's' && kind != 'd') return false;
    return true;
}

template <Literal Id, Literal Kinds>
constexpr DiagMessage row(DiagForm form) {
    static_assert(validKinds(Kinds.view()), "argument kinds are 's' and 'd'");
    const bool hostMessage = form == DiagForm::hostError || form == DiagForm::hostWarning;
    return {Id.view(), kFullId<Id>.data(), kKinds<Kinds>.chars, form,
            hostMessage ? nullptr : kText<Id, Kinds>.data()};
}

}  // namespace diag_text

// The UnexpectedFunctionCall row is formatted; the gateway stores the same
// text in the local form for the update method.
inline constexpr DiagMessage kDiagMessages[] = {
    diag_text::row<"SimStructUnexpectedFunctionCall", "s">(DiagForm::formatted),
    diag_text::row<"SimStructInvalidFlagInSimulinkC", "">(DiagForm::constant),
    diag_text::row<"SimStructNoMdlZeroCrossings", "">(DiagForm::constant),
    diag_text::row<"SimStructNoMdlGetTimeOfNextVarHit", "">(DiagForm::constant),
    diag_text::row<"SimStructIndexOutOfBound", "sddsdd">(DiagForm::guardedFormatted),
    diag_text::row<"SimStructInvalidRTWPairValueType", "">(DiagForm::constant),
    diag_text::row<"SimStructInvalidRTWPairName", "">(DiagForm::constant),
    diag_text::row<"SimStructInvalidRTWPairDimension", "">(DiagForm::constant),
    diag_text::row<"SimStructNullRTWPair", "">(DiagForm::constant),
    diag_text::row<"SimStructInvalidRTWParamValueType", "">(DiagForm::constant),
    diag_text::row<"SimStructInvalidRTWParamArgument", "">(DiagForm::constant),
    diag_text::row<"SimStructInvalidRTWParamSetting", "">(DiagForm::constant),
    diag_text::row<"SimStructInvalidRTWWorkVectorName", "">(DiagForm::constant),
    diag_text::row<"SimStructInvalidRTWWorkVectorNumArgs", "">(DiagForm::constant),
    diag_text::row<"SimStructRTWWorkVectorSizeMismatch", "sdsd">(DiagForm::formatted),
    diag_text::row<"SimStructTooFewRHSArguments", "sd">(DiagForm::hostError),
    diag_text::row<"SimStructTooManyLHSArguments", "s">(DiagForm::hostError),
    diag_text::row<"SimStructForthRHSArgIsNotInteger", "s">(DiagForm::hostError),
    diag_text::row<"SimStructInvalidFlagPassedToSfcn", "s">(DiagForm::hostError),
    diag_text::row<"SimStructSFunctionNameMismatch", "ss">(DiagForm::hostError),
    diag_text::row<"SimStructLevel2InvalidInputPortNumber", "ssdd">(DiagForm::hostError),
    diag_text::row<"SimStructLevel2InvalidAccessToReusableInputSignal", "ssd">(DiagForm::hostError),
    diag_text::row<"SimStructLevel2InvalidAccessToNonDirectFeedthroughInputSignal", "ssd">(
        DiagForm::hostError),
    diag_text::row<"SimStructLevel2InvalidInputPortNumberForDirectFeedThrough", "ssdd">(
        DiagForm::hostError),
    diag_text::row<"SimStructReplace_ssSetInputPortReusable_With_ssSetInputPortOptimOpts", "s">(
        DiagForm::hostWarning),
    diag_text::row<"SimStructReplace_ssSetOutputPortReusable_With_ssSetOutputPortOptimOpts", "s">(
        DiagForm::hostWarning),
};

// The row of `id` (without the common beginning); an unknown ID does not
// compile.
consteval const DiagMessage& diagMessage(std::string_view id) {
    for (const DiagMessage& message : kDiagMessages)
        if (message.id == id) return message;
    throw "unknown message ID";
}

struct SimStruct;

// Reports `message` in its form (constant, formatted or guarded formatted)
// with the arguments its kinds list: a const char* per 's', an int per 'd'.
// Host messages are not reported here: they go through ssRaiseError and
// ssRaiseWarning.
void ssReportMessage(SimStruct* S, const DiagMessage* message, ...);
// Raises a host message row through "message" and then "error", which ends
// the host call, with a const char* per 's' and a double per 'd'.
[[noreturn]] void ssRaiseError(const DiagMessage* message, ...);
// The same through "warning", which returns.
void ssRaiseWarning(const DiagMessage* message, ...);
// Fills the template of `message` into `buffer` (kMsgBufferSize bytes).
void ssFormatMessage(char* buffer, const DiagMessage* message, ...);
