// Model-reference target services: each records what it received, per record,
// and keeps what it made for the record until the host is done with it.
#include "subhost/control.h"
#include "subhost/libfixedpoint/fxp_records.h"
#include "subhost/libmwsl_simtarget_instrumentation/plugin_events.h"

#include <array>
#include <cstdarg>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace {

struct ChecksumRegistration {
    std::string model;
    std::array<uint32_t, 4> words{};
};

struct RecordLog {
    std::vector<ChecksumRegistration> checksums;
    MdlMethod systemInitialize = nullptr;
    MdlMethod systemReset = nullptr;
    MdlTidMethod periodicOutputUpdate = nullptr;
    int32_t methodRegistrations = 0;
    int32_t ioPortVectorsCalls = 0;
    std::unique_ptr<int32_t[]> inputTextIds;
    std::unique_ptr<int32_t[]> outputTextIds;
};

struct Diagnostic {
    std::string id;
    std::vector<intptr_t> args;
};

struct State {
    std::map<const SimStruct*, RecordLog> records;
    std::map<int32_t, int32_t> topTids;
    std::unordered_map<const void*, std::unique_ptr<Diagnostic>> diagnostics;
    std::vector<std::unique_ptr<char[]>> fullPaths;
    bool refuseDiagnostics = false;
};

// Never destroyed: exit code of other libraries may still reach it.
State& state() {
    static State* s = new State;
    return *s;
}

struct ExitCleanup {
    ~ExitCleanup() { subhost_slmr_forgetAll(); }
};
ExitCleanup exitCleanup;

const RecordLog* logOf(const SimStruct* S) {
    auto it = state().records.find(S);
    return it == state().records.end() ? nullptr : &it->second;
}

const ChecksumRegistration* checksumAt(const SimStruct* S, int32_t index) {
    const RecordLog* log = logOf(S);
    if (log == nullptr || index < 0 || static_cast<size_t>(index) >= log->checksums.size()) return nullptr;
    return &log->checksums[static_cast<size_t>(index)];
}

const Diagnostic* diagnosticOf(const void* object) {
    auto it = state().diagnostics.find(object);
    return it == state().diagnostics.end() ? nullptr : it->second.get();
}

std::unique_ptr<int32_t[]> zeroedSlots(int32_t count) {
    if (count <= 0) return nullptr;
    return std::make_unique<int32_t[]>(static_cast<size_t>(count));
}

}  // namespace

