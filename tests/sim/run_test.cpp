// quarlin-sim run, as users run it: the default scenario, measured inputs,
// and what becomes of a bad input file.
#include <gtest/gtest.h>

#include <algorithm>

#include <signal.h>
#include <sys/stat.h>

#include <bit>
#include <chrono>
#include <cmath>
#include <numbers>
#include <optional>
#include <thread>

#include "sim_support.h"
#include "subhost/engine.h"

namespace {

using namespace sim_test;

double wrapped(double error) {
    double e = std::fmod(error, 2 * std::numbers::pi);
    if (e > std::numbers::pi) e -= 2 * std::numbers::pi;
    if (e <= -std::numbers::pi) e += 2 * std::numbers::pi;
    return e;
}

// The one line a failed run prints.
void expectOneErrorLine(const Outcome& outcome, const std::string& message, const std::string& name) {
    EXPECT_NE(outcome.exitCode, 0) << name;
    EXPECT_EQ(outcome.err.rfind("quarlin-sim: ", 0), 0u) << name << ": " << outcome.err;
    EXPECT_EQ(std::count(outcome.err.begin(), outcome.err.end(), '\n'), 1) << name << ": " << outcome.err;
    EXPECT_NE(outcome.err.find(message), std::string::npos) << name << ": " << outcome.err;
}

TEST(Run, DefaultScenarioTracksTheMachine) {
    TempDir dir;
    const Outcome outcome = runSim({"run", "--output", "run.csv"}, dir.path());
    ASSERT_EQ(outcome.exitCode, 0) << outcome.err;
    EXPECT_TRUE(outcome.out.empty());
    const std::string csv = readFile(dir / "run.csv");
    const auto rows = lines(csv);
    ASSERT_EQ(rows.size(), 8001u);
    EXPECT_EQ(rows[0], "step,time,i_alpha,i_beta,v_alpha,v_beta,angle,speed_rpm,true_angle,true_speed_rpm");
    EXPECT_EQ(fields(rows[8000])[0], "7999");
    EXPECT_EQ(fields(rows[8000])[1], "0.7999");

    const auto angle = column(csv, "angle");
    const auto trueAngle = column(csv, "true_angle");
    const auto speed = column(csv, "speed_rpm");
    const auto trueSpeed = column(csv, "true_speed_rpm");
    double angleError = 0;
    double speedError = 0;
    for (size_t k = 7000; k < 8000; ++k) {
        angleError = std::max(angleError, std::abs(wrapped(floatOf(angle[k]) - doubleOf(trueAngle[k]))));
        speedError = std::max(speedError, std::abs(floatOf(speed[k]) - doubleOf(trueSpeed[k])));
    }
    // The default run settles to about 0.0041 rad and 0.20 rpm over its
    // last 0.1 s.  The host's cosine and sine are correctly rounded, so the
    // run has exact bits: its last outputs pin them.
    EXPECT_LT(angleError, 0.006);
    EXPECT_LT(speedError, 0.3);
    EXPECT_EQ(angle[7999], "6.192997");
    EXPECT_EQ(speed[7999], "1500.0626");
    // Early in the ramp the estimate still lags: the bound above is no
    // bound on a run that does not track.
    EXPECT_GT(std::abs(wrapped(floatOf(angle[400]) - doubleOf(trueAngle[400]))), 0.1);

    char expected[128];
    std::snprintf(expected, sizeof expected, "largest angle error %.6g rad, largest speed error %.6g rpm", angleError,
                  speedError);
    EXPECT_NE(outcome.err.find(expected), std::string::npos) << outcome.err;
    EXPECT_STREQ(expected, "largest angle error 0.00405945 rad, largest speed error 0.199341 rpm");
    EXPECT_NE(outcome.err.find("steps: 8000 (0 to 7999)"), std::string::npos) << outcome.err;
    EXPECT_NE(outcome.err.find("steps per second: "), std::string::npos) << outcome.err;
    EXPECT_EQ(outcome.err.find("diverged"), std::string::npos);
}

TEST(Run, ScenarioOptionsShapeTheRun) {
    TempDir dir;
    const Outcome outcome =
        runSim({"run", "--rpm", "-600", "--ramp", "0.01", "--hold", "0.02", "--phi0", "1", "--iq", "0.5"}, dir.path());
    ASSERT_EQ(outcome.exitCode, 0) << outcome.err;
    const auto trueSpeed = column(outcome.out, "true_speed_rpm");
    const auto trueAngle = column(outcome.out, "true_angle");
    const auto iBeta = column(outcome.out, "i_beta");
    ASSERT_EQ(trueSpeed.size(), 300u);
    EXPECT_EQ(trueSpeed[0], "-0");  // -600 rpm times no time at all
    EXPECT_EQ(trueSpeed[50], "-300");
    EXPECT_EQ(trueSpeed[299], "-600");
    EXPECT_EQ(trueAngle[0], "1");
    EXPECT_EQ(bitsOf(floatOf(iBeta[0])), bitsOf(static_cast<float>(0.5 * std::cos(1.0))));
}

// A file of awkward values comes back in the input columns with the same
// bits, and the outputs are those of the same inputs stepped directly on
// the engine.
TEST(Run, MeasuredInputsKeepTheirBitsAndGiveTheEnginesOutputs) {
    const char* values[] = {"0.1", "-0", "1e-45", "-1.1754942e-38", "3.4028235e38", "6.97", "-1e-40", "0.33333334",
                            "1500", "-2.5", "1e-7", "16777217"};
    std::string csv = "time,v_beta,comment,i_alpha,v_alpha,i_beta\n";
    std::vector<std::array<float, 4>> expected;
    const size_t n = std::size(values);
    for (size_t r = 0; r < 40; ++r) {
        const std::string ia = values[r % n], ib = values[(r + 3) % n], va = values[(r + 5) % n],
                          vb = values[(r + 7) % n];
        csv += std::to_string(r) + "," + vb + ",\"row, " + std::to_string(r) + "\"," + ia + "," + va + "," + ib + "\n";
        expected.push_back({floatOf(ia), floatOf(ib), floatOf(va), floatOf(vb)});
    }
    // Non-finite inputs late in the file, beyond the overflow that the
    // largest value already causes.
    csv += "40,1,x,nan,1,1\n41,1,x,0,inf,1\n42,1,x,0,0,-inf\n";
    expected.push_back({NAN, 1, 1, 1});
    expected.push_back({0, 1, INFINITY, 1});
    expected.push_back({0, -INFINITY, 0, 1});

    TempDir dir;
    writeFile(dir / "in.csv", csv);
    const Outcome outcome = runSim({"run", "--input", "in.csv", "--output", "out.csv", "--log-states"}, dir.path());
    ASSERT_EQ(outcome.exitCode, 0) << outcome.err;
    const std::string out = readFile(dir / "out.csv");
    EXPECT_EQ(lines(out)[0],
              "step,time,i_alpha,i_beta,v_alpha,v_beta,angle,speed_rpm,x0,x1,x2,x3,x4,x5,x6,ran0,ran1,ran2");

    subhost::Module module(modulePath().string());
    ASSERT_TRUE(module.loaded()) << module.error();
    subhost::Block block(module);
    ASSERT_TRUE(block.bind()) << block.bind().describe();
    ASSERT_TRUE(block.setUp());
    const char* inputColumns[] = {"i_alpha", "i_beta", "v_alpha", "v_beta"};
    const auto rowsOut = lines(out);
    ASSERT_EQ(rowsOut.size(), expected.size() + 1);
    const auto sameFloat = [](float got, float want) {
        return std::isnan(want) ? std::isnan(got) && std::signbit(got) == std::signbit(want)
                                : bitsOf(got) == bitsOf(want);
    };
    std::optional<size_t> diverged;
    for (size_t k = 0; k < expected.size(); ++k) {
        for (int port = 0; port < 4; ++port) {
            const float got = floatOf(column(out, inputColumns[port])[k]);
            ASSERT_TRUE(sameFloat(got, expected[k][port])) << "step " << k << " " << inputColumns[port];
            block.setInput(port, expected[k][port]);
        }
        ASSERT_TRUE(block.outputs());
        const auto row = fields(rowsOut[k + 1]);
        ASSERT_TRUE(sameFloat(floatOf(row[6]), block.output(0))) << "angle at step " << k;
        ASSERT_TRUE(sameFloat(floatOf(row[7]), block.output(1))) << "speed at step " << k;
        if (!diverged && !(std::isfinite(block.output(0)) && std::isfinite(block.output(1)))) diverged = k;
        const auto states = block.states();
        for (int i = 0; i < subhost::kNumStates; ++i) {
            ASSERT_TRUE(sameFloat(floatOf(row[8 + i]), states[i])) << "x" << i << " at step " << k;
        }
        const auto flags = block.runFlags();
        for (int i = 0; i < subhost::kNumRunFlags; ++i) {
            ASSERT_EQ(row[15 + i], std::to_string(flags[i])) << "ran" << i << " at step " << k;
        }
        ASSERT_TRUE(block.update());
    }
    ASSERT_TRUE(diverged);
    EXPECT_NE(outcome.err.find("diverged at step " + std::to_string(*diverged) + ":"), std::string::npos)
        << outcome.err;
}

// --output none: no rows anywhere, the same summary as a run that writes
// them, and a snapshot still saved.
TEST(Run, OutputNoneKeepsTheSummaryAndWritesNoRows) {
    TempDir dir;
    const Outcome written = runSim({"run", "--steps", "1500", "--output", "run.csv"}, dir.path());
    ASSERT_EQ(written.exitCode, 0) << written.err;
    std::filesystem::remove(dir / "run.csv");
    const Outcome silent =
        runSim({"run", "--steps", "1500", "--output", "none", "--log-states", "--save-state", "s.mat"}, dir.path());
    ASSERT_EQ(silent.exitCode, 0) << silent.err;
    EXPECT_TRUE(silent.out.empty());
    const auto tracking = [](const std::string& err) { return err.substr(err.find("tracking over")); };
    EXPECT_EQ(tracking(silent.err), tracking(written.err));
    EXPECT_NE(silent.err.find("steps: 1500 (0 to 1499)"), std::string::npos) << silent.err;
    std::vector<std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path())) files.push_back(entry.path().filename());
    EXPECT_EQ(files, std::vector<std::string>{"s.mat"});
}

