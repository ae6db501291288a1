// Soak: 10^8 steps of one block through the gateway (flags 104 and 105 by
// mexFunction, as the host steps it) in one process.  Memory must stay flat:
// from the first progress line on (10^7 steps, when every code path and
// buffer has been touched) the resident set may grow by a few pages at
// most, and the host holds no more arrays than before the first step.  Prints its progress, the time
// and the peak resident set; exits 1 on growth or on a failed call.
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <array>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "subhost/control.h"
#include "subhost/engine.h"

namespace {

constexpr uint64_t kSteps = 100'000'000;
constexpr uint64_t kReportEvery = 10'000'000;
constexpr long kAllowedGrowthKb = 64;

long residentKb() {
    std::ifstream statm("/proc/self/statm");
    long size = 0;
    long resident = 0;
    statm >> size >> resident;
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

}  // namespace

int main(int argc, char** argv) {
    const char* dir = std::getenv("QUARLIN_BUILD_DIR");
    const std::string path = argc > 1 ? argv[1] : std::string(dir != nullptr ? dir : ".") + "/lib/Quarlin_msp.mexa64";
    subhost::Module module(path);
    if (!module.loaded()) {
        std::fprintf(stderr, "soak: cannot load %s: %s\n", path.c_str(), module.error().c_str());
        return 1;
    }
    subhost::Block block(module);
    if (const auto ready = block.setUp(); !ready.ok) {
        std::fprintf(stderr, "soak: set-up failed: %s\n", ready.describe().c_str());
        return 1;
    }

    // One electrical turn of a machine at a steady speed, repeated: currents
    // and voltages of 2000 samples.
    constexpr int kTurn = 2000;
    std::vector<std::array<float, 4>> inputs(kTurn);
    for (int k = 0; k < kTurn; ++k) {
        const double angle = 2.0 * M_PI * k / kTurn;
        inputs[k] = {static_cast<float>(-std::sin(angle)), static_cast<float>(std::cos(angle)),
                     static_cast<float>(-20.0 * std::sin(angle + 0.1)), static_cast<float>(20.0 * std::cos(angle + 0.1))};
    }

    const size_t arraysBefore = subhost_mx_liveArrays();
    const auto started = std::chrono::steady_clock::now();
    long baselineKb = 0;
    for (uint64_t k = 0; k < kSteps; ++k) {
        const auto& in = inputs[k % kTurn];
        for (int port = 0; port < 4; ++port) block.setInput(port, in[port]);
        const subhost::CallResult out = block.outputs();
        const subhost::CallResult update = block.update();
        if (!out.ok || !update.ok) {
            std::fprintf(stderr, "soak: step %llu failed: %s\n", static_cast<unsigned long long>(k),
                         (!out.ok ? out : update).describe().c_str());
            return 1;
        }
        if ((k + 1) % kReportEvery == 0) {
            const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
            std::printf("%10llu steps  %7.1f s  resident %ld kB  angle %.6g rad  speed %.6g rpm\n",
                        static_cast<unsigned long long>(k + 1), seconds, residentKb(), block.output(0), block.output(1));
            std::fflush(stdout);
            if (baselineKb == 0) baselineKb = residentKb();
        }
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    const long finalKb = residentKb();
    struct rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("steps: %llu\nwall time: %.1f s (%.0f steps per second)\n", static_cast<unsigned long long>(kSteps),
                seconds, kSteps / seconds);
    std::printf("resident after 10^7 steps: %ld kB, at the end: %ld kB, peak: %ld kB\n", baselineKb, finalKb,
                usage.ru_maxrss);
    std::printf("host arrays alive: %zu before the first step, %zu after the last\n", arraysBefore,
                subhost_mx_liveArrays());
    if (finalKb - baselineKb > kAllowedGrowthKb || subhost_mx_liveArrays() > arraysBefore) {
        std::fprintf(stderr, "soak: memory grew\n");
        return 1;
    }
    return 0;
}
