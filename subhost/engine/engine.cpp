#include "subhost/engine.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <utility>

#include "data_map_view.h"
#include "module_loader.h"
#include "subhost/control.h"

namespace subhost {
namespace {

constexpr int32_t kCommandLineFlag = 0;

// A double made in the current scope and taken out of it; the caller
// destroys it.
mxArray* ownedScalar(double value) {
    mxArray* array = mxCreateDoubleScalar_800(value);
    subhost_mx_release(array);
    return array;
}

HostArg argOf(const mxArray* value) {
    HostArg arg;
    if (value != nullptr && mxIsChar_800(value)) {
        arg.isText = true;
        const char* text = subhost_mx_string(value);
        arg.text = text != nullptr ? text : "";
    } else if (value != nullptr && mxGetNumberOfElements_800(value) > 0) {
        arg.number = mxGetScalar_800(value);
    }
    return arg;
}

HostErrorInfo hostErrorOf(const mxArray* message) {
    HostErrorInfo info;
    if (message == nullptr || !subhost_message_is(message)) return info;
    const char* id = subhost_message_id(message);
    info.id = id != nullptr ? id : "";
    const int32_t count = subhost_message_argCount(message);
    for (int32_t i = 0; i < count; ++i) info.args.push_back(argOf(subhost_message_arg(message, i)));
    return info;
}

// An error slot as text: the text itself, or the ID of a diagnostic object
// the host made.
std::string statusText(const char* status, bool isDiagnostic) {
    if (status == nullptr) return {};
    if (!isDiagnostic) return status;
    const char* id = subhost_slmr_isDiagnostic(status) ? subhost_slmr_diagnosticId(status) : nullptr;
    return std::string("diagnostic object ") + (id != nullptr ? id : "");
}

// The host starts every method with clean error slots, so that what a call
// reports is what that call set.
void clearErrorSlots(SimStruct* S) {
    SimStruct* root = ssRoot(S);
    root->errorStatus = nullptr;
    if (root->blockInfo != nullptr) root->blockInfo->errorStatusIsDiagnostic = 0;
    S->localErrorStatus = nullptr;
    S->localErrorStatusIsDiagnostic = 0;
}

bool errorSlotSet(SimStruct* S) { return ssRoot(S)->errorStatus != nullptr || S->localErrorStatus != nullptr; }

void readErrorSlots(SimStruct* S, CallResult& result) {
    SimStruct* root = ssRoot(S);
    result.errorStatus = statusText(root->errorStatus,
                                    root->blockInfo != nullptr && root->blockInfo->errorStatusIsDiagnostic);
    result.localErrorStatus = statusText(S->localErrorStatus, S->localErrorStatusIsDiagnostic != 0);
    if (!result.errorStatus.empty() || !result.localErrorStatus.empty()) result.ok = false;
}

CallResult refused(std::string why) {
    CallResult result;
    result.ok = false;
    result.engineError = std::move(why);
    return result;
}

template <typename Entry>
void trampoline(void* context) {
    (*static_cast<Entry*>(context))();
}

// One entry call into the module: its own array scope and guard, so that a
// host error ends the call and comes back as a value.  Arrays the call makes
// are freed with the scope, except `*keep` when the call left one there,
// which the caller then owns.  `S` (may be null) is the record whose error
// slots the call reports in.
template <typename Entry>
CallResult enter(Entry& entry, SimStruct* S, mxArray** keep = nullptr) {
    if (S != nullptr) clearErrorSlots(S);
    CallResult result;
    subhost_mx_beginScope();
    const int32_t ended = subhost_mex_guard(&trampoline<Entry>, &entry);
    if (ended != 0) {
        result.ok = false;
        result.hostError = hostErrorOf(subhost_mex_lastError());
    }
    if (keep != nullptr && *keep != nullptr) subhost_mx_release(*keep);
    subhost_mx_endScope();
    if (S != nullptr && errorSlotSet(S)) readErrorSlots(S, result);
    return result;
}

std::string describeArgs(const std::vector<HostArg>& args) {
    std::string text;
    for (const HostArg& arg : args) {
        if (!text.empty()) text += ", ";
        if (arg.isText) {
            text += '"' + arg.text + '"';
        } else {
            char number[32];
            std::snprintf(number, sizeof number, "%.17g", arg.number);
            text += number;
        }
    }
    return text;
}

}  // namespace

// ---------------------------------------------------------------------------

void ArrayDeleter::operator()(mxArray* array) const { mxDestroyArray_800(array); }

std::string CallResult::describe() const {
    if (hostError) return "host error " + hostError->id + " (" + describeArgs(hostError->args) + ")";
    if (!engineError.empty()) return engineError;
    if (!errorStatus.empty()) return errorStatus;
    if (!localErrorStatus.empty()) return localErrorStatus;
    return "ok";
}

// ---------------------------------------------------------------------------
// Module

Module::Module(std::string path) : path_(std::move(path)) {
    handle_ = loader::open(path_, error_);
    if (handle_ == nullptr) return;
    auto version = reinterpret_cast<MexApiVersionFn>(loader::symbol(handle_, "mexfilerequiredapiversion"));
    auto entry = reinterpret_cast<MexFunctionFn>(loader::symbol(handle_, "mexFunction"));
    if (version == nullptr) {
        error_ = path_ + " does not export mexfilerequiredapiversion";
        return;
    }
    if (entry == nullptr) {
        error_ = path_ + " does not export mexFunction";
        return;
    }
    version(&releaseStamp_, &interfaceVersion_);
    if (interfaceVersion_ != kRequiredInterfaceVersion) {
        error_ = path_ + " was built for interface version " + std::to_string(interfaceVersion_) +
                 ", this host provides " + std::to_string(kRequiredInterfaceVersion);
        return;
    }
    entry_ = entry;
}

Module::~Module() {
    if (handle_ != nullptr) loader::close(handle_);
}

// ---------------------------------------------------------------------------
// Command-line calls

CallResult commandLineCall(Module& module, int32_t nlhs, std::span<const mxArray* const> prhs,
                           ArrayPtr* result) {
    if (!module.loaded()) return refused("module not loaded: " + module.error());
    mxArray* plhs[1] = {nullptr};
    std::vector<const mxArray*> arguments(prhs.begin(), prhs.end());
    MexFunctionFn mexFunction = module.mexFunction();
    auto entry = [&] {
        mexFunction(nlhs, plhs, static_cast<int32_t>(arguments.size()), arguments.data());
    };
    CallResult call = enter(entry, nullptr, result != nullptr ? &plhs[0] : nullptr);
    if (result != nullptr) result->reset(plhs[0]);
    return call;
}

namespace {

// The 40 sizes of a command-line result column.
bool readSizes(const mxArray* column, std::array<double, sizes_index::count>& sizes) {
    if (column == nullptr || mxGetClassID_800(column) != mx_class::doubleClass ||
        mxGetNumberOfElements_800(column) != sizes.size())
        return false;
    std::memcpy(sizes.data(), mxGetPr_800(column), sizeof(double) * sizes.size());
    return true;
}

// A command-line call with flag 0 and `handle` (or an empty array) in the
// record slot; the sizes of its result.
SizesResult sizesCall(Module& module, const mxArray* handle) {
    SizesResult out;
    subhost_mx_beginScope();
    mxArray* empty = mxCreateDoubleMatrix_800(0, 0, mxREAL);
    mxArray* flagZero = mxCreateDoubleScalar_800(kCommandLineFlag);
    const mxArray* prhs[4] = {empty, handle != nullptr ? handle : empty, empty, flagZero};
    ArrayPtr column;
    out.call = commandLineCall(module, 1, prhs, &column);
    subhost_mx_endScope();
    if (out.call.hostError || !out.call.engineError.empty()) return out;
    if (!readSizes(column.get(), out.sizes)) {
        out.call.ok = false;
        out.call.engineError = "the module answered without a 40-element column of sizes";
    }
    return out;
}

}  // namespace

SizesResult sizesQuery(Module& module) { return sizesCall(module, nullptr); }

mxArray* makeRecordHandle(uintptr_t address, double mark) {
    mxArray* handle = mxCreateDoubleMatrix_800(3, 1, mxREAL);
    double* h = mxGetPr_800(handle);
    h[0] = static_cast<int32_t>(static_cast<uint32_t>(address));
    h[1] = static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(address) >> 32));
    h[2] = mark;
    return handle;
}

