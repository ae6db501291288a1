// quarlin-sim's inputs from users: the CSV reader, on a text in memory and
// on the same bytes in a file (both must agree to the row and the message),
// and the command lines of run, sizes and info.  Command lines run in a
// directory of their own that holds a valid CSV and a valid snapshot file;
// their module does not exist, so a command line that passes every check
// ends at the load, before any file is written or any step runs.
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

#include "commands.h"
#include "csv_input.h"
#include "failure.h"
#include "fuzz_input.h"
#include "snapshot_file.h"

namespace {

using namespace quarlin_fuzz;

struct Sandbox {
    Sandbox() {
        char pattern[] = "/tmp/quarlin-fuzz-sim.XXXXXX";
        if (mkdtemp(pattern) == nullptr) std::abort();
        dir = pattern;
        if (chdir(dir.c_str()) != 0) std::abort();
        write("in.csv", "i_alpha,i_beta,v_alpha,v_beta\n1,2,3,4\n5,6,7,8\n");
        quarlin_sim::SnapshotFile snapshot;
        snapshot.snapshot = quarlin_sim::Node::structure({"a"}, {quarlin_sim::Node::byteRow({1, 2, 3})});
        snapshot.resume.step = 1;
        snapshot.resume.source = quarlin_sim::InputSource::csv;
        snapshot.resume.inputDigest = quarlin_sim::inputDigest({{{1, 2, 3, 4}}}, 1);
        quarlin_sim::writeSnapshotFile("s.mat", snapshot);
        // Help texts and summaries are not what is tested.
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, STDOUT_FILENO);
        close(null);
    }
    ~Sandbox() {
        std::error_code ignored;
        std::filesystem::remove_all(dir, ignored);
    }
    static void write(const std::string& name, std::string_view text) {
        FILE* f = std::fopen(name.c_str(), "wb");
        if (f == nullptr) std::abort();
        std::fwrite(text.data(), 1, text.size(), f);
        std::fclose(f);
    }
    std::string dir;
};

Sandbox& sandbox() {
    static Sandbox s;
    return s;
}

// All rows, or the message of the first defect.
std::string readAll(quarlin_sim::InputReader* reader, std::vector<quarlin_sim::InputSample>& rows) {
    try {
        quarlin_sim::InputSample row{};
        while (reader->next(row)) rows.push_back(row);
    } catch (const quarlin_sim::Failure& failure) {
        return failure.what();
    }
    return {};
}

template <typename Make>
std::string readWith(const Make& make, std::vector<quarlin_sim::InputSample>& rows) {
    try {
        auto reader = make();
        return readAll(&reader, rows);
    } catch (const quarlin_sim::Failure& failure) {
        return failure.what();
    }
}

void csv(std::string_view text) {
    Sandbox::write("fuzz.csv", text);
    std::vector<quarlin_sim::InputSample> inMemory;
    std::vector<quarlin_sim::InputSample> fromFile;
    const std::string memoryError = readWith([&] { return quarlin_sim::InputReader(text, "fuzz.csv"); }, inMemory);
    const std::string fileError = readWith([] { return quarlin_sim::InputReader(std::string("fuzz.csv")); }, fromFile);
    const bool sameRows = inMemory.size() == fromFile.size() &&
                          (inMemory.empty() || std::memcmp(inMemory.data(), fromFile.data(),
                                                           inMemory.size() * sizeof(quarlin_sim::InputSample)) == 0);
    if (memoryError != fileError || !sameRows) {
        std::fprintf(stderr, "the reader disagrees with itself:\n  memory: %s (%zu rows)\n  file:   %s (%zu rows)\n",
                     memoryError.c_str(), inMemory.size(), fileError.c_str(), fromFile.size());
        __builtin_trap();
    }
}

void commandLine(FuzzInput& in) {
    static constexpr int (*kCommands[])(std::span<const std::string>) = {
        quarlin_sim::runCommand, quarlin_sim::sizesCommand, quarlin_sim::infoCommand};
    const auto command = kCommands[in.choice(3)];
    // Arguments separated by NUL, as the kernel hands them over; none may
    // reach outside the sandbox.
    std::vector<std::string> given(1);
    for (char c : in.rest()) {
        if (c == '\0') {
            given.emplace_back();
        } else {
            given.back() += c;
        }
    }
    for (const auto& arg : given) {
        if (arg.find('/') != std::string::npos || arg.size() > 256 || given.size() > 32) return;
    }
    // The absent module comes first, where no "--" of the input can make it
    // a positional: the module of this build, loaded and unloaded, would
    // take its coverage counters with it.
    std::vector<std::string> args = {"--module=./absent.mexa64"};
    args.insert(args.end(), given.begin(), given.end());
    try {
        (void)command(args);
    } catch (const quarlin_sim::Failure&) {
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    (void)sandbox();
    FuzzInput in(data, size);
    if (in.byte() % 2 == 0) {
        csv(in.rest());
    } else {
        commandLine(in);
    }
    return 0;
}
