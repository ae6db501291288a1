// quarlin-sim run: one block, stepped once per sample through the host
// engine, on measured or synthetic inputs.
#include <csignal>
#include <charconv>
#include <chrono>
#include <ctime>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>

#include "args.h"
#include "commands.h"
#include "csv_input.h"
#include "failure.h"
#include "files.h"
#include "floats.h"
#include "host_block.h"
#include "plot.h"
#include "progress.h"
#include "scenario.h"
#include "snapshot_file.h"
#include "tracking.h"

namespace quarlin_sim {

namespace {

constexpr OptionSpec kRunOptions[] = {
    kModuleOption,
    {"--input", "", "FILE.csv", "measured inputs: a header naming i_alpha,i_beta,v_alpha,v_beta\n(other columns ignored), one row per step"},
    {"--scenario", "", "NAME", "synthetic inputs; the only scenario is pmsm (the default)"},
    {"--rpm", "", "RPM", "pmsm: final mechanical speed, rev/min (1500)"},
    {"--ramp", "", "SECONDS", "pmsm: time from standstill to that speed (0.5)"},
    {"--hold", "", "SECONDS", "pmsm: time at that speed (0.3)"},
    {"--psi", "", "VS", "pmsm: flux linkage, V*s (0.01)"},
    {"--iq", "", "AMPERE", "pmsm: torque current, A (1.0)"},
    {"--phi0", "", "RAD", "pmsm: electrical angle at step 0 (0)"},
    {"--steps", "", "N", "end the run after step N-1 (default: every input row, or (ramp+hold)/1e-4)"},
    {"--output", "-o", "FILE.csv", "write the run here (default: standard output); \"none\" writes no rows,\nonly the summary"},
    {"--log-states", "", "", "add the seven states x0..x6 and three run flags ran0..ran2\nas the data map lists them"},
    {"--save-state", "", "FILE.mat", "save the block's snapshot to a MAT file"},
    {"--at", "", "STEP", "take that snapshot after STEP steps (default: at the end)"},
    {"--restore", "", "FILE.mat", "restore a saved snapshot and continue from its step"},
    {"--plot", "", "FILE.png", "draw the run into a PNG"},
};

constexpr CommandSpec kRunSpec{
    "run",
    "run [options]",
    "Loads the module, binds one block, initialises it and steps it once per\n"
    "sample (1e-4 s), writing one CSV row per step and a summary on stderr.",
    kRunOptions,
    0,
};

// Ctrl-C and termination end a run between two steps, through the one
// failure path, so that no temporary file is left behind.
volatile std::sig_atomic_t interruptedBy = 0;

void noteInterrupt(int signal) { interruptedBy = signal; }

void catchInterrupts() {
#if defined(_WIN32)
    // Ctrl-C and Ctrl-Break arrive as SIGINT and SIGBREAK.  The runtime resets
    // a handler once it has run, so a second Ctrl-C ends the program at once.
    for (int signal : {SIGINT, SIGTERM, SIGBREAK}) std::signal(signal, noteInterrupt);
#else
    struct sigaction action {};
    action.sa_handler = noteInterrupt;
    sigemptyset(&action.sa_mask);
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaction(signal, &action, nullptr);
#endif
}

// The --output value of a run that writes no rows.
constexpr std::string_view kNoOutput = "none";

constexpr const char* kScenarioOptions[] = {"--rpm", "--ramp", "--hold", "--psi", "--iq", "--phi0"};

// Everything a run needs, resolved and checked before the module is loaded.
struct RunPlan {
    std::string modulePath;
    InputSource source = InputSource::pmsm;
    std::optional<InputTable> input;
    PmsmParams params;
    std::optional<SnapshotFile> restore;
    std::string restorePath;
    uint64_t firstStep = 0;
    uint64_t endStep = 0;  // steps firstStep .. endStep - 1 run
    std::optional<std::string> output;
    bool writesRows = true;
    bool logStates = false;
    std::optional<std::string> savePath;
    uint64_t saveAt = 0;
    std::optional<std::string> plotPath;
};

PmsmParams scenarioParams(const ParsedArgs& args) {
    PmsmParams p;
    const std::pair<const char*, double*> fields[] = {{"--rpm", &p.rpm}, {"--ramp", &p.ramp}, {"--hold", &p.hold},
                                                      {"--psi", &p.psi}, {"--iq", &p.iq},     {"--phi0", &p.phi0}};
    for (const auto& [name, target] : fields) {
        if (auto v = args.number(name)) *target = *v;
    }
    if (const char* problem = pmsmParamsProblem(p)) usageFail(problem);
    return p;
}

RunPlan makePlan(const ParsedArgs& args) {
    RunPlan plan;
    plan.modulePath = args.text("--module").value_or(defaultModulePath());
    plan.output = args.text("--output");
    plan.writesRows = plan.output != kNoOutput;
    if (!plan.writesRows) {
        plan.output.reset();
        if (args.has("--plot")) usageFail("--plot draws the rows, which --output none does not write");
    }
    plan.logStates = args.has("--log-states");
    plan.savePath = args.text("--save-state");
    plan.plotPath = args.text("--plot");

    bool scenarioOptionGiven = false;
    for (const char* name : kScenarioOptions) scenarioOptionGiven = scenarioOptionGiven || args.has(name);
    if (auto scenario = args.text("--scenario"); scenario && *scenario != "pmsm") {
        usageFail("--scenario: unknown scenario \"" + *scenario + "\" (the only one is pmsm)");
    }
    if (args.has("--input") && (args.has("--scenario") || scenarioOptionGiven)) {
        usageFail("--input and the scenario options exclude each other");
    }
    if (args.has("--at") && !plan.savePath) usageFail("--at needs --save-state");
    // One file for two purposes would be overwritten or read while written;
    // only a snapshot may be restored from and saved to the same file.
    const char* files[] = {"--input", "--restore", "--output", "--save-state", "--plot"};
    for (size_t a = 0; a < std::size(files); ++a) {
        for (size_t b = a + 1; b < std::size(files); ++b) {
            const auto first = args.text(files[a]);
            const auto second = args.text(files[b]);
            if (!first || !second || *first != *second) continue;
            if (std::string_view(files[a]) == "--restore" && std::string_view(files[b]) == "--save-state") continue;
            usageFail("the same file " + *first + " is given to " + files[a] + " and " + files[b]);
        }
    }

    if (auto restorePath = args.text("--restore")) {
        plan.restorePath = *restorePath;
        if (scenarioOptionGiven) usageFail("a restored run takes its scenario from the snapshot; drop the scenario options");
        plan.restore = readSnapshotFile(*restorePath);
        const ResumeInfo& resume = plan.restore->resume;
        if (resume.source == InputSource::csv && !args.has("--input")) {
            fail(*restorePath + " was saved on a run with --input; give the same --input to continue it");
        }
        if (resume.source == InputSource::pmsm && args.has("--input")) {
            fail(*restorePath + " was saved on a pmsm scenario run; it cannot continue on --input");
        }
        plan.firstStep = resume.step;
    }

    uint64_t available = 0;  // steps the inputs provide
    if (auto inputPath = args.text("--input")) {
        plan.source = InputSource::csv;
        plan.input = readInputCsv(*inputPath);
        available = plan.input->rows.size();
        plan.endStep = available;
    } else {
        plan.source = InputSource::pmsm;
        plan.params = plan.restore ? plan.restore->resume.params : scenarioParams(args);
        plan.endStep = PmsmScenario(plan.params).defaultSteps();
        available = UINT64_MAX;
    }
    if (auto steps = args.count("--steps")) {
        if (*steps > available) {
            fail("--steps " + std::to_string(*steps) + " needs " + std::to_string(*steps) + " input rows, " +
                 *args.text("--input") + " has " + std::to_string(available));
        }
        plan.endStep = *steps;
    }
    if (plan.restore && plan.input && plan.firstStep <= plan.input->rows.size() &&
        inputDigest(*plan.input, plan.firstStep) != plan.restore->resume.inputDigest) {
        fail(*args.text("--input") + " is not the input " + plan.restorePath + " was saved on: its first " +
             std::to_string(plan.firstStep) + " rows differ");
    }
    if (plan.firstStep > plan.endStep) {
        fail(plan.restorePath + " was saved after step " + std::to_string(plan.firstStep) +
             ", past the end of this run (" + std::to_string(plan.endStep) + " steps)");
    }
    plan.saveAt = args.count("--at").value_or(plan.endStep);
    if (plan.savePath && (plan.saveAt < plan.firstStep || plan.saveAt > plan.endStep)) {
        fail("--at " + std::to_string(plan.saveAt) + " is outside this run (steps " + std::to_string(plan.firstStep) +
             " to " + std::to_string(plan.endStep) + ")");
    }
    return plan;
}

std::string header(const RunPlan& plan) {
    std::string h = "step,time,i_alpha,i_beta,v_alpha,v_beta,angle,speed_rpm";
    if (plan.source == InputSource::pmsm) h += ",true_angle,true_speed_rpm";
    if (plan.logStates) {
        for (int i = 0; i < subhost::kNumStates; ++i) h += ",x" + std::to_string(i);
        for (int i = 0; i < subhost::kNumRunFlags; ++i) h += ",ran" + std::to_string(i);
    }
    return h + "\n";
}

// Where rows go: standard output or a file that appears only when complete,
// and a private copy when a picture is to be drawn from a run on stdout.
class RowSink {
public:
    explicit RowSink(const RunPlan& plan) {
        if (!plan.writesRows) return;
        if (plan.output) {
            file_.emplace(*plan.output);
            streams_[count_++] = file_->stream();
        } else {
            streams_[count_++] = stdout;
            if (plan.plotPath) {
                copy_.emplace("quarlin-sim-run");
                streams_[count_++] = copy_->stream();
            }
        }
        for (size_t i = 0; i < count_; ++i) std::setvbuf(streams_[i], nullptr, _IOFBF, 1 << 20);
    }

