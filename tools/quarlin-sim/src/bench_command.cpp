// quarlin-sim bench: the step paths and two whole runs, timed in one process
// and printed as one JSON object.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "args.h"
#include "commands.h"
#include "failure.h"
#include "files.h"
#include "floats.h"
#include "host_block.h"
#include "scenario.h"
#include "step_kernels.h"
#include "tracking.h"

namespace quarlin_sim {

namespace {

constexpr OptionSpec kBenchOptions[] = {
    kModuleOption,
    {"--steps", "", "N", "steps of each timing and of each whole run (1000000)"},
    {"--repeat", "", "N", "time everything N times and keep the fastest (3)"},
};

constexpr CommandSpec kBenchSpec{
    "bench",
    "bench [options]",
    "Times, on the default scenario's inputs: the model step alone, one step\n"
    "through mexFunction (flags 104 and 105), one through the periodic\n"
    "output-update method, one through the engine's step calls, the host's\n"
    "cosine and sine of the same angles, and the scenario's own work per step;\n"
    "then two whole runs of a default scenario held long enough for N steps,\n"
    "one writing CSV to a temporary file and one with --output none.  Prints\n"
    "one JSON object on standard output.  Times are processor time (of the\n"
    "thread, of the process for the runs), the fastest of the repetitions, so\n"
    "that other programs on the machine count as little as they can.",
    kBenchOptions,
    0,
};

constexpr uint64_t kDefaultSteps = 1000000;
constexpr uint64_t kDefaultRepeat = 3;
constexpr uint64_t kMostSteps = 10000000000;
constexpr size_t kWarmUpSteps = 10000;

// Processor time of this thread: what other programs on a shared machine
// do meanwhile does not count.
double threadCpuNs() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e9 + static_cast<double>(now.tv_nsec);
}

// The fastest of `repeat` timings of `steps` steps, in ns per step.
template <typename Kernel>
double fastestNsPerStep(Kernel& kernel, uint64_t steps, uint64_t repeat) {
    kernel.run(kWarmUpSteps);
    double best = 0.0;
    for (uint64_t r = 0; r < repeat; ++r) {
        const double started = threadCpuNs();
        kernel.run(steps);
        const double ns = (threadCpuNs() - started) / static_cast<double>(steps);
        if (r == 0 || ns < best) best = ns;
    }
    return best;
}

// What a run of the scenario does per step besides stepping the block and
// writing its row: the machine's sample, the tracking, the advance.
class ScenarioSteps {
public:
    void run(size_t steps) {
        for (size_t i = 0; i < steps; ++i) {
            const PmsmSample truth = scenario_.sample(k_);
            tracking_.add(k_, truth.input[0], truth.input[1], truth.trueAngle, truth.trueSpeedRpm);
            scenario_.advance(k_);
            ++k_;
        }
    }

private:
    PmsmScenario scenario_{PmsmParams{}};
    Tracking tracking_{0};
    uint64_t k_ = 0;
};

double fastestRunStepsPerSecond(const std::vector<std::string>& args, uint64_t repeat) {
    double best = 0.0;
    for (uint64_t r = 0; r < repeat; ++r) {
        const RunTiming timing = timedRun(args);
        if (timing.cpuSeconds > 0) best = std::max(best, static_cast<double>(timing.steps) / timing.cpuSeconds);
    }
    return best;
}

struct JsonObject {
    std::string text = "{";

    void add(const char* key, double value) {
        char number[kMaxNumberText];
        char* end = writeDouble(number, value);
        // JSON has no infinities and no NaN.
        addText(key, std::isfinite(value) ? std::string(number, end) : "null");
    }
    void add(const char* key, uint64_t value) { addText(key, std::to_string(value)); }
    void addText(const char* key, const std::string& value) {
        text += text.size() > 1 ? ",\n  \"" : "\n  \"";
        text += key;
        text += "\": ";
        text += value;
    }
    std::string close() const { return text + "\n}\n"; }
};

}  // namespace

