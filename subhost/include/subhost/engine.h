// The host engine: what the simulation host does with a block module.
//
// It loads a module by its path, checks the interface version the module was
// built for, makes a host-owned record per block, binds it through the
// module's command-line entry and then drives the block's whole life through
// mexFunction and the three methods that registration hands over.  Every call
// runs inside its own array scope and entry guard, so a host error raised by
// the module comes back as a value, never as a jump out of the engine.
//
// The engine knows nothing of the module's sources: the data map it reads is
// the exchanged layout the host knows.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "host/simstruc.h"
#include "subhost/host_record.h"

namespace subhost {

// How the host calls mexFunction for a block method: nlhs -1, four
// arguments, the record in result slot 1 and the method flag, a double, in
// argument 3.
namespace host_call {
inline constexpr int32_t nlhs = -1;
inline constexpr int32_t nrhs = 4;
inline constexpr int recordSlot = 1;
inline constexpr int flagArgument = 3;
}  // namespace host_call

// Method flags of the host calls.
namespace flag {
inline constexpr double initializeSampleTimes = 101;
inline constexpr double outputs = 104;
inline constexpr double update = 105;
inline constexpr double terminate = 107;
inline constexpr double setWorkWidths = 111;
inline constexpr double start = 117;
inline constexpr double getSimState = 144;
inline constexpr double setSimState = 145;
inline constexpr double setupRuntimeResources = 151;
inline constexpr double cleanupRuntimeResources = 152;
}  // namespace flag

using MexFunctionFn = void (*)(int32_t nlhs, mxArray* plhs[], int32_t nrhs, const mxArray* prhs[]);
using MexApiVersionFn = void (*)(uint32_t* releaseStamp, uint32_t* interfaceVersion);

// The host's array and extension interface; a module built for another is
// refused at load.
inline constexpr uint32_t kRequiredInterfaceVersion = 134217728;
// Third element of a record handle.
inline constexpr double kRecordHandleMark = 8480229.0;

// Frees a host array with mxDestroyArray_800.
struct ArrayDeleter {
    void operator()(mxArray* array) const;
};
using ArrayPtr = std::unique_ptr<mxArray, ArrayDeleter>;

// ---------------------------------------------------------------------------
// A loaded module.  Blocks made on it must not outlive it.

class Module {
public:
    // Loads the module at `path`.  On failure loaded() is false and error()
    // tells why (file not loadable, export missing, wrong interface version).
    explicit Module(std::string path);
    ~Module();
    Module(const Module&) = delete;
    Module& operator=(const Module&) = delete;

    bool loaded() const { return entry_ != nullptr; }
    const std::string& error() const { return error_; }
    const std::string& path() const { return path_; }
    uint32_t releaseStamp() const { return releaseStamp_; }
    uint32_t interfaceVersion() const { return interfaceVersion_; }
    MexFunctionFn mexFunction() const { return entry_; }

private:
    std::string path_;
    std::string error_;
    void* handle_ = nullptr;
    MexFunctionFn entry_ = nullptr;
    uint32_t releaseStamp_ = 0;
    uint32_t interfaceVersion_ = 0;
};

// ---------------------------------------------------------------------------
// Outcome of one call into the module.

// One argument of a host message: a text, or a number (the first element of
// a numeric argument).
struct HostArg {
    bool isText = false;
    std::string text;
    double number = 0.0;
};

// The message of a host error that ended a call.
struct HostErrorInfo {
    std::string id;
    std::vector<HostArg> args;
};

// The engine clears the record's error slots before every call, as the host
// does before it runs a method, so a result shows what that call reported.
struct CallResult {
    // True when no host error ended the call, the engine refused nothing and
    // the block left both error slots empty.
    bool ok = true;
    std::optional<HostErrorInfo> hostError;
    std::string errorStatus;       // root record's error status after the call
    std::string localErrorStatus;  // the record's own
    std::string engineError;       // what the engine itself refused, e.g. a missing method

