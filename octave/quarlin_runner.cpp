#include "quarlin_runner.h"

#include <string>

#include "bridge/bridge_control.h"
#include "subhost/engine.h"

namespace quarlin_octave {
namespace {

static_assert(kStateCount == subhost::kNumStates);

RunFailure failure(const char* id, const std::string& what, const subhost::CallResult& result) {
    return {id, what + ": " + result.describe()};
}

// Closes the array scopes that a call abandoned by Octave (an interrupt, an
// allocation that failed) left open, whichever way the run ends.
class ScopeDepthKeeper {
public:
    ScopeDepthKeeper() : depth_(octave_bridge_scopeDepth()) {}
    ~ScopeDepthKeeper() { octave_bridge_closeScopesTo(depth_); }
    ScopeDepthKeeper(const ScopeDepthKeeper&) = delete;
    ScopeDepthKeeper& operator=(const ScopeDepthKeeper&) = delete;

private:
    size_t depth_;
};

}  // namespace

std::optional<RunFailure> runBlock(const RunRequest& request) {
    ScopeDepthKeeper scopes;
    subhost::Module module(request.modulePath);
    if (!module.loaded()) return RunFailure{"quarlin:moduleNotLoaded", module.error()};

    subhost::Block block(module);
    if (auto bound = block.bind(); !bound) return failure("quarlin:hostFailure", "the block refused its bind", bound);
    if (auto ready = block.setUp(); !ready) return failure("quarlin:hostFailure", "the block failed to set up", ready);
    if (request.snapshot != nullptr) {
        // The block judges the tree it is given.
        auto restored = block.restoreSimState(static_cast<const mxArray*>(request.snapshot));
        if (!restored) return failure("quarlin:snapshotRefused", "the block refused the snapshot", restored);
    }

    const size_t n = request.steps;
    for (size_t k = 0; k < n; ++k) {
        for (int port = 0; port < kInputCount; ++port) block.setInput(port, request.inputs[k + n * port]);
        if (auto out = block.outputs(0); !out) return failure("quarlin:hostFailure", "step " + std::to_string(k), out);
        for (int port = 0; port < kOutputCount; ++port) request.outputs[k + n * port] = block.output(port);
        if (request.states != nullptr) {
            const auto states = block.states();
            for (int j = 0; j < kStateCount; ++j) request.states[k + n * j] = states[j];
        }
        if (auto up = block.update(); !up) return failure("quarlin:hostFailure", "step " + std::to_string(k), up);
    }

    if (request.snapshotOut != nullptr) {
        subhost::ArrayPtr tree;
        if (auto saved = block.saveSimState(tree); !saved || !tree)
            return failure("quarlin:hostFailure", "the block failed to save its state", saved);
        *request.snapshotOut = tree.release();
    }
    if (auto ended = block.terminate(); !ended) return failure("quarlin:hostFailure", "the block failed to terminate", ended);
    if (auto cleaned = block.cleanup(); !cleaned) return failure("quarlin:hostFailure", "the block failed to clean up", cleaned);
    return std::nullopt;
}

}  // namespace quarlin_octave
