// The subcommands of quarlin-sim.  Each takes the arguments after its name
// and returns the exit code; failures are thrown as Failure.
#pragma once

#include <span>
#include <string>

namespace quarlin_sim {

int runCommand(std::span<const std::string> args);
int sizesCommand(std::span<const std::string> args);
int infoCommand(std::span<const std::string> args);
int plotCommand(std::span<const std::string> args);
int sweepCommand(std::span<const std::string> args);

}  // namespace quarlin_sim