// ---------------------------------------------------------------------------
// Block

struct Block::Impl {
    Module* module = nullptr;
    std::unique_ptr<HostRecord> host;
    // The host-call arguments, made once and kept from call to call: only
    // the flag array's element is rewritten.
    mxArray* flagArray = nullptr;
    double* flagSlot = nullptr;
    mxArray* plhs[2] = {nullptr, nullptr};
    const mxArray* prhs[host_call::nrhs] = {nullptr, nullptr, nullptr, nullptr};

    bool bound = false;
    bool setUp = false;
    std::array<double, sizes_index::count> sizes{};
    MdlMethod systemInitialize = nullptr;
    MdlMethod systemReset = nullptr;
    MdlTidMethod periodicOutputUpdate = nullptr;
    const void* dataMap = nullptr;

    SimStruct* S() { return host->S(); }
    bool hasWorkMemory() { return S()->dWorks != nullptr && S()->dWorks[0].data != nullptr; }

    CallResult call(double flagValue, int32_t callArg, mxArray** keep = nullptr);
    CallResult step(double flagValue, int32_t callArg);
    template <typename Method, typename... Args>
    CallResult registered(Method method, const char* what, Args... args);

    ~Impl() { mxDestroyArray_800(flagArray); }
};

Block::Block(Module& module, HostRecordOptions options) : impl_(std::make_unique<Impl>()) {
    impl_->module = &module;
    impl_->host = std::make_unique<HostRecord>(std::move(options));
    impl_->flagArray = ownedScalar(0.0);
    impl_->flagSlot = mxGetPr_800(impl_->flagArray);
    impl_->plhs[host_call::recordSlot] = reinterpret_cast<mxArray*>(impl_->S());
    impl_->prhs[host_call::flagArgument] = impl_->flagArray;
}

