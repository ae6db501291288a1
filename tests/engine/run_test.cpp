// Whole runs through the loaded module: the engine's blocks against the model
// functions called directly, several blocks at once, and a snapshot carried
// from one engine into another.

#include <array>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <unistd.h>
#include <vector>

#include "engine_fixture.h"
#include "model/Quarlin.h"
#include "subhost/host_record.h"

namespace engine_test {
namespace {

constexpr int kSteps = 10000;

struct Inputs {
    float iAlpha, iBeta, vAlpha, vBeta;
};

// A machine speeding up, holding, reversing through standstill and running
// the other way, with measurement noise, a dead stretch of zero input and a
// few spikes: the PLL wraps in both directions and saturates.
std::vector<Inputs> inputTrace() {
    std::vector<Inputs> trace(kSteps);
    uint32_t noise = 12345u;
    auto nextNoise = [&noise] {
        noise = noise * 1664525u + 1013904223u;
        return static_cast<double>(noise >> 8) / 16777216.0 - 0.5;
    };
    double phase = 0.0;
    for (int k = 0; k < kSteps; ++k) {
        const double omega = k < 4000 ? 2 * M_PI * 150.0 * k / 4000.0
                             : k < 5000 ? 2 * M_PI * 150.0
                                        : 2 * M_PI * 150.0 * (1.0 - 2.0 * (k - 5000) / 3000.0);
        phase += omega * 1e-4;
        const double amplitude = k < 6000 ? 4.0 : 9.0;
        const double iA = amplitude * std::cos(phase) + 0.05 * nextNoise();
        const double iB = amplitude * std::sin(phase) + 0.05 * nextNoise();
        const double emf = 0.03 * (omega < -942.0 ? -942.0 : omega > 942.0 ? 942.0 : omega) * 4.0;
        double vA = 6.97 * iA - emf * std::sin(phase) + 0.5 * nextNoise();
        double vB = 6.97 * iB + emf * std::cos(phase) + 0.5 * nextNoise();
        if (k >= 2000 && k < 2200) vA = vB = 0.0;
        if (k == 3000 || k == 7777) vA *= 40.0;
        trace[k] = {static_cast<float>(iA), static_cast<float>(iB), static_cast<float>(vA), static_cast<float>(vB)};
    }
    return trace;
}

void feed(subhost::Block& block, const Inputs& u) {
    block.setInput(0, u.iAlpha);
    block.setInput(1, u.iBeta);
    block.setInput(2, u.vAlpha);
    block.setInput(3, u.vBeta);
}

// The model run on its functions directly, in the block's order of calls.
struct DirectModel {
    subhost::HostRecord record;
    Quarlin_MdlrefDW container{};
    float angle = 0.0f;
    float speed = 0.0f;

