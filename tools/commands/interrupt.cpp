#include "commands/interrupt.hpp"

namespace blocksim {

std::atomic<bool> stop_requested{false};
volatile std::sig_atomic_t stop_signal = 0;

namespace {

extern "C" void request_stop(int signal) {
    stop_signal = signal;
    stop_requested.store(true);
    std::signal(signal, SIG_DFL);
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
