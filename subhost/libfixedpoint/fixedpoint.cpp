// Fixed-point settings, recorded per record.
#include "subhost/control.h"
#include "subhost/libfixedpoint/fxp_records.h"

#include <map>

namespace {

struct FxpLog {
    int32_t calls = 0;
    int32_t lastValue = 0;
};

// Never destroyed: exit code of other libraries may still forget records.
std::map<const SimStruct*, FxpLog>& logs() {
    static auto* l = new std::map<const SimStruct*, FxpLog>;
    return *l;
}

struct ExitCleanup {
    ~ExitCleanup() { logs().clear(); }
};
ExitCleanup exitCleanup;

}  // namespace

extern "C" {

void ssFxpSetU32BitRegionCompliant(SimStruct* S, int32_t value) {
    FxpLog& log = logs()[S];
    ++log.calls;
    log.lastValue = value;
}

int32_t subhost_fxp_callCount(const SimStruct* S) {
    auto it = logs().find(S);
    return it == logs().end() ? 0 : it->second.calls;
}

int32_t subhost_fxp_lastValue(const SimStruct* S) {
    auto it = logs().find(S);
    return it == logs().end() ? 0 : it->second.lastValue;
}

void subhost_fxp_forget(const SimStruct* S) { logs().erase(S); }

void subhost_fxp_forgetAll(void) { logs().clear(); }

}  // extern "C"
