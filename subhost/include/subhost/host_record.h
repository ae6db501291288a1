// A block record made and owned by the substitute host, as the simulation
// host makes one per block: ports with signal buffers, DWork memory, error
// slots and message buffers, a scriptable host service, and the host's own
// port-count, port-dimension, DWork-count, data-type-size and record-writer
// functions.  Every call the module makes into these is recorded so that a
// caller can check what reached the host, and in which order.
//
// The engine builds its blocks on this; tests use it directly.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "host/simstruc.h"

namespace subhost {

struct HostRecordAccess;  // the host's functions in the record

// One call of the host service, as the module made it.  `data` is the
// pointer as given (valid only during the call); `summary` is what the host
// read from it at the time, decoded for the codes the module uses (texts,
// int32 slots, byte values), empty otherwise.
struct ServiceCall {
    int32_t code = 0;
    int32_t intValue = 0;
    const void* data = nullptr;
    std::string summary;
};

// One host-visible event, in order: a service call, a port-count call, a
// port-dimension call, a DWork-count or data-type-size call, a writer call.
struct HostEvent {
    // "service 106 0" (code, integer), "numInputPorts 4", "inputDims 0 1" (port,
    // width), "numDWork 1", "dataTypeSize 16 432", "text <line>",
    // "pair <kind> <name>", "param <kind> <name>"
    std::string what;
};

struct PortDimsCall {
    bool input = true;
    int32_t port = 0;
    int32_t width = 0;
    int32_t numDims = 0;
    std::vector<int32_t> dims;
    const void* reserved = nullptr;
};

struct WriterCall {
    enum class Kind { text, pair, param } kind = Kind::text;
    std::string text;       // text line, or the param's text
    int32_t valueKind = 0;
    std::string name;
    const void* value = nullptr;
    int32_t dataTypeWord = 0;
    int32_t rows = 0;
    int32_t columns = 0;
    std::vector<uint8_t> valueBytes;  // first bytes behind `value` when the caller asks (see valueBytesToCopy)
};

struct HostRecordOptions {
    std::string modelName = "Quarlin_msp";
    std::string path = "top/Quarlin_msp";
    bool withHostService = true;
    bool withHostExtension = false;
    bool withPortDimsFcns = true;
    bool withNumDWorkFcn = true;
    bool withDataTypeSizeFcn = true;
    bool withWriterFcns = true;
    int32_t hostMode = 0;
};

class HostRecord {
public:
    explicit HostRecord(HostRecordOptions options = {});
    ~HostRecord();
    HostRecord(const HostRecord&) = delete;
    HostRecord& operator=(const HostRecord&) = delete;

    SimStruct* S() { return &record_; }
    const SimStruct* S() const { return &record_; }

    // --- the host service -------------------------------------------------
    // Answers: per code, a fixed result (default 1).  Service 327 writes a
    // fresh non-negative text id and 132 a fresh data type id unless
    // textId / dataTypeId are set; 95 writes sysRanBase, 96 contextTid;
    // 42 writes a fresh buffer id.
    std::map<int32_t, int32_t> answers;
    std::map<int32_t, std::vector<int32_t>> answerSequence;  // per code, answers in turn, then `answers`
    std::function<void(SimStruct*, int32_t code, int32_t intValue, void* data)> onService;  // runs first
    bool textIdFixed = false;
    int32_t textId = 0;                // used when textIdFixed
    std::vector<int32_t> textIdSequence; // if not empty: ids for successive 327 calls
    bool dataTypeIdFixed = false;
    int32_t dataTypeId = 0;
    void* sysRanBase = reinterpret_cast<void*>(0x5157);
    int32_t contextTid = 0;
    std::vector<ServiceCall> serviceCalls;
    std::vector<int32_t> serviceCodes() const;
    int32_t serviceCount(int32_t code) const;
    const void* keptDataMap = nullptr;     // what service 64 handed over
    const mxArray* keptSimState = nullptr; // what service 152 handed over

    // --- ports ------------------------------------------------------------
    // The host's port-count functions: set the count and make the port
    // records (owned here), each input with a float signal buffer.
    int32_t numInputPortsAnswer = 1;   // 0 refuses
    int32_t numOutputPortsAnswer = 1;
    float input(int port) const;
    void setInput(int port, float value);
    float output(int port) const;
    // Detach an input's signal (null signal pointer).
    void clearInputSignal(int port);

    // Port-dimension functions: answer and record.
    int32_t inputDimsAnswer = 1;
    int32_t outputDimsAnswer = 1;
    std::map<int32_t, int32_t> inputDimsAnswerForPort;   // overrides per port
    std::vector<PortDimsCall> dimsCalls;

    // --- DWork ------------------------------------------------------------
    int32_t numDWorkAnswer = 1;
    int32_t dataTypeSizeAnswer = 1;
    std::vector<std::pair<int32_t, int32_t>> dataTypeSizeCalls;  // (id, size)
    std::vector<int32_t> numDWorkCalls;
    // Give the record DWork 0 holding `bytes` bytes of host memory (the
    // container), zero-filled unless `fill` is given.
    void giveDWork(size_t bytes = 432, int fill = -1);
    void* dworkData();

    // --- work vectors ------------------------------------------------------
    void giveWorkVectors(int32_t numIWork, int32_t numRWork, int32_t numPWork);
    // Continuous-state tolerances (absTol, absTolSetByBlock) of n states.
    void giveStates(int32_t n);

    // --- record writers -----------------------------------------------------
    int32_t textAnswer = 1;
    int32_t pairAnswer = 1;
    int32_t paramAnswer = 1;
    std::map<size_t, int32_t> writerAnswerAt;  // by index of the writer call (0-based): answer
    size_t valueBytesToCopy = 0;               // bytes of `value` copied into WriterCall
    std::vector<WriterCall> writerCalls;

    // --- everything, in order -----------------------------------------------
    std::vector<HostEvent> events;
    std::vector<std::string> eventNames() const;

    // --- error slots ----------------------------------------------------------
    std::string errorStatus() const;       // root's, "" when null
    std::string localErrorStatus() const;  // the record's own, "" when null
    char* msgBuffer() { return msgBuffer_.data(); }
    char* localMsgBuffer() { return localMsgBuffer_.data(); }

    // Run-time area of current port dimensions.
    void setCurrentInputDims(int port, std::vector<int32_t> dims);
    void setCurrentOutputDims(int port, std::vector<int32_t> dims);

private:
    friend struct HostRecordAccess;
    struct Impl;
    SimStruct record_{};
    BlockInfo blockInfo_{};
    std::array<char, 1024> msgBuffer_{};
    std::array<char, 1024> localMsgBuffer_{};
    std::unique_ptr<Impl> impl_;
};

// The HostRecord that owns a record made by a HostRecord, or null.
HostRecord* hostRecordOf(SimStruct* S);

}  // namespace subhost