int benchCommand(std::span<const std::string> argv) {
    const ParsedArgs args = parseArgs(kBenchSpec, argv);
    if (args.help) return printHelp(kBenchSpec);
    const std::string modulePath = args.text("--module").value_or(defaultModulePath());
    const uint64_t steps = args.count("--steps").value_or(kDefaultSteps);
    const uint64_t repeat = args.count("--repeat").value_or(kDefaultRepeat);
    // The runs hold the scenario for the steps; a scenario lasts at most 1e7 s.
    if (steps == 0 || steps > kMostSteps) usageFail("--steps must be from 1 to " + std::to_string(kMostSteps));
    if (repeat == 0) usageFail("--repeat must be at least 1");

    double model = 0, gateway = 0, periodic = 0, engine = 0, trig = 0, scenarioCost = 0;
    {
        const auto module = loadModule(modulePath);
        ModelSteps modelSteps;
        BlockSteps gatewaySteps(*module, BlockSteps::Path::mexFunction);
        BlockSteps periodicSteps(*module, BlockSteps::Path::periodic);
        BlockSteps engineSteps(*module, BlockSteps::Path::engine);
        TrigFloor trigFloor;
        ScenarioSteps scenarioSteps;
        model = fastestNsPerStep(modelSteps, steps, repeat);
        gateway = fastestNsPerStep(gatewaySteps, steps, repeat);
        periodic = fastestNsPerStep(periodicSteps, steps, repeat);
        engine = fastestNsPerStep(engineSteps, steps, repeat);
        trig = fastestNsPerStep(trigFloor, steps, repeat);
        scenarioCost = fastestNsPerStep(scenarioSteps, steps, repeat);
    }

    // The default scenario, held at its final speed for as long as the
    // steps take.
    const PmsmParams defaults;
    const double hold = std::max(defaults.hold, steps * kStepSeconds - defaults.ramp);
    char holdText[kMaxNumberText];
    const std::string holdValue(holdText, writeDouble(holdText, hold));
    ScratchFile csv("quarlin-sim-bench");
    const std::string csvPath = csv.path() + ".csv";
    const std::vector<std::string> runArgs = {"--module", modulePath,         "--hold", holdValue,
                                              "--steps",  std::to_string(steps)};
    std::vector<std::string> csvRun = runArgs;
    csvRun.insert(csvRun.end(), {"--output", csvPath});
    std::vector<std::string> silentRun = runArgs;
    silentRun.insert(silentRun.end(), {"--output", "none"});
    double withCsv = 0.0;
    try {
        withCsv = fastestRunStepsPerSecond(csvRun, repeat);
    } catch (...) {
        std::filesystem::remove(csvPath);
        throw;
    }
    std::filesystem::remove(csvPath);
    const double withoutOutput = fastestRunStepsPerSecond(silentRun, repeat);

    JsonObject json;
    json.add("model_ns_per_step", model);
    json.add("gateway_ns_per_step", gateway);
    json.add("periodic_ns_per_step", periodic);
    json.add("trig_floor_ns_per_step", trig);
    json.add("run_steps_per_s", withCsv);
    json.add("run_nooutput_steps_per_s", withoutOutput);
    json.add("engine_ns_per_step", engine);
    json.add("scenario_ns_per_step", scenarioCost);
    json.add("steps", steps);
    json.add("repeat", repeat);
    // The goals, as ratios of this one process's timings.
    json.add("gateway_to_model", gateway / model);
    json.add("periodic_to_model", periodic / model);
    json.add("model_to_trig_floor", model / trig);
    json.add("run_nooutput_to_gateway_plus_scenario", (1e9 / withoutOutput) / (gateway + scenarioCost));
    std::fputs(json.close().c_str(), stdout);
    return std::fflush(stdout) == 0 ? 0 : kExitFailure;
}

}  // namespace quarlin_sim
