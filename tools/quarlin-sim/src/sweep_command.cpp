// quarlin-sim sweep: the pmsm scenario over a grid of cells, each on a fresh
// block, run in this process, in local worker processes or on a Dask
// cluster.  Wherever a cell runs, it is run and classified by runCell and
// sweepRow: the workers are this program itself, given cells with --cells
// (one by one on standard input locally, a batch on the command line on a
// Dask worker).  Only how the cells reach them differs.
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
#include <csignal>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>

#include "args.h"
#include "child_process.h"
#include "commands.h"
#include "failure.h"
#include "files.h"
#include "floats.h"
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
    {"--cells", "", "CELLS", "exactly these cells, in this order, instead of a grid:\n\"rpm,psi,iq,ramp;rpm,psi,iq,ramp;...\"; \"-\" reads one cell a line from\nstandard input and writes each row to standard output when done"},
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

struct SweepPlan {
    std::string modulePath;
    bool moduleGiven = false;
    std::vector<SweepCell> cells;
    bool cellsFromInput = false;
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
        plan.cellsFromInput = *cells == "-";
        if (plan.cellsFromInput) {
            for (const char* option : {"--output", "--plot", "--jobs", "--dask"}) {
                if (args.has(option)) usageFail(std::string("--cells - writes to standard output in this process: drop ") + option);
            }
        } else {
            plan.cells = parseCells(*cells);
        }
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
    plan.daskProgram = args.text("--dask-program").value_or(plan.dask ? programPath() : "");
    plan.jobs = machineCores();
    if (auto jobs = args.text("--jobs")) {
        const auto n = readDouble(*jobs);
        if (!n || *n != std::floor(*n)) usageFail("--jobs: \"" + *jobs + "\" is not a number of processes");
        if (*n < 1) usageFail("--jobs must be at least 1");
        plan.jobs = static_cast<size_t>(std::min(*n, 1024.0));
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
// 0.1 s.  Empty when an interrupt cut it short.
std::optional<std::string> runCell(subhost::Module& module, const SweepCell& cell, const Tolerances& tolerances) {
    PmsmScenario scenario(scenarioOf(cell));
    const uint64_t end = scenario.defaultSteps();
    Tracking tracking(trackingStart(end));
    HostBlock host(module);
    HostBlock::StepResult result{};
    for (uint64_t k = 0; k < end; ++k) {
        if (interruptedBy != 0) return std::nullopt;
        const PmsmSample truth = scenario.sample(k);
        host.step(k, truth.input, result, false);
        tracking.add(k, result.outputs[0], result.outputs[1], truth.trueAngle, truth.trueSpeedRpm);
        scenario.advance(k);
    }
    host.finish();
    return sweepRow(cell, tracking, tolerances);
}

void runHere(const SweepPlan& plan, subhost::Module& module, SweepResults& results) {
    for (size_t i = 0; i < plan.cells.size(); ++i) {
        auto row = runCell(module, plan.cells[i], plan.tolerances);
        results.checkInterrupt();
        results.add(i, std::move(*row));
    }
}

// "--cells -", what a local worker runs: cells come on standard input, one
// a line, as the program that started the worker hands them out; each row
// goes out as soon as its cell is done.
void runFromInput(const SweepPlan& plan, subhost::Module& module) {
    const auto put = [](const std::string& text) {
        if (std::fputs(text.c_str(), stdout) < 0 || std::fflush(stdout) != 0) {
            fail(std::string("cannot write standard output: ") + std::strerror(errno));
        }
    };
    put(sweepHeader());
    size_t done = 0;
    for (char line[1024]; std::fgets(line, sizeof line, stdin) != nullptr;) {
        std::string_view text(line);
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.remove_suffix(1);
        if (text.empty()) continue;
        const auto cells = parseCells(text);
        if (cells.size() != 1) usageFail("--cells -: give one cell a line");
        if (const char* problem = pmsmParamsProblem(scenarioOf(cells[0]))) usageFail(problem);
        const auto row = runCell(module, cells[0], plan.tolerances);
        if (!row) break;
        put(*row);
        ++done;
    }
    if (interruptedBy != 0) {
        throw Failure("interrupted by signal " + std::to_string(interruptedBy) + " after " + std::to_string(done) +
                          " cells",
                      128 + interruptedBy);
    }
}

// The command line of a worker, without its cells.
std::vector<std::string> workerCommand(const SweepPlan& plan, const std::string& program, bool withModule) {
    std::vector<std::string> argv = {program, "sweep", "--quiet"};
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

// What a worker writes: the header, then one row per cell it was given, in
// the order given, each checked against its cell so that a worker of
// another version cannot slip in rows of its own.
class RowReader {
public:
    void expect(size_t index) { pending_.push_back(index); }
    size_t pending() const { return pending_.size() - next_; }

    void line(const std::string& text, const std::string& source, SweepResults& results) {
        if (!headerSeen_) {
            if (text + '\n' != sweepHeader()) fail(source + " wrote \"" + text + "\", not the header of a sweep");
            headerSeen_ = true;
            return;
        }
        if (pending() == 0 || text.rfind(cellText(results.cells()[pending_[next_]]) + ',', 0) != 0) {
            fail(source + " wrote \"" + text + "\", not the row of the cell it was given");
        }
        results.add(pending_[next_++], text + '\n');
    }
    bool complete() const { return headerSeen_ && pending() == 0; }

private:
    bool headerSeen_ = false;
    std::vector<size_t> pending_;
    size_t next_ = 0;
};

struct Running {
    std::unique_ptr<ChildProcess> child;
    std::string name;
    std::optional<RowReader> reader;
    Lines out;
    std::string err;
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
// rows tell whether it did all it was given.
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

// Each worker runs for the whole sweep and is handed the next cell in grid
// order whenever it has fewer than two to do: one process start per job,
// and no worker idles while cells are left.
void runOnLocalWorkers(const SweepPlan& plan, SweepResults& results) {
    constexpr size_t kCellsInHand = 2;
    std::vector<std::string> command = workerCommand(plan, programPath(), true);
    command.insert(command.end(), {"--cells", "-"});
    std::vector<std::unique_ptr<Running>> running;
    for (size_t j = 0; j < plan.jobs; ++j) {
        running.push_back(std::make_unique<Running>());
        running.back()->child = std::make_unique<ChildProcess>(command, true);
        running.back()->name = "worker " + std::to_string(j + 1);
        running.back()->reader.emplace();
    }
    size_t nextCell = 0;
    const auto handOut = [&](Running& r) {
        while (r.reader->pending() < kCellsInHand && nextCell < plan.cells.size()) {
            if (!r.child->writeInput(cellText(plan.cells[nextCell]) + '\n')) return;
            r.reader->expect(nextCell++);
        }
        if (nextCell == plan.cells.size()) r.child->closeInput();
    };
    for (auto& r : running) handOut(*r);
    while (!running.empty()) {
        readChildren(running);
        // Ctrl-C reaches the workers too: their end is the interrupt's.
        results.checkInterrupt();
        for (auto& r : running) {
            while (auto line = r->out.next()) r->reader->line(*line, r->name, results);
            handOut(*r);
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
    argv.insert(argv.end(), {"--jobs", "1"});
    std::vector<std::unique_ptr<Running>> running;
    running.push_back(std::make_unique<Running>());
    Running& dask = *running.front();
    dask.child = std::make_unique<ChildProcess>(argv);
    dask.name = "the Dask run";
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
                dask.reader.emplace();
                for (size_t i = first; i < first + count; ++i) dask.reader->expect(i);
            } else if (dask.reader) {
                dask.reader->line(*line, "a Dask worker", results);
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
    // More jobs than cells would idle.
    plan.jobs = std::min(plan.jobs, plan.cells.size());

    catchInterrupts();
    if (plan.cellsFromInput) {
        runFromInput(plan, *loadModule(plan.modulePath));
        return 0;
    }
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
        // A worker that ended is reported by its exit, not by a signal for
        // writing to it; standard output that went away is a write error.
        std::signal(SIGPIPE, SIG_IGN);
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
