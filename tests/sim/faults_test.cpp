// quarlin-sim under faults: inputs at the edges (empty, a header only, a
// million rows, lines of a megabyte), interrupts at any moment of start-up,
// a save killed while it writes, and a file system that refuses to let a
// file grow.  Whatever happens, no file the user had is lost or damaged and
// no temporary file is left behind.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "sim_support.h"
#include "snapshot_file.h"

namespace {

using namespace sim_test;

std::vector<std::string> entries(const std::filesystem::path& dir) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

std::string inputCsv(size_t rows) {
    std::string text = "i_alpha,i_beta,v_alpha,v_beta\n";
    for (size_t k = 0; k < rows; ++k) {
        text += std::to_string(k % 7) + ".25,-1.5,0.125," + std::to_string(k % 5) + "\n";
    }
    return text;
}

TEST(Faults, InputWithoutRowsStopsTheRunBeforeAnyFile) {
    struct Case {
        const char* name;
        std::string text;
        const char* message;
    };
    const Case cases[] = {
        {"empty", "", "quarlin-sim: in.csv is empty: it needs a header row naming i_alpha,i_beta,v_alpha,v_beta\n"},
        {"blank lines only", "\n \r\n\t\n", "quarlin-sim: in.csv is empty: it needs a header row naming "
                                             "i_alpha,i_beta,v_alpha,v_beta\n"},
        {"header only", "i_alpha,i_beta,v_alpha,v_beta\n", "quarlin-sim: in.csv has a header but no data rows\n"},
        {"header only, no line break", "i_alpha,i_beta,v_alpha,v_beta",
         "quarlin-sim: in.csv has a header but no data rows\n"},
        {"header and blank lines", "i_alpha,i_beta,v_alpha,v_beta\n\n\n",
         "quarlin-sim: in.csv has a header but no data rows\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        writeFile(dir / "in.csv", c.text);
        const Outcome outcome =
            runSim({"run", "--input", "in.csv", "--output", "out.csv", "--save-state", "s.mat"}, dir.path());
        EXPECT_EQ(outcome.exitCode, 1);
        EXPECT_EQ(outcome.err, c.message);
        EXPECT_EQ(entries(dir.path()), std::vector<std::string>{"in.csv"});
    }
}

// The input is read as it is stepped: a million rows need the memory of a
// thousand.
TEST(Faults, MillionRowInputIsStreamedInFlatMemory) {
    TempDir dir;
    writeFile(dir / "small.csv", inputCsv(1000));
    writeFile(dir / "large.csv", inputCsv(1000000));
    const Outcome small = runSim({"run", "--input", "small.csv", "--output", "/dev/null"}, dir.path());
    const Outcome large = runSim({"run", "--input", "large.csv", "--output", "/dev/null"}, dir.path());
    ASSERT_EQ(small.exitCode, 0) << small.err;
    ASSERT_EQ(large.exitCode, 0) << large.err;
    EXPECT_EQ(large.err.rfind("steps: 1000000 (0 to 999999)\n", 0), 0u) << large.err;
    // The whole text alone is 18 MB, its rows 16 MB.
    EXPECT_LT(large.peakRssKb - small.peakRssKb, 4096)
        << "peak resident set: " << small.peakRssKb << " kB for 1000 rows, " << large.peakRssKb
        << " kB for a million";
}

TEST(Faults, LinesOfAMegabyteAreRead) {
    TempDir dir;
    const std::string note(1 << 20, 'n');
    writeFile(dir / "in.csv", "i_alpha,i_beta,note,v_alpha,v_beta\n"
                              "1,2," + note + ",3,4\n"
                              "5,6,\"" + note + ",\"\"" + note + "\",7,8\n"
                              "9,10,,11,12\n");
    const Outcome outcome = runSim({"run", "--input", "in.csv", "--output", "out.csv"}, dir.path());
    ASSERT_EQ(outcome.exitCode, 0) << outcome.err;
    const std::string out = readFile(dir / "out.csv");
    EXPECT_EQ(column(out, "i_alpha"), (std::vector<std::string>{"1", "5", "9"}));
    EXPECT_EQ(column(out, "v_beta"), (std::vector<std::string>{"4", "8", "12"}));

    // A line past 16 MiB is refused, not read into memory without end.
    writeFile(dir / "long.csv", "i_alpha,i_beta,v_alpha,v_beta\n1,2,3,4\n" + std::string(17 << 20, '7') + "\n");
    const Outcome refused = runSim({"run", "--input", "long.csv", "--output", "refused.csv"}, dir.path());
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_EQ(refused.err, "quarlin-sim: long.csv line 3 is longer than 16 MiB\n");
    EXPECT_FALSE(std::filesystem::exists(dir / "refused.csv"));
}

// Starts a long run in `dir` that writes its rows and a snapshot.
Started startLongRun(const TempDir& dir) {
    return startProgram(programPath(),
                        {"run", "--hold", "3000", "--output", "out.csv", "--save-state", "s.mat", "--at", "20000000"},
                        dir.path());
}

// The interrupt handler is in place before the run makes any file: an
// interrupt at any moment leaves the directory as it was, the moment the
// temporary output appears included.
TEST(Faults, InterruptAtAnyMomentOfStartUpLeavesNoFile) {
    {
        SCOPED_TRACE("interrupted as the temporary output appears");
        TempDir dir;
        const int watch = ::inotify_init1(IN_CLOEXEC);
        ASSERT_GE(watch, 0);
        ASSERT_GE(::inotify_add_watch(watch, dir.path().c_str(), IN_CREATE), 0);
        const Started started = startLongRun(dir);
        struct pollfd ready = {watch, POLLIN, 0};
        const bool created = ::poll(&ready, 1, 60000) == 1;
        ::kill(started.pid, SIGINT);
        ::close(watch);
        const Outcome outcome = finish(started);
        EXPECT_TRUE(created);
        EXPECT_EQ(outcome.exitCode, 128 + SIGINT) << outcome.err;
        EXPECT_EQ(outcome.err.rfind("quarlin-sim: interrupted by signal 2 ", 0), 0u) << outcome.err;
        EXPECT_TRUE(entries(dir.path()).empty());
    }
    for (int delayMs : {0, 1, 2, 3, 5, 8, 12, 20, 30, 50, 80, 120}) {
        SCOPED_TRACE("interrupted after " + std::to_string(delayMs) + " ms");
        TempDir dir;
        const Started started = startLongRun(dir);
        std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
        ::kill(started.pid, SIGINT);
        const Outcome outcome = finish(started);
        EXPECT_EQ(outcome.exitCode, 128 + SIGINT) << outcome.err;
        EXPECT_TRUE(entries(dir.path()).empty());
    }
}

// Runs quarlin-sim in `dir` with files limited to `limit` bytes, as on a
// disk that fills up.
Outcome runWithFileSizeLimit(const std::vector<std::string>& args, const std::filesystem::path& dir, rlim_t limit) {
    const std::string errPath = dir.string() + ".limited-stderr";
    const std::string program = programPath().string();
    std::vector<std::string> argv = {program};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> raw;
    for (auto& a : argv) raw.push_back(a.data());
    raw.push_back(nullptr);
    const pid_t child = ::fork();
    if (child == 0) {
        const int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int null = ::open("/dev/null", O_RDWR);
        if (err < 0 || null < 0 || ::chdir(dir.c_str()) != 0) ::_exit(126);
        ::dup2(null, STDIN_FILENO);
        ::dup2(null, STDOUT_FILENO);
        ::dup2(err, STDERR_FILENO);
        const struct rlimit size = {limit, limit};
        ::setrlimit(RLIMIT_FSIZE, &size);
        ::execv(program.c_str(), raw.data());
        ::_exit(127);
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0) {
    }
    Outcome outcome;
    outcome.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    outcome.err = readFile(errPath);
    std::filesystem::remove(errPath);
    return outcome;
}

TEST(Faults, FullDiskDuringAWriteKeepsTheEarlierFile) {
    struct Case {
        const char* name;
        const char* file;
        std::vector<std::string> args;
    };
    const Case cases[] = {
        {"snapshot", "s.mat", {"run", "--steps", "40", "--save-state", "s.mat", "--output", "/dev/null"}},
        {"rows", "out.csv", {"run", "--steps", "400", "--output", "out.csv"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        ASSERT_EQ(runSim({"run", "--steps", "20", "--save-state", "s.mat", "--output", "out.csv"}, dir.path()).exitCode, 0);
        const std::string snapshot = readFile(dir / "s.mat");
        const std::string rows = readFile(dir / "out.csv");
        ASSERT_GT(snapshot.size(), 2048u);
        ASSERT_GT(rows.size(), 1024u);

        const Outcome outcome = runWithFileSizeLimit(c.args, dir.path(), 1024);
        EXPECT_EQ(outcome.exitCode, 1);
        EXPECT_EQ(outcome.err, std::string("quarlin-sim: cannot write ") + c.file + ": File too large\n");
        EXPECT_EQ(readFile(dir / "s.mat"), snapshot);
        EXPECT_EQ(readFile(dir / "out.csv"), rows);
        EXPECT_EQ(entries(dir.path()), (std::vector<std::string>{"out.csv", "s.mat"}));
    }
}

// Kills the save the moment its temporary file appears, until one kill
// lands before the rename.  Every time, the snapshot under the user's name
// stays whole: the earlier one, or the new one complete.
TEST(Faults, SaveKilledWhileWritingLeavesTheEarlierSnapshot) {
    TempDir dir;
    ASSERT_EQ(runSim({"run", "--steps", "100", "--save-state", "s.mat", "--output", "/dev/null"}, dir.path()).exitCode, 0);
    const std::string earlier = readFile(dir / "s.mat");

    int killedWhileWriting = 0;
    for (int attempt = 0; attempt < 40 && killedWhileWriting == 0; ++attempt) {
        const int watch = ::inotify_init1(IN_CLOEXEC);
        ASSERT_GE(watch, 0);
        ASSERT_GE(::inotify_add_watch(watch, dir.path().c_str(), IN_CREATE), 0);
        const Started started = startProgram(
            programPath(), {"run", "--steps", "200", "--save-state", "s.mat", "--at", "150", "--output", "/dev/null"},
            dir.path());
        struct pollfd ready = {watch, POLLIN, 0};
        const bool created = ::poll(&ready, 1, 60000) == 1;
        ::kill(started.pid, SIGKILL);
        ::close(watch);
        const Outcome outcome = finish(started);
        ASSERT_TRUE(created) << "the save never began";
        ASSERT_EQ(outcome.exitCode, 128 + SIGKILL);

        const std::string now = readFile(dir / "s.mat");
        const auto file = quarlin_sim::readSnapshotFile((dir / "s.mat").string());
        EXPECT_EQ(file.resume.step, now == earlier ? 100u : 150u);
        // A temporary file left by the kill is all that may differ.
        for (const auto& name : entries(dir.path())) {
            if (name == "s.mat") continue;
            EXPECT_EQ(name.rfind(".s.mat.", 0), 0u) << name;
            std::filesystem::remove(dir / name);
            if (now == earlier) ++killedWhileWriting;
        }
        if (now != earlier) writeFile(dir / "s.mat", earlier);
    }
    EXPECT_EQ(killedWhileWriting, 1) << "no kill landed while the snapshot was written";
}

}  // namespace
