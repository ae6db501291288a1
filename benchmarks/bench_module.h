// The module of the build tree, loaded once for every benchmark of a program.
#pragma once

#include <benchmark/benchmark.h>

#include "host_block.h"
#include "subhost/engine.h"

inline subhost::Module& benchModule() {
    static const auto module = quarlin_sim::loadModule(quarlin_sim::defaultModulePath());
    return *module;
}
