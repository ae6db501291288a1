// Block records made and owned by the substitute host.
//
// The host's own functions in the record (service, port counts, port
// dimensions, DWork count, data-type size, record writers) are static
// trampolines: each finds its HostRecord through the record it is given,
// records the call and answers as the HostRecord is scripted.
#include "subhost/host_record.h"

#include <charconv>
#include <cstddef>
#include <cstring>
#include <mutex>
#include <unordered_map>

#include "subhost/control.h"

namespace subhost {

namespace {

// The pair handed over with service 327: a text and the slot of its id.
struct TextRegistration {
    const char* text;
    int32_t* id;
};

// The model-information registration of service 72; the count sits at byte 16.
constexpr size_t kRegistrationCountOffset = 16;

constexpr int32_t kFirstDataTypeId = 16;  // after the host's built-in types

// Widths and dimension counts beyond these are not real signals (a width of
// 2147483646 means "known only at run time") and get no storage of their own.
constexpr int32_t kMaxBufferedWidth = 1 << 16;
constexpr int32_t kMaxDims = 64;
constexpr int32_t kMaxPorts = 4096;  // more is refused

size_t bufferedWidth(int32_t width) {
    return width >= 1 && width <= kMaxBufferedWidth ? static_cast<size_t>(width) : 1;
}

size_t keptDims(int32_t numDims) {
    return numDims >= 1 ? static_cast<size_t>(numDims < kMaxDims ? numDims : kMaxDims) : 1;
}

struct Registry {
    std::mutex lock;
    std::unordered_map<const SimStruct*, HostRecord*> records;
};

Registry& registry() {
    static Registry* r = new Registry;
    return *r;
}

std::string pointerText(const void* p) {
    if (p == nullptr) return "null";
    char digits[2 * sizeof(void*) + 1] = {};
    auto end = std::to_chars(digits, digits + sizeof(digits) - 1, reinterpret_cast<uintptr_t>(p), 16).ptr;
    return "0x" + std::string(digits, end);
}

std::string textOf(const char* text) { return text != nullptr ? text : "(null)"; }

int32_t readInt32(const void* data, size_t offset = 0) {
    int32_t value = 0;
    std::memcpy(&value, static_cast<const unsigned char*>(data) + offset, sizeof value);
    return value;
}

std::string byteText(const void* data, size_t index = 0) {
    return std::to_string(static_cast<const unsigned char*>(data)[index]);
}

}  // namespace

struct HostRecord::Impl {
    std::string modelName;
    std::string path;
    unsigned char hostExtension = 0;  // only its address is handed out

    std::vector<InputPortRecord> inputs;
    std::vector<OutputPortRecord> outputs;
    std::vector<std::vector<float>> inputSignals;
    std::vector<std::vector<float>> outputSignals;
    std::vector<std::vector<int32_t>> inputCurrentDims;
    std::vector<std::vector<int32_t>> outputCurrentDims;
    std::vector<int32_t*> inputCurrentDimsArea;
    std::vector<int32_t*> outputCurrentDimsArea;

    std::array<double, 2> samplePeriods{};
    std::array<double, 2> sampleOffsets{};

    std::vector<DWorkRecord> dworks;
    std::vector<std::max_align_t> dworkMemory;
    std::vector<int32_t> iWork;
    std::vector<double> rWork;
    std::vector<void*> pWork;
    StatesInfo states{};
    std::vector<double> absTol;
    std::vector<uint8_t> absTolSetByBlock;
    std::array<std::max_align_t, 8> subRecordA{};
    std::array<std::max_align_t, 8> subRecordB{};

    int32_t nextTextId = 0;
    int32_t nextDataTypeId = kFirstDataTypeId;
    int32_t nextBufferId = 0;
    size_t textIdCursor = 0;
    std::map<int32_t, size_t> answerCursor;
};

// ---------------------------------------------------------------------------
// The host's functions in the record.

namespace {

HostRecord* ownerOf(const void* S) { return hostRecordOf(static_cast<SimStruct*>(const_cast<void*>(S))); }

}  // namespace

struct HostRecordAccess {
    static int32_t service(SimStruct* S, int32_t code, int32_t intValue, void* data);
    static int32_t numInputPorts(void* arg, int32_t count);
    static int32_t numOutputPorts(void* arg, int32_t count);
    static int32_t inputDims(SimStruct* S, int32_t port, const DimsInfo* info);
    static int32_t outputDims(SimStruct* S, int32_t port, const DimsInfo* info);
    static int32_t numDWork(SimStruct* S, int32_t count);
    static int32_t dataTypeSize(void* context, int32_t dataTypeId, int32_t byteSize);
    static int32_t text(void* arg, const char* text);
    static int32_t pair(void* arg, int32_t kind, const char* name, const void* value,
                        int32_t dataTypeWord, int32_t rows, int32_t columns);
    static int32_t param(void* arg, int32_t kind, const char* name, const char* text,
                         const void* value, int32_t dataTypeWord, int32_t rows, int32_t columns);

