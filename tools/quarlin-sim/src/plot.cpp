#include "plot.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "child_process.h"
#include "failure.h"
#include "files.h"

namespace quarlin_sim {

namespace {

constexpr const char* kScriptName = "quarlin_plot.py";
constexpr const char* kScriptPrefix = "quarlin_plot: ";

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
    if (::access(dir.c_str(), W_OK | X_OK) != 0) fail("cannot write " + path + ": " + std::strerror(errno));
}

void plotRun(const std::string& csvPath, const std::string& pngPath) {
    ChildProcess child({kPython, plotScriptPath(), csvPath, "-o", pngPath});
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
    if (child.wait() == 0) return;
    std::string line = lastLine(said);
    // The script names itself when run alone; here the line is ours.
    if (line.rfind(kScriptPrefix, 0) == 0) line.erase(0, std::strlen(kScriptPrefix));
    fail("cannot plot " + csvPath + ": " + (line.empty() ? "the plot script failed" : line));
}

}  // namespace quarlin_sim
