// One snapshot of a stepped block saved (flag 144) and restored (flag 145)
// through the engine, the tree freed in between.
#include "bench_module.h"

namespace {

void BM_SnapshotSaveRestore(benchmark::State& state) {
    subhost::Block block(benchModule());
    if (!block.setUp()) {
        state.SkipWithError("the block failed to set up");
        return;
    }
    block.setInput(0, 1.0F);
    (void)block.outputs(0);
    (void)block.update();
    for (auto _ : state) {
        subhost::ArrayPtr snapshot;
        if (!block.saveSimState(snapshot) || !block.restoreSimState(snapshot.get())) {
            state.SkipWithError("the block refused its own snapshot");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_SnapshotSaveRestore);

}  // namespace
