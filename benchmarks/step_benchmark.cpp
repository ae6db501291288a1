// One step on the default scenario's inputs: the model alone (Quarlin, then
// Quarlin_Update), through mexFunction as the engine drives it (flags 104
// and 105), through the periodic output-update method, through the engine's
// own calls, and the floor under all of them: the host's cosine and sine of
// the same run's angles.
#include <cmath>

#include "bench_module.h"
#include "step_kernels.h"

namespace {

using quarlin_sim::BlockSteps;

constexpr benchmark::IterationCount kBatch = 1000;

template <typename Kernel>
void timeSteps(benchmark::State& state, Kernel& kernel) {
    while (state.KeepRunningBatch(kBatch)) kernel.run(static_cast<size_t>(kBatch));
    state.SetItemsProcessed(state.iterations());
}

void BM_ModelStep(benchmark::State& state) {
    quarlin_sim::ModelSteps kernel;
    timeSteps(state, kernel);
    if (!std::isfinite(kernel.angle()) || !std::isfinite(kernel.speedRpm()))
        state.SkipWithError("the estimates left the finite range");
}
BENCHMARK(BM_ModelStep);

void blockSteps(benchmark::State& state, BlockSteps::Path path) {
    BlockSteps kernel(benchModule(), path);
    timeSteps(state, kernel);
    if (!std::isfinite(kernel.output(0)) || !std::isfinite(kernel.output(1)))
        state.SkipWithError("the estimates left the finite range");
}

void BM_GatewayStep(benchmark::State& state) { blockSteps(state, BlockSteps::Path::mexFunction); }
BENCHMARK(BM_GatewayStep);

void BM_PeriodicStep(benchmark::State& state) { blockSteps(state, BlockSteps::Path::periodic); }
BENCHMARK(BM_PeriodicStep);

void BM_EngineStep(benchmark::State& state) { blockSteps(state, BlockSteps::Path::engine); }
BENCHMARK(BM_EngineStep);

void BM_TrigFloor(benchmark::State& state) {
    quarlin_sim::TrigFloor kernel;
    timeSteps(state, kernel);
    benchmark::DoNotOptimize(kernel.digest());
}
BENCHMARK(BM_TrigFloor);

}  // namespace
