// Simulation time on a terminal, once a run has taken a second.
#pragma once

#include <unistd.h>

#include <chrono>
#include <cstdio>

namespace blocksim {

class Progress {
public:
    explicit Progress(double stop)
        : stop_(stop), start_(std::chrono::steady_clock::now()), shown_(isatty(STDERR_FILENO)) {}
    void operator()(double time) {
        if (!shown_) return;
        const auto now = std::chrono::steady_clock::now();
        if (now - start_ < std::chrono::seconds(1) || now - last_ < std::chrono::milliseconds(200)) return;
        last_ = now;
        std::fprintf(stderr, "\rblocksim: t = %.6g s of %.6g s (%3.0f%%)", time, stop_,
                     stop_ > 0 ? 100.0 * time / stop_ : 100.0);
        active_ = true;
    }
    void clear() {
        if (active_) std::fprintf(stderr, "\r%60s\r", "");
        active_ = false;
    }

private:
    double stop_;
    std::chrono::steady_clock::time_point start_, last_{};
    bool shown_, active_ = false;
};

}  // namespace blocksim