// A block that goes out of scope set up is terminated first, as a host ends
// every simulation it started.
Block::~Block() {
    if (impl_ != nullptr && impl_->setUp) impl_->call(flag::terminate, 0);
}
Block::Block(Block&&) noexcept = default;
Block& Block::operator=(Block&&) noexcept = default;

SimStruct* Block::record() { return impl_->S(); }
HostRecord& Block::host() { return *impl_->host; }
bool Block::bound() const { return impl_->bound; }
const std::array<double, sizes_index::count>& Block::boundSizes() const { return impl_->sizes; }
const void* Block::dataMap() const { return impl_->dataMap; }

std::vector<StateDescription> Block::stateDescriptions() const {
    std::vector<StateDescription> out;
    const void* map = impl_->dataMap;
    if (map == nullptr) return out;
    const uint32_t count = data_map::stateCount(map);
    for (uint32_t r = 0; r < count; ++r) {
        const data_map::StateRow row = data_map::stateRow(map, r);
        out.push_back({row.addressIndex, row.blockPath, row.name, row.hostTypeId, row.byteSize});
    }
    return out;
}

CallResult Block::bind() {
    Impl& b = *impl_;
    if (!b.module->loaded()) return refused("module not loaded: " + b.module->error());
    SimStruct* S = b.S();
    // Registration declares the DWork anew; an instance set up before lives
    // in memory the record no longer holds.
    b.setUp = false;
    b.dataMap = nullptr;

    subhost_mx_beginScope();
    SizesResult answer = sizesCall(*b.module, makeRecordHandle(reinterpret_cast<uintptr_t>(S)));
    subhost_mx_endScope();
    if (!answer.call.ok) return answer.call;

    b.sizes = answer.sizes;
    b.bound = true;
    b.systemInitialize = subhost_slmr_systemInitializeMethod(S);
    b.systemReset = subhost_slmr_systemResetMethod(S);
    b.periodicOutputUpdate = subhost_slmr_periodicOutputUpdateMethod(S);

    // The work memory of DWork 0: its width times the size registration gave
    // its data type.
    if (S->dWorks != nullptr && S->dWorks[0].data == nullptr) {
        const DWorkRecord& dwork = S->dWorks[0];
        size_t elementSize = 0;
        for (const auto& [id, size] : b.host->dataTypeSizeCalls) {
            if (id == dwork.dataTypeId) elementSize = static_cast<size_t>(size);
        }
        if (dwork.width > 0 && elementSize > 0) b.host->giveDWork(static_cast<size_t>(dwork.width) * elementSize);
    }
    return answer.call;
}

CallResult Block::Impl::call(double flagValue, int32_t callArg, mxArray** keep) {
    if (!bound) return refused("host call on a block that is not bound");
    // Methods that reach the instance in the work memory run only once the
    // run-time resources are set up; setting them up needs the work memory.
    const double method = std::trunc(flagValue);
    const bool needsInstance = method == flag::outputs || method == flag::update ||
                               method == flag::terminate || method == flag::getSimState ||
                               method == flag::setSimState;
    if (needsInstance && !setUp) return refused("host call on a block that is not set up");
    if (method == flag::setupRuntimeResources && !hasWorkMemory())
        return refused("the block declared no work memory to set up");

    SimStruct* record = S();
    *flagSlot = flagValue;
    record->sizes[sizes_index::callArg] = callArg;
    MexFunctionFn mexFunction = module->mexFunction();
    auto entry = [&] { mexFunction(host_call::nlhs, plhs, host_call::nrhs, prhs); };
    CallResult result = enter(entry, record, keep);
    if (method == flag::setupRuntimeResources && !result.hostError) {
        setUp = true;
        dataMap = host->keptDataMap;
    }
    // A terminated instance is done: stepping it again needs a new set-up.
    if (method == flag::terminate) setUp = false;
    return result;
}

