#include "child_process.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>

#include "failure.h"

extern char** environ;

namespace quarlin_sim {

namespace {

void closeFd(int& fd) {
    if (fd >= 0) ::close(fd);
    fd = -1;
}

}  // namespace

ChildProcess::ChildProcess(const std::vector<std::string>& argv) {
    int outPipe[2];
    int errPipe[2];
    if (::pipe2(outPipe, O_CLOEXEC) != 0) fail(std::string("cannot start ") + argv[0] + ": " + std::strerror(errno));
    if (::pipe2(errPipe, O_CLOEXEC) != 0) {
        ::close(outPipe[0]);
        ::close(outPipe[1]);
        fail(std::string("cannot start ") + argv[0] + ": " + std::strerror(errno));
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, outPipe[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, errPipe[1], STDERR_FILENO);
    std::vector<char*> raw;
    for (const auto& a : argv) raw.push_back(const_cast<char*>(a.c_str()));
    raw.push_back(nullptr);
    const int spawned = posix_spawn(&pid_, argv[0].c_str(), &actions, nullptr, raw.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(outPipe[1]);
    ::close(errPipe[1]);
    out_ = outPipe[0];
    err_ = errPipe[0];
    if (spawned != 0) {
        pid_ = -1;
        closeFd(out_);
        closeFd(err_);
        fail("cannot start " + argv[0] + ": " + std::strerror(spawned));
    }
}

ChildProcess::~ChildProcess() {
    closeFd(out_);
    closeFd(err_);
    if (pid_ > 0) {
        ::kill(pid_, SIGTERM);
        (void)wait();
    }
}

bool ChildProcess::readSome(int fd, std::string& into) {
    char buffer[65536];
    ssize_t n;
    do {
        n = ::read(fd, buffer, sizeof buffer);
    } while (n < 0 && errno == EINTR);
    if (n > 0) {
        into.append(buffer, static_cast<size_t>(n));
        return true;
    }
    closeFd(fd == out_ ? out_ : err_);
    return false;
}

int ChildProcess::wait() {
    int status = 0;
    while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

std::string lastLine(const std::string& text) {
    const size_t end = text.find_last_not_of(" \t\r\n");
    if (end == std::string::npos) return "";
    size_t start = text.rfind('\n', end);
    start = start == std::string::npos ? 0 : start + 1;
    return text.substr(start, end - start + 1);
}

}  // namespace quarlin_sim
