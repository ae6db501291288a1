// What the support-layer tests share: host records, guarded calls into the
// module, and host messages read back as texts.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "host/host_imports.h"
#include "subhost/control.h"
#include "subhost/host_record.h"

namespace support_test {

inline subhost::HostRecordOptions noHost() {
    subhost::HostRecordOptions options;
    options.withHostService = false;
    options.withPortDimsFcns = false;
    return options;
}

// Runs `call` as the host runs an entry call; true when "error" ended it.
template <class Call>
bool endedByHostError(Call& call) {
    return subhost_mex_guard([](void* context) { (*static_cast<Call*>(context))(); }, &call) != 0;
}

inline std::string argText(const mxArray* arg) {
    if (const char* text = subhost_mx_string(arg)) return text;
    char number[32];
    std::snprintf(number, sizeof number, "%.17g", mxGetScalar_800(arg));
    return number;
}

// A message object as ID and arguments, numbers written as %.17g.
struct HostMessage {
    std::string id;
    std::vector<std::string> args;
    bool operator==(const HostMessage&) const = default;
};

inline HostMessage readMessage(const mxArray* object) {
    HostMessage message;
    if (object == nullptr || !subhost_message_is(object)) return {"<no message>", {}};
    message.id = subhost_message_id(object);
    for (int32_t i = 0; i < subhost_message_argCount(object); ++i)
        message.args.push_back(argText(subhost_message_arg(object, i)));
    return message;
}

inline std::ostream& operator<<(std::ostream& out, const HostMessage& message) {
    out << message.id << "(";
    for (const std::string& arg : message.args) out << " '" << arg << "'";
    return out << " )";
}

// The record's ports: the host's port-count functions make them.
inline void givePorts(subhost::HostRecord& host, int32_t inputs, int32_t outputs) {
    SimStruct* S = host.S();
    S->numInputPortsFcn(S->numInputPortsArg, inputs);
    S->numOutputPortsFcn(S->numOutputPortsArg, outputs);
}

}  // namespace support_test
