// One case of a sweep: the model with the case's values set, run from 0 to
// its stop time, and the metrics taken over every major step.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "host/model/sweep_file.hpp"
#include "sweeps/sweep_design.hpp"

namespace blocksim {

struct CaseResult {
    std::vector<double> metrics;  // one per metric of the sweep; empty when the case failed
    std::string status;           // "ok", "warning: ..." when a metric is inf or nan, or what went wrong
};

// A status that is neither ok nor a warning: the case did not run to its end.
bool is_failure(const std::string& status);
bool is_warning(const std::string& status);

// Builds the model once with every metric's signal: throws, with the sweep
// file's line, when a signal is not in the model.
void check_metric_signals(const host::SweepSpec& spec);

// Runs one case; `run_csv`, when not empty, receives the run's logged
// signals as `blocksim run` writes them. A case that fails says why in
// `status`; it throws nothing.
CaseResult run_case(const host::SweepSpec& spec, const SweepCase& values, const std::filesystem::path& run_csv);

// A metric over the major steps (t, v) of one run, in their order.
class Metric {
public:
    explicit Metric(host::MetricKind kind) : kind_(kind) {}
    void add(double time, double value);
    double result() const;

private:
    host::MetricKind kind_;
    long long count_ = 0;
    double first_time_ = 0.0, last_time_ = 0.0, last_ = 0.0, least_ = 0.0, greatest_ = 0.0, integral_ = 0.0;
};

}  // namespace blocksim
