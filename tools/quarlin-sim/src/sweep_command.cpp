// quarlin-sim sweep: the pmsm scenario over a grid of cells, each on a fresh
// block, run in this process, in local worker processes or on a Dask
// cluster.  Wherever a cell runs, it is run and classified by runCell and
// sweepRow below: the workers are this program itself, given the cells of
// one batch with --cells.  Only how batches reach them differs.
//
// Workers are processes, not threads: the module writes process-wide values
// (its non-finite constants and the data map's static tables) and the
// substitute host keeps process-wide state of its own (array scopes, the
// entry guard, call logs).  Each worker process has its own copy of all of
// it, so no two blocks ever share memory that is written.
#include <poll.h>
#include <sched.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>

#include "args.h"
#include "child_process.h"
#include "commands.h"
#include "failure.h"
#include "files.h"
#include "host_block.h"
#include "interrupts.h"
#include "plot.h"
#include "progress.h"
#include "scenario.h"
#include "sweep.h"
#include "tracking.h"

namespace quarlin_sim {

namespace {

constexpr OptionSpec kSweepOptions[] = {
    kModuleOption,
    {"--rpm", "", "LIST", "final mechanical speeds, rev/min: a,b,c or start:stop:step\n(250:6000:250)"},
    {"--psi", "", "LIST", "flux linkages, V*s (0.005:0.03:0.005)"},
    {"--iq", "", "LIST", "torque currents, A (1)"},
    {"--ramp", "", "LIST", "times from standstill to the final speed, s (0.5)"},
    {"--cells", "", "CELLS", "exactly these cells, in this order, instead of a grid:\n\"rpm,psi,iq,ramp;rpm,psi,iq,ramp;...\""},
    {"--angle-tol", "", "RAD", "a cell tracks when its largest angle error is below this (0.05)"},
    {"--speed-tol", "", "RPM|PCT%", "... and its largest speed error below this: rpm, or a percentage\nof the cell's final speed (1%, but at least 1 rpm)"},
    {"--jobs", "-j", "N", "run the cells in N worker processes at once; 1 runs them in\nthis process (default: every core)"},
    {"--dask", "", "ADDRESS", "run the cells on the Dask cluster whose scheduler is at ADDRESS\n(tcp://host:8786) instead of on this machine"},
    {"--dask-program", "", "PATH", "quarlin-sim as the Dask workers find it (default: this program's path)"},
    {"--output", "-o", "FILE.csv", "write the cells here (default: standard output)"},
    {"--plot", "", "FILE.png", "draw the envelope: speed x flux linkage, coloured by class"},
    {"--quiet", "", "", "no summary on stderr"},
};

constexpr CommandSpec kSweepSpec{
    "sweep",
    "sweep [options]",
    "Runs the pmsm scenario (hold 0.3 s) on every cell of a grid of final speed,\n"
    "flux linkage, torque current and ramp time, each on a fresh block, and\n"
    "classifies it by the last 0.1 s of its run: tracks (both largest errors\n"
    "within the tolerances), loses-lock (finite outputs outside them) or diverges\n"
    "(an output became non-finite).  Writes one CSV row per cell, in grid order:\n"
    "speed varies slowest, then flux linkage, current and ramp.  The output is\n"
    "the same whatever the number of jobs, and through Dask.",
    kSweepOptions,
    0,
};

constexpr const char* kDaskScript = "quarlin_dask.py";
constexpr const char* kDaskScriptPrefix = "quarlin_dask: ";
// A batch on a local worker: small enough that the workers finish close
// together, large enough that starting a process costs little beside it.
constexpr size_t kBatchesPerJob = 4;
constexpr size_t kLargestBatch = 256;

struct SweepPlan {
    std::string modulePath;
    bool moduleGiven = false;
    std::vector<SweepCell> cells;
    Tolerances tolerances;
    size_t jobs = 1;
    std::optional<std::string> dask;
    std::string daskProgram;
    std::optional<std::string> output;
    std::optional<std::string> plotPath;
    bool quiet = false;
};

size_t machineCores() {
    cpu_set_t set;
    if (sched_getaffinity(0, sizeof set, &set) == 0) return std::max(1, CPU_COUNT(&set));
    return 1;
}

std::string ownProgram() {
    std::error_code error;
    const auto exe = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error) fail("cannot find the program's own path: " + error.message());
    return exe.string();
}

PmsmParams scenarioOf(const SweepCell& cell) {
    PmsmParams params;
    params.rpm = cell.rpm;
    params.psi = cell.psi;
    params.iq = cell.iq;
    params.ramp = cell.ramp;
    return params;
}

SweepPlan makePlan(const ParsedArgs& args) {
    SweepPlan plan;
    plan.moduleGiven = args.has("--module");
    plan.modulePath = args.text("--module").value_or(defaultModulePath());
    plan.output = args.text("--output");
    plan.plotPath = args.text("--plot");
    plan.quiet = args.has("--quiet");
    plan.dask = args.text("--dask");

    const PmsmParams defaults;
    if (auto cells = args.text("--cells")) {
        for (const char* axis : {"--rpm", "--psi", "--iq", "--ramp"}) {
            if (args.has(axis)) usageFail(std::string("--cells and ") + axis + " exclude each other");
        }
        plan.cells = parseCells(*cells);
    } else {
        const auto axis = [&](const char* option, std::vector<double> fallback) {
            const auto text = args.text(option);
            return text ? parseAxis(option, *text) : fallback;
        };
        // The default grid is the envelope the documentation shows.
        plan.cells = gridCells(axis("--rpm", parseAxis("--rpm", "250:6000:250")),
                               axis("--psi", parseAxis("--psi", "0.005:0.03:0.005")), axis("--iq", {defaults.iq}),
                               axis("--ramp", {defaults.ramp}));
    }
    for (const auto& cell : plan.cells) {
        if (const char* problem = pmsmParamsProblem(scenarioOf(cell))) usageFail(problem);
    }
    plan.tolerances = parseTolerances(args.text("--angle-tol"), args.text("--speed-tol"));

    if (plan.dask && args.has("--jobs")) usageFail("--jobs and --dask exclude each other: the cluster has its workers");
    if (!plan.dask && args.has("--dask-program")) usageFail("--dask-program needs --dask");
    plan.daskProgram = args.text("--dask-program").value_or(plan.dask ? ownProgram() : "");
    plan.jobs = machineCores();
    if (auto jobs = args.count("--jobs")) {
        if (*jobs == 0) usageFail("--jobs must be at least 1");
        plan.jobs = static_cast<size_t>(std::min<uint64_t>(*jobs, 1024));
    }
    if (plan.output && plan.plotPath && *plan.output == *plan.plotPath) {
        usageFail("the same file " + *plan.output + " is given to --output and --plot");
    }
    return plan;
}

std::string interruptedText(size_t done, size_t total) {
    return "interrupted by signal " + std::to_string(interruptedBy) + " after " + std::to_string(done) + " of " +
           std::to_string(total) + " cells";
}

// The rows as they come, in any order; written out in grid order as soon
// as every row before them is there.
class SweepResults {
public:
    SweepResults(std::span<const SweepCell> cells, FILE* out, std::string outName)
        : cells_(cells), rows_(cells.size()), out_(out), outName_(std::move(outName)),
          progress_(cells.size(), "cells") {
        write(sweepHeader());
    }

