// A snapshot file: the block's simulation-state tree exactly as the block
// made it, and what the simulator needs to resume a run from it.
//
// MAT variables:
//   snapshot  the block's tree (structs, uint8 byte rows, double scalars,
//             empty fields), field names as the block gave them
//   resume    struct: format ("quarlin-sim snapshot 1"), step (steps done),
//             state_checksum (the block's four checksum words, 1x4 double),
//             source ("pmsm" or "csv"); for "pmsm" also phase (the
//             scenario's unwrapped electrical angle) and the scenario's
//             rpm, ramp, hold, psi, iq, phi0; for "csv" input_digest (the
//             digest of the input rows that fed the saved steps); last, digest: 16 hex digits
//             of a 64-bit FNV-1a hash over both variables (digest left
//             out), so that a damaged value is found before it is restored
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "csv_input.h"
#include "scenario.h"
#include "tree.h"

namespace quarlin_sim {

inline constexpr const char* kSnapshotFormat = "quarlin-sim snapshot 1";

enum class InputSource { pmsm, csv };

struct ResumeInfo {
    uint64_t step = 0;
    std::array<uint32_t, 4> stateChecksum{};
    InputSource source = InputSource::pmsm;
    PmsmParams params;   // pmsm only
    double phase = 0.0;  // pmsm only
    std::string inputDigest;  // csv only: inputDigest() of the rows before `step`
};

// 16 hex digits of a 64-bit FNV-1a hash of the first `rows` input rows.
std::string inputDigest(const InputTable& input, uint64_t rows);

// The same digest over rows given one at a time: after n rows, hex() is
// inputDigest of those n rows.
class InputDigest {
public:
    void add(const InputSample& row);
    std::string hex() const;

private:
    uint64_t hash_ = 0xCBF29CE484222325ull;
};

struct SnapshotFile {
    Node snapshot;
    ResumeInfo resume;
};

// The digest of a snapshot file's two variables, `resume` without its
// digest field.
std::string snapshotDigest(const Node& snapshot, const Node& resume);

void writeSnapshotFile(const std::string& path, const SnapshotFile& file);
// Throws a Failure, naming the file, when it is missing, damaged, not a
// snapshot of this program, or carries values no run could have saved.
SnapshotFile readSnapshotFile(const std::string& path);

}  // namespace quarlin_sim
