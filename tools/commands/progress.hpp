// Simulation time on a terminal, once a run has taken a second.
#pragma once

#include <unistd.h>

#include <chrono>
#include <cstddef>
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

// Cases of a sweep done, failed, and an estimate of the time left.
class CaseProgress {
public:
    explicit CaseProgress(std::size_t total)
        : total_(total), start_(std::chrono::steady_clock::now()), shown_(isatty(STDERR_FILENO)) {}
    void operator()(std::size_t done, std::size_t failed) {
        if (!shown_ || done == 0) return;
        const auto now = std::chrono::steady_clock::now();
        if (now - last_ < std::chrono::milliseconds(200) && done < total_) return;
        last_ = now;
        const double elapsed = std::chrono::duration<double>(now - start_).count();
        const double left = elapsed / static_cast<double>(done) * static_cast<double>(total_ - done);
        std::fprintf(stderr, "\rblocksim: %zu of %zu cases (%3.0f%%), %zu failed, about %.0f s left   ", done, total_,
                     100.0 * static_cast<double>(done) / static_cast<double>(total_), failed, left);
        active_ = true;
    }
    void clear() {
        if (active_) std::fprintf(stderr, "\r%78s\r", "");
        active_ = false;
    }

private:
    std::size_t total_;
    std::chrono::steady_clock::time_point start_, last_{};
    bool shown_, active_ = false;
};

}  // namespace blocksim
