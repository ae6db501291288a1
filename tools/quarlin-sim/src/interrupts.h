// Ctrl-C, SIGTERM and SIGHUP end the simulator's long work at the next
// point where it is safe to stop, through the one failure path, so that the
// objects holding temporary files remove them on the way out.
#pragma once

#include <csignal>

namespace quarlin_sim {

// The signal that asked the program to stop, or 0.
extern volatile std::sig_atomic_t interruptedBy;

// Notes those signals in interruptedBy instead of ending the program.  Call
// it before making any file that a stop must remove.
void catchInterrupts();

}  // namespace quarlin_sim
