#include "interrupts.h"

#include <initializer_list>

namespace quarlin_sim {

volatile std::sig_atomic_t interruptedBy = 0;

namespace {
void noteInterrupt(int signal) { interruptedBy = signal; }
}  // namespace

void catchInterrupts() {
#if defined(_WIN32)
    // Ctrl-C and Ctrl-Break arrive as SIGINT and SIGBREAK.  The runtime resets
    // a handler once it has run, so a second Ctrl-C ends the program at once.
    for (int signal : {SIGINT, SIGTERM, SIGBREAK}) std::signal(signal, noteInterrupt);
#else
    // No SA_RESTART: a wait for a child's output returns at once with EINTR.
    struct sigaction action {};
    action.sa_handler = noteInterrupt;
    sigemptyset(&action.sa_mask);
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaction(signal, &action, nullptr);
    // A file-size limit then fails a write (EFBIG) instead of killing the
    // program: it ends as on a full disk, with a message and nothing left behind.
    std::signal(SIGXFSZ, SIG_IGN);
#endif
}

}  // namespace quarlin_sim