TEST(Run, StepsEndsTheRunEarly) {
    TempDir dir;
    writeFile(dir / "in.csv", "i_alpha,i_beta,v_alpha,v_beta\n1,0,0,0\n0,1,0,0\n0,0,1,0\n");
    struct Case {
        std::vector<std::string> args;
        size_t rows;
    };
    const Case cases[] = {{{"run", "--steps", "7"}, 7},
                          {{"run", "--steps", "0"}, 0},
                          {{"run", "--input", "in.csv"}, 3},
                          {{"run", "--input", "in.csv", "--steps", "2"}, 2}};
    for (const auto& c : cases) {
        const Outcome outcome = runSim(c.args, dir.path());
        ASSERT_EQ(outcome.exitCode, 0) << outcome.err;
        EXPECT_EQ(lines(outcome.out).size(), c.rows + 1) << c.args.back();
    }
}

TEST(Run, BadInputFileStopsTheRunBeforeAnyOutput) {
    std::string late = "i_alpha,i_beta,v_alpha,v_beta\n";
    for (int r = 0; r < 5000; ++r) late += "0.5,0.5,1,1\n";
    late += "0,1..5,0,0\n";
    struct Case {
        const char* name;
        std::optional<std::string> content;  // none: no file at all
        const char* message;
    };
    const Case cases[] = {
        {"no file", std::nullopt, "cannot read in.csv: No such file or directory"},
        {"missing column", "i_alpha,i_beta,v_beta\n1,2,3\n", "in.csv line 1: the header has no column v_alpha"},
        {"short row", "i_alpha,i_beta,v_alpha,v_beta\n1,2,3,4\n1,2,3,4\n1,2\n",
         "in.csv line 4, column v_alpha: missing"},
        {"not a number", "i_alpha,i_beta,v_alpha,v_beta\n1,2,3,4\n1,2,3,four\n",
         "in.csv line 3, column v_beta: \"four\" is not a number"},
        {"a late bad value", late, "in.csv line 5002, column i_beta: \"1..5\" is not a number"},
    };
    for (const auto& c : cases) {
        TempDir dir;
        if (c.content) writeFile(dir / "in.csv", *c.content);
        const Outcome outcome = runSim({"run", "--input", "in.csv", "--output", "out.csv"}, dir.path());
        expectOneErrorLine(outcome, c.message, c.name);
        // Neither the output nor a temporary file beside it is left.
        std::vector<std::string> left;
        for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
            left.push_back(entry.path().filename().string());
        }
        EXPECT_EQ(left, c.content ? std::vector<std::string>{"in.csv"} : std::vector<std::string>{}) << c.name;
    }
}

