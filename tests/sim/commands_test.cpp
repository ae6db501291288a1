// The other commands, help and usage errors, and the installed program.
#include <gtest/gtest.h>

#include <algorithm>

#include "sim_support.h"
#include "subhost/engine.h"

namespace {

using namespace sim_test;

TEST(Commands, EveryCommandHasHelp) {
    TempDir dir;
    struct Case {
        std::vector<std::string> args;
        const char* usage;
    };
    const Case cases[] = {
        {{"--help"}, "usage: quarlin-sim COMMAND"},      {{"run", "--help"}, "usage: quarlin-sim run [options]"},
        {{"run", "-h"}, "--save-state FILE.mat"},        {{"sizes", "--help"}, "usage: quarlin-sim sizes"},
        {{"info", "--help"}, "usage: quarlin-sim info"}, {{"plot", "--help"}, "usage: quarlin-sim plot RUN.csv -o RUN.png"},
        {{"run", "--rpm", "x", "--help"}, "--log-states"}, {{"bench", "--help"}, "usage: quarlin-sim bench [options]"},
        {{"sweep", "--help"}, "usage: quarlin-sim sweep [options]"},
    };
    for (const auto& c : cases) {
        const Outcome outcome = runSim(c.args, dir.path());
        EXPECT_EQ(outcome.exitCode, 0) << c.usage;
        EXPECT_NE(outcome.out.find(c.usage), std::string::npos) << outcome.out;
        EXPECT_TRUE(outcome.err.empty()) << outcome.err;
    }
}

TEST(Commands, UsageErrorsAreOneLineWithExitStatus2) {
    TempDir dir;
    struct Case {
        std::vector<std::string> args;
        const char* message;
    };
    const Case cases[] = {
        {{}, "usage: quarlin-sim COMMAND"},
        {{"simulate"}, "unknown command \"simulate\""},
        {{"run", "--speed", "3"}, "unknown option --speed for run"},
        {{"run", "--rpm"}, "--rpm needs a value"},
        {{"run", "--rpm", "fast"}, "--rpm: \"fast\" is not a number"},
        {{"run", "--steps", "-1"}, "--steps: \"-1\" is not a whole number of steps"},
        {{"run", "--ramp", "-1"}, "--ramp must not be negative"},
        {{"run", "--psi", "nan"}, "every scenario value must be finite"},
        {{"run", "--scenario", "induction"}, "unknown scenario \"induction\""},
        {{"run", "--input", "a.csv", "--rpm", "10"}, "--input and the scenario options exclude each other"},
        {{"run", "--at", "10"}, "--at needs --save-state"},
        {{"run", "--output", "x.csv", "--plot", "x.csv"}, "the same file x.csv is given to --output and --plot"},
        {{"run", "--input", "x.csv", "--output", "x.csv"}, "the same file x.csv is given to --input and --output"},
        {{"plot", "run.csv"}, "plot needs -o RUN.png"},
        {{"plot", "-o", "x.png"}, "plot needs the run's CSV file"},
        {{"sizes", "extra"}, "unexpected argument \"extra\" for sizes"},
        {{"run", "--output", "none", "--plot", "x.png"}, "--plot draws the rows, which --output none does not write"},
        {{"bench", "--steps", "0"}, "--steps must be from 1 to 10000000000"},
        {{"bench", "--steps", "10000000001"}, "--steps must be from 1 to 10000000000"},
    };
    for (const auto& c : cases) {
        const Outcome outcome = runSim(c.args, dir.path());
        EXPECT_EQ(outcome.exitCode, 2) << c.message << ": " << outcome.err;
        EXPECT_NE(outcome.err.find(c.message), std::string::npos) << outcome.err;
        if (!c.args.empty()) {
            EXPECT_EQ(std::count(outcome.err.begin(), outcome.err.end(), '\n'), 1) << outcome.err;
        }
    }
}

TEST(Commands, RunRefusalsThatNeedTheFilesystemOrTheModule) {
    TempDir dir;
    struct Case {
        std::vector<std::string> args;
        const char* message;
    };
    const Case cases[] = {
        {{"run", "--module", "nowhere.mexa64"}, "cannot load the module nowhere.mexa64"},
        {{"run", "--steps", "10", "--save-state", "s.mat", "--at", "11"}, "--at 11 is outside this run (steps 0 to 10)"},
        {{"run", "--save-state", "no/such/dir/s.mat"}, "cannot write no/such/dir/s.mat"},
        {{"run", "--output", "no/such/dir/o.csv"}, "cannot write no/such/dir/o.csv"},
        {{"run", "--output", "."}, "cannot write .: it is a directory"},
    };
    for (const auto& c : cases) {
        const Outcome outcome = runSim(c.args, dir.path());
        EXPECT_EQ(outcome.exitCode, 1) << c.message << ": " << outcome.err;
        EXPECT_NE(outcome.err.find(c.message), std::string::npos) << outcome.err;
        EXPECT_EQ(std::count(outcome.err.begin(), outcome.err.end(), '\n'), 1) << outcome.err;
    }
}

TEST(Commands, SizesPrintsTheEnginesSizesQuery) {
    TempDir dir;
    const Outcome outcome = runSim({"sizes"}, dir.path());
    ASSERT_EQ(outcome.exitCode, 0) << outcome.err;
    subhost::Module module(modulePath().string());
    ASSERT_TRUE(module.loaded()) << module.error();
    const auto query = subhost::sizesQuery(module);
    ASSERT_TRUE(query.call);
    const auto rows = lines(outcome.out);
    ASSERT_EQ(rows.size(), 40u);
    for (size_t i = 0; i < rows.size(); ++i) {
        char expected[64];
        std::snprintf(expected, sizeof expected, "%zu %.0f", i, query.sizes[i]);
        EXPECT_EQ(rows[i], expected);
    }
    EXPECT_EQ(rows[19], "19 8480229");
    EXPECT_EQ(rows[23], "23 1744840738");
}

TEST(Commands, InfoTellsWhatTheModuleDeclares) {
    TempDir dir;
    const Outcome outcome = runSim({"info"}, dir.path());
    ASSERT_EQ(outcome.exitCode, 0) << outcome.err;
    for (const char* text : {"mexfilerequiredapiversion: 131611 134217728", "input ports: 4", "  3 v_beta ",
                             "output ports: 2", "  0 period 0.0001, offset 0", "model information: 42 entries",
                             "mr_Quarlin_GetDWork", "Quarlin.c", "state checksum: 0xCC466449 0x53FC69BF 0x125D1680 0xFD15C90C",
                             "data map states: 7", "Block_in_protected_model/DSTATE  single (4 bytes)  value 0"}) {
        EXPECT_NE(outcome.out.find(text), std::string::npos) << text << "\n" << outcome.out;
    }
    EXPECT_NE(outcome.out.find("module: " + std::filesystem::canonical(modulePath()).string()), std::string::npos);
}

// A short bench: one JSON object with every figure a positive number.
TEST(Commands, BenchPrintsOneJsonObject) {
    TempDir dir;
    const Outcome outcome = runSim({"bench", "--steps", "2000", "--repeat", "1"}, dir.path());
    ASSERT_EQ(outcome.exitCode, 0) << outcome.err;
    EXPECT_TRUE(outcome.err.empty()) << outcome.err;
    writeFile(dir / "bench.json", outcome.out);
    const char* check =
        "import json, math, sys\n"
        "figures = json.load(open(sys.argv[1]))\n"
        "keys = ['model_ns_per_step', 'gateway_ns_per_step', 'periodic_ns_per_step',\n"
        "        'trig_floor_ns_per_step', 'run_steps_per_s', 'run_nooutput_steps_per_s']\n"
        "bad = [k for k in keys if not isinstance(figures.get(k), (int, float)) or not 0 < figures[k] < math.inf]\n"
        "print('ok' if not bad else 'bad: ' + ' '.join(bad))\n";
    const Outcome parsed = runProgram("/usr/bin/python3", {"-c", check, (dir / "bench.json").string()}, dir.path());
    EXPECT_EQ(parsed.exitCode, 0) << parsed.err;
    EXPECT_EQ(parsed.out, "ok\n") << outcome.out;
    // The run writing CSV wrote it into the temporary directory: nothing is
    // left where the bench ran.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), std::filesystem::directory_iterator()), 1);
}

bool havePlotting() {
    TempDir dir;
    return runProgram("/usr/bin/python3", {"-c", "import matplotlib"}, dir.path()).exitCode == 0;
}

TEST(Commands, PlotDrawsARunAndNamesWhatIsWrongWithAFile) {
    ASSERT_TRUE(havePlotting()) << "matplotlib is not installed for /usr/bin/python3 (tools/install-deps installs it)";
    TempDir dir;
    ASSERT_EQ(runSim({"run", "--steps", "3000", "--output", "run.csv", "--plot", "a.png"}, dir.path()).exitCode, 0);
    ASSERT_EQ(runSim({"plot", "run.csv", "-o", "b.png"}, dir.path()).exitCode, 0);
    for (const char* png : {"a.png", "b.png"}) {
        const std::string image = readFile(dir / png);
        EXPECT_EQ(image.substr(0, 8), "\x89PNG\r\n\x1a\n") << png;
        EXPECT_GT(image.size(), 20000u) << png;
    }
    // A run on stdout can be drawn too.
    const Outcome piped = runSim({"run", "--steps", "100", "--plot", "c.png"}, dir.path());
    ASSERT_EQ(piped.exitCode, 0) << piped.err;
    EXPECT_EQ(lines(piped.out).size(), 101u);
    EXPECT_TRUE(std::filesystem::exists(dir / "c.png"));

    writeFile(dir / "bad.csv", "step,time,angle\n0,0,1\n");
    struct Case {
        std::vector<std::string> args;
        const char* message;
    };
    const Case cases[] = {
        {{"plot", "missing.csv", "-o", "x.png"}, "cannot plot missing.csv: cannot read missing.csv"},
        {{"plot", "bad.csv", "-o", "x.png"}, "cannot plot bad.csv: bad.csv has no column speed_rpm"},
    };
    for (const auto& c : cases) {
        const Outcome outcome = runSim(c.args, dir.path());
        EXPECT_EQ(outcome.exitCode, 1);
        EXPECT_EQ(outcome.err.rfind(std::string("quarlin-sim: ") + c.message, 0), 0u) << outcome.err;
        EXPECT_EQ(std::count(outcome.err.begin(), outcome.err.end(), '\n'), 1) << outcome.err;
        EXPECT_FALSE(std::filesystem::exists(dir / "x.png"));
    }
}

// The installed tree runs on its own: the program finds the module beside
// it and its plot script under share/.
TEST(Commands, InstalledProgramFindsItsModuleAndScript) {
    TempDir dir;
    const Outcome install =
        runProgram("/usr/bin/env", {"cmake", "--install", buildDir().string(), "--prefix", (dir / "prefix").string()},
                   dir.path());
    ASSERT_EQ(install.exitCode, 0) << install.out << install.err;
    const auto program = dir / "prefix" / "bin" / "quarlin-sim";
    ASSERT_TRUE(std::filesystem::exists(program));
    EXPECT_TRUE(std::filesystem::exists(dir / "prefix" / "share" / "quarlin" / "quarlin_plot.py"));
    const Outcome run = runProgram(program, {"run", "--steps", "50"}, dir.path());
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(lines(run.out).size(), 51u);
    EXPECT_EQ(runSim({"run", "--steps", "50"}, dir.path()).out, run.out);
    const Outcome info = runProgram(program, {"info"}, dir.path());
    EXPECT_NE(info.out.find((dir / "prefix" / "lib" / "Quarlin_msp.mexa64").string()), std::string::npos) << info.out;
}

}  // namespace