    std::span<const SweepCell> cells() const { return cells_; }
    size_t done() const { return done_; }
    const std::vector<std::string>& rows() const { return rows_; }

    void add(size_t index, std::string row) {
        rows_[index] = std::move(row);
        ++done_;
        for (; written_ < rows_.size() && !rows_[written_].empty(); ++written_) write(rows_[written_]);
        if (std::fflush(out_) != 0) failWrite();
        progress_.show(done_);
    }

    void checkInterrupt() const {
        if (interruptedBy != 0) throw Failure(interruptedText(done_, cells_.size()), 128 + interruptedBy);
    }

    void finish() { progress_.finish(); }

private:
    void write(const std::string& text) {
        if (std::fwrite(text.data(), 1, text.size(), out_) != text.size()) failWrite();
    }
    [[noreturn]] void failWrite() { fail("cannot write " + outName_ + ": " + std::strerror(errno)); }

    std::span<const SweepCell> cells_;
    std::vector<std::string> rows_;
    size_t done_ = 0;
    size_t written_ = 0;
    FILE* out_;
    std::string outName_;
    Progress progress_;
};

// One cell on a fresh block: the scenario's run, measured over its last
// 0.1 s.
std::string runCell(subhost::Module& module, const SweepCell& cell, const Tolerances& tolerances,
                    const SweepResults& results) {
    PmsmScenario scenario(scenarioOf(cell));
    const uint64_t end = scenario.defaultSteps();
    Tracking tracking(trackingStart(end));
    HostBlock host(module);
    HostBlock::StepResult result{};
    for (uint64_t k = 0; k < end; ++k) {
        results.checkInterrupt();
        const PmsmSample truth = scenario.sample(k);
        host.step(k, truth.input, result, false);
        tracking.add(k, result.outputs[0], result.outputs[1], truth.trueAngle, truth.trueSpeedRpm);
        scenario.advance(k);
    }
    host.finish();
    return sweepRow(cell, tracking, tolerances);
}

void runHere(const SweepPlan& plan, subhost::Module& module, SweepResults& results) {
    for (size_t i = 0; i < plan.cells.size(); ++i) results.add(i, runCell(module, plan.cells[i], plan.tolerances, results));
}

// The command line of a worker, without its cells.
std::vector<std::string> workerCommand(const SweepPlan& plan, const std::string& program, bool withModule) {
    std::vector<std::string> argv = {program, "sweep", "--quiet", "--jobs", "1"};
    if (withModule) argv.insert(argv.end(), {"--module", plan.modulePath});
    for (auto& a : plan.tolerances.arguments()) argv.push_back(std::move(a));
    return argv;
}

// Splits a stream into lines as it arrives.
class Lines {
public:
    void append(const std::string& data) { buffer_ += data; }
    std::optional<std::string> next() {
        const size_t end = buffer_.find('\n', start_);
        if (end == std::string::npos) {
            buffer_.erase(0, start_);
            start_ = 0;
            return std::nullopt;
        }
        std::string line = buffer_.substr(start_, end - start_);
        start_ = end + 1;
        return line;
    }
    bool empty() const { return start_ == buffer_.size(); }

private:
    std::string buffer_;
    size_t start_ = 0;
};

// What a worker wrote for the batch of cells first .. first + count - 1:
// the header, then one row per cell in order, each checked against its cell
// so that a worker of another version cannot slip in rows of its own.
class BatchReader {
public:
    BatchReader(size_t first, size_t count, std::string source)
        : next_(first), end_(first + count), source_(std::move(source)) {}

