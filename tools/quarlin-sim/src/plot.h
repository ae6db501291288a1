// Pictures of a run, drawn by the project's plot script with the system's
// Python and matplotlib.
#pragma once

#include <string>

namespace quarlin_sim {

// The interpreter the script runs with: Debian's, which has matplotlib; on
// Windows the one the user's path names.
#if defined(_WIN32)
inline constexpr const char* kPython = "python";
#else
inline constexpr const char* kPython = "/usr/bin/python3";
#endif

// A script of the project, found relative to the program:
// <dir>/../share/quarlin/ (an install or the build tree), else beside the
// program.
std::string findScript(const char* name);
std::string plotScriptPath();

// Draws `csvPath` into `pngPath`.  Throws a Failure with the script's own
// last line of complaint when it fails.
void plotRun(const std::string& csvPath, const std::string& pngPath);

// Throws a Failure unless a file could be made at `path` (its directory
// exists and is writable), so that a run does not end in a failed plot.
void checkWritableTarget(const std::string& path);

}  // namespace quarlin_sim
