// quarlin-sim sweep: the grid and its rows, each cell against a run of it
// alone, the same output whatever runs the cells, and a clean stop.
#include <gtest/gtest.h>

#include <signal.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <set>
#include <thread>

#include "failure.h"
#include "floats.h"
#include "sim_support.h"
#include "sweep.h"
#include "tracking.h"

namespace {

using namespace sim_test;
using quarlin_sim::parseAxis;

TEST(SweepGrid, AxesAreListsOrRangesWithTheStopIncluded) {
    struct Case {
        const char* text;
        std::vector<double> values;
    };
    const Case cases[] = {
        {"1500", {1500}},
        {"250,-100,1e3", {250, -100, 1000}},
        {"250:1000:250", {250, 500, 750, 1000}},
        {"250:900:250", {250, 500, 750}},
        {"6000:5000:-500", {6000, 5500, 5000}},
        {"0.005:0.03:0.005", {0.005, 0.01, 0.015, 0.02, 0.025, 0.03}},
        {"0.1:0.3:0.1", {0.1, 0.2, 0.3}},
        {"7:7:1", {7}},
    };
    for (const auto& c : cases) EXPECT_EQ(parseAxis("--rpm", c.text), c.values) << c.text;

    const std::pair<const char*, const char*> refused[] = {
        {"", "\"\" in \"\" is not a number"},
        {"1,,2", "\"\" in \"1,,2\" is not a number"},
        {"1:2", "\"1:2\" is not start:stop:step"},
        {"1:2:0", "the step of \"1:2:0\" is zero"},
        {"2:1:1", "\"2:1:1\" steps away from its stop"},
        {"0:1:1e-9", "has more than 1000000 values"},
        {"1,inf", "every value must be finite"},
    };
    for (const auto& [text, message] : refused) {
        try {
            parseAxis("--rpm", text);
            ADD_FAILURE() << text;
        } catch (const quarlin_sim::Failure& failure) {
            EXPECT_EQ(failure.exitCode(), quarlin_sim::kExitUsage);
            EXPECT_NE(std::string(failure.what()).find(message), std::string::npos) << failure.what();
        }
    }
}

TEST(SweepGrid, CellsComeInGridOrderAndSurviveTheirText) {
    const std::vector<double> rpm = {100, 200}, psi = {0.01, 0.02}, iq = {1}, ramp = {0.1, 0.2};
    const auto cells = quarlin_sim::gridCells(rpm, psi, iq, ramp);
    ASSERT_EQ(cells.size(), 8u);
    EXPECT_EQ(quarlin_sim::cellText(cells[0]), "100,0.01,1,0.1");
    EXPECT_EQ(quarlin_sim::cellText(cells[1]), "100,0.01,1,0.2");
    EXPECT_EQ(quarlin_sim::cellText(cells[2]), "100,0.02,1,0.1");
    EXPECT_EQ(quarlin_sim::cellText(cells[7]), "200,0.02,1,0.2");
    const auto back = quarlin_sim::parseCells(quarlin_sim::cellsText(cells));
    ASSERT_EQ(back.size(), cells.size());
    for (size_t i = 0; i < cells.size(); ++i) EXPECT_EQ(quarlin_sim::cellText(back[i]), quarlin_sim::cellText(cells[i]));
}

// A tracking window of two steps, and where each cell falls.
TEST(SweepGrid, ClassesFollowTheTolerances) {
    struct Case {
        const char* name;
        double rpm;
        float speedError;
        float angleError;
        const char* angleTol;
        const char* speedTol;
        const char* row;
    };
    const Case cases[] = {
        {"within both", 1000, 9.5f, 0.03125f, nullptr, nullptr, "1000,0.01,1,0.5,tracks,0.03125,9.5,\n"},
        {"speed at 1%", 1000, 10.0f, 0.03125f, nullptr, nullptr, "1000,0.01,1,0.5,loses-lock,0.03125,10,\n"},
        {"angle at the tolerance", 1000, 0.0f, 0.0625f, "0.0625", nullptr, "1000,0.01,1,0.5,loses-lock,0.0625,0,\n"},
        {"angle within", 1000, 0.0f, 0.0625f, "0.07", nullptr, "1000,0.01,1,0.5,tracks,0.0625,0,\n"},
        {"1 rpm at least", 50, 0.75f, 0.0f, nullptr, nullptr, "50,0.01,1,0.5,tracks,0,0.75,\n"},
        {"fixed rpm", 1000, 4.0f, 0.0f, nullptr, "3", "1000,0.01,1,0.5,loses-lock,0,4,\n"},
        {"percent", 1000, 4.0f, 0.0f, nullptr, "0.5%", "1000,0.01,1,0.5,tracks,0,4,\n"},
        {"non-finite", 1000, 0.0f, std::nanf(""), nullptr, nullptr, "1000,0.01,1,0.5,diverges,0,0,11\n"},
    };
    const auto given = [](const char* text) { return text ? std::optional<std::string>(text) : std::nullopt; };
    for (const auto& c : cases) {
        quarlin_sim::Tracking tracking(10);
        tracking.add(10, 1.0f, static_cast<float>(c.rpm), 1.0, c.rpm);
        tracking.add(11, 1.0f + c.angleError, static_cast<float>(c.rpm) + c.speedError, 1.0, c.rpm);
        const auto tolerances = quarlin_sim::parseTolerances(given(c.angleTol), given(c.speedTol));
        const quarlin_sim::SweepCell cell{c.rpm, 0.01, 1, 0.5};
        EXPECT_EQ(quarlin_sim::sweepRow(cell, tracking, tolerances), c.row) << c.name;
    }
    // A window without a finite output leaves both errors empty.
    quarlin_sim::Tracking dark(0);
    dark.add(0, std::nanf(""), 0.0f, 0.0, 0.0);
    EXPECT_EQ(quarlin_sim::sweepRow({1, 2, 3, 4}, dark, {}), "1,2,3,4,diverges,,,0\n");
}

const char* const kSmallGrid[] = {"--rpm", "1500,3000,4500", "--psi", "0.005,0.01", "--iq", "1,1.5", "--ramp", "0.4"};

std::vector<std::string> smallGrid(std::vector<std::string> more) {
    std::vector<std::string> args = {"sweep"};
    args.insert(args.end(), std::begin(kSmallGrid), std::end(kSmallGrid));
    args.insert(args.end(), more.begin(), more.end());
    return args;
}

std::string numberText(double value) {
    char text[quarlin_sim::kMaxNumberText];
    return std::string(text, quarlin_sim::writeDouble(text, value));
}

// Every cell is what a run of that cell alone gives: its last 1000 steps
// measured from the run's CSV, classed by the default tolerances.
TEST(Sweep, EachCellIsClassedAsARunOfItAlone) {
    TempDir dir;
    const Outcome sweep = runSim(smallGrid({"--jobs", "2"}), dir.path());
    ASSERT_EQ(sweep.exitCode, 0) << sweep.err;
    const auto rows = lines(sweep.out);
    ASSERT_EQ(rows.size(), 13u);
    EXPECT_EQ(rows[0], "rpm,psi,iq,ramp,class,angle_error,speed_error_rpm,diverged_at_step");
    EXPECT_NE(sweep.err.find("cells: 12 in 2 worker processes"), std::string::npos) << sweep.err;
    std::set<std::string> classes;
    for (size_t r = 1; r < rows.size(); ++r) {
        const auto f = fields(rows[r]);
        ASSERT_EQ(f.size(), 8u) << rows[r];
        const Outcome run = runSim({"run", "--rpm", f[0], "--psi", f[1], "--iq", f[2], "--ramp", f[3]}, dir.path());
        ASSERT_EQ(run.exitCode, 0) << run.err;
        const auto angle = column(run.out, "angle"), trueAngle = column(run.out, "true_angle");
        const auto speed = column(run.out, "speed_rpm"), trueSpeed = column(run.out, "true_speed_rpm");
        ASSERT_EQ(angle.size(), 7000u);
        double angleError = 0.0, speedError = 0.0;
        size_t counted = 0;
        std::string divergedAt;
        for (size_t k = 0; k < angle.size(); ++k) {
            const float a = floatOf(angle[k]), s = floatOf(speed[k]);
            const bool finite = std::isfinite(a) && std::isfinite(s);
            if (!finite && divergedAt.empty()) divergedAt = std::to_string(k);
            if (k < 6000 || !finite) continue;
            ++counted;
            angleError = std::max(angleError, std::abs(quarlin_sim::wrappedAngleError(a, doubleOf(trueAngle[k]))));
            speedError = std::max(speedError, std::abs(s - doubleOf(trueSpeed[k])));
        }
        const double speedTol = std::max(0.01 * std::abs(doubleOf(f[0])), 1.0);
        const std::string expected = !divergedAt.empty()                            ? "diverges"
                                     : angleError < 0.05 && speedError < speedTol ? "tracks"
                                                                                  : "loses-lock";
        EXPECT_EQ(f[4], expected) << rows[r];
        EXPECT_EQ(f[5], counted ? numberText(angleError) : "") << rows[r];
        EXPECT_EQ(f[6], counted ? numberText(speedError) : "") << rows[r];
        EXPECT_EQ(f[7], divergedAt) << rows[r];
        classes.insert(f[4]);
    }
    // The grid reaches every class, so that each was checked.
    EXPECT_EQ(classes, (std::set<std::string>{"tracks", "loses-lock", "diverges"}));
}

// One process, two or three workers, a file or standard output, the cells
// given one by one: the same bytes.
TEST(Sweep, OutputIsTheSameWhateverRunsTheCells) {
    TempDir dir;
    const Outcome one = runSim(smallGrid({"--jobs", "1"}), dir.path());
    ASSERT_EQ(one.exitCode, 0) << one.err;
    EXPECT_NE(one.err.find("cells: 12 in this process"), std::string::npos) << one.err;
    for (const char* jobs : {"2", "3"}) {
        const Outcome many = runSim(smallGrid({"--jobs", jobs, "--quiet"}), dir.path());
        EXPECT_EQ(many.exitCode, 0) << many.err;
        EXPECT_EQ(many.out, one.out) << jobs;
        EXPECT_EQ(many.err, "");
    }
    const Outcome toFile = runSim(smallGrid({"--jobs", "2", "--output", "sweep.csv"}), dir.path());
    EXPECT_EQ(toFile.exitCode, 0) << toFile.err;
    EXPECT_EQ(toFile.out, "");
    EXPECT_EQ(readFile(dir / "sweep.csv"), one.out);

    std::string cells;
    for (size_t r = 1; r < lines(one.out).size(); ++r) {
        const auto f = fields(lines(one.out)[r]);
        cells += (cells.empty() ? "" : ";") + f[0] + "," + f[1] + "," + f[2] + "," + f[3];
    }
    const Outcome listed = runSim({"sweep", "--cells", cells, "--quiet"}, dir.path());
    EXPECT_EQ(listed.out, one.out) << listed.err;
}

TEST(Sweep, PlotDrawsTheEnvelope) {
    TempDir dir;
    const Outcome sweep = runSim(
        {"sweep", "--rpm", "1500,4500", "--psi", "0.01", "--ramp", "0.3,0.4", "--quiet", "--plot", "envelope.png"},
        dir.path());
    ASSERT_EQ(sweep.exitCode, 0) << sweep.err;
    EXPECT_EQ(lines(sweep.out).size(), 5u);
    // The picture of a sweep on standard output, and of its CSV later.
    writeFile(dir / "sweep.csv", sweep.out);
    const Outcome plot = runSim({"plot", "sweep.csv", "-o", "again.png"}, dir.path());
    EXPECT_EQ(plot.exitCode, 0) << plot.err;
    for (const char* png : {"envelope.png", "again.png"}) {
        EXPECT_EQ(readFile(dir / png).substr(0, 8), "\x89PNG\r\n\x1a\n") << png;
    }
    writeFile(dir / "bad.csv", "rpm,psi,iq,ramp,class,angle_error\n1,2,3,4,wobbles,0\n");
    const Outcome bad = runSim({"plot", "bad.csv", "-o", "bad.png"}, dir.path());
    EXPECT_EQ(bad.exitCode, 1);
    EXPECT_NE(bad.err.find("'wobbles' is not a class of a sweep"), std::string::npos) << bad.err;
}

TEST(Sweep, RefusesABadCommandLineBeforeAnyCell) {
    TempDir dir;
    struct Case {
        std::vector<std::string> args;
        int exitCode;
        const char* message;
    };
    const Case cases[] = {
        {{"--rpm", "1:2:0"}, 2, "--rpm: the step of \"1:2:0\" is zero"},
        {{"--psi", "0.01,x"}, 2, "--psi: \"x\" in \"0.01,x\" is not a number"},
        {{"--ramp", "-1,1"}, 2, "--ramp must not be negative"},
        {{"--cells", "1,2,3"}, 2, "--cells: \"1,2,3\" is not rpm,psi,iq,ramp"},
        {{"--cells", "1,2,3,4", "--iq", "2"}, 2, "--cells and --iq exclude each other"},
        {{"--cells", "-", "--jobs", "2"}, 2, "--cells - writes to standard output in this process: drop --jobs"},
        {{"--jobs", "0"}, 2, "--jobs must be at least 1"},
        {{"--jobs", "1.5"}, 2, "--jobs: \"1.5\" is not a number of processes"},
        {{"--jobs", "2", "--dask", "tcp://127.0.0.1:1"}, 2, "--jobs and --dask exclude each other"},
        {{"--dask-program", "q"}, 2, "--dask-program needs --dask"},
        {{"--angle-tol", "0"}, 2, "--angle-tol must be above 0"},
        {{"--speed-tol", "-1%"}, 2, "--speed-tol must be above 0"},
        {{"--speed-tol", "fast"}, 2, "--speed-tol: \"fast\" in \"fast\" is not a number"},
        {{"-o", "x.csv", "--plot", "x.csv"}, 2, "the same file x.csv is given to --output and --plot"},
        {{"--module", "nowhere.mexa64", "--jobs", "2"}, 1, "cannot load the module nowhere.mexa64"},
        {{"--output", "no/such/dir/o.csv"}, 1, "cannot write no/such/dir/o.csv"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args = {"sweep"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const Outcome outcome = runSim(args, dir.path());
        EXPECT_EQ(outcome.exitCode, c.exitCode) << c.message << ": " << outcome.err;
        EXPECT_EQ(outcome.err.rfind(std::string("quarlin-sim: ") + c.message, 0), 0u) << outcome.err;
        EXPECT_EQ(std::count(outcome.err.begin(), outcome.err.end(), '\n'), 1) << outcome.err;
        EXPECT_EQ(outcome.out, "") << c.message;
    }
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

// Ctrl-C stops the workers and leaves no file; the program waits for its
// workers, so none outlives it.
TEST(Sweep, InterruptedSweepLeavesNoFiles) {
    TempDir dir;
    const Started started =
        startProgram(programPath(), {"sweep", "--rpm", "0:10000:1", "--jobs", "2", "--output", "out.csv"}, dir.path());
    ASSERT_TRUE(waitForFile(dir.path(), ".out.csv."));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    ::kill(started.pid, SIGINT);
    const Outcome outcome = finish(started);
    EXPECT_EQ(outcome.exitCode, 128 + SIGINT) << outcome.err;
    EXPECT_EQ(outcome.err.rfind("quarlin-sim: interrupted by signal 2 after ", 0), 0u) << outcome.err;
    EXPECT_NE(outcome.err.find(" of 60006 cells\n"), std::string::npos) << outcome.err;
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

}  // namespace