    static int32_t scriptedAnswer(HostRecord& h, int32_t code);
    static int32_t portCount(void* arg, bool input, int32_t count);
    static void makePorts(HostRecord& h, bool input, int32_t count);
    static int32_t portDims(HostRecord& h, bool input, int32_t port, const DimsInfo* info);
    static int32_t valueWriter(void* arg, WriterCall call, const void* value, int32_t kind, const char* name,
                               int32_t dataTypeWord, int32_t rows, int32_t columns);
    static int32_t writerAnswer(HostRecord& h, int32_t fallback);
    static void attachCurrentDims(HostRecord& h, bool input, int port);
};

int32_t HostRecordAccess::scriptedAnswer(HostRecord& h, int32_t code) {
    auto seq = h.answerSequence.find(code);
    if (seq != h.answerSequence.end()) {
        size_t& cursor = h.impl_->answerCursor[code];
        if (cursor < seq->second.size()) return seq->second[cursor++];
    }
    auto fixed = h.answers.find(code);
    return fixed != h.answers.end() ? fixed->second : 1;
}

int32_t HostRecordAccess::service(SimStruct* S, int32_t code, int32_t intValue, void* data) {
    HostRecord* owner = ownerOf(S);
    if (owner == nullptr) return 0;
    HostRecord& h = *owner;
    HostRecord::Impl& impl = *h.impl_;

    // What the module handed over, read before anything is written back.
    std::string summary;
    if (data != nullptr) {
        switch (code) {
            case 106: case 107: summary = std::to_string(readInt32(data)); break;
            case 141: case 197: case 207: summary = byteText(data); break;
            case 142: summary = byteText(data, 0) + " " + byteText(data, 1) + " " + byteText(data, 2); break;
            case 299: case 43: summary = textOf(static_cast<const char*>(data)); break;
            case 74: case 73: summary = textOf(*static_cast<const char* const*>(data)); break;
            case 72: summary = std::to_string(readInt32(data, kRegistrationCountOffset)); break;
            case 64: case 152: case 340: case 363: case 367: summary = pointerText(data); break;
            default: break;
        }
    }
    const size_t index = h.serviceCalls.size();
    h.serviceCalls.push_back({code, intValue, data, summary});
    h.events.push_back({"service " + std::to_string(code) + " " + std::to_string(intValue)});

    if (h.onService) h.onService(S, code, intValue, data);
    const int32_t answer = scriptedAnswer(h, code);

    // Services that write into the module's slot; the summary shows what was written.
    if (data != nullptr) {
        switch (code) {
            case 327: {
                auto* registration = static_cast<TextRegistration*>(data);
                int32_t id = 0;
                if (impl.textIdCursor < h.textIdSequence.size()) {
                    id = h.textIdSequence[impl.textIdCursor++];
                } else {
                    id = h.textIdFixed ? h.textId : impl.nextTextId++;
                }
                if (registration->id != nullptr) *registration->id = id;
                summary = textOf(registration->text) + "→" + std::to_string(id);
                break;
            }
            case 132: {
                const int32_t id = h.dataTypeIdFixed ? h.dataTypeId : impl.nextDataTypeId++;
                std::memcpy(data, &id, sizeof id);
                summary = std::to_string(id);
                break;
            }
            case 42: {
                const int32_t id = impl.nextBufferId++;
                std::memcpy(data, &id, sizeof id);
                summary = std::to_string(id);
                break;
            }
            case 95:
                std::memcpy(data, &h.sysRanBase, sizeof h.sysRanBase);
                summary = pointerText(h.sysRanBase);
                break;
            case 96:
                std::memcpy(data, &h.contextTid, sizeof h.contextTid);
                summary = std::to_string(h.contextTid);
                break;
            case 64: h.keptDataMap = data; break;
            case 152: h.keptSimState = static_cast<const mxArray*>(data); break;
            default: break;
        }
        h.serviceCalls[index].summary = summary;
    }
    return answer;
}

void HostRecordAccess::attachCurrentDims(HostRecord& h, bool input, int port) {
    HostRecord::Impl& impl = *h.impl_;
    auto& dims = input ? impl.inputCurrentDims[port] : impl.outputCurrentDims[port];
    const int32_t numDims = input ? impl.inputs[port].numDims : impl.outputs[port].numDims;
    // The module reads as many sizes as the port has dimensions.
    if (dims.size() < keptDims(numDims)) dims.resize(keptDims(numDims), 1);
    (input ? impl.inputCurrentDimsArea : impl.outputCurrentDimsArea)[port] = dims.data();
}

void HostRecordAccess::makePorts(HostRecord& h, bool input, int32_t count) {
    HostRecord::Impl& impl = *h.impl_;
    SimStruct& S = h.record_;
    const auto n = static_cast<size_t>(count);
    auto& signals = input ? impl.inputSignals : impl.outputSignals;
    auto& current = input ? impl.inputCurrentDims : impl.outputCurrentDims;
    auto& area = input ? impl.inputCurrentDimsArea : impl.outputCurrentDimsArea;
    signals.assign(n, std::vector<float>(1, 0.0f));
    current.assign(n, std::vector<int32_t>(1, 1));
    area.assign(n, nullptr);
    if (input) {
        impl.inputs.assign(n, InputPortRecord{});
        for (size_t k = 0; k < n; ++k) impl.inputs[k].signal = signals[k].data();
        S.inputPorts = n > 0 ? impl.inputs.data() : nullptr;
        S.inputPortCurrentDims = n > 0 ? area.data() : nullptr;
        S.sizes[sizes_index::numInputPorts] = count;
    } else {
        impl.outputs.assign(n, OutputPortRecord{});
        for (size_t k = 0; k < n; ++k) impl.outputs[k].signal = signals[k].data();
        S.outputPorts = n > 0 ? impl.outputs.data() : nullptr;
        S.outputPortCurrentDims = n > 0 ? area.data() : nullptr;
        S.sizes[sizes_index::numOutputPorts] = count;
    }
    for (size_t k = 0; k < n; ++k) attachCurrentDims(h, input, static_cast<int>(k));
}

int32_t HostRecordAccess::portCount(void* arg, bool input, int32_t count) {
    HostRecord* h = ownerOf(arg);
    if (h == nullptr) return 0;
    h->events.push_back({std::string(input ? "numInputPorts " : "numOutputPorts ") + std::to_string(count)});
    const int32_t answer = input ? h->numInputPortsAnswer : h->numOutputPortsAnswer;
    if (answer == 0 || count < 0 || count > kMaxPorts) return 0;
    makePorts(*h, input, count);
    return answer;
}

int32_t HostRecordAccess::numInputPorts(void* arg, int32_t count) { return portCount(arg, true, count); }

int32_t HostRecordAccess::numOutputPorts(void* arg, int32_t count) { return portCount(arg, false, count); }

int32_t HostRecordAccess::portDims(HostRecord& h, bool input, int32_t port, const DimsInfo* info) {
    HostRecord::Impl& impl = *h.impl_;
    PortDimsCall call;
    call.input = input;
    call.port = port;
    if (info != nullptr) {
        call.width = info->width;
        call.numDims = info->numDims;
        if (info->dims != nullptr && info->numDims > 0) call.dims.assign(info->dims, info->dims + keptDims(info->numDims));
        call.reserved = info->reserved;
    }
    h.events.push_back({std::string(input ? "inputDims " : "outputDims ") + std::to_string(port) + " " +
                        std::to_string(call.width)});
    h.dimsCalls.push_back(call);

    int32_t answer = input ? h.inputDimsAnswer : h.outputDimsAnswer;
    if (input) {
        auto it = h.inputDimsAnswerForPort.find(port);
        if (it != h.inputDimsAnswerForPort.end()) answer = it->second;
    }
    const size_t ports = input ? impl.inputs.size() : impl.outputs.size();
    if (answer == 0 || info == nullptr || port < 0 || static_cast<size_t>(port) >= ports) return answer;

    // Taken: the port gets the width, and a signal buffer that holds it.
    auto& buffer = (input ? impl.inputSignals : impl.outputSignals)[port];
    buffer.assign(bufferedWidth(info->width), 0.0f);
    auto& current = (input ? impl.inputCurrentDims : impl.outputCurrentDims)[port];
    current = call.dims.empty() ? std::vector<int32_t>(1, static_cast<int32_t>(bufferedWidth(info->width))) : call.dims;
    if (input) {
        InputPortRecord& p = impl.inputs[port];
        p.width = info->width;
        p.numDims = info->numDims;
        if (p.signal != nullptr) p.signal = buffer.data();
    } else {
        OutputPortRecord& p = impl.outputs[port];
        p.width = info->width;
        p.numDims = info->numDims;
        p.signal = buffer.data();
    }
    attachCurrentDims(h, input, port);
    return answer;
}

int32_t HostRecordAccess::inputDims(SimStruct* S, int32_t port, const DimsInfo* info) {
    HostRecord* h = ownerOf(S);
    return h != nullptr ? portDims(*h, true, port, info) : 0;
}

int32_t HostRecordAccess::outputDims(SimStruct* S, int32_t port, const DimsInfo* info) {
    HostRecord* h = ownerOf(S);
    return h != nullptr ? portDims(*h, false, port, info) : 0;
}

int32_t HostRecordAccess::numDWork(SimStruct* S, int32_t count) {
    HostRecord* h = ownerOf(S);
    if (h == nullptr) return 0;
    h->events.push_back({"numDWork " + std::to_string(count)});
    h->numDWorkCalls.push_back(count);
    if (h->numDWorkAnswer == 0 || count < 0) return 0;
    HostRecord::Impl& impl = *h->impl_;
    impl.dworks.assign(static_cast<size_t>(count), DWorkRecord{});
    h->record_.dWorks = count > 0 ? impl.dworks.data() : nullptr;
    h->record_.numDWork = count;
    return h->numDWorkAnswer;
}

int32_t HostRecordAccess::dataTypeSize(void* context, int32_t dataTypeId, int32_t byteSize) {
    HostRecord* h = ownerOf(context);
    if (h == nullptr) return 0;
    h->events.push_back({"dataTypeSize " + std::to_string(dataTypeId) + " " + std::to_string(byteSize)});
    h->dataTypeSizeCalls.emplace_back(dataTypeId, byteSize);
    return h->dataTypeSizeAnswer;
}

int32_t HostRecordAccess::writerAnswer(HostRecord& h, int32_t fallback) {
    auto it = h.writerAnswerAt.find(h.writerCalls.size() - 1);
    return it != h.writerAnswerAt.end() ? it->second : fallback;
}

int32_t HostRecordAccess::text(void* arg, const char* text) {
    HostRecord* h = ownerOf(arg);
    if (h == nullptr) return 0;
    WriterCall call;
    call.kind = WriterCall::Kind::text;
    call.text = textOf(text);
    h->events.push_back({"text " + call.text});
    h->writerCalls.push_back(std::move(call));
    return writerAnswer(*h, h->textAnswer);
}

// Pair and param calls carry the same value description; `call` comes with
// what is particular to each (its kind, a param's text).
int32_t HostRecordAccess::valueWriter(void* arg, WriterCall call, const void* value, int32_t kind,
                                      const char* name, int32_t dataTypeWord, int32_t rows, int32_t columns) {
    HostRecord* h = ownerOf(arg);
    if (h == nullptr) return 0;
    call.valueKind = kind;
    call.name = textOf(name);
    call.value = value;
    call.dataTypeWord = dataTypeWord;
    call.rows = rows;
    call.columns = columns;
    if (value != nullptr && h->valueBytesToCopy > 0) {
        const auto* bytes = static_cast<const uint8_t*>(value);
        call.valueBytes.assign(bytes, bytes + h->valueBytesToCopy);
    }
    const bool isPair = call.kind == WriterCall::Kind::pair;
    const int32_t fallback = isPair ? h->pairAnswer : h->paramAnswer;
    h->events.push_back({std::string(isPair ? "pair " : "param ") + std::to_string(kind) + " " + call.name});
    h->writerCalls.push_back(std::move(call));
    return writerAnswer(*h, fallback);
}

int32_t HostRecordAccess::pair(void* arg, int32_t kind, const char* name, const void* value,
                               int32_t dataTypeWord, int32_t rows, int32_t columns) {
    WriterCall call;
    call.kind = WriterCall::Kind::pair;
    return valueWriter(arg, std::move(call), value, kind, name, dataTypeWord, rows, columns);
}

int32_t HostRecordAccess::param(void* arg, int32_t kind, const char* name, const char* text,
                                const void* value, int32_t dataTypeWord, int32_t rows,
                                int32_t columns) {
    WriterCall call;
    call.kind = WriterCall::Kind::param;
    call.text = textOf(text);
    return valueWriter(arg, std::move(call), value, kind, name, dataTypeWord, rows, columns);
}

// ---------------------------------------------------------------------------
// The record.

HostRecord::HostRecord(HostRecordOptions options) : impl_(std::make_unique<Impl>()) {
    impl_->modelName = options.modelName;
    impl_->path = options.path;

    SimStruct& S = record_;
    S.modelName = impl_->modelName.c_str();
    S.path = impl_->path.c_str();
    S.root = &record_;
    S.localMsgBuffer = localMsgBuffer_.data();
    S.blockInfo = &blockInfo_;
    S.samplePeriods = impl_->samplePeriods.data();
    S.sampleOffsets = impl_->sampleOffsets.data();
    S.hostExtension = options.withHostExtension ? &impl_->hostExtension : nullptr;

    blockInfo_.hostMode = options.hostMode;
    blockInfo_.msgBuffer = msgBuffer_.data();
    if (options.withHostService) blockInfo_.hostService = &HostRecordAccess::service;

    S.numInputPortsFcn = &HostRecordAccess::numInputPorts;
    S.numInputPortsArg = &record_;
    S.numOutputPortsFcn = &HostRecordAccess::numOutputPorts;
    S.numOutputPortsArg = &record_;
    if (options.withPortDimsFcns) {
        blockInfo_.inputPortDimsFcn = &HostRecordAccess::inputDims;
        blockInfo_.outputPortDimsFcn = &HostRecordAccess::outputDims;
    }
    if (options.withNumDWorkFcn) S.numDWorkFcn = &HostRecordAccess::numDWork;
    if (options.withDataTypeSizeFcn) {
        S.dataTypeSizeFcn = &HostRecordAccess::dataTypeSize;
        S.dataTypeContext = &record_;
    }
    if (options.withWriterFcns) {
        blockInfo_.recordTextFcn = &HostRecordAccess::text;
        blockInfo_.recordPairFcn = &HostRecordAccess::pair;
        blockInfo_.recordParamFcn = &HostRecordAccess::param;
        blockInfo_.recordWriterArg = &record_;
    }

    Registry& r = registry();
    std::lock_guard<std::mutex> hold(r.lock);
    r.records[&record_] = this;
}

HostRecord::~HostRecord() {
    {
        Registry& r = registry();
        std::lock_guard<std::mutex> hold(r.lock);
        r.records.erase(&record_);
    }
    subhost_slmr_forget(&record_);
}

HostRecord* hostRecordOf(SimStruct* S) {
    if (S == nullptr) return nullptr;
    Registry& r = registry();
    std::lock_guard<std::mutex> hold(r.lock);
    auto it = r.records.find(S);
    return it != r.records.end() ? it->second : nullptr;
}

std::vector<int32_t> HostRecord::serviceCodes() const {
    std::vector<int32_t> codes;
    for (const ServiceCall& call : serviceCalls) codes.push_back(call.code);
    return codes;
}

int32_t HostRecord::serviceCount(int32_t code) const {
    int32_t n = 0;
    for (const ServiceCall& call : serviceCalls) n += call.code == code ? 1 : 0;
    return n;
}

std::vector<std::string> HostRecord::eventNames() const {
    std::vector<std::string> names;
    for (const HostEvent& e : events) names.push_back(e.what);
    return names;
}

// --- ports -------------------------------------------------------------------

float HostRecord::input(int port) const {
    if (port < 0 || static_cast<size_t>(port) >= impl_->inputSignals.size()) return 0.0f;
    return impl_->inputSignals[port][0];
}

void HostRecord::setInput(int port, float value) {
    if (port < 0 || static_cast<size_t>(port) >= impl_->inputSignals.size()) return;
    impl_->inputSignals[port][0] = value;
}

float HostRecord::output(int port) const {
    if (port < 0 || static_cast<size_t>(port) >= impl_->outputSignals.size()) return 0.0f;
    return impl_->outputSignals[port][0];
}

void HostRecord::clearInputSignal(int port) {
    if (port < 0 || static_cast<size_t>(port) >= impl_->inputs.size()) return;
    impl_->inputs[port].signal = nullptr;
}

void HostRecord::setCurrentInputDims(int port, std::vector<int32_t> dims) {
    if (port < 0 || static_cast<size_t>(port) >= impl_->inputs.size()) return;
    impl_->inputCurrentDims[port] = std::move(dims);
    HostRecordAccess::attachCurrentDims(*this, true, port);
}

void HostRecord::setCurrentOutputDims(int port, std::vector<int32_t> dims) {
    if (port < 0 || static_cast<size_t>(port) >= impl_->outputs.size()) return;
    impl_->outputCurrentDims[port] = std::move(dims);
    HostRecordAccess::attachCurrentDims(*this, false, port);
}

// --- memory --------------------------------------------------------------------

void HostRecord::giveDWork(size_t bytes, int fill) {
    Impl& impl = *impl_;
    if (impl.dworks.empty()) {
        impl.dworks.assign(1, DWorkRecord{});
        record_.dWorks = impl.dworks.data();
    }
    const size_t units = (bytes + sizeof(std::max_align_t) - 1) / sizeof(std::max_align_t);
    impl.dworkMemory.assign(units > 0 ? units : 1, std::max_align_t{});
    std::memset(impl.dworkMemory.data(), fill >= 0 ? fill : 0, impl.dworkMemory.size() * sizeof(std::max_align_t));
    impl.dworks[0].data = impl.dworkMemory.data();
}

void* HostRecord::dworkData() {
    return impl_->dworks.empty() ? nullptr : impl_->dworks[0].data;
}

void HostRecord::giveWorkVectors(int32_t numIWork, int32_t numRWork, int32_t numPWork) {
    Impl& impl = *impl_;
    impl.iWork.assign(numIWork > 0 ? numIWork : 0, 0);
    impl.rWork.assign(numRWork > 0 ? numRWork : 0, 0.0);
    impl.pWork.assign(numPWork > 0 ? numPWork : 0, nullptr);
    record_.iWork = impl.iWork.empty() ? nullptr : impl.iWork.data();
    record_.rWork = impl.rWork.empty() ? nullptr : impl.rWork.data();
    record_.pWork = impl.pWork.empty() ? nullptr : impl.pWork.data();
    record_.sizes[sizes_index::numIWork] = static_cast<int32_t>(impl.iWork.size());
    record_.sizes[sizes_index::numRWork] = static_cast<int32_t>(impl.rWork.size());
    record_.sizes[sizes_index::numPWork] = static_cast<int32_t>(impl.pWork.size());
}

void HostRecord::giveStates(int32_t n) {
    Impl& impl = *impl_;
    // Never empty, so that the arrays have an address even without states.
    impl.absTol.assign(n > 0 ? n : 1, 0.0);
    impl.absTolSetByBlock.assign(n > 0 ? n : 1, 0);
    impl.states.absTol = impl.absTol.data();
    impl.states.absTolSetByBlock = impl.absTolSetByBlock.data();
    impl.states.subRecordA = impl.subRecordA.data();
    impl.states.subRecordB = impl.subRecordB.data();
    record_.states = &impl.states;
    record_.sizes[sizes_index::numContStates] = n > 0 ? n : 0;
}

// --- error slots ---------------------------------------------------------------

namespace {

// An error slot holds a text, or a diagnostic object when its flag is set.
std::string slotText(const char* status, bool isDiagnostic) {
    if (status == nullptr) return "";
    if (isDiagnostic) {
        const char* id = subhost_slmr_diagnosticId(status);
        return std::string("diagnostic ") + (id != nullptr ? id : pointerText(status));
    }
    return status;
}

}  // namespace

std::string HostRecord::errorStatus() const {
    const SimStruct* root = record_.root != nullptr ? record_.root : &record_;
    const bool diagnostic = root->blockInfo != nullptr && root->blockInfo->errorStatusIsDiagnostic != 0;
    return slotText(root->errorStatus, diagnostic);
}

std::string HostRecord::localErrorStatus() const {
    return slotText(record_.localErrorStatus, record_.localErrorStatusIsDiagnostic != 0);
}

}  // namespace subhost
