// The subcommands of quarlin-sim.  Each takes the arguments after its name
// and returns the exit code; failures are thrown as Failure.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace quarlin_sim {

int runCommand(std::span<const std::string> args);
int sizesCommand(std::span<const std::string> args);
int infoCommand(std::span<const std::string> args);
int plotCommand(std::span<const std::string> args);
int benchCommand(std::span<const std::string> args);

// A run made from `args` as `run` makes it, without the summary: its steps
// and the time the stepping took, on the clock and in processor time.
struct RunTiming {
    uint64_t steps = 0;
    double seconds = 0.0;
    double cpuSeconds = 0.0;
};
RunTiming timedRun(std::span<const std::string> args);

}  // namespace quarlin_sim
