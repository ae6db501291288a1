// MAT files (level 5) of named trees, read and written by the simulator's
// own code on every platform.
#pragma once

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "tree.h"

namespace quarlin_sim {

// Writes the variables, uncompressed, to a temporary file beside `path` and
// renames it onto `path` when complete.  Throws a Failure on any error.
void writeMatFile(const std::string& path, const std::vector<std::pair<std::string, Node>>& variables);

// Reads the variables of the given names; a name the file lacks is left out
// of the result.  Throws a Failure when the file is not a readable MAT file
// or holds, under one of the names, something a Node cannot be.
std::map<std::string, Node> readMatFile(const std::string& path, const std::vector<std::string>& names);

}  // namespace quarlin_sim
