#include "commands/interrupt.hpp"

#include "host/common/scratch_folders.hpp"

namespace blocksim {

std::atomic<bool> stop_requested{false};
volatile std::sig_atomic_t stop_signal = 0;

namespace {

// The second signal ends the program at once, as the default action would,
// once the folders its FMU blocks unpacked into are removed.
extern "C" void end_now(int signal) {
    host::remove_scratch_folders_now();
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

extern "C" void request_stop(int signal) {
    stop_signal = signal;
    stop_requested.store(true);
    std::signal(signal, end_now);
}

}  // namespace

const char* stop_signal_name() { return stop_signal == SIGINT ? "SIGINT" : "SIGTERM"; }

Interrupted::Interrupted(const std::string& doing)
    : host::HostError(std::string("stopped by ") + stop_signal_name() + " while " + doing), doing_(doing) {}

void stop_if_requested(const std::string& doing) {
    if (stop_requested.load()) throw Interrupted(doing);
}

StopOnSignals::StopOnSignals() {
    std::signal(SIGINT, request_stop);
    std::signal(SIGTERM, request_stop);
}

StopOnSignals::~StopOnSignals() {
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
}

}  // namespace blocksim
