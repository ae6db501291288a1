// What the module declares to a host, gathered from one block bound and set
// up on it: interface version, ports, sample times, model-information
// table, state checksum and the states of its data map.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "subhost/engine.h"

namespace quarlin_sim {

struct PortInfo {
    int32_t width = 0;
    int32_t dataTypeId = 0;
    int32_t directFeedThrough = 0;  // inputs only
};

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

struct ModuleInfo {
    uint32_t releaseStamp = 0;
    uint32_t interfaceVersion = 0;
    std::vector<PortInfo> inputs;
    std::vector<PortInfo> outputs;
    std::vector<subhost::SampleTime> sampleTimes;
    ModelInfo modelInfo;
    std::array<uint32_t, 4> stateChecksum{};
    std::vector<subhost::StateDescription> states;
    std::array<float, subhost::kNumStates> stateValues{};  // after system initialize
};

// Names of the output ports, in port order.
inline constexpr const char* kOutputNames[] = {"angle", "speed_rpm"};

// Binds and sets up one block on `module`, reads what it declared and ends
// its life; throws a Failure when the block refuses any of it.
ModuleInfo collectModuleInfo(subhost::Module& module);

// The name of a host data type id as people know it.
const char* typeName(int32_t id);

}  // namespace quarlin_sim
