// SIGINT and SIGTERM ask a run or a sweep to stop where its data is whole;
// a second one ends the program at once.
#pragma once

#include <atomic>
#include <csignal>

namespace blocksim {

extern std::atomic<bool> stop_requested;
extern volatile std::sig_atomic_t stop_signal;  // the signal that asked, 0 before
const char* stop_signal_name();                 // "SIGINT" or "SIGTERM"

// Installs the handlers for its lifetime.
struct StopOnSignals {
    StopOnSignals();
    ~StopOnSignals();
    StopOnSignals(const StopOnSignals&) = delete;
    StopOnSignals& operator=(const StopOnSignals&) = delete;
};

}  // namespace blocksim
