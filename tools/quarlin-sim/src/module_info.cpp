#include "module_info.h"

#include <cstring>

#include "host/host_services.h"
#include "host_block.h"

namespace quarlin_sim {

namespace {

// The model-information registration hands the host the model name
// (offset 0), table (8), entry count (16).  The table's entries are 32
// bytes: identifier (0), kind (8), three 32-bit words (12, 16, 20), owner
// (24).  The host copies it during the call.
constexpr size_t kEntrySize = 32;
constexpr int32_t kMostEntries = 4096;

template <typename T>
T readAt(const void* base, size_t offset) {
    T value;
    std::memcpy(&value, static_cast<const char*>(base) + offset, sizeof value);
    return value;
}

void recordModelInfo(ModelInfo& info, const void* data) {
    if (data == nullptr) return;
    info.registered = true;
    const char* model = readAt<const char*>(data, 0);
    info.model = model != nullptr ? model : "";
    const char* table = readAt<const char*>(data, 8);
    const auto count = readAt<int32_t>(data, 16);
    for (int32_t i = 0; table != nullptr && i < count && i < kMostEntries; ++i) {
        const char* entry = table + static_cast<size_t>(i) * kEntrySize;
        ModelInfoEntry e;
        const char* identifier = readAt<const char*>(entry, 0);
        e.identifier = identifier != nullptr ? identifier : "";
        e.kind = readAt<int32_t>(entry, 8);
        for (int w = 0; w < 3; ++w) e.words[w] = readAt<int32_t>(entry, 12 + 4 * w);
        const char* owner = readAt<const char*>(entry, 24);
        e.hasOwner = owner != nullptr;
        e.owner = e.hasOwner ? owner : "";
        info.entries.push_back(std::move(e));
    }
}

}  // namespace

const char* typeName(int32_t id) {
    switch (id) {
        case 0: return "double";
        case 1: return "single";
        case 6: return "int32";
        default: return "other";
    }
}

ModuleInfo collectModuleInfo(subhost::Module& module) {
    ModuleInfo info;
    info.releaseStamp = module.releaseStamp();
    info.interfaceVersion = module.interfaceVersion();
    HostBlock host(module, [&info](subhost::HostRecord& record) {
        record.onService = [&info](SimStruct*, int32_t code, int32_t, void* data) {
            if (code == host_service::modelInfoRegister) recordModelInfo(info.modelInfo, data);
        };
    });
    SimStruct* S = host.block().record();
    for (int32_t i = 0; i < ssGetNumInputPorts(S) && S->inputPorts != nullptr; ++i) {
        const InputPortRecord& port = S->inputPorts[i];
        info.inputs.push_back({port.width, port.dataTypeId, port.directFeedThrough});
    }
    for (int32_t i = 0; i < ssGetNumOutputPorts(S) && S->outputPorts != nullptr; ++i) {
        const OutputPortRecord& port = S->outputPorts[i];
        info.outputs.push_back({port.width, port.dataTypeId, 0});
    }
    info.sampleTimes = host.block().sampleTimes();
    info.stateChecksum = host.stateChecksum();
    info.states = host.block().stateDescriptions();
    info.stateValues = host.block().states();
    host.finish();
    return info;
}

}  // namespace quarlin_sim
