// quarlin-sim sizes and quarlin-sim info: what the module tells a host.
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "args.h"
#include "commands.h"
#include "csv_input.h"
#include "failure.h"
#include "floats.h"
#include "host/host_services.h"
#include "host_block.h"
#include "subhost/control.h"

namespace quarlin_sim {

namespace {

constexpr OptionSpec kModuleOptions[] = {kModuleOption};

constexpr CommandSpec kSizesSpec{
    "sizes",
    "sizes [--module PATH]",
    "Makes the host's command-line sizes query (no block record, flag 0) and\n"
    "prints the 40 elements of its result, one \"index value\" line each.",
    kModuleOptions,
    0,
};

constexpr CommandSpec kInfoSpec{
    "info",
    "info [--module PATH]",
    "Binds and sets up one block and prints what the module declares: its\n"
    "interface version, ports, sample times, model-information table, state\n"
    "checksum and the states of its data map.",
    kModuleOptions,
    0,
};

constexpr const char* kOutputNames[] = {"angle", "speed_rpm"};

// The model-information registration hands the host the model name
// (offset 0), table (8), entry count (16).  The table's entries are 32
// bytes: identifier (0), kind (8), three 32-bit words (12, 16, 20), owner
// (24).  The host copies it during the call.
constexpr size_t kEntrySize = 32;
constexpr int32_t kMostEntries = 4096;

struct ModelInfoEntry {
    std::string identifier;
    int32_t kind = 0;
    int32_t words[3] = {};
    std::string owner;
    bool hasOwner = false;
};

struct ModelInfo {
    bool registered = false;
    std::string model;
    std::vector<ModelInfoEntry> entries;
};

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

// Whole numbers as whole numbers: 8480229, not 8.480229e+06.
std::string fixed(double value) {
    char text[kMaxNumberText];
    return std::string(text, writeDoubleFixed(text, value));
}

const char* typeName(int32_t id) {
    switch (id) {
        case 0: return "double";
        case 1: return "single";
        case 6: return "int32";
        default: return "other";
    }
}

}  // namespace

int sizesCommand(std::span<const std::string> argv) {
    const ParsedArgs args = parseArgs(kSizesSpec, argv);
    if (args.help) return printHelp(kSizesSpec);
    const auto module = loadModule(args.text("--module").value_or(defaultModulePath()));
    const subhost::SizesResult result = subhost::sizesQuery(*module);
    if (!result.call) fail("the sizes query failed: " + result.call.describe());
    for (size_t i = 0; i < result.sizes.size(); ++i) {
        std::printf("%zu %s\n", i, fixed(result.sizes[i]).c_str());
    }
    return 0;
}

int infoCommand(std::span<const std::string> argv) {
    const ParsedArgs args = parseArgs(kInfoSpec, argv);
    if (args.help) return printHelp(kInfoSpec);
    const std::string path = args.text("--module").value_or(defaultModulePath());
    const auto module = loadModule(path);
    ModelInfo info;
    HostBlock host(*module, [&info](subhost::HostRecord& record) {
        record.onService = [&info](SimStruct*, int32_t code, int32_t, void* data) {
            if (code == host_service::modelInfoRegister) recordModelInfo(info, data);
        };
    });
    SimStruct* S = host.block().record();

    std::error_code error;
    const auto absolute = std::filesystem::weakly_canonical(path, error);
    std::printf("module: %s\n", (error ? path : absolute.string()).c_str());
    std::printf("mexfilerequiredapiversion: %u %u\n", module->releaseStamp(), module->interfaceVersion());

    const int32_t inputs = ssGetNumInputPorts(S);
    std::printf("input ports: %d\n", inputs);
    for (int32_t i = 0; i < inputs && S->inputPorts != nullptr; ++i) {
        const InputPortRecord& port = S->inputPorts[i];
        std::printf("  %d %-9s width %d, type %d (%s), direct feedthrough %d\n", i,
                    i < 4 ? std::string(kInputNames[i]).c_str() : "", port.width, port.dataTypeId,
                    typeName(port.dataTypeId), port.directFeedThrough);
    }
    const int32_t outputs = ssGetNumOutputPorts(S);
    std::printf("output ports: %d\n", outputs);
    for (int32_t i = 0; i < outputs && S->outputPorts != nullptr; ++i) {
        const OutputPortRecord& port = S->outputPorts[i];
        std::printf("  %d %-9s width %d, type %d (%s)\n", i, i < 2 ? kOutputNames[i] : "", port.width,
                    port.dataTypeId, typeName(port.dataTypeId));
    }

    const auto times = host.block().sampleTimes();
    std::printf("sample times: %zu\n", times.size());
    for (size_t i = 0; i < times.size(); ++i) {
        std::printf("  %zu period %s, offset %s\n", i, fixed(times[i].period).c_str(),
                    fixed(times[i].offset).c_str());
    }

    if (!info.registered) {
        std::printf("model information: not registered\n");
    } else {
        std::printf("model information: %zu entries, model %s\n", info.entries.size(), info.model.c_str());
        for (size_t i = 0; i < info.entries.size(); ++i) {
            const ModelInfoEntry& e = info.entries[i];
            std::printf("  %2zu kind %2d  %3d %3d %3d  %-50s %s\n", i, e.kind, e.words[0], e.words[1], e.words[2],
                        e.identifier.c_str(), e.hasOwner ? e.owner.c_str() : "(no owner)");
        }
    }

    const auto checksum = host.stateChecksum();
    std::printf("state checksum: 0x%08X 0x%08X 0x%08X 0x%08X\n", checksum[0], checksum[1], checksum[2],
                checksum[3]);

    const auto mapStates = host.block().stateDescriptions();
    const auto values = host.block().states();
    std::printf("data map states: %zu\n", mapStates.size());
    for (size_t i = 0; i < mapStates.size(); ++i) {
        const subhost::StateDescription& s = mapStates[i];
        char value[kMaxNumberText];
        const std::string shown =
            i < values.size() ? std::string(value, writeBinary32(value, values[i])) : std::string("?");
        std::printf("  x%zu address %u  %s/%s  %s (%d bytes)  value %s\n", i, s.addressIndex, s.blockPath.c_str(),
                    s.name.c_str(), typeName(s.hostTypeId), s.byteSize, shown.c_str());
    }
    host.finish();
    return 0;
}

}  // namespace quarlin_sim
