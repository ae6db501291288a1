// Another program run as a child, its standard output and error read
// through pipes, its standard input fed through one or read from /dev/null.  A child still running when the object goes (a failure or
// an interrupt on the way) is ended with SIGTERM and waited for, so that the
// simulator never leaves one behind.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace quarlin_sim {

class ChildProcess {
public:
    // Starts argv[0] with those arguments.  Throws a Failure when it cannot
    // be started.
    explicit ChildProcess(const std::vector<std::string>& argv, bool withInput = false);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // The read ends of the child's output and error; -1 once read to the end.
    int outFd() const { return out_; }
    int errFd() const { return err_; }
    // Writes to the child's standard input; false when the child no longer
    // reads it (it has ended: wait() tells how).
    bool writeInput(const std::string& text);
    // Closes the child's standard input: the end of what it is given.
    void closeInput();
    // Appends what can be read from `fd` (one of the two) to `into`; at the
    // end of that stream closes it.  Returns false when it was the end.
    bool readSome(int fd, std::string& into);
    // Waits for the child's end: its exit status, or 128 + the signal that
    // ended it.
    int wait();

private:
    pid_t pid_ = -1;
    int in_ = -1;
    int out_ = -1;
    int err_ = -1;
};

}  // namespace quarlin_sim
