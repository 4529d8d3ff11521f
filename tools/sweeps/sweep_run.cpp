#include "sweeps/sweep_run.hpp"

#include <cmath>
#include <limits>

#include "commands/text.hpp"
#include "host/sim/engine.hpp"
#include "output/csv_writer.hpp"

namespace blocksim {

void Metric::add(double time, double value) {
    if (count_ == 0) {
        first_time_ = time;
        least_ = greatest_ = value;
    } else {
        integral_ += 0.5 * (last_ + value) * (time - last_time_);  // trapezoidal rule
        // A NaN stays: a metric must not hide that the signal had none.
        least_ = std::isnan(value) || std::isnan(least_) ? std::numeric_limits<double>::quiet_NaN()
                                                         : std::min(least_, value);
        greatest_ = std::isnan(value) || std::isnan(greatest_) ? std::numeric_limits<double>::quiet_NaN()
                                                               : std::max(greatest_, value);
    }
    last_time_ = time;
    last_ = value;
    ++count_;
}

double Metric::result() const {
    switch (kind_) {
        case host::MetricKind::final: return last_;
        case host::MetricKind::min: return least_;
        case host::MetricKind::max: return greatest_;
        case host::MetricKind::integral: return integral_;
        case host::MetricKind::mean:
            // A run of one major step (stop time 0) averages that one value.
            return last_time_ > first_time_ ? integral_ / (last_time_ - first_time_) : last_;
    }
    return last_;
}

namespace {

void watch_metrics(const host::SweepSpec& spec, host::Simulation& simulation) {
    for (const auto& metric : spec.metrics) {
        try {
            simulation.watch(metric.signal);
        } catch (const host::HostError& error) {
            throw host::ModelError(spec.at(metric.line) + "metric '" + metric.name + "': " + error.what());
        }
    }
}

}  // namespace

namespace {

constexpr const char* warning_prefix = "warning: ";

// "ok", or a warning naming each metric that is no finite number: a case
// whose metric is inf (an efficiency of 0) ran, but its result is no number
// to compare.
std::string status_of_metrics(const host::SweepSpec& spec, const std::vector<double>& metrics) {
    std::string named;
    for (std::size_t i = 0; i < metrics.size(); ++i)
        if (!std::isfinite(metrics[i]))
            named += (named.empty() ? "" : " and ") + spec.metrics[i].name + " is " + format_number(metrics[i]);
    return named.empty() ? "ok" : warning_prefix + named;
}

}  // namespace

void check_metric_signals(const host::SweepSpec& spec) {
    host::Simulation simulation(spec.model);
    watch_metrics(spec, simulation);
}

bool is_warning(const std::string& status) { return status.rfind(warning_prefix, 0) == 0; }
bool is_failure(const std::string& status) { return status != "ok" && !is_warning(status); }

CaseResult run_case(const host::SweepSpec& spec, const SweepCase& values, const std::filesystem::path& run_csv) {
    CaseResult result;
    try {
        host::ModelSpec model = spec.model;
        for (std::size_t i = 0; i < spec.vary.size(); ++i) host::set_sweep_value(model, spec.vary[i], values[i]);
        host::Simulation simulation(std::move(model));
        watch_metrics(spec, simulation);
        std::vector<Metric> metrics;
        for (const auto& metric : spec.metrics) metrics.emplace_back(metric.of);
        simulation.set_major_step_sink([&](double t, const std::vector<double>& watched) {
            for (std::size_t i = 0; i < metrics.size(); ++i) metrics[i].add(t, watched[i]);
        });
        if (run_csv.empty()) {
            simulation.run(nullptr);
        } else {
            CsvWriter csv(run_csv, simulation.column_names());
            simulation.run([&](double t, const std::vector<double>& row) { csv.row(t, row); });
            csv.commit();
        }
        for (const auto& metric : metrics) result.metrics.push_back(metric.result());
        result.status = status_of_metrics(spec, result.metrics);
    } catch (const std::exception& error) {
        result.metrics.clear();
        result.status = error.what();
    }
    return result;
}

}  // namespace blocksim
