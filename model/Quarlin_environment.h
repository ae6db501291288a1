// What the model needs from whatever runs it: single-precision scalar
// mathematics and the instrumentation events.  The model declares them here
// and knows nothing of who provides them; the block layer binds them to the
// host's services.
#pragma once

#include <cstdint>

struct SimStruct;

float Quarlin_env_cos(float x);
float Quarlin_env_sin(float x);
float Quarlin_env_sign(float x);
bool Quarlin_env_isNaN(float x);
float Quarlin_env_rem(float x, float y);
void Quarlin_env_pluginEvent(SimStruct* hostBlock, const char* model, const char* event);
