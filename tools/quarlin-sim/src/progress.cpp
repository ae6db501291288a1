#include "progress.h"

#include <unistd.h>

#include <cstdio>

namespace quarlin_sim {

namespace {
constexpr auto kQuietFor = std::chrono::seconds(1);
constexpr auto kRedrawEvery = std::chrono::milliseconds(100);
constexpr int kBarWidth = 40;
}  // namespace

Progress::Progress(uint64_t total, const char* unit)
    : total_(total), unit_(unit), terminal_(::isatty(STDERR_FILENO) == 1), start_(std::chrono::steady_clock::now()) {}

Progress::~Progress() { finish(); }

void Progress::redraw(uint64_t done) {
    if (!terminal_ || total_ == 0) return;
    const auto now = std::chrono::steady_clock::now();
    if (now - start_ < kQuietFor || (drawn_ && now - lastDraw_ < kRedrawEvery)) return;
    lastDraw_ = now;
    drawn_ = true;
    const double fraction = static_cast<double>(done) / static_cast<double>(total_);
    const int filled = static_cast<int>(fraction * kBarWidth);
    char bar[kBarWidth + 1];
    for (int i = 0; i < kBarWidth; ++i) bar[i] = i < filled ? '#' : '.';
    bar[kBarWidth] = '\0';
    std::fprintf(stderr, "\r[%s] %3d%% %llu/%llu %s", bar, static_cast<int>(fraction * 100.0),
                 static_cast<unsigned long long>(done), static_cast<unsigned long long>(total_), unit_);
    std::fflush(stderr);
}

void Progress::finish() {
    if (!drawn_) return;
    drawn_ = false;
    std::fputs("\r\033[K", stderr);
    std::fflush(stderr);
}

}  // namespace quarlin_sim
