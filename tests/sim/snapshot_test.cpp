// Snapshots across processes: a run saved at step K and restored in another
// process continues with the same bytes, and no damaged or foreign file is
// ever restored.
#include <gtest/gtest.h>

#include <algorithm>

#include <cmath>
#include <functional>
#include <optional>

#include "mat_file.h"
#include "sim_support.h"
#include "snapshot_file.h"

namespace {

using namespace sim_test;
using quarlin_sim::Node;

std::vector<std::string> with(std::vector<std::string> args, const std::vector<std::string>& more) {
    args.insert(args.end(), more.begin(), more.end());
    return args;
}

// Rows of a CSV from step `first` on, header left out.
std::vector<std::string> rowsFrom(const std::string& csv, size_t first) {
    const auto all = lines(csv);
    return {all.begin() + 1 + static_cast<std::ptrdiff_t>(first), all.end()};
}

std::string inputFile() {
    std::string text = "i_alpha,i_beta,v_alpha,v_beta\n";
    for (int k = 0; k < 2500; ++k) {
        const double phase = k * 0.01;
        text += std::to_string(-std::sin(phase)) + "," + std::to_string(std::cos(phase)) + "," +
                std::to_string(-7 * std::sin(phase) - 0.5 * std::cos(phase)) + "," +
                std::to_string(7 * std::cos(phase) - 0.5 * std::sin(phase)) + "\n";
    }
    return text;
}

TEST(Snapshot, RestoredRunContinuesWithTheSameBytes) {
    struct Case {
        const char* name;
        std::vector<std::string> original;  // the run's own options
        std::vector<std::string> resumed;   // what a restored run repeats
        size_t at;
        size_t later;  // a second snapshot, taken by the restored run
    };
    const Case cases[] = {
        {"default scenario", {"--log-states"}, {"--log-states"}, 4000, 6500},
        {"scenario options", {"--rpm", "-2400", "--ramp", "0.05", "--hold", "0.1", "--phi0", "2", "--psi", "0.02"},
         {}, 777, 1400},
        {"measured inputs", {"--input", "in.csv", "--log-states"}, {"--input", "in.csv", "--log-states"}, 1234, 2000},
        {"at the very start", {"--steps", "300"}, {"--steps", "300"}, 0, 300},
    };
    for (const auto& c : cases) {
        TempDir dir;
        writeFile(dir / "in.csv", inputFile());
        const auto run = with({"run"}, c.original);
        ASSERT_EQ(runSim(with(run, {"--output", "full.csv"}), dir.path()).exitCode, 0) << c.name;
        const std::string full = readFile(dir / "full.csv");

        // Saving in passing changes nothing of the run itself.
        const Outcome saving =
            runSim(with(run, {"--output", "saving.csv", "--save-state", "k.mat", "--at", std::to_string(c.at)}), dir.path());
        ASSERT_EQ(saving.exitCode, 0) << c.name << ": " << saving.err;
        EXPECT_EQ(readFile(dir / "saving.csv"), full) << c.name;

        const Outcome restored = runSim(with(with({"run"}, c.resumed),
                                             {"--restore", "k.mat", "--output", "rest.csv", "--save-state", "l.mat",
                                              "--at", std::to_string(c.later)}),
                                        dir.path());
        ASSERT_EQ(restored.exitCode, 0) << c.name << ": " << restored.err;
        const std::string rest = readFile(dir / "rest.csv");
        EXPECT_EQ(lines(rest)[0], lines(full)[0]) << c.name;
        EXPECT_EQ(rowsFrom(rest, 0), rowsFrom(full, c.at)) << c.name;

        const Outcome again =
            runSim(with(with({"run"}, c.resumed), {"--restore", "l.mat", "--output", "again.csv"}), dir.path());
        ASSERT_EQ(again.exitCode, 0) << c.name << ": " << again.err;
        EXPECT_EQ(rowsFrom(readFile(dir / "again.csv"), 0), rowsFrom(full, c.later)) << c.name;
    }
}

TEST(Snapshot, FileHoldsTheBlocksTreeAsTheBlockMadeIt) {
    TempDir dir;
    ASSERT_EQ(runSim({"run", "--steps", "10", "--save-state", "s.mat", "--at", "0"}, dir.path()).exitCode, 0);
    const auto file = quarlin_sim::readSnapshotFile((dir / "s.mat").string());
    const Node& tree = file.snapshot;
    ASSERT_EQ(tree.names, (std::vector<std::string>{"localX", "mdlrefDW", "disallowedStateData", "tNext",
                                                     "tNextTid", "nonContDerivSigInfoPrevVal"}));
    EXPECT_EQ(tree.fields[0].kind, Node::Kind::empty);
    EXPECT_EQ(tree.fields[2].kind, Node::Kind::empty);
    EXPECT_EQ(tree.fields[5].kind, Node::Kind::empty);
    EXPECT_TRUE(tree.fields[3].isScalar());
    EXPECT_TRUE(tree.fields[4].isScalar());
    const Node& instance = tree.fields[1];
    ASSERT_EQ(instance.names, (std::vector<std::string>{"rtb", "rtdw", "NULL->rtzce"}));
    EXPECT_EQ(instance.fields[0].bytes, std::vector<uint8_t>(28, 0));
    EXPECT_EQ(instance.fields[2].kind, Node::Kind::empty);
    const Node& states = instance.fields[1];
    ASSERT_EQ(states.names.size(), 10u);
    for (size_t i = 0; i < 10; ++i) {
        EXPECT_EQ(states.names[i].rfind("mdlrefDW->rtdw.", 0), 0u) << states.names[i];
        EXPECT_EQ(states.names[i].size(), 30u) << states.names[i];
        EXPECT_EQ(states.fields[i].bytes, std::vector<uint8_t>(i < 7 ? 4 : 1, 0)) << i;
    }
    EXPECT_EQ(file.resume.step, 0u);
    EXPECT_EQ(file.resume.stateChecksum, (std::array<uint32_t, 4>{0xCC466449, 0x53FC69BF, 0x125D1680, 0xFD15C90C}));
}

TEST(Snapshot, BadFilesAreRefusedBeforeAnyStep) {
    TempDir source;
    ASSERT_EQ(runSim({"run", "--steps", "100", "--save-state", "good.mat", "--at", "50"}, source.path()).exitCode, 0);
    writeFile(source / "in.csv", inputFile());
    ASSERT_EQ(runSim({"run", "--input", "in.csv", "--save-state", "csv.mat", "--at", "50", "--steps", "60"},
                     source.path())
                  .exitCode,
              0);
    const std::string good = readFile(source / "good.mat");
    const auto changed = [&](const std::function<void(quarlin_sim::SnapshotFile&)>& change) {
        auto file = quarlin_sim::readSnapshotFile((source / "good.mat").string());
        change(file);
        const auto path = source / "changed.mat";
        quarlin_sim::writeSnapshotFile(path.string(), file);
        return readFile(path);
    };
    std::string flipped = good;
    flipped[good.size() / 2] = static_cast<char>(flipped[good.size() / 2] ^ 0x04);
    const auto foreign = source / "foreign.mat";
    quarlin_sim::writeMatFile(foreign.string(), {{"x", Node::scalar(1)}});

    struct Case {
        const char* name;
        std::optional<std::string> content;  // none: no file
        std::vector<std::string> extra;
        const char* message;
    };
    const Case cases[] = {
        {"missing", std::nullopt, {}, "cannot read s.mat: No such file or directory"},
        {"empty", "", {}, "s.mat is not a MAT file (level 5)"},
        {"text", "step,time\n0,0\n", {}, "s.mat is not a MAT file (level 5)"},
        {"header only", good.substr(0, 128), {}, "s.mat is not a quarlin-sim snapshot"},
        {"truncated", good.substr(0, good.size() - 100), {}, "s.mat is damaged"},
        {"flipped byte", flipped, {}, "s.mat is damaged"},
        {"foreign", readFile(foreign), {}, "s.mat is not a quarlin-sim snapshot: it has no variable \"resume\""},
        {"other module build", changed([](auto& f) { f.resume.stateChecksum[1] ^= 1; }), {},
         "s.mat was saved by another build of the module"},
        {"short byte row", changed([](auto& f) { f.snapshot.fields[1].fields[0].bytes.pop_back(); --f.snapshot.fields[1].fields[0].columns; }),
         {}, "the block refused the snapshot in s.mat: Invalid simulation state: mdlrefDW.rtb is not a real uint8 array of at least 28 bytes"},
        {"fractional task index", changed([](auto& f) { f.snapshot.fields[4].reals[0] = 0.5; }), {},
         "the block refused the snapshot in s.mat: Invalid simulation state: tNextTid is not a whole number"},
        {"task index out of range", changed([](auto& f) { f.snapshot.fields[4].reals[0] = 3e9; }), {},
         "the block refused the snapshot in s.mat: Invalid simulation state: tNextTid is not a whole number"},
        {"past the end of the run", good, {"--steps", "20"}, "s.mat was saved after step 50, past the end of this run (20 steps)"},
        {"csv snapshot on the scenario", readFile(source / "csv.mat"), {}, "s.mat was saved on a run with --input"},
        {"scenario snapshot on measured inputs", good, {"--input", "in.csv"}, "s.mat was saved on a pmsm scenario run"},
        {"csv snapshot on other inputs", readFile(source / "csv.mat"), {"--input", "other.csv"},
         "other.csv is not the input s.mat was saved on: its first 50 rows differ"},
        {"scenario options on a restore", good, {"--rpm", "100"}, "takes its scenario from the snapshot"},
    };
    for (const auto& c : cases) {
        TempDir dir;
        if (c.content) writeFile(dir / "s.mat", *c.content);
        writeFile(dir / "in.csv", inputFile());
        std::string other = inputFile();
        other[other.find('\n', 100) - 1] ^= 1;  // one digit in row 2
        writeFile(dir / "other.csv", other);
        const Outcome outcome = runSim(with({"run", "--restore", "s.mat", "--output", "out.csv"}, c.extra), dir.path());
        EXPECT_NE(outcome.exitCode, 0) << c.name;
        EXPECT_EQ(std::count(outcome.err.begin(), outcome.err.end(), '\n'), 1) << c.name << ": " << outcome.err;
        EXPECT_NE(outcome.err.find(c.message), std::string::npos) << c.name << ": " << outcome.err;
        EXPECT_FALSE(std::filesystem::exists(dir / "out.csv")) << c.name;
    }
}

// The program checks a file's own structure and digest and leaves the tree
// to the block: a tree the block restores is not refused first, and the run
// goes on as from the file the program wrote itself.
TEST(Snapshot, TreesTheBlockRestoresAreNotRefusedByTheProgram) {
    TempDir dir;
    ASSERT_EQ(runSim({"run", "--steps", "100", "--save-state", "good.mat", "--at", "50"}, dir.path()).exitCode, 0);
    ASSERT_EQ(runSim({"run", "--steps", "100", "--restore", "good.mat", "--output", "good.csv"}, dir.path()).exitCode, 0);
    const std::string expected = readFile(dir / "good.csv");
    ASSERT_FALSE(expected.empty());

    struct Case {
        const char* name;
        std::function<void(Node&)> change;
    };
    const Case cases[] = {
        {"rtb as a column", [](Node& s) { std::swap(s.fields[1].fields[0].rows, s.fields[1].fields[0].columns); }},
        {"tNext single", [](Node& s) { s.fields[3] = Node::numericMatrix(quarlin_sim::numeric_class::singleClass, 1, 1, s.fields[3].reals); }},
        {"tNextTid int32", [](Node& s) { s.fields[4] = Node::numericMatrix(quarlin_sim::numeric_class::int32Class, 1, 1, s.fields[4].reals); }},
        {"tNextTid int16", [](Node& s) { s.fields[4] = Node::numericMatrix(quarlin_sim::numeric_class::int16Class, 1, 1, s.fields[4].reals); }},
        {"a state field renamed", [](Node& s) { s.fields[1].fields[1].names[3] = "mdlrefDW->rtdw.zzzzzzzzzz_prot"; }},
    };
    for (const Case& c : cases) {
        auto file = quarlin_sim::readSnapshotFile((dir / "good.mat").string());
        c.change(file.snapshot);
        quarlin_sim::writeSnapshotFile((dir / "changed.mat").string(), file);
        const Outcome outcome =
            runSim({"run", "--steps", "100", "--restore", "changed.mat", "--output", "changed.csv"}, dir.path());
        ASSERT_EQ(outcome.exitCode, 0) << c.name << ": " << outcome.err;
        EXPECT_EQ(readFile(dir / "changed.csv"), expected) << c.name;
    }
}

// Other programs read the files: SciPy's loadmat and Octave's load.  Both
// show the bytes of "rtb", the first state's field name as
// the block gave it, and the step and source of the run.
class SnapshotReadElsewhere : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(runSim({"run", "--steps", "200", "--save-state", "s.mat", "--at", "150"}, dir.path()).exitCode, 0);
        const auto file = quarlin_sim::readSnapshotFile((dir / "s.mat").string());
        for (uint8_t b : file.snapshot.fields[1].fields[0].bytes) expected += std::to_string(b) + " ";
        expected += "\n" + file.snapshot.fields[1].fields[1].names[0] + "\n150 pmsm\n";
    }
    TempDir dir;
    std::string expected;
};