// Ctrl-C ends a run between two steps, and what it was writing goes away.
TEST(Run, InterruptedRunLeavesNoFiles) {
    TempDir dir;
    const Started started = startProgram(
        programPath(), {"run", "--hold", "3000", "--output", "out.csv", "--save-state", "s.mat", "--at", "20000000"},
        dir.path());
    // Waits until the run is under way: its temporary output exists.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    bool writing = false;
    while (!writing && std::chrono::steady_clock::now() < deadline) {
        for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
            writing = writing || entry.path().filename().string().rfind(".out.csv.", 0) == 0;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ASSERT_TRUE(writing);
    ::kill(started.pid, SIGINT);
    const Outcome outcome = finish(started);
    EXPECT_EQ(outcome.exitCode, 128 + SIGINT) << outcome.err;
    EXPECT_EQ(outcome.err.rfind("quarlin-sim: interrupted by signal 2 at step ", 0), 0u) << outcome.err;
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

// A target that is not a regular file (a pipe here; /dev/null alike) is
// written into, never replaced; a link stays a link.
TEST(Run, OutputIntoAPipeOrThroughALink) {
    TempDir dir;
    const auto fifo = dir / "pipe.csv";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::string received;
    std::thread reader([&] { received = readFile(fifo); });
    const Outcome outcome = runSim({"run", "--steps", "5", "--output", "pipe.csv"}, dir.path());
    reader.join();
    ASSERT_EQ(outcome.exitCode, 0) << outcome.err;
    EXPECT_EQ(lines(received).size(), 6u);
    EXPECT_TRUE(std::filesystem::is_fifo(fifo));

    std::filesystem::create_directory(dir / "data");
    std::filesystem::create_symlink("data/real.csv", dir / "link.csv");
    for (const char* steps : {"3", "4"}) {
        ASSERT_EQ(runSim({"run", "--steps", steps, "--output", "link.csv"}, dir.path()).exitCode, 0);
        EXPECT_TRUE(std::filesystem::is_symlink(dir / "link.csv"));
        EXPECT_EQ(lines(readFile(dir / "data" / "real.csv")).size(), std::stoul(steps) + 1);
    }
}

}  // namespace
