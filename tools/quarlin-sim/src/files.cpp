#include "files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#if defined(_WIN32)
#include <windows.h>
#endif

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "failure.h"

namespace quarlin_sim {

namespace {

std::string errorText() { return std::strerror(errno); }

// Files are opened as bytes, and not inherited by programs started later.
#if defined(_WIN32)
constexpr int kOpenFlags = O_BINARY | O_NOINHERIT;
#else
constexpr int kOpenFlags = O_CLOEXEC;
#endif

struct Descriptor {
    int fd = -1;
    ~Descriptor() {
        if (fd >= 0) ::close(fd);
    }
};

}  // namespace

std::string readWholeFile(const std::string& path, uint64_t limit) {
    Descriptor file;
    file.fd = ::open(path.c_str(), O_RDONLY | kOpenFlags);
    if (file.fd < 0) fail("cannot read " + path + ": " + errorText());
    struct stat info {};
    if (::fstat(file.fd, &info) != 0) fail("cannot read " + path + ": " + errorText());
    if (!S_ISREG(info.st_mode)) fail("cannot read " + path + ": not a regular file");
    if (static_cast<uint64_t>(info.st_size) > limit) {
        fail(path + " is too large (" + std::to_string(info.st_size) + " bytes, at most " +
             std::to_string(limit) + ")");
    }
    std::string content;
    content.resize(static_cast<size_t>(info.st_size));
    size_t done = 0;
    while (done < content.size()) {
        const ssize_t n = ::read(file.fd, content.data() + done, content.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) fail("cannot read " + path + ": " + errorText());
        if (n == 0) break;  // the file shrank while being read
        done += static_cast<size_t>(n);
    }
    content.resize(done);
    return content;
}

AtomicFile::AtomicFile(std::string target) : target_(std::move(target)) {
    std::filesystem::path targetPath(target_);
    struct stat info {};
    if (::stat(target_.c_str(), &info) == 0 && !S_ISREG(info.st_mode)) {
        if (S_ISDIR(info.st_mode)) fail("cannot write " + target_ + ": it is a directory");
        direct_ = true;
        tempPath_ = target_;
        return;
    }
    // Follows links, dangling ones too, to the file they name.
    std::error_code notALink;
    for (int hops = 0; std::filesystem::is_symlink(targetPath, notALink); ++hops) {
        std::error_code error;
        const auto next = std::filesystem::read_symlink(targetPath, error);
        if (error || hops == 40) fail("cannot write " + target_ + ": cannot follow its links");
        targetPath = next.is_absolute() ? next : targetPath.parent_path() / next;
    }
    if (targetPath.filename().empty()) fail("cannot write " + target_ + ": not a file name");
    std::filesystem::path dir = targetPath.parent_path();
    if (dir.empty()) dir = ".";
    std::string hidden = ".";
    hidden += targetPath.filename().string();
    hidden += ".XXXXXX";
    std::string pattern = (dir / hidden).string();
    const int fd = ::mkstemp(pattern.data());
    if (fd < 0) fail("cannot write " + target_ + ": " + errorText());
    ::close(fd);
    tempPath_ = pattern;
    finalPath_ = targetPath.string();
}

AtomicFile::~AtomicFile() {
    if (stream_ != nullptr) std::fclose(stream_);
    if (!committed_ && !direct_) ::unlink(tempPath_.c_str());
}

FILE* AtomicFile::stream() {
    if (stream_ == nullptr) {
        stream_ = std::fopen(tempPath_.c_str(), "wb");
        if (stream_ == nullptr) fail("cannot write " + target_ + ": " + errorText());
    }
    return stream_;
}

void AtomicFile::commit() {
    if (stream_ != nullptr) {
        const bool failed = std::fflush(stream_) != 0 || std::ferror(stream_) != 0;
        const int savedErrno = errno;
        const bool closeFailed = std::fclose(stream_) != 0;
        stream_ = nullptr;
        if (failed || closeFailed) {
            errno = failed ? savedErrno : errno;
            fail("cannot write " + target_ + ": " + errorText());
        }
    }
    if (direct_) {
        committed_ = true;
        return;
    }
#if defined(_WIN32)
    // Written through to the disk, then moved onto the target in one step
    // (a plain rename refuses a target that exists).
    if (MoveFileExA(tempPath_.c_str(), finalPath_.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) == 0) {
        fail("cannot write " + target_ + ": error " + std::to_string(GetLastError()));
    }
#else
    Descriptor file;
    file.fd = ::open(tempPath_.c_str(), O_RDWR | kOpenFlags);
    if (file.fd < 0 || ::fsync(file.fd) != 0) fail("cannot write " + target_ + ": " + errorText());
    // mkstemp makes the file private; the result should be like any file the
    // user's programs make.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    if (::fchmod(file.fd, 0666 & ~mask) != 0) fail("cannot write " + target_ + ": " + errorText());
    if (::rename(tempPath_.c_str(), finalPath_.c_str()) != 0) {
        fail("cannot write " + target_ + ": " + errorText());
    }
#endif
    committed_ = true;
}

ScratchFile::ScratchFile(const std::string& stem) {
    std::error_code error;
    const auto dir = std::filesystem::temp_directory_path(error);
    std::string pattern = ((error ? std::filesystem::path("/tmp") : dir) / (stem + ".XXXXXX")).string();
    const int fd = ::mkstemp(pattern.data());
    if (fd < 0) fail("cannot make a temporary file: " + errorText());
    path_ = pattern;
    stream_ = ::fdopen(fd, "w+b");
    if (stream_ == nullptr) {
        ::close(fd);
        ::unlink(path_.c_str());
        fail("cannot make a temporary file: " + errorText());
    }
}

ScratchFile::~ScratchFile() {
    if (stream_ != nullptr) std::fclose(stream_);
    ::unlink(path_.c_str());
}

std::string programPath() {
#if defined(_WIN32)
    char path[MAX_PATH * 4];
    const DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
    if (length == 0 || length == sizeof path) fail("cannot find the program's own path");
    return std::string(path, length);
#else
    std::error_code error;
    const auto exe = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error) fail("cannot find the program's own path: " + error.message());
    return exe.string();
#endif
}

std::string lastLine(const std::string& text) {
    const size_t end = text.find_last_not_of(" \t\r\n");
    if (end == std::string::npos) return "";
    size_t start = text.rfind('\n', end);
    start = start == std::string::npos ? 0 : start + 1;
    return text.substr(start, end - start + 1);
}

std::string programDirectory() { return std::filesystem::path(programPath()).parent_path().string(); }

}  // namespace quarlin_sim
