// quarlin-sim: the command-line simulator of the Quarlin_msp block.
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#endif

#include "commands.h"
#include "failure.h"

namespace {

using quarlin_sim::Failure;

struct Command {
    const char* name;
    int (*run)(std::span<const std::string>);
    const char* summary;
};

constexpr Command kCommands[] = {
    {"run", quarlin_sim::runCommand, "step one block on measured or synthetic inputs, write the run as CSV"},
    {"sizes", quarlin_sim::sizesCommand, "the command-line sizes query: 40 lines \"index value\""},
    {"info", quarlin_sim::infoCommand, "what the module declares: ports, rates, tables, checksum, data map"},
    {"plot", quarlin_sim::plotCommand, "draw a run's (or a sweep's) CSV into a PNG"},
#if !defined(_WIN32)
    {"sweep", quarlin_sim::sweepCommand, "classify a grid of scenario cells: tracks, loses lock, diverges"},
#endif
    {"bench", quarlin_sim::benchCommand, "time the step paths and two whole runs, print them as JSON"},
};

void printUsage(FILE* to) {
    std::fputs("usage: quarlin-sim COMMAND [options]\n\ncommands:\n", to);
    for (const auto& c : kCommands) std::fprintf(to, "  %-6s %s\n", c.name, c.summary);
    std::fputs("\n\"quarlin-sim COMMAND --help\" tells more about each.\n", to);
}

}  // namespace

int main(int argc, char** argv) {
#if defined(_WIN32)
    // What goes to standard output (a CSV, the sizes) is the same bytes on
    // every platform: no line ends turned into CR LF.
    _setmode(_fileno(stdout), _O_BINARY);
#endif
    const std::vector<std::string> args(argv + 1, argv + argc);
    try {
        if (args.empty()) {
            printUsage(stderr);
            return quarlin_sim::kExitUsage;
        }
        if (args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
            printUsage(stdout);
            return 0;
        }
        for (const auto& command : kCommands) {
            if (args[0] == command.name) return command.run(std::span(args).subspan(1));
        }
        throw Failure("unknown command \"" + args[0] + "\" (commands: run, sizes, info, plot, sweep, bench)",
                      quarlin_sim::kExitUsage);
    } catch (const Failure& failure) {
        std::fflush(stdout);
        std::fprintf(stderr, "quarlin-sim: %s\n", failure.what());
        return failure.exitCode();
    } catch (const std::exception& error) {
        std::fflush(stdout);
        std::fprintf(stderr, "quarlin-sim: %s\n", error.what());
        return quarlin_sim::kExitFailure;
    }
}
