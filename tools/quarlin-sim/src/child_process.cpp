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

// The pipes of one child: [0] its input, [1] its output, [2] its error;
// each the pair pipe2 makes, read end first.  Closed with the object.
struct Pipes {
    int fds[3][2] = {{-1, -1}, {-1, -1}, {-1, -1}};
    ~Pipes() {
        for (auto& pair : fds) {
            for (int& fd : pair) closeFd(fd);
        }
    }
};

ChildProcess::ChildProcess(const std::vector<std::string>& argv, bool withInput) {
    Pipes pipes;
    for (int stream = withInput ? 0 : 1; stream < 3; ++stream) {
        if (::pipe2(pipes.fds[stream], O_CLOEXEC) != 0) {
            fail("cannot start " + argv[0] + ": " + std::strerror(errno));
        }
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (withInput) {
        posix_spawn_file_actions_adddup2(&actions, pipes.fds[0][0], STDIN_FILENO);
    } else {
        posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    }
    posix_spawn_file_actions_adddup2(&actions, pipes.fds[1][1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, pipes.fds[2][1], STDERR_FILENO);
    // The child writes into pipes whose reader may go: it should see EPIPE
    // or die of SIGPIPE as any program would, whatever this program ignores.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);
    std::vector<char*> raw;
    for (const auto& a : argv) raw.push_back(const_cast<char*>(a.c_str()));
    raw.push_back(nullptr);
    const int spawned = posix_spawn(&pid_, argv[0].c_str(), &actions, &attributes, raw.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (spawned != 0) {
        pid_ = -1;
        fail("cannot start " + argv[0] + ": " + std::strerror(spawned));
    }
    std::swap(in_, pipes.fds[0][1]);
    std::swap(out_, pipes.fds[1][0]);
    std::swap(err_, pipes.fds[2][0]);
}

ChildProcess::~ChildProcess() {
    closeFd(in_);
    closeFd(out_);
    closeFd(err_);
    if (pid_ > 0) {
        ::kill(pid_, SIGTERM);
        (void)wait();
    }
}

bool ChildProcess::writeInput(const std::string& text) {
    size_t done = 0;
    while (in_ >= 0 && done < text.size()) {
        const ssize_t n = ::write(in_, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            closeFd(in_);
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return in_ >= 0;
}

void ChildProcess::closeInput() { closeFd(in_); }

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

}  // namespace quarlin_sim