extern "C" {

// ---------------------------------------------------------------------------
// Services the module imports.

void slmrCreateDiagnostic(const char* id, int32_t count, va_list args, void** result) {
    if (result == nullptr) return;
    *result = nullptr;
    State& st = state();
    if (st.refuseDiagnostics) return;
    auto d = std::make_unique<Diagnostic>();
    d->id = id != nullptr ? id : "";
    va_list list;
    va_copy(list, args);
    for (int32_t i = 0; i < count; ++i) d->args.push_back(reinterpret_cast<intptr_t>(va_arg(list, void*)));
    va_end(list);
    void* object = d.get();
    st.diagnostics.emplace(object, std::move(d));
    *result = object;
}

void slmrCreateFullPathToTop(const char* first, const char* second, void** result) {
    if (result == nullptr) return;
    *result = nullptr;
    if (first == nullptr || second == nullptr) return;
    const std::string path = std::string(first) + "/" + second;
    auto text = std::make_unique<char[]>(path.size() + 1);
    path.copy(text.get(), path.size());
    text[path.size()] = '\0';
    *result = text.get();
    state().fullPaths.push_back(std::move(text));
}

int32_t slmrGetTopTidFromMdlRefChildTid(SimStruct* S, int32_t tid, bool flag) {
    const auto& answers = state().topTids;
    auto it = answers.find(tid);
    return it != answers.end() ? it->second : tid;
}

// A second call for the same record replaces the slots of the first.
void slmrInitializeIOPortDataVectors(SimStruct* S, int32_t numInputs, int32_t numOutputs) {
    if (S == nullptr) return;
    RecordLog& log = state().records[S];
    ++log.ioPortVectorsCalls;
    log.inputTextIds = zeroedSlots(numInputs);
    log.outputTextIds = zeroedSlots(numOutputs);
    S->inputPortTextIds = log.inputTextIds.get();
    S->outputPortTextIds = log.outputTextIds.get();
}

void slmrModelRefRegisterSimStateChecksum(SimStruct* S, const char* model,
                                          const uint32_t* checksum) {
    ChecksumRegistration registration;
    registration.model = model != nullptr ? model : "";
    if (checksum != nullptr) {
        for (size_t i = 0; i < registration.words.size(); ++i) registration.words[i] = checksum[i];
    }
    state().records[S].checksums.push_back(registration);
}

void slmrRegisterSystemInitializeMethod(SimStruct* S, MdlMethod method) {
    RecordLog& log = state().records[S];
    log.systemInitialize = method;
    ++log.methodRegistrations;
}

void slmrRegisterSystemResetMethod(SimStruct* S, MdlMethod method) {
    RecordLog& log = state().records[S];
    log.systemReset = method;
    ++log.methodRegistrations;
}

void slmrRegisterPeriodicOutputUpdateMethod(SimStruct* S, MdlTidMethod method) {
    RecordLog& log = state().records[S];
    log.periodicOutputUpdate = method;
    ++log.methodRegistrations;
}

// ---------------------------------------------------------------------------
// What the services received.

int32_t subhost_slmr_checksumCount(const SimStruct* S) {
    const RecordLog* log = logOf(S);
    return log != nullptr ? static_cast<int32_t>(log->checksums.size()) : 0;
}

const char* subhost_slmr_checksumModel(const SimStruct* S, int32_t index) {
    const ChecksumRegistration* r = checksumAt(S, index);
    return r != nullptr ? r->model.c_str() : nullptr;
}

void subhost_slmr_checksumWords(const SimStruct* S, int32_t index, uint32_t words[4]) {
    if (words == nullptr) return;
    const ChecksumRegistration* r = checksumAt(S, index);
    for (size_t i = 0; i < 4; ++i) words[i] = r != nullptr ? r->words[i] : 0;
}

MdlMethod subhost_slmr_systemInitializeMethod(const SimStruct* S) {
    const RecordLog* log = logOf(S);
    return log != nullptr ? log->systemInitialize : nullptr;
}

MdlMethod subhost_slmr_systemResetMethod(const SimStruct* S) {
    const RecordLog* log = logOf(S);
    return log != nullptr ? log->systemReset : nullptr;
}

MdlTidMethod subhost_slmr_periodicOutputUpdateMethod(const SimStruct* S) {
    const RecordLog* log = logOf(S);
    return log != nullptr ? log->periodicOutputUpdate : nullptr;
}

int32_t subhost_slmr_methodRegistrations(const SimStruct* S) {
    const RecordLog* log = logOf(S);
    return log != nullptr ? log->methodRegistrations : 0;
}

int32_t subhost_slmr_ioPortVectorsCalls(const SimStruct* S) {
    const RecordLog* log = logOf(S);
    return log != nullptr ? log->ioPortVectorsCalls : 0;
}

void subhost_slmr_setTopTid(int32_t childTid, int32_t answer) { state().topTids[childTid] = answer; }

void subhost_slmr_clearTopTids(void) { state().topTids.clear(); }

bool subhost_slmr_isDiagnostic(const void* object) { return diagnosticOf(object) != nullptr; }

const char* subhost_slmr_diagnosticId(const void* object) {
    const Diagnostic* d = diagnosticOf(object);
    return d != nullptr ? d->id.c_str() : nullptr;
}

int32_t subhost_slmr_diagnosticArgCount(const void* object) {
    const Diagnostic* d = diagnosticOf(object);
    return d != nullptr ? static_cast<int32_t>(d->args.size()) : 0;
}

intptr_t subhost_slmr_diagnosticArg(const void* object, int32_t index) {
    const Diagnostic* d = diagnosticOf(object);
    if (d == nullptr || index < 0 || static_cast<size_t>(index) >= d->args.size()) return 0;
    return d->args[static_cast<size_t>(index)];
}

void subhost_slmr_refuseDiagnostics(bool refuse) { state().refuseDiagnostics = refuse; }

int32_t subhost_slmr_fullPathCount(void) { return static_cast<int32_t>(state().fullPaths.size()); }

// Everything recorded for the record goes, in every host library: a later
// record made at the same address starts clean.
void subhost_slmr_forget(const SimStruct* S) {
    state().records.erase(S);
    subhost_slmr_forgetPluginEvents(S);
    subhost_fxp_forget(S);
}

void subhost_slmr_forgetAll(void) {
    State& st = state();
    st.records.clear();
    st.diagnostics.clear();
    st.fullPaths.clear();
    subhost_slmr_forgetAllPluginEvents();
    subhost_fxp_forgetAll();
}

}  // extern "C"
