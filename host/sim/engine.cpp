// The simulation's run: the major and minor steps of every block, fixed
// step or variable step, and the logged rows. The model's set-up is in
// model_setup.cpp.
#include "host/sim/engine.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

#include "host/common/text.hpp"

#include "host/sfunction/data_types.hpp"
#include "host/sim/stepper.hpp"
#include "host/sim/variable_step.hpp"

namespace host {

Simulation::Simulation(ModelSpec spec) : spec_(std::move(spec)) {
    check_solver();
    choose_log_cadence();
    create_nodes();
    resolve_port_names();
    check_solver_suits_blocks();
    resolve_links();
    order_by_feedthrough();
    propagate_widths();
    settle_types();
    settle_sample_times();
    allocate_and_connect();
    find_external_ports();
    set_up_logging();
}

// What a variable-step method keeps between its major steps.
struct Simulation::VariableStepRun {
    std::vector<double> switches;  // the blocks' switching times after 0, in order
    std::size_t next_switch = 0;
    std::unique_ptr<VariableStepIntegrator> integrator;  // none without continuous states
    bool start = true;                                   // the integrator starts (again) at the next step
    bool indicators_read = false;                        // indicators_ holds the last major step's (no states)
};

Simulation::~Simulation() = default;

long long Simulation::full_steps() const {
    return static_cast<long long>(std::floor(spec_.solver.stop / spec_.solver.step + step_count_tolerance));
}

long long Simulation::steps() const { return full_steps() + (last_step() < spec_.solver.step ? 1 : 0); }

double Simulation::last_step() const {
    const double rest = spec_.solver.stop - static_cast<double>(full_steps()) * spec_.solver.step;
    return rest > step_count_tolerance * spec_.solver.step ? rest : spec_.solver.step;
}

RunStopped::RunStopped(double time)
    : HostError("the run was stopped on request at t = " + std::to_string(time) + " s"), time_(time) {}

std::vector<std::string> Simulation::execution_order() const {
    std::vector<std::string> names;
    for (const Node* node : order_) names.push_back(node->name());
    return names;
}


template <typename Action>
void Simulation::call(Node& node, Method method, double time, bool major_step, Action&& action) {
    if (!observer_) return action();
    observer_(node, method, time, major_step, false);
    action();
    observer_(node, method, time, major_step, true);
}

// The loop over the blocks tests for an observer once, not at each block:
// this runs several times a step.
template <typename Action>
void Simulation::call_each(const std::vector<Node*>& nodes, Method method, double time, bool major_step,
                           Action&& action) {
    if (!observer_) {
        for (Node* node : nodes) action(*node);
        return;
    }
    for (Node* node : nodes) call(*node, method, time, major_step, [&] { action(*node); });
}

// An observer sees every block's call; without one, blocks whose outputs
// are held are left out, their call doing nothing.
void Simulation::outputs(double time, bool major_step) {
    const auto& nodes = observer_ ? order_ : with_changing_outputs_;
    call_each(nodes, Method::outputs, time, major_step, [&](Node& node) { node.outputs(time, major_step); });
}

void Simulation::updates(double time) {
    call_each(with_update_, Method::update, time, true, [&](Node& node) { node.update(time); });
}

void Simulation::derivatives(double time, bool major_step) {
    call_each(with_derivatives_, Method::derivatives, time, major_step, [&](Node& node) { node.derivatives(time); });
}

void Simulation::compute_outputs(double t, bool major_step) {
    outputs(t, major_step);
    time_ = t;
}

const std::vector<double>& Simulation::compute_derivatives(double t, bool major_step) {
    derivatives(t, major_step);
    return derivatives_;
}

std::vector<double> Simulation::switching_times() const {
    std::vector<double> times;
    for (Node* node : order_)
        for (double t : node->switching_times()) times.push_back(t);
    std::sort(times.begin(), times.end());
    times.erase(std::unique(times.begin(), times.end()), times.end());
    return times;
}

std::vector<std::string> Simulation::state_names() const {
    std::vector<std::string> names;
    for (const auto& node : nodes_) {
        const int n = node->num_states();
        for (int k = 0; k < n; ++k)
            names.push_back(node->name() + (n == 1 ? ".x" : ".x[" + std::to_string(k + 1) + "]"));
    }
    return names;
}

void Simulation::log_row(double time, const RowSink& sink) {
    if (logged_.empty() || !sink) return;
    for (std::size_t i = 0; i < logged_.size(); ++i) {
        const Column& column = logged_[i];
        row_[i] = element_as_double(column.node->output_signal(column.port), column.node->output_type(column.port),
                                    static_cast<std::size_t>(column.element));
    }
    sink(time, row_);
}

void Simulation::major_step_done(double time) {
    for (std::size_t i = 0; i < watched_.size(); ++i) {
        const Column& column = watched_[i];
        watched_values_[i] = element_as_double(column.node->output_signal(column.port),
                                               column.node->output_type(column.port),
                                               static_cast<std::size_t>(column.element));
    }
    major_step_sink_(time, watched_values_);
}

void Simulation::terminate_all(bool rethrow_first) {
    std::exception_ptr first;
    for (Node* node : order_) {
        try {
            call(*node, Method::terminate, time_, true, [&] { node->terminate(); });
        } catch (...) {
            if (!first) first = std::current_exception();
        }
    }
    if (rethrow_first && first) std::rethrow_exception(first);
}

double Simulation::column_value(std::size_t i) const {
    const Column& column = logged_.at(i);
    return element_as_double(column.node->output_signal(column.port), column.node->output_type(column.port),
                             static_cast<std::size_t>(column.element));
}

void Simulation::start_blocks() {
    for (Node* node : order_) call(*node, Method::start, 0.0, true, [&] { node->start(); });
    for (Node* node : order_)
        call(*node, Method::initialize_conditions, 0.0, true, [&] { node->initialize_conditions(); });
}

// A major step's updates and derivatives at t, then the integration to t + step_size.
void Simulation::advance_from(double t, double step_size, RungeKuttaStepper& stepper) {
    updates(t);
    if (!with_events_.empty()) return advance_with_events(t, step_size, stepper);
    derivatives(t, true);
    if (!states_.empty())
        stepper.step(
            t, step_size, states_, derivatives_, [&](double stage) { outputs(stage, false); },
            [&](double stage) { derivatives(stage, false); });
}

void Simulation::read_indicators(std::vector<double>& z) {
    for (std::size_t i = 0; i < with_events_.size(); ++i) with_events_[i]->event_indicators(z.data() + indicator_offsets_[i]);
}

namespace {

// The indicators whose domain, z > 0 or z <= 0, differs between two readings.
bool mark_crossings(const std::vector<double>& before, const std::vector<double>& after, std::vector<char>& crossed) {
    bool any = false;
    for (std::size_t i = 0; i < before.size(); ++i) {
        crossed[i] = (before[i] > 0) != (after[i] > 0);
        any = any || crossed[i];
    }
    return any;
}

// Events one fixed step may hold before the run is refused: more means
// the indicators chatter around zero.
constexpr int most_events_per_step = 10000;

}  // namespace

bool Simulation::handle_events(double time, const std::vector<char>& crossed) {
    const double time_tolerance = 1e-12 * std::max(1.0, std::fabs(time));
    bool handled = false;
    for (std::size_t i = 0; i < with_events_.size(); ++i) {
        Node& node = *with_events_[i];
        bool due = node.event_due(time) || node.next_event_time() <= time + time_tolerance;
        for (std::size_t k = indicator_offsets_[i]; k < indicator_offsets_[i + 1] && !due; ++k) due = crossed[k];
        if (!due) continue;
        call(node, Method::update, time, true, [&] { node.handle_event(time); });
        handled = true;
    }
    // What the blocks after them compute from their outputs changes with the event.
    if (handled) outputs(time, false);
    return handled;
}

double Simulation::next_time_event() const {
    double next = std::numeric_limits<double>::infinity();
    for (const Node* node : with_events_) next = std::min(next, node->next_event_time());
    return next;
}

// The step from t with blocks that have events: the events due at t, then
// the integration in pieces that end where an event falls. A time event
// ends a piece at its time; a state event is found where an indicator's
// sign changes over a piece, and located by bisection of the piece (each
// trial integrates from the piece's start with the shorter step) to the
// first time after the change, where the event is handled. An event at
// the step's end is handled there, so that the major step shows what
// follows from it.
void Simulation::advance_with_events(double t, double step_size, RungeKuttaStepper& stepper) {
    const double end = t + step_size;
    const double tolerance = 1e-12 * std::max(step_size, std::fabs(t));
    std::vector<double> z_start(indicators_.size()), z(indicators_.size());
    crossed_.assign(indicators_.size(), 0);
    handle_events(t, crossed_);
    read_indicators(z_start);
    std::vector<double> x_start, dx_start;
    double now = t;
    for (int events = 0; now < end; ++events) {
        if (events == most_events_per_step)
            throw HostError("more than " + std::to_string(most_events_per_step) + " events within the step from t = " +
                            format_number(t) + " s: an event indicator chatters around zero");
        const double time_event = next_time_event();
        const bool to_time_event = time_event <= end + tolerance;
        const double target = to_time_event ? std::clamp(time_event, now, end) : end;
        derivatives(now, now == t);
        x_start = states_;
        dx_start = derivatives_;
        // The states at now + h, integrated from now in one step, and the indicators there.
        auto integrate = [&](double h) {
            states_ = x_start;
            derivatives_ = dx_start;
            if (!states_.empty() && h > 0)
                stepper.step(
                    now, h, states_, derivatives_, [&](double stage) { outputs(stage, false); },
                    [&](double stage) { derivatives(stage, false); });
            outputs(now + h, false);
            read_indicators(z);
            return mark_crossings(z_start, z, crossed_);
        };
        double reached = target;
        if (integrate(target - now)) {
            double below = 0, above = target - now;
            while (above - below > tolerance) {
                const double middle = below + (above - below) / 2;
                if (middle <= below || middle >= above) break;
                (integrate(middle) ? above : below) = middle;
            }
            integrate(above);
            reached = now + above;
        } else if (!to_time_event) {
            return;  // at the step's end: the next major step takes it from here
        }
        now = reached;
        handle_events(now, crossed_);
        read_indicators(z_start);
        crossed_.assign(crossed_.size(), 0);
    }
}

void Simulation::begin() {
    finish();
    time_ = 0.0;
    step_ = 0;
    steps_taken_ = 0;
    try {
        if (is_variable_step(spec_.solver.method)) start_variable_step();
        else stepping_ = std::make_unique<RungeKuttaStepper>(spec_.solver.method, states_.size());
        start_blocks();
    } catch (...) {
        stepping_.reset();
        variable_run_.reset();
        terminate_all(false);
        throw;
    }
}

void Simulation::step_outputs() {
    const double t = variable_run_ ? time_ : static_cast<double>(step_) * spec_.solver.step;
    outputs(t, true);
    time_ = t;
}

void Simulation::advance() {
    if (!stepping_) throw HostError("a run step by step with a fixed-step method advances only between begin() and finish()");
    advance_from(static_cast<double>(step_) * spec_.solver.step, spec_.solver.step, *stepping_);
    ++step_;
    steps_taken_ = step_;
}

void Simulation::finish() {
    if (!stepping_ && !variable_run_) return;
    stepping_.reset();
    variable_run_.reset();
    terminate_all(true);
}

void Simulation::run(const RowSink& sink) {
    time_ = 0.0;
    steps_taken_ = 0;
    rhs_evaluations_ = 0;
    try {
        start_blocks();
        if (is_variable_step(spec_.solver.method)) run_variable_step(sink);
        else run_fixed_step(sink);
    } catch (...) {
        variable_run_.reset();
        terminate_all(false);
        throw;
    }
    terminate_all(true);
}

void Simulation::run_fixed_step(const RowSink& sink) {
    const double h = spec_.solver.step;
    const long long full_steps = this->full_steps();
    const long long last = steps();
    RungeKuttaStepper stepper(spec_.solver.method, states_.size());
    for (long long step = 0;; ++step) {
        // Multiples of the step, and the stop time itself after a last, shorter step.
        const double t = step <= full_steps ? static_cast<double>(step) * h : spec_.solver.stop;
        outputs(t, true);
        time_ = t;
        if (major_step_sink_) major_step_done(t);
        if (step % log_every_ == 0 || step == last) log_row(t, sink);
        if (step == last) break;
        if (stop_request_ && stop_request_->load()) throw RunStopped(t);
        advance_from(t, step < full_steps ? h : spec_.solver.stop - t, stepper);
        steps_taken_ = step + 1;
        if (progress_ && (step & 1023) == 0) progress_(t);
    }
}

void Simulation::start_variable_step() {
    variable_run_ = std::make_unique<VariableStepRun>();
    for (Node* node : order_)
        for (double t : node->switching_times())
            if (t > 0.0) variable_run_->switches.push_back(t);
    std::sort(variable_run_->switches.begin(), variable_run_->switches.end());
    if (!states_.empty())
        variable_run_->integrator = std::make_unique<VariableStepIntegrator>(
            spec_.solver, states_.size(),
            [this](double t, const double* x, double* dx, std::string& failure) {
                return evaluate_derivatives(t, x, dx, failure);
            },
            indicators_.size(),
            [this](double t, const double* x, double* z) {
                std::copy(x, x + states_.size(), states_.begin());
                outputs(t, false);
                read_indicators(indicators_);
                std::copy(indicators_.begin(), indicators_.end(), z);
            });
    crossed_.assign(indicators_.size(), 0);
    variable_run_->indicators_read = false;
}

void Simulation::restart_integration() {
    if (variable_run_) variable_run_->start = true;
}

// One major step: the updates at the present time, then the states
// integrated over one accepted step that ends at `end`, at the next
// switching time (where the integrator starts again) or before. Without
// continuous states, a step to the next multiple of max_step.
void Simulation::advance_toward(double end) {
    if (!variable_run_) throw HostError("a run step by step with a variable-step method advances only between begin() and finish()");
    VariableStepRun& run = *variable_run_;
    const double t = time_;
    updates(t);
    if (!with_events_.empty()) {
        if (!run.indicators_read) read_indicators(indicators_);
        run.indicators_read = true;
        if (handle_events(t, crossed_)) run.start = true;  // the step events the updates asked for
    }
    while (run.next_switch < run.switches.size() && run.switches[run.next_switch] <= t) ++run.next_switch;
    bool to_switch = run.next_switch < run.switches.size() && run.switches[run.next_switch] < end;
    double target = to_switch ? run.switches[run.next_switch] : end;
    if (const double time_event = next_time_event(); time_event > t && time_event < target) {
        target = time_event;
        to_switch = true;
    }
    double reached;
    if (run.integrator) {
        if (run.start) run.integrator->start(t, states_.data());
        run.start = false;
        reached = run.integrator->step(target, states_.data());
        rhs_evaluations_ = run.integrator->rhs_evaluations();
        const std::vector<int>& roots = run.integrator->roots();
        for (std::size_t i = 0; i < roots.size(); ++i) crossed_[i] = roots[i] != 0;
    } else if (const double max_step = spec_.solver.max_step_or_default(); max_step > 0.0) {
        // The next multiple of max_step (multiples, not sums); t / max_step
        // may round down below the multiple that t already is.
        const double multiple = std::floor(t / max_step) + 1;
        const double next = multiple * max_step > t ? multiple * max_step : (multiple + 1) * max_step;
        reached = std::min(target, next);
    } else {  // no max_step (a stop time of 0 makes none): straight to the end
        reached = target;
    }
    if (to_switch && reached == target) run.start = true;
    time_ = reached;
    ++steps_taken_;
    if (!with_events_.empty()) events_after_step(reached);
}

// The state and time events where a variable-step method's step ended,
// handled there. The integrator's root finding tells the crossings;
// without states the indicators are compared from one major step to the next.
void Simulation::events_after_step(double t) {
    VariableStepRun& run = *variable_run_;
    outputs(t, false);  // the blocks at the step's end, not at the integrator's last trial
    if (!run.integrator) {
        std::vector<double> z(indicators_.size());
        read_indicators(z);
        mark_crossings(indicators_, z, crossed_);
    }
    if (handle_events(t, crossed_)) run.start = true;
    read_indicators(indicators_);
    crossed_.assign(crossed_.size(), 0);
}

// Major steps where the integrator ends one of its accepted steps, at the
// blocks' switching times (where it also starts again) and, with a log
// interval, at its multiples. Without a log interval every major step is
// logged.
void Simulation::run_variable_step(const RowSink& sink) {
    const double stop = spec_.solver.stop;
    const std::optional<double> interval = log_interval_;
    long long next_log = 1;  // of the log interval's multiples
    auto next_stop = [&](double t) {
        if (!interval) return stop;
        while (static_cast<double>(next_log) * *interval <= t) ++next_log;
        return std::min(stop, static_cast<double>(next_log) * *interval);
    };
    start_variable_step();
    double t = 0.0;
    outputs(t, true);
    if (major_step_sink_) major_step_done(t);
    log_row(t, sink);
    for (long long step = 1; t < stop; ++step) {
        if (stop_request_ && stop_request_->load()) throw RunStopped(t);
        advance_toward(next_stop(t));
        t = time_;
        outputs(t, true);
        if (major_step_sink_) major_step_done(t);
        if (!interval || t == static_cast<double>(next_log) * *interval || t >= stop) log_row(t, sink);
        if (progress_ && (step & 1023) == 0) progress_(t);
    }
    variable_run_.reset();
}

// x' at (t, x) for the integrator: a minor step of every block.
bool Simulation::evaluate_derivatives(double t, const double* x, double* dx, std::string& failure) {
    std::copy(x, x + states_.size(), states_.begin());
    outputs(t, false);
    derivatives(t, false);
    ++rhs_evaluations_;
    for (std::size_t i = 0; i < derivatives_.size(); ++i)
        if (!std::isfinite(derivatives_[i])) {
            failure = "a derivative of " + state_owner(i)->label() + " is " + (std::isnan(derivatives_[i]) ? "NaN" : "infinite");
            return false;
        }
    std::copy(derivatives_.begin(), derivatives_.end(), dx);
    return true;
}

const Node* Simulation::state_owner(std::size_t index) const {
    std::size_t offset = 0;
    for (const auto& node : nodes_) {
        offset += static_cast<std::size_t>(node->num_states());
        if (index < offset) return node.get();
    }
    return nullptr;
}

}  // namespace host