TEST_F(SnapshotReadElsewhere, BySciPy) {
    const Outcome scipy = runProgram("/usr/bin/python3",
                                     {"-c",
                                      "import scipy.io as sio\n"
                                      "m = sio.loadmat('s.mat')\n"
                                      "d = m['snapshot'][0, 0]['mdlrefDW'][0, 0]\n"
                                      "print(' '.join(str(b) for b in d['rtb'].ravel()) + ' ')\n"
                                      "print(d['rtdw'].dtype.names[0])\n"
                                      "r = m['resume'][0, 0]\n"
                                      "print(int(r['step'][0, 0]), r['source'][0])\n"},
                                     dir.path());
    ASSERT_EQ(scipy.exitCode, 0) << scipy.err;
    EXPECT_EQ(scipy.out, expected);
}

TEST_F(SnapshotReadElsewhere, ByOctave) {
    const Outcome octave = runProgram(
        "/usr/bin/octave",
        {"--no-gui", "--quiet", "--no-window-system", "--norc", "--eval",
         "m = load('s.mat'); d = m.snapshot.mdlrefDW; printf('%d ', d.rtb); printf('\\n');"
         "n = fieldnames(d.rtdw); printf('%s\\n', n{1});"
         "printf('%d %s\\n', m.resume.step, m.resume.source);"},
        dir.path());
    ASSERT_EQ(octave.exitCode, 0) << octave.err;
    EXPECT_EQ(octave.out, expected);
}

}  // namespace
