// quarlin-sim sizes and quarlin-sim info: what the module tells a host.
#include <cstdio>
#include <filesystem>

#include "args.h"
#include "commands.h"
#include "csv_input.h"
#include "failure.h"
#include "floats.h"
#include "host_block.h"
#include "module_info.h"

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

// Whole numbers as whole numbers: 8480229, not 8.480229e+06.
std::string fixed(double value) {
    char text[kMaxNumberText];
    return std::string(text, writeDoubleFixed(text, value));
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
    const ModuleInfo info = collectModuleInfo(*module);

    std::error_code error;
    const auto absolute = std::filesystem::weakly_canonical(path, error);
    std::printf("module: %s\n", (error ? path : absolute.string()).c_str());
    std::printf("mexfilerequiredapiversion: %u %u\n", info.releaseStamp, info.interfaceVersion);

    std::printf("input ports: %zu\n", info.inputs.size());
    for (size_t i = 0; i < info.inputs.size(); ++i) {
        const PortInfo& port = info.inputs[i];
        std::printf("  %zu %-9s width %d, type %d (%s), direct feedthrough %d\n", i,
                    i < 4 ? std::string(kInputNames[i]).c_str() : "", port.width, port.dataTypeId,
                    typeName(port.dataTypeId), port.directFeedThrough);
    }
    std::printf("output ports: %zu\n", info.outputs.size());
    for (size_t i = 0; i < info.outputs.size(); ++i) {
        const PortInfo& port = info.outputs[i];
        std::printf("  %zu %-9s width %d, type %d (%s)\n", i, i < 2 ? kOutputNames[i] : "", port.width,
                    port.dataTypeId, typeName(port.dataTypeId));
    }

    std::printf("sample times: %zu\n", info.sampleTimes.size());
    for (size_t i = 0; i < info.sampleTimes.size(); ++i) {
        std::printf("  %zu period %s, offset %s\n", i, fixed(info.sampleTimes[i].period).c_str(),
                    fixed(info.sampleTimes[i].offset).c_str());
    }

    const ModelInfo& table = info.modelInfo;
    if (!table.registered) {
        std::printf("model information: not registered\n");
    } else {
        std::printf("model information: %zu entries, model %s\n", table.entries.size(), table.model.c_str());
        for (size_t i = 0; i < table.entries.size(); ++i) {
            const ModelInfoEntry& e = table.entries[i];
            std::printf("  %2zu kind %2d  %3d %3d %3d  %-50s %s\n", i, e.kind, e.words[0], e.words[1], e.words[2],
                        e.identifier.c_str(), e.hasOwner ? e.owner.c_str() : "(no owner)");
        }
    }

    const auto& checksum = info.stateChecksum;
    std::printf("state checksum: 0x%08X 0x%08X 0x%08X 0x%08X\n", checksum[0], checksum[1], checksum[2],
                checksum[3]);

    std::printf("data map states: %zu\n", info.states.size());
    for (size_t i = 0; i < info.states.size(); ++i) {
        const subhost::StateDescription& s = info.states[i];
        char value[kMaxNumberText];
        const std::string shown = i < info.stateValues.size()
                                      ? std::string(value, writeBinary32(value, info.stateValues[i]))
                                      : std::string("?");
        std::printf("  x%zu address %u  %s/%s  %s (%d bytes)  value %s\n", i, s.addressIndex, s.blockPath.c_str(),
                    s.name.c_str(), typeName(s.hostTypeId), s.byteSize, shown.c_str());
    }
    return 0;
}

}  // namespace quarlin_sim
