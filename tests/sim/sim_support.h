// What the simulator's tests share: a private directory per test, the
// built program run as a child process, and CSV rows read back as text.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace sim_test {

// The build tree (QUARLIN_BUILD_DIR) and what was built into it.
std::filesystem::path buildDir();
std::filesystem::path programPath();
std::filesystem::path modulePath();

// A fresh directory, removed with the object.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

struct Outcome {
    int exitCode = -1;  // 128 + signal when the child was killed
    std::string out;
    std::string err;
    long peakRssKb = 0;  // the child's largest resident set
};

// Starts `program` with `args` in `dir`, stdin from /dev/null, its output
// into files there; finish() waits for it and collects the output.
struct Started {
    int pid = -1;
    std::filesystem::path dir;
};
Started startProgram(const std::filesystem::path& program, const std::vector<std::string>& args,
                     const std::filesystem::path& dir);
Outcome finish(const Started& started);

// Waits up to a minute until `dir` holds a file whose name begins with
// `prefix` (the temporary file of an output under way); false if none came.
bool waitForFile(const std::filesystem::path& dir, const std::string& prefix);

// Runs `program` with `args` in `dir`, stdin from /dev/null, and waits.
Outcome runProgram(const std::filesystem::path& program, const std::vector<std::string>& args,
                   const std::filesystem::path& dir);
// The same for quarlin-sim of the build tree.
Outcome runSim(const std::vector<std::string>& args, const std::filesystem::path& dir);

std::string readFile(const std::filesystem::path& path);
void writeFile(const std::filesystem::path& path, const std::string& content);

// Lines of a text, without their newlines.
std::vector<std::string> lines(const std::string& text);
// Fields of one CSV line (no quoting: the simulator writes none).
std::vector<std::string> fields(const std::string& line);
// The column of that name in a CSV text with a header; empty if missing.
std::vector<std::string> column(const std::string& csv, const std::string& name);

uint32_t bitsOf(float value);
// The binary32 a CSV field holds, read the way the simulator reads it.
float floatOf(const std::string& field);
double doubleOf(const std::string& field);

}  // namespace sim_test
