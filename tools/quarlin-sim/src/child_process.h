// Another program run as a child, its standard output and error read
// through pipes.  A child still running when the object goes (a failure or
// an interrupt on the way) is ended with SIGTERM and waited for, so that the
// simulator never leaves one behind.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace quarlin_sim {

class ChildProcess {
public:
    // Starts argv[0] with those arguments, standard input from /dev/null.
    // Throws a Failure when it cannot be started.
    explicit ChildProcess(const std::vector<std::string>& argv);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // The read ends of the child's output and error; -1 once read to the end.
    int outFd() const { return out_; }
    int errFd() const { return err_; }
    // Appends what can be read from `fd` (one of the two) to `into`; at the
    // end of that stream closes it.  Returns false when it was the end.
    bool readSome(int fd, std::string& into);
    // Waits for the child's end: its exit status, or 128 + the signal that
    // ended it.
    int wait();

private:
    pid_t pid_ = -1;
    int out_ = -1;
    int err_ = -1;
};

// The last line of a text that is not blank, without its line end.
std::string lastLine(const std::string& text);

}  // namespace quarlin_sim
