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
    // A file-size limit then fails a write (EFBIG) instead of killing the
    // program: it ends as on a full disk, with a message and nothing left behind.
    std::signal(SIGXFSZ, SIG_IGN);
}

}  // namespace quarlin_sim
