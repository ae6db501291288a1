#include "plot.h"

#if !defined(_WIN32)
#include <poll.h>
#endif
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <optional>

#if !defined(_WIN32)
#include "child_process.h"
#endif
#include "failure.h"
#include "files.h"

namespace quarlin_sim {

namespace {

constexpr const char* kScriptName = "quarlin_plot.py";
constexpr const char* kScriptPrefix = "quarlin_plot: ";

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

// What the script said on either stream, read as it comes.
std::optional<std::string> complaintOfScript(const std::string& script, const std::string& csvPath,
                                             const std::string& pngPath) {
    ChildProcess child({kPython, script, csvPath, "-o", pngPath});
    std::string said;
    pollfd fds[2] = {{child.outFd(), POLLIN, 0}, {child.errFd(), POLLIN, 0}};
    while (child.outFd() >= 0 || child.errFd() >= 0) {
        fds[0].fd = child.outFd();
        fds[1].fd = child.errFd();
        if (::poll(fds, 2, -1) < 0 && errno != EINTR) break;
        for (const auto& f : fds) {
            if (f.fd >= 0 && f.revents != 0) child.readSome(f.fd, said);
        }
    }
    if (child.wait() == 0) return std::nullopt;
    return said;
}

#endif

}  // namespace

std::string findScript(const char* name) {
    const std::filesystem::path dir = programDirectory();
    for (const auto& candidate : {dir / ".." / "share" / "quarlin" / name, dir / name}) {
        if (std::filesystem::is_regular_file(candidate)) return candidate.lexically_normal().string();
    }
    fail(std::string("cannot find the script ") + name + " in " +
         (dir / ".." / "share" / "quarlin").lexically_normal().string() + " or " + dir.string());
}

std::string plotScriptPath() { return findScript(kScriptName); }

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

void plotRun(const std::string& csvPath, const std::string& pngPath) {
    const auto complaint = complaintOfScript(plotScriptPath(), csvPath, pngPath);
    if (!complaint) return;
    std::string line = lastLine(*complaint);
    // The script names itself when run alone; here the line is ours.
    if (line.rfind(kScriptPrefix, 0) == 0) line.erase(0, std::strlen(kScriptPrefix));
    fail("cannot plot " + csvPath + ": " + (line.empty() ? "the plot script failed" : line));
}

}  // namespace quarlin_sim
