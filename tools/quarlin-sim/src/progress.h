// A progress bar on stderr for runs that take more than a second, drawn only
// when stderr is a terminal.
#pragma once

#include <chrono>
#include <cstdint>

namespace quarlin_sim {

class Progress {
public:
    // `unit` names what is counted: "steps", "cells".
    explicit Progress(uint64_t total, const char* unit = "steps");
    ~Progress();
    // Called once per step with the number of steps done so far.
    void tick(uint64_t done) {
        if ((done & 0x3FF) == 0) redraw(done);
    }
    // For work done in larger pieces: redraws at most every 0.1 s.
    void show(uint64_t done) { redraw(done); }
    // Removes the bar.
    void finish();

private:
    void redraw(uint64_t done);

    uint64_t total_;
    const char* unit_;
    bool terminal_;
    bool drawn_ = false;
    std::chrono::steady_clock::time_point start_;
    std::chrono::steady_clock::time_point lastDraw_;
};

}  // namespace quarlin_sim
