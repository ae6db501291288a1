#include "plot.h"

#if !defined(_WIN32)
#include <spawn.h>
#include <sys/wait.h>
#endif
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <optional>
#include <vector>

#include "failure.h"
#include "files.h"

#if !defined(_WIN32)
extern char** environ;
#endif

namespace quarlin_sim {

namespace {

constexpr const char* kScriptName = "quarlin_plot.py";
constexpr const char* kScriptPrefix = "quarlin_plot: ";

std::string lastLine(const std::string& text) {
    size_t end = text.find_last_not_of(" \t\r\n");
    if (end == std::string::npos) return "";
    size_t start = text.rfind('\n', end);
    start = start == std::string::npos ? 0 : start + 1;
    return text.substr(start, end - start + 1);
}

}  // namespace

std::string plotScriptPath() {
    const std::filesystem::path dir = programDirectory();
    for (const auto& candidate : {dir / ".." / "share" / "quarlin" / kScriptName, dir / kScriptName}) {
        if (std::filesystem::is_regular_file(candidate)) return candidate.lexically_normal().string();
    }
    fail(std::string("cannot find the plot script ") + kScriptName + " in " +
         (dir / ".." / "share" / "quarlin").lexically_normal().string() + " or " + dir.string());
}

void checkWritableTarget(const std::string& path) {
    std::filesystem::path dir = std::filesystem::path(path).parent_path();
    if (dir.empty()) dir = ".";
    if (std::filesystem::path(path).filename().empty()) fail("cannot write " + path + ": not a file name");
#if defined(_WIN32)
    constexpr int kDirectoryAccess = W_OK;
#else
    constexpr int kDirectoryAccess = W_OK | X_OK;
#endif
    if (::access(dir.string().c_str(), kDirectoryAccess) != 0) fail("cannot write " + path + ": " + std::strerror(errno));
}

namespace {

#if defined(_WIN32)

// Through the command interpreter, the script's error output joined to its
// standard output.
std::optional<std::string> complaintOfScript(const std::string& script, const std::string& csvPath,
                                             const std::string& pngPath) {
    const auto quoted = [](const std::string& text) { return "\"" + text + "\""; };
    const std::string command = std::string(kPython) + " " + quoted(script) + " " + quoted(csvPath) + " -o " +
                                quoted(pngPath) + " 2>&1";
    FILE* child = _popen(command.c_str(), "rb");
    if (child == nullptr) fail(std::string("cannot run ") + kPython + ": " + std::strerror(errno));
    std::string output;
    char buffer[4096];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, child)) > 0;) output.append(buffer, n);
    if (_pclose(child) == 0) return std::nullopt;
    return output;
}

#else

// The script's error output is read through a pipe.
std::optional<std::string> complaintOfScript(const std::string& script, const std::string& csvPath,
                                             const std::string& pngPath) {
    int pipeFds[2];
    if (::pipe(pipeFds) != 0) fail(std::string("cannot run the plot script: ") + std::strerror(errno));

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDERR_FILENO);
    posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
    posix_spawn_file_actions_addclose(&actions, pipeFds[1]);
    std::vector<std::string> args = {kPython, script, csvPath, "-o", pngPath};
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t child = 0;
    const int spawned = posix_spawn(&child, kPython, &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipeFds[1]);
    if (spawned != 0) {
        ::close(pipeFds[0]);
        fail(std::string("cannot run ") + kPython + ": " + std::strerror(spawned));
    }

    std::string complaint;
    char buffer[4096];
    while (true) {
        const ssize_t n = ::read(pipeFds[0], buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        complaint.append(buffer, static_cast<size_t>(n));
    }
    ::close(pipeFds[0]);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return std::nullopt;
    return complaint;
}

#endif

}  // namespace

void plotRun(const std::string& csvPath, const std::string& pngPath) {
    const std::string script = plotScriptPath();
    const auto complaint = complaintOfScript(script, csvPath, pngPath);
    if (!complaint) return;
    std::string line = lastLine(*complaint);
    // The script names itself when run alone; here the line is ours.
    if (line.rfind(kScriptPrefix, 0) == 0) line.erase(0, std::strlen(kScriptPrefix));
    fail("cannot plot " + csvPath + ": " + (line.empty() ? "the plot script failed" : line));
}

}  // namespace quarlin_sim
