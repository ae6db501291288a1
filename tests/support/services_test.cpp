// The helpers around the host service: code, integer, what the host finds
// behind the pointer, what it writes back, and the preset that answers when
// there is no host.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "gateway/sfun_service_records.h"
#include "gateway/sfun_support.h"
#include "support_fixture.h"

namespace {

using subhost::HostRecord;

using namespace service_record;

// What lies behind the service's pointer.
enum class Slot { none, text, i32, i64, u8, f64, ptr, textRecord, pairRecord, zcElement, portElement };

const char kHostText[] = "host text";
int gHostObject = 0;
void* const kFirst = reinterpret_cast<void*>(intptr_t{0x100});
void* const kSecond = reinterpret_cast<void*>(intptr_t{0x200});

std::string str(int64_t value) { return std::to_string(value); }
std::string str(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}
std::string str(const void* pointer) {
    if (pointer == nullptr) return "null";
    if (pointer == kHostText || pointer == &gHostObject) return "host";
    return "other";
}
std::string str(const char* text) { return str(static_cast<const void*>(text)); }

// Reads the slot as the host finds it and writes the host's answer: 41 in a
// number or id, 4.5 in a double, the host's own object in a pointer.
std::string readAndAnswer(Slot slot, void* data) {
    std::string seen;
    switch (slot) {
        case Slot::none:
            return data == nullptr ? "null" : "pointer";
        case Slot::text:
            return std::string("text ") + static_cast<const char*>(data);
        case Slot::i32: {
            auto* value = static_cast<int32_t*>(data);
            seen = "i32 " + str(int64_t{*value});
            *value = 41;
            return seen;
        }
        case Slot::i64: {
            auto* value = static_cast<int64_t*>(data);
            seen = "i64 " + str(*value);
            *value = 41;
            return seen;
        }
        case Slot::u8: {
            auto* value = static_cast<uint8_t*>(data);
            seen = "u8 " + str(int64_t{*value});
            *value = 41;
            return seen;
        }
        case Slot::f64: {
            auto* value = static_cast<double*>(data);
            seen = "f64 " + str(*value);
            *value = 4.5;
            return seen;
        }
        case Slot::ptr: {
            auto* value = static_cast<void**>(data);
            seen = "ptr " + str(*value);
            *value = &gHostObject;
            return seen;
        }
        case Slot::textRecord: {
            auto* record = static_cast<TextRegistration*>(data);
            seen = std::string("text ") + record->text + " id " + str(int64_t{record->id});
            record->id = 41;
            return seen;
        }
        case Slot::pairRecord: {
            auto* record = static_cast<PairRegistration*>(data);
            seen = "pair " + str(int64_t{record->first == kFirst}) + str(int64_t{record->second == kSecond}) +
                   " id " + str(int64_t{record->id});
            record->id = 41;
            return seen;
        }
        case Slot::zcElement: {
            auto* record = static_cast<ZcElement*>(data);
            seen = "zc " + str(int64_t{record->signal}) + " " + str(int64_t{record->element}) + " " +
                   str(int64_t{record->flag});
            record->flag = 41;
            return seen;
        }
        case Slot::portElement: {
            auto* record = static_cast<PortElement*>(data);
            seen = "port " + str(int64_t{record->port}) + " " + str(int64_t{record->element}) + " " +
                   str(int64_t{record->result});
            record->result = 41;
            return seen;
        }
    }
    return seen;
}

struct ServiceCase {
    const char* name;
    std::string (*call)(SimStruct*);  // runs the helper; its result as text, "none" for a setter
    int32_t code;
    int32_t intValue;
    Slot slot;
    const char* seen;        // what the host finds behind the pointer
    const char* hostResult;  // the result when the host answered
    const char* preset;      // the result without a host
};

#define CALL(expr) [](SimStruct* S) -> std::string { return str(expr); }
#define SET(expr) [](SimStruct* S) -> std::string { expr; return "none"; }

const ServiceCase kServiceCases[] = {
    {"SetSymbolicDimsSupport", SET(_ssSetSymbolicDimsSupport(S, 1)),
     302, 1, Slot::none, "null", "none", "none"},
    {"RegisterSymbolicDimsExpr", CALL(int64_t{_ssRegisterSymbolicDimsExpr(S, "N+1")}),
     303, 0, Slot::textRecord, "text N+1 id 0", "41", "0"},
    {"RegisterSymbolicDims", CALL(int64_t{_ssRegisterSymbolicDims(S, kFirst, kSecond)}),
     304, 0, Slot::pairRecord, "pair 11 id 0", "41", "0"},
    {"RegisterSymbolicDimsString", CALL(int64_t{_ssRegisterSymbolicDimsString(S, "K")}),
     305, 0, Slot::textRecord, "text K id 0", "41", "0"},
    {"RegisterSymbolicDimsIntValue", CALL(int64_t{_ssRegisterSymbolicDimsIntValue(S, 12)}),
     306, 12, Slot::i32, "i32 0", "41", "0"},
    {"RegisterSymbolicDimsPlus", CALL(int64_t{_ssRegisterSymbolicDimsPlus(S, 3, 7)}),
     307, 3, Slot::i32, "i32 7", "41", "7"},
    {"RegisterSymbolicDimsMinus", CALL(int64_t{_ssRegisterSymbolicDimsMinus(S, 3, 7)}),
     308, 3, Slot::i32, "i32 7", "41", "7"},
    {"RegisterSymbolicDimsMultiply", CALL(int64_t{_ssRegisterSymbolicDimsMultiply(S, 3, 7)}),
     309, 3, Slot::i32, "i32 7", "41", "7"},
    {"RegisterSymbolicDimsDivide", CALL(int64_t{_ssRegisterSymbolicDimsDivide(S, 3, 7)}),
     310, 3, Slot::i32, "i32 7", "41", "7"},
    {"GetNumSymbolicDims", CALL(_ssGetNumSymbolicDims(S, 5)),
     311, 5, Slot::i64, "i64 0", "41", "0"},
    {"GetSymbolicDim", CALL(int64_t{_ssGetSymbolicDim(S, 9, 2)}),
     312, 2, Slot::i32, "i32 9", "41", "9"},
    {"SetInputPortSymbolicDimsId", SET(_ssSetInputPortSymbolicDimsId(S, 1, 8)),
     313, 1, Slot::i32, "i32 8", "none", "none"},
    {"GetCompInputPortSymbolicDimsId", CALL(int64_t{_ssGetCompInputPortSymbolicDimsId(S, 1)}),
     315, 1, Slot::i32, "i32 0", "41", "0"},
    {"SetCompInputPortSymbolicDimsId", SET(_ssSetCompInputPortSymbolicDimsId(S, 2, 8)),
     316, 2, Slot::i32, "i32 8", "none", "none"},
    {"SetOutputPortSymbolicDimsId", SET(_ssSetOutputPortSymbolicDimsId(S, 1, 8)),
     317, 1, Slot::i32, "i32 8", "none", "none"},
    {"GetCompOutputPortSymbolicDimsId", CALL(int64_t{_ssGetCompOutputPortSymbolicDimsId(S, 1)}),
     319, 1, Slot::i32, "i32 0", "41", "0"},
    {"SetCompOutputPortSymbolicDimsId", SET(_ssSetCompOutputPortSymbolicDimsId(S, 0, 8)),
     320, 0, Slot::i32, "i32 8", "none", "none"},
    {"SetCompDWorkSymbolicDimsId", SET(_ssSetCompDWorkSymbolicDimsId(S, 3, 8)),
     322, 3, Slot::i32, "i32 8", "none", "none"},
    {"RegisterSymbolicEqualRelation", SET(_ssRegisterSymbolicEqualRelation(S, 3, 7)),
     368, 3, Slot::i32, "i32 7", "none", "none"},
    {"RegisterSymbolicEqualValue", SET(_ssRegisterSymbolicEqualValue(S, 3, 7)),
     369, 3, Slot::i32, "i32 7", "none", "none"},
    {"AmendLeadingSymbolicDims", CALL(int64_t{_ssAmendLeadingSymbolicDims(S, 3, 7)}),
     370, 3, Slot::i32, "i32 7", "41", "7"},
    {"AmendTrailingSymbolicDims", CALL(int64_t{_ssAmendTrailingSymbolicDims(S, 3, 7)}),
     371, 3, Slot::i32, "i32 7", "41", "7"},
    {"IsRunTimeParamTunable", CALL(int64_t{ssIsRunTimeParamTunable(S, 4)}),
     20, 4, Slot::i32, "i32 0", "41", "0"},
    {"GetSFuncBlockHandle", CALL(ssGetSFuncBlockHandle(S)),
     21, 0, Slot::f64, "f64 0", "4.5", "0"},
    {"GetCallSystemNumFcnCallDestinations", CALL(int64_t{_ssGetCallSystemNumFcnCallDestinations(S, 6)}),
     200, 6, Slot::i32, "i32 0", "41", "0"},
    {"GetParameterTuningCompliance", CALL(int64_t{ssGetParameterTuningCompliance(S)}),
     324, 0, Slot::u8, "u8 0", "41", "0"},
    {"GetIsInputPortElementContinuous", CALL(int64_t{ssGetIsInputPortElementContinuous(S, 2, 5)}),
     175, 0, Slot::portElement, "port 2 5 0", "41", "0"},
    {"SetIsInputPortUsedForContZcSignal", SET(ssSetIsInputPortUsedForContZcSignal(S, 2, 1)),
     176, 2, Slot::u8, "u8 1", "none", "none"},
    {"CreateAndAddZcSignalInfo", CALL(int64_t{ssCreateAndAddZcSignalInfo(S)}),
     177, 0, Slot::i32, "i32 -1", "41", "-1"},
    {"SetZcSignalName", SET(ssSetZcSignalName(S, 3, "zc")),
     178, 3, Slot::text, "text zc", "none", "none"},
    {"GetZcSignalName", CALL(ssGetZcSignalName(S, 3)),
     179, 3, Slot::ptr, "ptr null", "host", "null"},
    {"SetZcSignalWidth", SET(ssSetZcSignalWidth(S, 3, 6)),
     180, 3, Slot::i32, "i32 6", "none", "none"},
    {"GetZcSignalWidth", CALL(int64_t{ssGetZcSignalWidth(S, 3)}),
     181, 3, Slot::i32, "i32 0", "41", "0"},
    {"SetZcSignalZcEventType", SET(ssSetZcSignalZcEventType(S, 3, 2)),
     182, 3, Slot::u8, "u8 2", "none", "none"},
    {"GetZcSignalZcEventType", CALL(int64_t{ssGetZcSignalZcEventType(S, 3)}),
     183, 3, Slot::u8, "u8 63", "41", "63"},
    {"SetZcSignalType", SET(ssSetZcSignalType(S, 3, 2)),
     184, 3, Slot::i32, "i32 2", "none", "none"},
    {"GetZcSignalType", CALL(int64_t{ssGetZcSignalType(S, 3)}),
     185, 3, Slot::i32, "i32 0", "41", "0"},
    {"SetZcSignalZcTol", SET(ssSetZcSignalZcTol(S, 3, 0.25)),
     186, 3, Slot::f64, "f64 0.25", "none", "none"},
    {"GetZcSignalZcTol", CALL(ssGetZcSignalZcTol(S, 3)),
     187, 3, Slot::f64, "f64 -1", "4.5", "-1"},
    {"SetZcSignalNeedsEventNotification", SET(ssSetZcSignalNeedsEventNotification(S, 3, 1)),
     188, 3, Slot::u8, "u8 1", "none", "none"},
    {"GetZcSignalNeedsEventNotification", CALL(int64_t{ssGetZcSignalNeedsEventNotification(S, 3)}),
     189, 3, Slot::u8, "u8 0", "41", "0"},
    {"GetNumZcSignals", CALL(int64_t{ssGetNumZcSignals(S)}),
     190, 0, Slot::i32, "i32 0", "41", "0"},
    {"GetZcSignalVector", CALL(ssGetZcSignalVector(S, 3)),
     191, 3, Slot::ptr, "ptr null", "host", "null"},
    {"SetZcSignalIsZcElementDisc", SET(ssSetZcSignalIsZcElementDisc(S, 3, 4, 1)),
     192, 3, Slot::zcElement, "zc 3 4 1", "none", "none"},
    {"GetZcSignalIsZcElementDisc", CALL(int64_t{ssGetZcSignalIsZcElementDisc(S, 3, 4)}),
     193, 0, Slot::zcElement, "zc 3 4 0", "41", "0"},
    {"CloneAndAddZcSignalInfo", CALL(int64_t{ssCloneAndAddZcSignalInfo(S, 2)}),
     194, 2, Slot::i32, "i32 -1", "41", "-1"},
    {"GetZcSignalZcEvents", CALL(ssGetZcSignalZcEvents(S, 3)),
     102, 3, Slot::ptr, "ptr null", "host", "null"},
    {"GetIsZeroCrossControlDisabled", CALL(int64_t{ssGetIsZeroCrossControlDisabled(S)}),
     226, 0, Slot::u8, "u8 0", "41", "0"},
};

#undef CALL
#undef SET

TEST(ServiceHelpers, CallTheServiceWithTheirCodeIntegerAndSlot) {
    for (const ServiceCase& row : kServiceCases) {
        SCOPED_TRACE(row.name);
        HostRecord host;
        std::string seen = "<not called>";
        host.onService = [&](SimStruct*, int32_t code, int32_t, void* data) {
            if (code == row.code) seen = readAndAnswer(row.slot, data);
        };
        EXPECT_EQ(row.call(host.S()), row.hostResult);
        ASSERT_EQ(host.serviceCalls.size(), 1u);
        EXPECT_EQ(host.serviceCalls[0].code, row.code);
        EXPECT_EQ(host.serviceCalls[0].intValue, row.intValue);
        EXPECT_EQ(seen, row.seen);
    }
}

TEST(ServiceHelpers, WithoutAHostAnswerWithTheirPreset) {
    for (const ServiceCase& row : kServiceCases) {
        SCOPED_TRACE(row.name);
        HostRecord host(support_test::noHost());
        EXPECT_EQ(row.call(host.S()), row.preset);
    }
}

}  // namespace