    explicit operator bool() const { return ok; }
    // One line for people: the first of host error, engine error, error statuses.
    std::string describe() const;
};

// A raw command-line call: mexFunction(nlhs, plhs, prhs.size(), prhs).
// `result` receives plhs[0] (owned) when the call made one.
CallResult commandLineCall(Module& module, int32_t nlhs, std::span<const mxArray* const> prhs,
                           ArrayPtr* result = nullptr);

// The sizes query: a command-line call with four arguments and flag 0, and
// no record; `sizes` holds the 40 elements of the result column.
struct SizesResult {
    CallResult call;
    std::array<double, sizes_index::count> sizes{};
};
SizesResult sizesQuery(Module& module);

// A record handle [lo; hi; mark] in the current array scope: each half of
// the address as a signed 32-bit integer, low half first.
mxArray* makeRecordHandle(uintptr_t address, double mark = kRecordHandleMark);

// ---------------------------------------------------------------------------
// One block instance: its host-owned record and the methods registered on it.

struct SampleTime {
    double period = 0.0;
    double offset = 0.0;
};

inline constexpr int kNumStates = 7;
inline constexpr int kNumRunFlags = 3;

// One state as the data map lists it.
struct StateDescription {
    uint32_t addressIndex = 0;
    std::string blockPath;
    std::string name;
    int hostTypeId = 0;
    int byteSize = 0;
};

class Block {
public:
    explicit Block(Module& module, HostRecordOptions options = {});
    ~Block();
    Block(const Block&) = delete;
    Block& operator=(const Block&) = delete;
    Block(Block&&) noexcept;
    Block& operator=(Block&&) noexcept;

    SimStruct* record();
    HostRecord& host();

    // The bind: command-line call with the record's handle [lo; hi; 8480229].
    // Afterwards the host gives DWork 0 its memory, sized by what
    // registration declared (width × the size given for its data type).
    CallResult bind();
    bool bound() const;
    // The result column of the last successful bind.
    const std::array<double, sizes_index::count>& boundSizes() const;

    // Set-up, through mexFunction unless noted.
    CallResult initializeSampleTimes();   // flag 101
    CallResult setWorkWidths();           // flag 111
    CallResult setupRuntimeResources();   // flag 151; keeps the data map from service 64
    CallResult start();                   // flag 117
    CallResult initializeConditions();    // the registered system-initialize method
    // Sample times, work widths, run-time resources, start, system
    // initialize; stops at the first call that is not ok.
    CallResult setUp();

    // Steps.
    CallResult outputs(int32_t tid = 0);               // flag 104, callArg = tid
    CallResult update();                               // flag 105
    CallResult periodicOutputUpdate(int32_t tid = 0);  // the registered method
    CallResult reset();                                // the registered system-reset method

    // Snapshot: flag 144 fills `snapshot` with an owned tree; flag 145
    // restores one (not taken over).
    CallResult saveSimState(ArrayPtr& snapshot);
    CallResult restoreSimState(const mxArray* snapshot);

    // Flag 107.  Ends the set-up: a step afterwards is refused until the
    // block is set up again.  A block destroyed while set up is terminated.
    CallResult terminate();
    CallResult cleanup();    // flag 152

    // Any host call: `flag` as the double the host puts in its flag array,
    // `callArg` into sizes[4].
    CallResult hostCall(double flag, int32_t callArg = 0);

    // Signals.
    void setInput(int port, float value);
    float output(int port) const;

    // Through the data map kept at set-up, in the map's row order; all zero
    // before set-up.
    std::array<float, kNumStates> states() const;
    std::array<int8_t, kNumRunFlags> runFlags() const;
    const void* dataMap() const;
    // What the data map says of each state, in its row order.
    std::vector<StateDescription> stateDescriptions() const;

    std::vector<SampleTime> sampleTimes() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace subhost
