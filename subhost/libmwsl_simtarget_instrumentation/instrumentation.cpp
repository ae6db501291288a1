// Plug-in events, recorded per record.
#include "subhost/control.h"
#include "subhost/libmwsl_simtarget_instrumentation/plugin_events.h"

#include <map>
#include <string>
#include <utility>
#include <vector>

namespace {

struct PluginEvent {
    std::string model;
    std::string event;
};

// Never destroyed: exit code of other libraries may still forget records.
std::map<const SimStruct*, std::vector<PluginEvent>>& events() {
    static auto* e = new std::map<const SimStruct*, std::vector<PluginEvent>>;
    return *e;
}

// Every event served, also for records forgotten since.
int32_t eventsRun = 0;

struct ExitCleanup {
    ~ExitCleanup() { events().clear(); }
};
ExitCleanup exitCleanup;

const PluginEvent* eventAt(const SimStruct* S, int32_t index) {
    auto it = events().find(S);
    if (it == events().end() || index < 0 || static_cast<size_t>(index) >= it->second.size()) return nullptr;
    return &it->second[static_cast<size_t>(index)];
}

}  // namespace

extern "C" {

int32_t slmrRunPluginEvent(SimStruct* S, const char* model, const char* event) {
    events()[S].push_back({model != nullptr ? model : "", event != nullptr ? event : ""});
    ++eventsRun;
    return 0;
}

int32_t subhost_slmr_pluginEventCount(const SimStruct* S) {
    auto it = events().find(S);
    return it == events().end() ? 0 : static_cast<int32_t>(it->second.size());
}

const char* subhost_slmr_pluginEventModel(const SimStruct* S, int32_t index) {
    const PluginEvent* e = eventAt(S, index);
    return e != nullptr ? e->model.c_str() : nullptr;
}

const char* subhost_slmr_pluginEventName(const SimStruct* S, int32_t index) {
    const PluginEvent* e = eventAt(S, index);
    return e != nullptr ? e->event.c_str() : nullptr;
}

int32_t subhost_slmr_pluginEventsRun(void) { return eventsRun; }

void subhost_slmr_forgetPluginEvents(const SimStruct* S) { events().erase(S); }

void subhost_slmr_forgetAllPluginEvents(void) { events().clear(); }

}  // extern "C"
