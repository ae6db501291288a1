// The simulator's one way to report a failure: throw a Failure; main prints
// its message as one line on stderr and exits with its code.
#pragma once

#include <stdexcept>
#include <string>

namespace quarlin_sim {

inline constexpr int kExitFailure = 1;  // the run could not be done
inline constexpr int kExitUsage = 2;    // the command line was wrong

class Failure : public std::runtime_error {
public:
    Failure(std::string message, int exitCode = kExitFailure)
        : std::runtime_error(std::move(message)), exitCode_(exitCode) {}
    int exitCode() const { return exitCode_; }

private:
    int exitCode_;
};

[[noreturn]] inline void fail(std::string message) { throw Failure(std::move(message)); }
[[noreturn]] inline void usageFail(std::string message) {
    throw Failure(std::move(message), kExitUsage);
}

}  // namespace quarlin_sim
