// Entry calls guarded against Octave's errors, apart from the MEX API's
// declarations (Octave's interpreter headers and mex.h do not go together).
#pragma once

#include <string>

namespace octave_bridge {

// Runs entry(context).  False when an Octave error ended it: `id` and
// `text` then hold the error's identifier and message, and the interpreter
// has recovered from it.
bool runGuarded(void (*entry)(void*), void* context, std::string& id, std::string& text);

}  // namespace octave_bridge
