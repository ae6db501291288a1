// Files as the simulator uses them: read whole, or written to a temporary
// file beside the target and renamed onto it only when complete, so that a
// failed run never leaves a partial file under the name the user gave.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace quarlin_sim {

// The whole content of a regular file.  Throws a Failure if the file cannot
// be read, is not a regular file, or is larger than `limit` bytes.
std::string readWholeFile(const std::string& path, uint64_t limit = UINT64_MAX);

// A temporary file in the target's directory, removed unless committed.
// A target that exists and is not a regular file (/dev/null, a pipe) is
// written directly: renaming onto it would replace the device itself.  A
// symbolic link is followed, so that the link stays and its file changes.
class AtomicFile {
public:
    explicit AtomicFile(std::string target);
    ~AtomicFile();
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    const std::string& target() const { return target_; }
    // Where the content goes until the commit: the temporary file, or the
    // target itself when it is written directly.
    const std::string& tempPath() const { return tempPath_; }
    // A stream over the temporary file (opened on first use).
    FILE* stream();
    // Flushes and closes the stream if open, syncs the temporary file to
    // disk, gives it the permissions a new file would get, and renames it
    // onto the target.  Throws a Failure on any error (and removes it).
    void commit();

private:
    std::string target_;
    std::string tempPath_;
    std::string finalPath_;  // the target, its links followed
    FILE* stream_ = nullptr;
    bool direct_ = false;
    bool committed_ = false;
};

// A private file in the system's temporary directory, removed with the
// object.
class ScratchFile {
public:
    explicit ScratchFile(const std::string& stem);
    ~ScratchFile();
    ScratchFile(const ScratchFile&) = delete;
    ScratchFile& operator=(const ScratchFile&) = delete;

    const std::string& path() const { return path_; }
    FILE* stream() { return stream_; }

private:
    std::string path_;
    FILE* stream_ = nullptr;
};

// The running program, from /proc/self/exe, and its directory.
std::string programPath();
// The last line of a text that is not blank, without its line end.
std::string lastLine(const std::string& text);
std::string programDirectory();

}  // namespace quarlin_sim
