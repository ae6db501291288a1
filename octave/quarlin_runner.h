// One run of a fresh block of the module through the host engine, as
// quarlin_run drives it.  Plain types only: the host's arrays are passed as
// untyped pointers, so that the Octave side and the engine side each see
// them through their own declarations.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

namespace quarlin_octave {

struct RunRequest {
    std::string modulePath;
    // Inputs, `steps` rows by 4 columns, column-major.
    const float* inputs = nullptr;
    size_t steps = 0;
    // A snapshot tree to restore before the first step, or null.
    const void* snapshot = nullptr;
    // Outputs: `steps` × 2 and, when not null, states `steps` × 7; column-major.
    float* outputs = nullptr;
    float* states = nullptr;
    // When set, receives the block's snapshot tree after the last step; the
    // caller owns it.
    void** snapshotOut = nullptr;
};

struct RunFailure {
    std::string id;  // "quarlin:..."
    std::string text;
};

inline constexpr int kInputCount = 4;
inline constexpr int kOutputCount = 2;
inline constexpr int kStateCount = 7;

// Runs the block; nothing of the engine is held when it returns.
std::optional<RunFailure> runBlock(const RunRequest& request);

}  // namespace quarlin_octave
