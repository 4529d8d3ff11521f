// SIGINT and SIGTERM ask a run, a sweep or an export to stop where its data
// is whole; a second one ends the program at once, removing the folders
// FMU blocks unpacked into first. A command holds
// StopOnSignals for all it does, simulating, writing and plotting alike, and
// looks at stop_requested where it can stop cleanly: at each major step, in
// the wait for gnuplot, before its outputs take their names.
#pragma once

#include <atomic>
#include <csignal>
#include <string>

#include "host/common/errors.hpp"

namespace blocksim {

extern std::atomic<bool> stop_requested;
extern volatile std::sig_atomic_t stop_signal;  // the signal that asked, 0 before
const char* stop_signal_name();                 // "SIGINT" or "SIGTERM"

// A stop asked for by a signal, thrown where the command can end cleanly:
// "stopped by SIGINT while drawing e.png".
class Interrupted : public host::HostError {
public:
    explicit Interrupted(const std::string& doing);
    const std::string& doing() const { return doing_; }

private:
    std::string doing_;
};
// Throws Interrupted, naming what the command was `doing`, once a signal asked to stop.
void stop_if_requested(const std::string& doing);

// Installs the handlers for its lifetime.
struct StopOnSignals {
    StopOnSignals();
    ~StopOnSignals();
    StopOnSignals(const StopOnSignals&) = delete;
    StopOnSignals& operator=(const StopOnSignals&) = delete;
};

}  // namespace blocksim