    bool writesRows() const { return count_ > 0; }

    // Rows gather here and go to the streams a block at a time.
    void write(const char* data, size_t size) {
        if (used_ + size > sizeof buffer_) flush();
        if (size > sizeof buffer_) {
            put(data, size);
            return;
        }
        std::memcpy(buffer_ + used_, data, size);
        used_ += size;
    }

    // Completes the rows; returns the file a picture can be drawn from.
    std::string finish() {
        flush();
        if (file_) {
            file_->commit();
            return file_->target();
        }
        if (count_ == 0) return {};
        if (std::fflush(stdout) != 0) failWrite();
        if (copy_) {
            if (std::fflush(copy_->stream()) != 0) failWrite();
            return copy_->path();
        }
        return {};
    }

private:
    void put(const char* data, size_t size) {
        for (size_t i = 0; i < count_; ++i) {
            if (std::fwrite(data, 1, size, streams_[i]) != size) failWrite();
        }
    }

    void flush() {
        put(buffer_, used_);
        used_ = 0;
    }

    [[noreturn]] void failWrite() {
        fail(std::string("cannot write ") + (file_ ? file_->target() : "the run") + ": " + std::strerror(errno));
    }

    std::optional<AtomicFile> file_;
    std::optional<ScratchFile> copy_;
    FILE* streams_[2] = {};
    size_t count_ = 0;
    char buffer_[1 << 16];
    size_t used_ = 0;
};

void saveState(HostBlock& host, const RunPlan& plan, uint64_t step, const PmsmScenario* scenario,
               const std::array<uint32_t, 4>& checksum) {
    SnapshotFile file;
    file.snapshot = host.saveSnapshot();
    file.resume.step = step;
    file.resume.stateChecksum = checksum;
    file.resume.source = plan.source;
    if (scenario != nullptr) {
        file.resume.params = scenario->params();
        file.resume.phase = scenario->phase();
    } else {
        file.resume.inputDigest = inputDigest(*plan.input, step);
    }
    writeSnapshotFile(*plan.savePath, file);
}

std::string hex(uint32_t word) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", word);
    return text;
}

void printSummary(const RunPlan& plan, uint64_t steps, double seconds, const Tracking& tracking) {
    std::fprintf(stderr, "steps: %llu", static_cast<unsigned long long>(steps));
    if (steps > 0) {
        std::fprintf(stderr, " (%llu to %llu)", static_cast<unsigned long long>(plan.firstStep),
                     static_cast<unsigned long long>(plan.endStep - 1));
    }
    std::fprintf(stderr, "\nwall time: %.3f s\n", seconds);
    if (seconds > 0 && steps > 0) std::fprintf(stderr, "steps per second: %.0f\n", steps / seconds);
    if (plan.source == InputSource::pmsm && tracking.counted() > 0) {
        std::fprintf(stderr,
                     "tracking over the last 0.1 s (steps %llu to %llu): largest angle error %.6g rad, "
                     "largest speed error %.6g rpm\n",
                     static_cast<unsigned long long>(tracking.firstStep()),
                     static_cast<unsigned long long>(plan.endStep - 1), tracking.largestAngleError(),
                     tracking.largestSpeedError());
    }
    if (auto step = tracking.divergedAt()) {
        std::fprintf(stderr, "diverged at step %llu: an output became non-finite\n",
                     static_cast<unsigned long long>(*step));
    }
}

// step, time, four inputs, two outputs, two true values, seven states and
// three run flags, each with its separator.
constexpr size_t kLongestRow = 24 + (1 + 4 + 2 + 2 + subhost::kNumStates) * (1 + kMaxNumberText) + 3 * 8 + 1;

// One CSV row, at `out`; returns its end.
char* formatRow(char* out, uint64_t k, const PmsmSample& truth, bool withTruth, const HostBlock::StepResult& result,
                bool withStates) {
    char* p = out;
    p = std::to_chars(p, p + 24, k).ptr;
    *p++ = ',';
    static_assert(kStepsPerSecond == 10000.0, "times are written as ten-thousandths of the step count");
    p = writeTenThousandths(p, k);
    for (float v : truth.input) {
        *p++ = ',';
        p = writeBinary32(p, v);
    }
    for (float v : result.outputs) {
        *p++ = ',';
        p = writeBinary32(p, v);
    }
    if (withTruth) {
        *p++ = ',';
        p = writeDouble(p, truth.trueAngle);
        *p++ = ',';
        p = writeDouble(p, truth.trueSpeedRpm);
    }
    if (withStates) {
        for (float v : result.states) {
            *p++ = ',';
            p = writeBinary32(p, v);
        }
        for (int8_t v : result.runFlags) {
            *p++ = ',';
            p = std::to_chars(p, p + 8, static_cast<int>(v)).ptr;
        }
    }
    *p++ = '\n';
    return p;
}

struct RunResult {
    uint64_t steps = 0;
    double seconds = 0.0;     // of the stepping alone
    double cpuSeconds = 0.0;  // the process's processor time over the same
    Tracking tracking{0};
};

double processCpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

RunResult execute(const RunPlan& plan) {
    if (plan.plotPath) {
        (void)plotScriptPath();
        checkWritableTarget(*plan.plotPath);
    }
    if (plan.savePath) checkWritableTarget(*plan.savePath);

    const auto module = loadModule(plan.modulePath);
    HostBlock host(*module);
    const std::array<uint32_t, 4> checksum = host.stateChecksum();

    std::optional<PmsmScenario> scenario;
    if (plan.source == InputSource::pmsm) scenario.emplace(plan.params);
    if (plan.restore) {
        const ResumeInfo& resume = plan.restore->resume;
        if (resume.stateChecksum != checksum) {
            fail(plan.restorePath + " was saved by another build of the module (state checksum " +
                 hex(resume.stateChecksum[0]) + "..., this module's is " + hex(checksum[0]) + "...)");
        }
        host.restoreSnapshot(plan.restore->snapshot, plan.restorePath);
        if (scenario) scenario->setPhase(resume.phase);
    }

    RowSink sink(plan);
    const std::string head = header(plan);
    sink.write(head.data(), head.size());

    // The tracking window is the run's last 0.1 s, of the steps run here.
    constexpr uint64_t kWindow = 1000;
    Tracking tracking(std::max(plan.firstStep, plan.endStep > kWindow ? plan.endStep - kWindow : 0));
    Progress progress(plan.endStep - plan.firstStep);
    const auto started = std::chrono::steady_clock::now();
    const double cpuStarted = processCpuSeconds();

    HostBlock::StepResult result{};
    char line[kLongestRow];
    catchInterrupts();
    for (uint64_t k = plan.firstStep; k < plan.endStep; ++k) {
        if (interruptedBy != 0) {
            throw Failure("interrupted by signal " + std::to_string(interruptedBy) + " at step " + std::to_string(k),
                          128 + interruptedBy);
        }
        if (plan.savePath && k == plan.saveAt) saveState(host, plan, k, scenario ? &*scenario : nullptr, checksum);
        PmsmSample truth{};
        if (scenario) {
            truth = scenario->sample(k);
        } else {
            truth.input = plan.input->rows[k];
        }
        host.step(k, truth.input, result, plan.logStates);
        if (sink.writesRows()) {
            const char* end = formatRow(line, k, truth, scenario.has_value(), result, plan.logStates);
            sink.write(line, static_cast<size_t>(end - line));
        }
        if (scenario) {
            tracking.add(k, result.outputs[0], result.outputs[1], truth.trueAngle, truth.trueSpeedRpm);
            scenario->advance(k);
        } else {
            tracking.noteOutputs(k, result.outputs[0], result.outputs[1]);
        }
        progress.tick(k + 1 - plan.firstStep);
    }
    if (plan.savePath && plan.saveAt == plan.endStep) {
        saveState(host, plan, plan.endStep, scenario ? &*scenario : nullptr, checksum);
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    const double cpuSeconds = processCpuSeconds() - cpuStarted;
    progress.finish();
    host.finish();

    const std::string rows = sink.finish();
    if (plan.plotPath) plotRun(rows, *plan.plotPath);
    return {plan.endStep - plan.firstStep, seconds, cpuSeconds, tracking};
}

}  // namespace

int runCommand(std::span<const std::string> argv) {
    const ParsedArgs args = parseArgs(kRunSpec, argv);
    if (args.help) return printHelp(kRunSpec);
    const RunPlan plan = makePlan(args);
    const RunResult result = execute(plan);
    printSummary(plan, result.steps, result.seconds, result.tracking);
    return 0;
}

RunTiming timedRun(std::span<const std::string> argv) {
    const RunPlan plan = makePlan(parseArgs(kRunSpec, argv));
    const RunResult result = execute(plan);
    return {result.steps, result.seconds, result.cpuSeconds};
}

}  // namespace quarlin_sim
