// One observer step (Quarlin, then Quarlin_Update) on the inputs of a
// machine turning at 50 Hz, so that the estimates stay locked and finite.
#include <benchmark/benchmark.h>

#include <array>
#include <cmath>
#include <numbers>

#include "model/Quarlin.h"

namespace {

struct Inputs {
    float iAlpha, iBeta, vAlpha, vBeta;
};

// Ten electrical periods: the trace repeats without a jump in phase.
constexpr int traceLength = 2000;

std::array<Inputs, traceLength> machineTrace() {
    const double Rs = 6.97, L = 0.00535, Ts = 1e-4;
    const double speed = 2.0 * std::numbers::pi * 50.0;  // rad/s, electrical
    const double E = 0.05 * speed;                        // V, back-EMF amplitude
    std::array<Inputs, traceLength> trace{};
    for (int k = 0; k < traceLength; ++k) {
        const double phi = speed * (k * Ts);
        const double iA = 2.0 * std::cos(phi + std::numbers::pi / 2.0);
        const double iB = 2.0 * std::sin(phi + std::numbers::pi / 2.0);
        const double vA = Rs * iA - L * speed * iB - E * std::sin(phi);
        const double vB = Rs * iB + L * speed * iA + E * std::cos(phi);
        trace[k] = {float(iA), float(iB), float(vA), float(vB)};
    }
    return trace;
}

void BM_ObserverStep(benchmark::State& state) {
    const std::array<Inputs, traceLength> trace = machineTrace();
    Quarlin_B rtb{};
    Quarlin_DW rtdw{};
    Quarlin_Init(&rtdw);
    float angle = 0.0F;     // rad
    float speedRpm = 0.0F;  // rpm
    int k = 0;
    for (auto _ : state) {
        const Inputs& in = trace[k];
        k = k + 1 == traceLength ? 0 : k + 1;
        Quarlin(&in.iAlpha, &in.iBeta, &in.vAlpha, &in.vBeta, &angle, &speedRpm, &rtb, &rtdw);
        Quarlin_Update(&rtb, &rtdw);
        benchmark::DoNotOptimize(angle);
        benchmark::DoNotOptimize(speedRpm);
    }
    state.SetItemsProcessed(state.iterations());
    if (!std::isfinite(angle) || !std::isfinite(speedRpm)) {
        state.SkipWithError("the estimates left the finite range");
    }
}
BENCHMARK(BM_ObserverStep);

}  // namespace