    DirectModel() {
        Quarlin_initialize(record.S(), 0, 1, &container.rtm, &container.rtb, &container.rtdw, nullptr, 0, nullptr,
                           nullptr, 0, -1);
        Quarlin_Init(&container.rtdw);
    }
    void step(const Inputs& u) {
        Quarlin(&u.iAlpha, &u.iBeta, &u.vAlpha, &u.vBeta, &angle, &speed, &container.rtb, &container.rtdw);
        Quarlin_Update(&container.rtb, &container.rtdw);
    }
    // The states in the data map's row order, and its three run flags.
    std::array<float, subhost::kNumStates> states() const {
        const Quarlin_DW& s = container.rtdw;
        return {s.speed, s.currentAlpha, s.emfAlpha, s.currentBeta, s.emfBeta, s.angle, s.pllIntegrator};
    }
    std::array<int8_t, subhost::kNumRunFlags> runFlags() const {
        const Quarlin_DW& s = container.rtdw;
        return {s.noWrapRan, s.wrapHighRan, s.wrapLowRan};
    }
};

template <size_t N>
std::array<uint32_t, N> bitsOf(const std::array<float, N>& values) {
    std::array<uint32_t, N> out{};
    for (size_t i = 0; i < N; ++i) out[i] = bits(values[i]);
    return out;
}

TEST_F(EngineTest, BlocksThroughTheEngineRunBitForBitAsTheModel) {
    const std::vector<Inputs> trace = inputTrace();
    DirectModel direct;
    // One block stepped by flags 104 and 105, one by the periodic
    // output-update method, side by side.
    subhost::Block byFlags(module());
    subhost::Block periodic(module());
    ASSERT_TRUE(byFlags.setUp().ok);
    ASSERT_TRUE(periodic.setUp().ok);
    ASSERT_NE(byFlags.dataMap(), periodic.dataMap());

    int mismatches = 0;
    for (int k = 0; k < kSteps && mismatches < 5; ++k) {
        direct.step(trace[k]);
        feed(byFlags, trace[k]);
        feed(periodic, trace[k]);
        ASSERT_TRUE(byFlags.outputs(0).ok) << "step " << k;
        ASSERT_TRUE(byFlags.update().ok) << "step " << k;
        ASSERT_TRUE(periodic.periodicOutputUpdate(0).ok) << "step " << k;
        for (subhost::Block* block : {&byFlags, &periodic}) {
            const bool same = bits(block->output(0)) == bits(direct.angle) &&
                              bits(block->output(1)) == bits(direct.speed) &&
                              bitsOf(block->states()) == bitsOf(direct.states());
            if (!same) ++mismatches;
            EXPECT_TRUE(same) << (block == &byFlags ? "flags" : "periodic") << " block differs at step " << k;
        }
    }
    EXPECT_EQ(byFlags.runFlags(), direct.runFlags());
    EXPECT_EQ(periodic.runFlags(), direct.runFlags());
    // The trace reached every branch of the angle wrap.
    EXPECT_EQ(direct.runFlags(), (std::array<int8_t, 3>{2, 2, 2}));

    ASSERT_TRUE(byFlags.terminate().ok);
    ASSERT_TRUE(byFlags.cleanup().ok);
}

TEST_F(EngineTest, ResetReturnsTheStatesToTheirInitialValues) {
    const std::vector<Inputs> trace = inputTrace();
    subhost::Block block(module());
    ASSERT_TRUE(block.setUp().ok);
    for (int k = 0; k < 500; ++k) {
        feed(block, trace[k]);
        ASSERT_TRUE(block.periodicOutputUpdate(0).ok);
    }
    const auto flags = block.runFlags();
    ASSERT_TRUE(block.reset().ok);
    EXPECT_EQ(bitsOf(block.states()), (std::array<uint32_t, 7>{}));
    EXPECT_EQ(block.runFlags(), flags);
}

// The module copied under another name loads as a second, separate image.
std::string secondModuleCopy() {
    const std::filesystem::path copy = std::filesystem::temp_directory_path() /
                                       ("Quarlin_msp_second_" + std::to_string(::getpid()) + ".mexa64");
    std::filesystem::copy_file(modulePath(), copy, std::filesystem::copy_options::overwrite_existing);
    return copy.string();
}

TEST_F(EngineTest, SnapshotRestoredInASecondEngineContinuesIdentically) {
    const std::vector<Inputs> trace = inputTrace();
    constexpr int kSnapshotAt = 5000;
    subhost::Block first(module());
    ASSERT_TRUE(first.setUp().ok);
    for (int k = 0; k < kSnapshotAt; ++k) {
        feed(first, trace[k]);
        ASSERT_TRUE(first.outputs().ok);
        ASSERT_TRUE(first.update().ok);
    }
    first.record()->tNext = 0.5001;
    first.record()->tNextTid = -1;
    subhost::ArrayPtr taken;
    ASSERT_TRUE(first.saveSimState(taken).ok);
    ASSERT_NE(taken, nullptr);
    // What the host keeps is a copy; the block's tree goes away.
    subhost::ArrayPtr kept(mxDuplicateArray_800(taken.get()));
    subhost_mx_release(kept.get());
    taken.reset();
    const auto statesAtSnapshot = first.states();
    const auto flagsAtSnapshot = first.runFlags();

    const std::string path = secondModuleCopy();
    {
        subhost::Module second(path);
        ASSERT_TRUE(second.loaded()) << second.error();
        subhost::Block resumed(second);
        ASSERT_TRUE(resumed.setUp().ok);
        ASSERT_TRUE(resumed.restoreSimState(kept.get()).ok);
        EXPECT_EQ(bitsOf(resumed.states()), bitsOf(statesAtSnapshot));
        EXPECT_EQ(resumed.runFlags(), flagsAtSnapshot);
        EXPECT_EQ(bits(resumed.record()->tNext), bits(0.5001));
        EXPECT_EQ(resumed.record()->tNextTid, -1);

        int mismatches = 0;
        for (int k = kSnapshotAt; k < kSteps && mismatches < 5; ++k) {
            feed(first, trace[k]);
            feed(resumed, trace[k]);
            ASSERT_TRUE(first.outputs().ok);
            ASSERT_TRUE(first.update().ok);
            ASSERT_TRUE(resumed.outputs().ok);
            ASSERT_TRUE(resumed.update().ok);
            const bool same = bits(first.output(0)) == bits(resumed.output(0)) &&
                              bits(first.output(1)) == bits(resumed.output(1)) &&
                              bitsOf(first.states()) == bitsOf(resumed.states());
            if (!same) ++mismatches;
            EXPECT_TRUE(same) << "step " << k;
        }
        EXPECT_EQ(first.runFlags(), resumed.runFlags());
    }
    std::filesystem::remove(path);
}

}  // namespace
}  // namespace engine_test
