// Binds the model's environment to the host's single-precision mathematics
// and instrumentation events.
#include "model/Quarlin_environment.h"

#include "host/host_imports.h"

float Quarlin_env_cos(float x) {
    return muSingleScalarCos(x);
}

float Quarlin_env_sin(float x) {
    return muSingleScalarSin(x);
}

float Quarlin_env_sign(float x) {
    return muSingleScalarSign(x);
}

bool Quarlin_env_isNaN(float x) {
    return muSingleScalarIsNaN(x);
}

float Quarlin_env_rem(float x, float y) {
    return muSingleScalarRem(x, y);
}

// The event's result tells the model nothing it acts on.
void Quarlin_env_pluginEvent(SimStruct* hostBlock, const char* model, const char* event) {
    (void)slmrRunPluginEvent(hostBlock, model, event);
}
