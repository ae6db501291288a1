#include "interrupts.h"

#include <initializer_list>

namespace quarlin_sim {

volatile std::sig_atomic_t interruptedBy = 0;

namespace {
void noteInterrupt(int signal) { interruptedBy = signal; }
}  // namespace

void catchInterrupts() {
    // No SA_RESTART: a wait for a child's output returns at once with EINTR.
    struct sigaction action {};
    action.sa_handler = noteInterrupt;
    sigemptyset(&action.sa_mask);
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaction(signal, &action, nullptr);
}

}  // namespace quarlin_sim
