// quarlin-sim plot: a run's CSV as a picture.

#include "args.h"
#include "commands.h"
#include "failure.h"
#include "plot.h"

namespace quarlin_sim {

namespace {

constexpr OptionSpec kPlotOptions[] = {
    {"--output", "-o", "RUN.png", "the picture to write (required)"},
};

constexpr CommandSpec kPlotSpec{
    "plot",
    "plot RUN.csv -o RUN.png",
    "Draws the estimated (and, for a scenario run, the true) angle and speed\n"
    "over time, and the tracking error, from a CSV written by quarlin-sim run;\n"
    "from a CSV written by quarlin-sim sweep, the envelope of its grid.",
    kPlotOptions,
    1,
};

}  // namespace

int plotCommand(std::span<const std::string> argv) {
    const ParsedArgs args = parseArgs(kPlotSpec, argv);
    if (args.help) return printHelp(kPlotSpec);
    if (args.positionals.empty()) usageFail("plot needs the run's CSV file (see quarlin-sim plot --help)");
    const auto output = args.text("--output");
    if (!output) usageFail("plot needs -o RUN.png (see quarlin-sim plot --help)");
    if (*output == args.positionals[0]) usageFail("the picture would overwrite the run's CSV");
    checkWritableTarget(*output);
    plotRun(args.positionals[0], *output);
    return 0;
}

}  // namespace quarlin_sim
