#include "octave_guard.h"

#include <octave/oct.h>
#include <octave/interpreter.h>
#include <octave/quit.h>

namespace octave_bridge {

bool runGuarded(void (*entry)(void*), void* context, std::string& id, std::string& text) {
    try {
        entry(context);
    } catch (const octave::execution_exception& e) {
        if (octave::interpreter* interpreter = octave::interpreter::the_interpreter())
            interpreter->recover_from_exception();
        id = e.identifier();
        text = e.message();
        return false;
    }
    return true;
}

}  // namespace octave_bridge
