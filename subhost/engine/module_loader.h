// Loading a module file and finding its exports: the one place that knows
// the platform's loader.
#pragma once

#include <string>

namespace subhost::loader {

// The library at `path`, or null with `error` telling why.
void* open(const std::string& path, std::string& error);
// The address of export `name`, or null.
void* symbol(void* library, const char* name);
void close(void* library);

}  // namespace subhost::loader
