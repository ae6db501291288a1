// Many blocks in one engine, stepped round robin through the engine's calls
// on the default scenario's inputs (block b takes the trace from step b on):
// the cost of one block's step and the heap each block holds.
#include <malloc.h>

#include <cmath>
#include <vector>

#include "bench_module.h"
#include "step_kernels.h"

namespace {

void BM_RoundRobin(benchmark::State& state) {
    const auto count = static_cast<size_t>(state.range(0));
    const quarlin_sim::StepTrace& trace = quarlin_sim::defaultTrace();
    const size_t heapBefore = mallinfo2().uordblks;
    std::vector<subhost::Block> blocks;
    blocks.reserve(count);
    for (size_t b = 0; b < count; ++b) {
        blocks.emplace_back(benchModule());
        if (!blocks.back().setUp()) {
            state.SkipWithError("a block failed to set up");
            return;
        }
    }
    const size_t heapAfter = mallinfo2().uordblks;

    size_t k = 0;
    bool ok = true;
    for (auto _ : state) {
        for (size_t b = 0; b < count; ++b) {
            const quarlin_sim::InputSample& in = trace.inputs[(k + b) % trace.inputs.size()];
            for (int port = 0; port < 4; ++port) blocks[b].setInput(port, in[port]);
            ok = blocks[b].outputs(0).ok && blocks[b].update().ok && ok;
        }
        k = k + 1 == trace.inputs.size() ? 0 : k + 1;
    }
    if (!ok) state.SkipWithError("a step reported an error");
    if (!std::isfinite(blocks.back().output(0))) state.SkipWithError("the estimates left the finite range");
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(count));
    state.counters["heap_bytes_per_block"] = static_cast<double>(heapAfter - heapBefore) / count;
    state.counters["time_per_block_step"] = benchmark::Counter(
        static_cast<double>(count), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_RoundRobin)->Arg(1)->Arg(100)->Arg(10000)->Unit(benchmark::kMicrosecond);

}  // namespace
