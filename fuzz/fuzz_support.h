// What the harnesses that drive the module share: the module of this build,
// loaded once.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>

#include "subhost/engine.h"

namespace quarlin_fuzz {

inline subhost::Module& module() {
    static subhost::Module loaded = [] {
        const char* dir = std::getenv("QUARLIN_BUILD_DIR");
        return subhost::Module(std::string(dir != nullptr ? dir : ".") + "/lib/Quarlin_msp.mexa64");
    }();
    if (!loaded.loaded()) {
        std::fprintf(stderr, "cannot load the module: %s (set QUARLIN_BUILD_DIR)\n", loaded.error().c_str());
        std::abort();
    }
    return loaded;
}

}  // namespace quarlin_fuzz
