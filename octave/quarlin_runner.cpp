#include "quarlin_runner.h"

#include <cstdint>
#include <string>

#include "bridge/bridge_control.h"
#include "subhost/control.h"
#include "subhost/engine.h"

namespace quarlin_octave {
namespace {

static_assert(kStateCount == subhost::kNumStates);

RunFailure failure(const char* id, const std::string& what, const subhost::CallResult& result) {
    return {id, what + ": " + result.describe()};
}

constexpr int kDeepestSnapshot = 16;

bool isEmptyField(const mxArray* a) { return a == nullptr || mxGetNumberOfElements_800(a) == 0; }

std::string dimsOf(const mxArray* a) {
    return std::to_string(mxGetM_800(a)) + "x" + std::to_string(mxGetN_800(a));
}

// Where `given` differs in shape from the block's own snapshot `own`: field
// names and their order, classes and sizes; values are not compared.  The
// block finds fields by their number alone, so a tree of another build (other
// state names) or with its fields reordered would otherwise restore into the
// wrong states.
std::optional<std::string> shapeDifference(const mxArray* own, const mxArray* given, const std::string& path,
                                           int depth = 0) {
    if (isEmptyField(own)) {
        if (isEmptyField(given)) return std::nullopt;
        return path + " is " + dimsOf(given) + ", expected an empty field";
    }
    if (given == nullptr) return path + " is missing";
    if (depth > kDeepestSnapshot) return path + " is nested too deeply";
    if (mxGetClassID_800(own) != mxGetClassID_800(given) || mxIsComplex_800(given))
        return path + " is of another class than the block's own";
    if (mxGetM_800(own) != mxGetM_800(given) || mxGetN_800(own) != mxGetN_800(given))
        return path + " is " + dimsOf(given) + ", expected " + dimsOf(own);
    const int32_t fields = mxGetNumberOfFields_800(own);
    if (fields != mxGetNumberOfFields_800(given))
        return path + " has " + std::to_string(mxGetNumberOfFields_800(given)) + " fields, expected " +
               std::to_string(fields);
    for (int32_t i = 0; i < fields; ++i) {
        const std::string name = mxGetFieldNameByNumber_800(own, i);
        const char* givenName = mxGetFieldNameByNumber_800(given, i);
        if (givenName == nullptr || name != givenName)
            return path + " field " + std::to_string(i + 1) + " is " + (givenName ? givenName : "?") +
                   ", expected " + name;
        auto d = shapeDifference(mxGetFieldByNumber_800(own, 0, i), mxGetFieldByNumber_800(given, 0, i),
                                 path + "." + name, depth + 1);
        if (d) return d;
    }
    return std::nullopt;
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
        subhost::ArrayPtr own;
        if (auto saved = block.saveSimState(own); !saved || !own)
            return failure("quarlin:hostFailure", "the block failed to save its state", saved);
        const auto* snapshot = static_cast<const mxArray*>(request.snapshot);
        if (auto difference = shapeDifference(own.get(), snapshot, "snap"))
            return RunFailure{"quarlin:snapshotMismatch", "snap is not a snapshot of this block: " + *difference};
        auto restored = block.restoreSimState(snapshot);
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