// The output and update calls of every step: a set-up block, the kept
// arguments, and nothing to classify.
CallResult Block::Impl::step(double flagValue, int32_t callArg) {
    if (!setUp) return refused("host call on a block that is not set up");
    SimStruct* record = S();
    *flagSlot = flagValue;
    record->sizes[sizes_index::callArg] = callArg;
    const MexFunctionFn mexFunction = module->mexFunction();
    auto entry = [&] { mexFunction(host_call::nlhs, plhs, host_call::nrhs, prhs); };
    return enter(entry, record);
}

template <typename Method, typename... Args>
CallResult Block::Impl::registered(Method method, const char* what, Args... args) {
    if (!setUp) return refused(std::string(what) + " on a block that is not set up");
    if (method == nullptr) return refused(std::string("the block registered no ") + what + " method");
    SimStruct* record = S();
    auto entry = [&] { method(record, args...); };
    return enter(entry, record);
}

CallResult Block::hostCall(double flagValue, int32_t callArg) { return impl_->call(flagValue, callArg); }

CallResult Block::initializeSampleTimes() { return impl_->call(flag::initializeSampleTimes, 0); }
CallResult Block::setWorkWidths() { return impl_->call(flag::setWorkWidths, 0); }
CallResult Block::setupRuntimeResources() { return impl_->call(flag::setupRuntimeResources, 0); }
CallResult Block::start() { return impl_->call(flag::start, 0); }
CallResult Block::outputs(int32_t tid) { return impl_->step(flag::outputs, tid); }
CallResult Block::update() { return impl_->step(flag::update, 0); }
CallResult Block::terminate() { return impl_->call(flag::terminate, 0); }
CallResult Block::cleanup() { return impl_->call(flag::cleanupRuntimeResources, 0); }

CallResult Block::initializeConditions() {
    return impl_->registered(impl_->systemInitialize, "system-initialize");
}

CallResult Block::reset() { return impl_->registered(impl_->systemReset, "system-reset"); }

CallResult Block::periodicOutputUpdate(int32_t tid) {
    return impl_->registered(impl_->periodicOutputUpdate, "periodic output-update", tid);
}

CallResult Block::setUp() {
    if (!impl_->bound) {
        CallResult bound = bind();
        if (!bound.ok) return bound;
    }
    CallResult (Block::*const steps[])() = {&Block::initializeSampleTimes, &Block::setWorkWidths,
                                            &Block::setupRuntimeResources, &Block::start,
                                            &Block::initializeConditions};
    CallResult result;
    for (auto step : steps) {
        result = (this->*step)();
        if (!result.ok) break;
    }
    return result;
}

CallResult Block::saveSimState(ArrayPtr& snapshot) {
    BlockInfo* info = impl_->S()->blockInfo;
    mxArray* slot = nullptr;
    info->callPtrValue = &slot;
    CallResult result = impl_->call(flag::getSimState, 0, &slot);
    info->callPtrValue = nullptr;
    snapshot.reset(slot);
    return result;
}

CallResult Block::restoreSimState(const mxArray* snapshot) {
    if (snapshot == nullptr) return refused("no snapshot to restore");
    BlockInfo* info = impl_->S()->blockInfo;
    info->callPtrValue = const_cast<mxArray*>(snapshot);
    CallResult result = impl_->call(flag::setSimState, 0);
    info->callPtrValue = nullptr;
    return result;
}

void Block::setInput(int port, float value) { impl_->host->setInput(port, value); }
float Block::output(int port) const { return impl_->host->output(port); }

std::array<float, kNumStates> Block::states() const {
    std::array<float, kNumStates> states{};
    if (impl_->dataMap == nullptr || !data_map::readStates(impl_->dataMap, states.data(), states.size()))
        states.fill(0.0f);
    return states;
}

std::array<int8_t, kNumRunFlags> Block::runFlags() const {
    std::array<int8_t, kNumRunFlags> flags{};
    if (impl_->dataMap != nullptr) data_map::readRunFlags(impl_->dataMap, flags.data(), flags.size());
    return flags;
}

std::vector<SampleTime> Block::sampleTimes() const {
    const SimStruct* S = impl_->host->S();
    std::vector<SampleTime> times;
    if (S->samplePeriods == nullptr || S->sampleOffsets == nullptr) return times;
    for (int32_t i = 0; i < S->sizes[sizes_index::numSampleTimes]; ++i)
        times.push_back({S->samplePeriods[i], S->sampleOffsets[i]});
    return times;
}

}  // namespace subhost
