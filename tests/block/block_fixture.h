// What the block tests share: a test base that gives every test its own
// host-array scope and a clean substitute host, a block instance set up the
// way the host sets one up, and bit-exact views of values.
#pragma once

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <cstring>
#include <vector>

#include "block/Quarlin_msp.h"
#include "subhost/control.h"
#include "subhost/host_record.h"

class BlockTest : public testing::Test {
protected:
    void SetUp() override {
        subhost_mx_beginScope();
        subhost_slmr_clearTopTids();
        subhost_mex_clearRecords();
    }
    void TearDown() override {
        subhost_slmr_clearTopTids();
        subhost_mx_endScope();
    }
};

inline uint32_t bitsOf(float value) { return std::bit_cast<uint32_t>(value); }
inline uint64_t bitsOf(double value) { return std::bit_cast<uint64_t>(value); }

// The bytes of a record, for byte-for-byte comparisons.
template <class T>
std::vector<uint8_t> bytesOf(const T& record) {
    std::vector<uint8_t> bytes(sizeof(T));
    std::memcpy(bytes.data(), &record, sizeof(T));
    return bytes;
}

// A block on a host-made record, registered, given its container, set up
// and initialised, as the host does before the first step.
struct BlockInstance {
    subhost::HostRecord host;

    explicit BlockInstance(subhost::HostRecordOptions options = {}) : host(options) {
        mdlInitializeSizes(S());
        host.giveDWork(sizeof(Quarlin_MdlrefDW), 0xA5);
        mdlInitializeSampleTimes(S());
        mdlSetupRuntimeResources(S());
        mdlInitializeConditions(S());
    }

    SimStruct* S() { return host.S(); }
    Quarlin_MdlrefDW& container() { return *quarlinContainer(S()); }

    void setInputs(float iAlpha, float iBeta, float vAlpha, float vBeta) {
        host.setInput(0, iAlpha);
        host.setInput(1, iBeta);
        host.setInput(2, vAlpha);
        host.setInput(3, vBeta);
    }
    // One step as the gateway runs it: outputs with task 0, then update.
    void step() {
        mdlOutputs(S(), 0);
        mdlUpdate(S(), 0);
    }
};

// Runs `body` as one guarded entry call; true when a host error ended it.
template <class Body>
bool endsInHostError(Body body) {
    auto entry = [](void* context) { (*static_cast<Body*>(context))(); };
    return subhost_mex_guard(entry, &body) == 1;
}

// Inputs that exercise every path of the step over a few dozen samples.
inline void driveInputs(BlockInstance& block, int sample) {
    const float phase = 0.05f * static_cast<float>(sample);
    block.setInputs(0.8f - 0.01f * phase, 0.3f + 0.02f * phase, 12.0f - phase, -4.0f + 0.5f * phase);
}