    void line(const std::string& text, SweepResults& results) {
        if (!headerSeen_) {
            if (text + '\n' != sweepHeader()) fail(source_ + " wrote \"" + text + "\", not the header of a sweep");
            headerSeen_ = true;
            return;
        }
        if (next_ == end_ || next_ >= results.cells().size() ||
            text.rfind(cellText(results.cells()[next_]) + ',', 0) != 0) {
            fail(source_ + " wrote \"" + text + "\", not the row of the cell it was given");
        }
        results.add(next_++, text + '\n');
    }
    bool complete() const { return headerSeen_ && next_ == end_; }

private:
    bool headerSeen_ = false;
    size_t next_;
    size_t end_;
    std::string source_;
};

struct Running {
    std::unique_ptr<ChildProcess> child;
    std::optional<BatchReader> reader;
    Lines out;
    std::string err;
    std::string name;
};

// Waits until one of the children has something to read, and reads it.
// Returns at an interrupt too.
void readChildren(std::vector<std::unique_ptr<Running>>& running) {
    std::vector<pollfd> fds;
    std::vector<Running*> owners;
    for (auto& r : running) {
        for (int fd : {r->child->outFd(), r->child->errFd()}) {
            if (fd < 0) continue;
            fds.push_back({fd, POLLIN, 0});
            owners.push_back(r.get());
        }
    }
    if (::poll(fds.data(), fds.size(), 200) < 0) {
        if (errno == EINTR) return;
        fail(std::string("cannot wait for the workers: ") + std::strerror(errno));
    }
    for (size_t i = 0; i < fds.size(); ++i) {
        if (fds[i].revents == 0) continue;
        Running& r = *owners[i];
        if (fds[i].fd == r.child->outFd()) {
            std::string data;
            r.child->readSome(fds[i].fd, data);
            r.out.append(data);
        } else {
            r.child->readSome(fds[i].fd, r.err);
        }
    }
}

// A child that has closed both streams has ended: its exit status and its
// rows tell whether it did its batch.
bool ended(Running& r) {
    if (r.child->outFd() >= 0 || r.child->errFd() >= 0) return false;
    const int status = r.child->wait();
    if (status == 0 && r.reader && r.reader->complete() && r.out.empty()) return true;
    std::string why = lastLine(r.err);
    for (const char* prefix : {"quarlin-sim: ", kDaskScriptPrefix}) {
        if (why.rfind(prefix, 0) == 0) why.erase(0, std::strlen(prefix));
    }
    if (why.empty()) why = status == 0 ? "it ended before its last row" : "exit status " + std::to_string(status);
    fail(r.name + " failed: " + why);
}

void runOnLocalWorkers(const SweepPlan& plan, SweepResults& results) {
    const size_t total = plan.cells.size();
    const size_t batch = std::clamp<size_t>((total + plan.jobs * kBatchesPerJob - 1) / (plan.jobs * kBatchesPerJob), 1,
                                            kLargestBatch);
    const std::vector<std::string> command = workerCommand(plan, ownProgram(), true);
    std::vector<std::unique_ptr<Running>> running;
    size_t nextCell = 0;
    while (nextCell < total || !running.empty()) {
        while (running.size() < plan.jobs && nextCell < total) {
            const size_t count = std::min(batch, total - nextCell);
            const std::string name = "the worker of cells " + std::to_string(nextCell + 1) + " to " +
                                     std::to_string(nextCell + count);
            std::vector<std::string> argv = command;
            argv.push_back("--cells");
            argv.push_back(cellsText(std::span(plan.cells).subspan(nextCell, count)));
            running.push_back(std::unique_ptr<Running>(
                new Running{std::make_unique<ChildProcess>(argv), BatchReader(nextCell, count, name), {}, {}, name}));
            nextCell += count;
        }
        readChildren(running);
        // Ctrl-C reaches the workers too: their end is the interrupt's.
        results.checkInterrupt();
        for (auto& r : running) {
            while (auto line = r->out.next()) r->reader->line(*line, results);
        }
        std::erase_if(running, [](const std::unique_ptr<Running>& r) { return ended(*r); });
    }
}

// The Dask script batches the cells for the cluster it finds, has each
// batch run by a worker command there, and writes back each batch as it
// completes: a line "@ FIRST COUNT", then what the worker wrote.
void runOnDask(const SweepPlan& plan, SweepResults& results) {
    ScratchFile cellsFile("quarlin-sweep-cells");
    for (const auto& cell : plan.cells) std::fprintf(cellsFile.stream(), "%s\n", cellText(cell).c_str());
    if (std::fflush(cellsFile.stream()) != 0) fail(std::string("cannot write the cells: ") + std::strerror(errno));

    std::vector<std::string> argv = {kPython, findScript(kDaskScript), "--scheduler", *plan.dask,
                                     "--cells-file", cellsFile.path(), "--"};
    for (auto& a : workerCommand(plan, plan.daskProgram, plan.moduleGiven)) argv.push_back(std::move(a));
    std::vector<std::unique_ptr<Running>> running;
    running.push_back(std::unique_ptr<Running>(
        new Running{std::make_unique<ChildProcess>(argv), std::nullopt, {}, {}, "the Dask run"}));
    Running& dask = *running.front();
    while (true) {
        readChildren(running);
        results.checkInterrupt();
        while (auto line = dask.out.next()) {
            unsigned long long first = 0;
            unsigned long long count = 0;
            char end = 0;
            if (std::sscanf(line->c_str(), "@ %llu %llu%c", &first, &count, &end) == 2) {
                if (dask.reader && !dask.reader->complete()) fail("the Dask run sent a batch before finishing the last");
                if (first + count > results.cells().size()) fail("the Dask run sent a batch of cells it was not given");
                dask.reader.emplace(first, count, "a Dask worker");
            } else if (dask.reader) {
                dask.reader->line(*line, results);
            } else {
                fail("the Dask run sent \"" + *line + "\" before any batch");
            }
        }
        if (ended(dask)) break;
    }
    if (results.done() != results.cells().size()) fail("the Dask run ended before every cell was done");
}

void printSummary(const SweepPlan& plan, const SweepResults& results, double seconds) {
    size_t counts[3] = {};
    for (const auto& row : results.rows()) {
        const std::string_view name = rowClass(row);
        for (int c = 0; c < 3; ++c) {
            if (name == className(static_cast<CellClass>(c))) ++counts[c];
        }
    }
    std::string where = "in this process";
    if (plan.dask) {
        where = "on the Dask cluster at " + *plan.dask;
    } else if (plan.jobs > 1) {
        where = "in " + std::to_string(plan.jobs) + " worker processes";
    }
    std::fprintf(stderr, "cells: %zu %s: tracks %zu, loses lock %zu, diverges %zu\nwall time: %.3f s\n",
                 results.cells().size(), where.c_str(), counts[0], counts[1], counts[2], seconds);
    if (seconds > 0) std::fprintf(stderr, "cells per second: %.1f\n", results.cells().size() / seconds);
}

}  // namespace

