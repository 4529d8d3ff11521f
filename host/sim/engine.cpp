#include "host/sim/engine.hpp"

#include <algorithm>
#include <cmath>
#include <sstream>

#include "block_manifest.hpp"
#include "host/sfunction/data_types.hpp"
#include "host/common/suggestions.hpp"
#include "host/common/text.hpp"
#include "host/sim/builtin_blocks.hpp"
#include "host/sim/sfunction_node.hpp"
#include "host/sim/stepper.hpp"
#include "host/sim/variable_step.hpp"

namespace host {

namespace {

// A stop time within this share of a step of n steps counts as n steps, so
// that 1 / 0.1 makes 10 steps and not 9.
constexpr double step_count_tolerance = 1e-9;

std::string port_text(const SignalRef& ref) { return ref.block + "." + std::to_string(ref.port); }

}  // namespace

Simulation::Simulation(ModelSpec spec) : spec_(std::move(spec)) {
    check_solver();
    choose_log_cadence();
    create_nodes();
    check_solver_suits_blocks();
    resolve_links();
    order_by_feedthrough();
    propagate_widths();
    settle_types();
    settle_sample_times();
    allocate_and_connect();
    set_up_logging();
}

Simulation::~Simulation() = default;

std::string Simulation::at(int line) const {
    return line > 0 ? spec_.source + ":" + std::to_string(line) + ": " : spec_.source + ": ";
}

template <typename Action>
decltype(auto) Simulation::at_line(int line, Action&& action) const {
    try {
        return action();
    } catch (const HostError& error) {
        throw HostError(at(line) + error.what());
    }
}

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

// ---------------------------------------------------------------- set-up

void Simulation::check_solver() const {
    const std::string problem = solver_problem(spec_.solver);
    if (!problem.empty()) throw HostError(at(0) + problem);
}

void Simulation::choose_log_cadence() {
    log_every_ = spec_.log_every;
    log_interval_ = spec_.log_interval;
    if (is_variable_step(spec_.solver.method)) {
        // Every n-th step of the model's fixed step, so that switching the
        // solver keeps the rows.
        if (!log_interval_) log_interval_ = spec_.log_every * spec_.solver.step;
        if (spec_.solver.stop / *log_interval_ > most_steps) {
            std::ostringstream text;
            text << "a log interval of " << *log_interval_ << " s over " << spec_.solver.stop
                 << " s makes more than 1e" << std::lround(std::log10(most_steps)) << " rows";
            throw HostError(at(spec_.log_line) + text.str());
        }
        return;
    }
    if (!log_interval_) return;
    // A fixed step logs at the multiples of the interval: every n-th step.
    const double ratio = *log_interval_ / spec_.solver.step;
    const double n = std::round(ratio);
    if (n < 1 || std::fabs(ratio - n) > step_count_tolerance * ratio) {
        std::ostringstream text;
        text << "the log interval " << *log_interval_ << " s is not a multiple of the step " << spec_.solver.step
             << " s";
        throw HostError(at(spec_.log_line) + text.str());
    }
    log_every_ = static_cast<int>(n);
    log_interval_.reset();
}

void Simulation::create_nodes() {
    for (auto& block : spec_.blocks) {
        if (by_name_.count(block.name)) throw HostError(at(block.line) + "block '" + block.name + "' is defined twice");
        std::unique_ptr<Node> node;
        if (block.is_sfunction) {
            std::shared_ptr<const Library> library;
            try {
                library = Library::load(block.sfunction, spec_.search_path);
            } catch (const HostError& error) {
                throw HostError(at(block.line) + "block '" + block.name + "': " + error.what());
            }
            try {
                node = std::make_unique<SFunctionNode>(block.name, library, std::move(block.parameters));
            } catch (const std::runtime_error& error) {
                // Parameters its mdlInitializeSizes refused, or a count or declaration this host refuses.
                throw HostError(at(block.line) + error.what());
            }
        } else {
            node = make_builtin(block.name, block.builtin);
        }
        by_name_[block.name] = node.get();
        line_of_[node.get()] = block.line;
        nodes_.push_back(std::move(node));
    }
    for (const auto& node : nodes_) at_line(line_of_.at(node.get()), [&] { node->settle_frames(); });
}

// An implicit method evaluates the derivatives at nearby states to build its
// Jacobian and iterates Newton's method on them: it needs the derivatives to
// be a function of t and the states. A block whose outputs lag one
// evaluation makes them depend on the calls before, and bdf then converges
// on wrong values or diverges without noticing.
void Simulation::check_solver_suits_blocks() const {
    if (spec_.solver.method != SolverMethod::bdf) return;
    for (const auto& node : nodes_) {
        const auto* sfunction = dynamic_cast<const SFunctionNode*>(node.get());
        if (!sfunction) continue;
        const auto* entry = blocks::manifest_entry(sfunction->instance().library().name().c_str());
        if (entry && entry->lagged_outputs)
            throw HostError(at(line_of_.at(node.get())) + node->label() +
                            " cannot run under bdf: its outputs lag one evaluation, so the model's derivatives "
                            "depend on the order of the solver's calls, and bdf's Newton iteration would converge "
                            "on wrong values; use ode45 or ode4 (--solver ode45)");
    }
}

// Every connection between existing ports, and one source for each input.
void Simulation::resolve_links() {
    std::map<std::pair<Node*, int>, int> source_line;
    auto find = [&](const SignalRef& ref) {
        const auto it = by_name_.find(ref.block);
        if (it == by_name_.end())
            throw HostError(at(ref.line) + "no block named '" + ref.block + "'" + did_you_mean(ref.block, block_names()));
        return it->second;
    };
    for (const auto& connection : spec_.connections) {
        const int line = connection.to.line;
        Node* from = find(connection.from);
        Node* to = find(connection.to);
        if (connection.from.port < 0 || connection.from.port >= from->num_outputs())
            throw HostError(at(line) + from->label() + " has no output port " + std::to_string(connection.from.port) +
                            "; it has " + count_of(from->num_outputs(), "output port"));
        if (connection.to.port < 0 || connection.to.port >= to->num_inputs())
            throw HostError(at(line) + to->label() + " has no input port " + std::to_string(connection.to.port) +
                            "; it has " + count_of(to->num_inputs(), "input port"));
        const auto key = std::make_pair(to, connection.to.port);
        if (source_line.count(key))
            throw HostError(at(line) + "input " + port_text(connection.to) + " is already driven (line " +
                            std::to_string(source_line[key]) + ")");
        source_line[key] = line;
        links_.push_back({from, connection.from.port, to, connection.to.port, line});
    }
    for (const auto& node : nodes_)
        for (int port = 0; port < node->num_inputs(); ++port)
            if (!source_line.count({node.get(), port}))
                throw HostError(at(line_of_.at(node.get())) + "input " + node->name() + "." + std::to_string(port) +
                                " of " + node->label() + " is not connected");
}

// Each block after the blocks that feed its direct-feedthrough inputs.
void Simulation::order_by_feedthrough() {
    std::map<Node*, std::vector<Node*>> feeds;
    std::map<Node*, int> waiting;
    for (const auto& link : links_)
        if (link.to->direct_feedthrough(link.to_port)) {
            feeds[link.from].push_back(link.to);
            ++waiting[link.to];
        }
    std::vector<Node*> ready;
    for (const auto& node : nodes_)
        if (!waiting[node.get()]) ready.push_back(node.get());
    for (std::size_t next = 0; next < ready.size(); ++next) {
        order_.push_back(ready[next]);
        for (Node* fed : feeds[ready[next]])
            if (--waiting[fed] == 0) ready.push_back(fed);
    }
    if (order_.size() != nodes_.size()) report_algebraic_loop(waiting);
    for (Node* node : order_) {
        if (!node->outputs_held()) with_changing_outputs_.push_back(node);
        if (node->has_update()) with_update_.push_back(node);
        if (node->has_derivatives()) with_derivatives_.push_back(node);
    }
}

// The blocks left waiting lie on or behind a loop: walk back along feeding
// links from one of them until a block repeats, and name that loop.
void Simulation::report_algebraic_loop(const std::map<Node*, int>& waiting) const {
    auto is_waiting = [&](Node* node) {
        const auto it = waiting.find(node);
        return it != waiting.end() && it->second > 0;
    };
    Node* start = nullptr;
    for (const auto& node : nodes_)
        if (is_waiting(node.get())) start = node.get();
    std::vector<Node*> path = {start};  // path[i + 1] feeds path[i]
    for (std::size_t steps = 0; steps <= nodes_.size(); ++steps) {
        Node* previous = nullptr;
        for (const auto& link : links_)
            if (link.to == path.back() && link.to->direct_feedthrough(link.to_port) && is_waiting(link.from))
                previous = link.from;
        if (std::find(path.begin(), path.end(), previous) != path.end()) {
            path.erase(path.begin(), std::find(path.begin(), path.end(), previous));
            break;
        }
        path.push_back(previous);
    }
    // In the direction of the signals, starting from the block defined first.
    std::vector<Node*> loop = path;
    std::reverse(loop.begin() + 1, loop.end());
    auto model_index = [&](const Node* node) {
        for (std::size_t i = 0; i < nodes_.size(); ++i)
            if (nodes_[i].get() == node) return i;
        return nodes_.size();
    };
    std::rotate(loop.begin(),
                std::min_element(loop.begin(), loop.end(),
                                 [&](Node* x, Node* y) { return model_index(x) < model_index(y); }),
                loop.end());
    // The connections around it: from each block on the loop to the next.
    std::string blocks, connections;
    int first_line = 0;
    for (std::size_t i = 0; i < loop.size(); ++i) {
        Node* to = loop[(i + 1) % loop.size()];
        for (const auto& link : links_)
            if (link.from == loop[i] && link.to == to && to->direct_feedthrough(link.to_port)) {
                connections += (connections.empty() ? "" : ", ") + loop[i]->name() + "." +
                               std::to_string(link.from_port) + " -> " + to->name() + "." +
                               std::to_string(link.to_port) + " (line " + std::to_string(link.line) + ")";
                if (first_line == 0) first_line = link.line;
                break;
            }
        blocks += loop[i]->name() + " -> ";
    }
    throw HostError(at(first_line) + "algebraic loop: " + blocks + loop.front()->name() + ", through " + connections +
                    "; every block on it feeds its input straight through to its output");
}

// Widths pass along the connections until nothing changes; each connection
// is checked once, when its source's width is known.
void Simulation::propagate_widths() {
    std::vector<bool> sized(links_.size(), false);
    for (bool changed = true; changed;) {
        changed = false;
        for (std::size_t i = 0; i < links_.size(); ++i) {
            const Link& link = links_[i];
            const int width = link.from->output_width(link.from_port);
            if (sized[i] || width < 0) continue;
            at_line(link.line, [&] { link.to->set_input_width(link.to_port, width); });
            sized[i] = changed = true;
        }
    }
    for (const auto& node : nodes_)
        for (int port = 0; port < node->num_outputs(); ++port)
            if (node->output_width(port) < 0)
                throw HostError(at(0) + "the width of output " + node->name() + "." + std::to_string(port) +
                                " cannot be told: it depends on a loop of blocks that take their width from "
                                "their inputs");
}

// Each connection's type is offered once: where the source's type is known
// before the blocks settle theirs, else after.
void Simulation::settle_types() {
    std::vector<bool> offered(links_.size(), false);
    auto offer = [&](std::size_t i) {
        const Link& link = links_[i];
        const int type = link.from->output_type(link.from_port);
        if (offered[i] || type == inherited_type_id) return;
        at_line(link.line, [&] { link.to->offer_input_type(link.to_port, type); });
        offered[i] = true;
    };
    for (std::size_t i = 0; i < links_.size(); ++i) offer(i);
    for (const auto& node : nodes_) node->settle_types();
    for (std::size_t i = 0; i < links_.size(); ++i) offer(i);
}

void Simulation::settle_sample_times() {
    for (const auto& node : nodes_) node->settle_sample_times();
}

// All continuous states in one vector, integrated together.
void Simulation::allocate_and_connect() {
    std::size_t total_states = 0;
    for (const auto& node : nodes_) total_states += static_cast<std::size_t>(node->num_states());
    states_.assign(total_states, 0.0);
    derivatives_.assign(total_states, 0.0);
    std::size_t offset = 0;
    for (const auto& node : nodes_) {
        node->allocate(states_.data() + offset, derivatives_.data() + offset);
        offset += static_cast<std::size_t>(node->num_states());
    }
    for (const auto& link : links_) link.to->connect_input(link.to_port, link.from->output_signal(link.from_port));
}

// Without a log section every output of every block is logged, a group (plot
// panel) per block.
void Simulation::set_up_logging() {
    if (spec_.log.empty())
        for (const auto& node : nodes_) {
            LogGroup group{node->name(), {}, {}, {}, line_of_.at(node.get())};
            for (int port = 0; port < node->num_outputs(); ++port) group.signals.push_back({node->name(), port, -1, 0});
            if (!group.signals.empty()) spec_.log.push_back(group);
        }
    for (const auto& group : spec_.log) {
        PlotGroup plot{group.name, {}, -1, group.x_range};
        for (const auto& ref : group.signals) {
            const auto added = log_signal(ref);
            plot.columns.insert(plot.columns.end(), added.begin(), added.end());
        }
        if (group.x) {
            const auto added = log_signal(*group.x);
            if (added.size() != 1)
                throw HostError(at(group.x->line) + "the x axis of log group '" + group.name +
                                "' is one element: write block.port[element]");
            plot.x_column = added.front();
        }
        groups_.push_back(std::move(plot));
    }
    row_.assign(logged_.size(), 0.0);
}

// The columns of a logged signal, added unless logged already.
std::pair<const Node*, std::pair<int, int>> Simulation::resolve_signal(const SignalRef& ref,
                                                                       const std::string& what) const {
    const auto it = by_name_.find(ref.block);
    if (it == by_name_.end())
        throw HostError(what + " '" + ref.block + "': no such block" + did_you_mean(ref.block, block_names()));
    const Node* node = it->second;
    if (ref.port < 0 || ref.port >= node->num_outputs())
        throw HostError(what + " " + port_text(ref) + ": block '" + ref.block + "' has " +
                        count_of(node->num_outputs(), "output port"));
    const int width = node->output_width(ref.port);
    if (ref.element >= width)
        throw HostError(what + " element " + std::to_string(ref.element) + " of " + port_text(ref) +
                        ", which has width " + std::to_string(width));
    if (ref.element >= 0) return {node, {ref.element, ref.element}};
    return {node, {0, width - 1}};
}

int Simulation::watch(const SignalRef& ref) {
    const auto [node, elements] = resolve_signal(ref, "cannot watch");
    if (elements.first != elements.second)
        throw HostError(port_text(ref) + " has width " + std::to_string(elements.second + 1) +
                        "; name one element, as " + port_text(ref) + "[0]");
    watched_.push_back({node, ref.port, elements.first});
    watched_values_.push_back(0.0);
    return static_cast<int>(watched_.size()) - 1;
}

std::vector<int> Simulation::log_signal(const SignalRef& ref) {
    const auto [node, elements] = at_line(ref.line, [&] { return resolve_signal(ref, "cannot log"); });
    std::vector<int> columns;
    for (int element = elements.first; element <= elements.second; ++element) {
        const std::string name = port_text(ref) + "[" + std::to_string(element) + "]";
        // By name, not by a search of the columns: a model may log a hundred thousand signals.
        const auto [existing, added] = column_of_.emplace(name, static_cast<int>(columns_.size()));
        columns.push_back(existing->second);
        if (!added) continue;
        logged_.push_back({node, ref.port, element});
        columns_.push_back(name);
    }
    return columns;
}

std::vector<std::string> Simulation::block_names() const {
    std::vector<std::string> names;
    for (const auto& node : nodes_) names.push_back(node->name());
    return names;
}

// ---------------------------------------------------------------- run

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

void Simulation::run(const RowSink& sink) {
    time_ = 0.0;
    steps_taken_ = 0;
    rhs_evaluations_ = 0;
    try {
        for (Node* node : order_) call(*node, Method::start, 0.0, true, [&] { node->start(); });
        for (Node* node : order_)
            call(*node, Method::initialize_conditions, 0.0, true, [&] { node->initialize_conditions(); });
        if (is_variable_step(spec_.solver.method)) run_variable_step(sink);
        else run_fixed_step(sink);
    } catch (...) {
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
    auto minor_outputs = [&](double t) { outputs(t, false); };
    auto minor_derivatives = [&](double t) { derivatives(t, false); };
    for (long long step = 0;; ++step) {
        // Multiples of the step, and the stop time itself after a last, shorter step.
        const double t = step <= full_steps ? static_cast<double>(step) * h : spec_.solver.stop;
        outputs(t, true);
        time_ = t;
        if (major_step_sink_) major_step_done(t);
        if (step % log_every_ == 0 || step == last) log_row(t, sink);
        if (step == last) break;
        if (stop_request_ && stop_request_->load()) throw RunStopped(t);
        updates(t);
        derivatives(t, true);
        const double step_size = step < full_steps ? h : spec_.solver.stop - t;
        if (!states_.empty()) stepper.step(t, step_size, states_, derivatives_, minor_outputs, minor_derivatives);
        steps_taken_ = step + 1;
        if (progress_ && (step & 1023) == 0) progress_(t);
    }
}

// Major steps where the integrator ends one of its accepted steps, at the
// blocks' switching times (where it also starts again) and, with a log
// interval, at its multiples. Without continuous states, steps of max_step.
void Simulation::run_variable_step(const RowSink& sink) {
    const double stop = spec_.solver.stop;
    const double max_step = spec_.solver.max_step_or_default();
    std::vector<double> switches;
    for (Node* node : order_)
        for (double t : node->switching_times())
            if (t > 0.0 && t < stop) switches.push_back(t);
    std::sort(switches.begin(), switches.end());
    auto next_switch = switches.begin();
    const std::optional<double> interval = log_interval_;
    long long next_log = 1;  // of the log interval's multiples
    auto next_stop = [&](double t) {
        double at = stop;
        while (next_switch != switches.end() && *next_switch <= t) ++next_switch;
        if (next_switch != switches.end()) at = std::min(at, *next_switch);
        while (static_cast<double>(next_log) * *interval <= t) ++next_log;
        at = std::min(at, static_cast<double>(next_log) * *interval);
        return at;
    };
    std::unique_ptr<VariableStepIntegrator> integrator;
    if (!states_.empty())
        integrator = std::make_unique<VariableStepIntegrator>(
            spec_.solver, states_.size(),
            [this](double t, const double* x, double* dx, std::string& failure) {
                return evaluate_derivatives(t, x, dx, failure);
            });

    double t = 0.0;
    outputs(t, true);
    if (major_step_sink_) major_step_done(t);
    log_row(t, sink);
    if (integrator) integrator->start(t, states_.data());
    for (long long step = 1; t < stop; ++step) {
        if (stop_request_ && stop_request_->load()) throw RunStopped(t);
        updates(t);
        const double target = next_stop(t);
        if (integrator) {
            t = integrator->step(target, states_.data());
        } else {  // the next multiple of max_step (multiples, not sums)
            const double multiple = std::floor(t / max_step) + 1;
            // t / max_step may round down below the multiple that t already is.
            const double next = multiple * max_step > t ? multiple * max_step : (multiple + 1) * max_step;
            t = std::min(target, next);
        }
        outputs(t, true);
        time_ = t;
        steps_taken_ = step;
        if (major_step_sink_) major_step_done(t);
        if (t == static_cast<double>(next_log) * *interval || t >= stop) log_row(t, sink);
        if (integrator && next_switch != switches.end() && t == *next_switch) integrator->start(t, states_.data());
        if (progress_ && (step & 1023) == 0) progress_(t);
    }
    if (integrator) rhs_evaluations_ = integrator->rhs_evaluations();
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
