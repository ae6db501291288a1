// The simulator's side of the host engine: one loaded module, one block on
// it set up and ready to step, and the block's snapshot as a tree of our
// own.  Every call that the engine reports as not ok becomes a BlockFailure.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "args.h"
#include "failure.h"
#include "subhost/engine.h"
#include "tree.h"

namespace quarlin_sim {

// Where the module lies relative to the program's directory: in the lib
// folder beside it on Linux; in the program's own folder on Windows, where
// a program's DLLs go.
#if defined(_WIN32)
#define QUARLIN_DEFAULT_MODULE "/Quarlin_msp.mexw64"
#define QUARLIN_DEFAULT_MODULE_TEXT "Quarlin_msp.mexw64 beside the program"
#else
#define QUARLIN_DEFAULT_MODULE "/../lib/Quarlin_msp.mexa64"
#define QUARLIN_DEFAULT_MODULE_TEXT "../lib/Quarlin_msp.mexa64 beside the program"
#endif
inline constexpr const char* kDefaultModule = QUARLIN_DEFAULT_MODULE;

// The module beside the program (see kDefaultModule).
std::string defaultModulePath();
// The option of every command that loads the module.
inline constexpr OptionSpec kModuleOption{"--module", "", "PATH",
                                          "the module to load (default: " QUARLIN_DEFAULT_MODULE_TEXT ")"};

// Loads the module at `path`; throws a Failure naming it when that fails.
std::unique_ptr<subhost::Module> loadModule(const std::string& path);

// A call into the block that did not complete: the message for people, and
// the host error that ended the call when one did.
class BlockFailure : public Failure {
public:
    BlockFailure(std::string message, std::optional<subhost::HostErrorInfo> hostError)
        : Failure(std::move(message)), hostError_(std::move(hostError)) {}
    const std::optional<subhost::HostErrorInfo>& hostError() const { return hostError_; }

private:
    std::optional<subhost::HostErrorInfo> hostError_;
};

class HostBlock {
public:
    // Binds a block on the module and sets it up through system initialize.
    // `beforeBind` may prepare the host's record (a service hook, say).
    explicit HostBlock(subhost::Module& module,
                       const std::function<void(subhost::HostRecord&)>& beforeBind = {});
    ~HostBlock();

    subhost::Block& block() { return block_; }

    // One step k: the four inputs, the output method, then the update; the
    // outputs and (between the two) the states and run flags come back.
    struct StepResult {
        std::array<float, 2> outputs;
        std::array<float, subhost::kNumStates> states;
        std::array<int8_t, subhost::kNumRunFlags> runFlags;
    };
    void step(uint64_t k, const std::array<float, 4>& inputs, StepResult& out, bool withStates);

    Node saveSnapshot();
    // Restores `snapshot` after checking that it has the shape of the
    // block's own snapshots; throws a Failure (`source` names the file) when
    // it has not, or a BlockFailure when the block reports an error.
    void restoreSnapshot(const Node& snapshot, const std::string& source);

    // The four words of the block's state checksum, as registered.
    std::array<uint32_t, 4> stateChecksum();

    // Terminate and clean up; reported errors throw.
    void finish();

private:
    subhost::Block block_;
    bool finished_ = false;
};

// The block's simulation-state tree as a Node, and back as host arrays made
// in the current array scope.
Node nodeFromArray(const mxArray* array, const std::string& path);
mxArray* arrayFromNode(const Node& node);

}  // namespace quarlin_sim
