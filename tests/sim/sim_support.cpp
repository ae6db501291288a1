#include "sim_support.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "floats.h"

extern char** environ;

namespace sim_test {

std::filesystem::path buildDir() {
    const char* dir = std::getenv("QUARLIN_BUILD_DIR");
    if (dir == nullptr || *dir == '\0') throw std::runtime_error("QUARLIN_BUILD_DIR is not set");
    return dir;
}

std::filesystem::path programPath() { return buildDir() / "bin" / "quarlin-sim"; }
std::filesystem::path modulePath() { return buildDir() / "lib" / "Quarlin_msp.mexa64"; }

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "quarlin-sim-test.XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

// Output goes to files outside the test's directory, so that a large run
// cannot fill a pipe and stall, and the directory shows only what the
// program itself left there.
std::string outputPath(const std::filesystem::path& dir, const char* stream) {
    return dir.string() + ".child-" + stream;
}

Started startProgram(const std::filesystem::path& program, const std::vector<std::string>& args,
                     const std::filesystem::path& dir) {
    const std::string outPath = outputPath(dir, "stdout");
    const std::string errPath = outputPath(dir, "stderr");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addchdir_np(&actions, dir.c_str());
    std::vector<std::string> argv = {program.string()};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> raw;
    for (auto& a : argv) raw.push_back(a.data());
    raw.push_back(nullptr);
    pid_t child = 0;
    const int spawned = posix_spawn(&child, program.c_str(), &actions, nullptr, raw.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) throw std::runtime_error("cannot run " + program.string() + ": " + std::strerror(spawned));
    return {child, dir};
}

Outcome finish(const Started& started) {
    const std::string outPath = outputPath(started.dir, "stdout");
    const std::string errPath = outputPath(started.dir, "stderr");
    int status = 0;
    struct rusage usage {};
    while (::wait4(started.pid, &status, 0, &usage) < 0) {
    }
    Outcome outcome;
    outcome.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    outcome.peakRssKb = usage.ru_maxrss;
    outcome.out = readFile(outPath);
    outcome.err = readFile(errPath);
    std::filesystem::remove(outPath);
    std::filesystem::remove(errPath);
    return outcome;
}

Outcome runProgram(const std::filesystem::path& program, const std::vector<std::string>& args,
                   const std::filesystem::path& dir) {
    return finish(startProgram(program, args, dir));
}

bool waitForFile(const std::filesystem::path& dir, const std::string& prefix) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (std::chrono::steady_clock::now() < deadline) {
        for (const auto& entry : std::filesystem::directory_iterator(dir)) {
            if (entry.path().filename().string().rfind(prefix, 0) == 0) return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

Outcome runSim(const std::vector<std::string>& args, const std::filesystem::path& dir) {
    return runProgram(programPath(), args, dir);
}

std::string readFile(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream content;
    content << file.rdbuf();
    return content.str();
}

void writeFile(const std::filesystem::path& path, const std::string& content) {
    std::ofstream file(path, std::ios::binary);
    file << content;
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) out.push_back(line);
    return out;
}

std::vector<std::string> fields(const std::string& line) {
    std::vector<std::string> out;
    size_t start = 0;
    while (true) {
        const size_t comma = line.find(',', start);
        out.push_back(line.substr(start, comma - start));
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    return out;
}

std::vector<std::string> column(const std::string& csv, const std::string& name) {
    const auto rows = lines(csv);
    if (rows.empty()) return {};
    const auto header = fields(rows[0]);
    size_t index = header.size();
    for (size_t i = 0; i < header.size(); ++i) {
        if (header[i] == name) index = i;
    }
    if (index == header.size()) return {};
    std::vector<std::string> out;
    for (size_t r = 1; r < rows.size(); ++r) {
        const auto f = fields(rows[r]);
        out.push_back(index < f.size() ? f[index] : "");
    }
    return out;
}

uint32_t bitsOf(float value) {
    uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

float floatOf(const std::string& field) {
    const auto value = quarlin_sim::readBinary32(field);
    if (!value) throw std::runtime_error("not a number: " + field);
    return *value;
}

double doubleOf(const std::string& field) {
    const auto value = quarlin_sim::readDouble(field);
    if (!value) throw std::runtime_error("not a number: " + field);
    return *value;
}

}  // namespace sim_test