int sweepCommand(std::span<const std::string> argv) {
    const ParsedArgs args = parseArgs(kSweepSpec, argv);
    if (args.help) return printHelp(kSweepSpec);
    SweepPlan plan = makePlan(args);
    if (plan.plotPath) {
        (void)plotScriptPath();
        checkWritableTarget(*plan.plotPath);
    }
    if (plan.dask) (void)findScript(kDaskScript);
    // A batch is at least one cell: more jobs than cells would idle.
    plan.jobs = std::min(plan.jobs, plan.cells.size());

    catchInterrupts();
    std::optional<AtomicFile> file;
    if (plan.output) file.emplace(*plan.output);
    FILE* out = file ? file->stream() : stdout;
    if (!file) std::setvbuf(stdout, nullptr, _IOFBF, 1 << 16);

    // The module is checked here even when workers load it, so that a wrong
    // --module is one clear error before any work; on Dask it is theirs.
    std::unique_ptr<subhost::Module> module;
    if (!plan.dask) module = loadModule(plan.modulePath);

    const auto started = std::chrono::steady_clock::now();
    SweepResults results(plan.cells, out, plan.output.value_or("standard output"));
    if (plan.dask) {
        runOnDask(plan, results);
    } else if (plan.jobs > 1) {
        runOnLocalWorkers(plan, results);
    } else {
        runHere(plan, *module, results);
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    results.finish();

    std::optional<ScratchFile> copy;
    if (file) {
        file->commit();
    } else if (plan.plotPath) {
        copy.emplace("quarlin-sim-sweep");
        std::string csv = sweepHeader();
        for (const auto& row : results.rows()) csv += row;
        if (std::fwrite(csv.data(), 1, csv.size(), copy->stream()) != csv.size() || std::fflush(copy->stream()) != 0) {
            fail(std::string("cannot write a temporary copy of the cells: ") + std::strerror(errno));
        }
    }
    if (plan.plotPath) plotRun(file ? *plan.output : copy->path(), *plan.plotPath);
    if (!plan.quiet) printSummary(plan, results, seconds);
    return 0;
}

}  // namespace quarlin_sim
