// The model's checks and wiring, in the order the constructor runs them:
// blocks made, links resolved and ordered, widths, types and sample times
// settled, states allocated and the logged signals found. Each mistake names
// its model line.
#include "host/sim/engine.hpp"

#include <algorithm>
#include <cmath>
#include <regex>
#include <sstream>

#include "block_manifest.hpp"
#include "host/common/suggestions.hpp"
#include "host/common/text.hpp"
#include "host/sfunction/data_types.hpp"
#include "host/sim/builtin_blocks.hpp"
#include "host/sim/sfunction_node.hpp"

namespace host {

namespace {

std::string port_text(const SignalRef& ref) { return ref.block + "." + std::to_string(ref.port); }

// A logged element's name in a plot's key: its label (with the element when
// the label stands for a wider port), else "fan.2" for fan.2[0] of width 1,
// "x" for x.0[0] of a block with one output, "fan.0[1]" otherwise; and the
// unit in brackets.
std::string signal_name(const SignalRef& ref, int element, bool one_element, bool one_port) {
    const std::string index = "[" + std::to_string(element) + "]";
    if (!ref.label.empty()) return ref.label + (one_element || ref.element >= 0 ? "" : index);
    if (!one_element) return port_text(ref) + index;
    return one_port && ref.port == 0 ? ref.block : port_text(ref);
}

// "pressure [Pa]"; "[W]" for a group without a label whose signals share a unit.
std::string y_label(const LogGroup& group) {
    std::string unit = group.unit;
    if (unit.empty() && !group.signals.empty()) {
        unit = group.signals.front().unit;
        for (const auto& ref : group.signals)
            if (ref.unit != unit) unit.clear();
    }
    if (group.label.empty()) return unit.empty() ? "" : "[" + unit + "]";
    return unit.empty() ? group.label : group.label + " [" + unit + "]";
}

}  // namespace

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


void Simulation::check_solver() const {
    const std::string problem = solver_problem(spec_.solver);
    if (!problem.empty()) throw HostError(at(0) + problem);
}

void Simulation::choose_log_cadence() {
    log_every_ = spec_.log_every.value_or(1);
    log_interval_ = spec_.log_interval;
    if (is_variable_step(spec_.solver.method)) {
        // log: every is every n-th step of the model's fixed step, so that
        // switching the solver keeps the rows; without every or interval,
        // the solver's own steps.
        if (!log_interval_ && spec_.log_every) log_interval_ = *spec_.log_every * spec_.solver.step;
        if (!log_interval_) return;
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

namespace {
FmuNodeMaker fmu_node_maker = nullptr;
}

void set_fmu_node_maker(FmuNodeMaker maker) { fmu_node_maker = maker; }

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
        } else if (block.fmu) {
            if (!fmu_node_maker)
                throw HostError(at(block.line) + "block '" + block.name + "': this program runs no FMU blocks");
            try {
                node = fmu_node_maker(block.name, *block.fmu, spec_.solver);
            } catch (const HostError& error) {
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

// Ports named by their variable ("cyl.shaft_power", "cyl.y[2]"), as the
// block numbers them. An element in brackets is taken where no port has the
// whole name (FMI 2.0 names an array's elements "y[2]").
void Simulation::resolve_port_name(SignalRef& ref, bool input) const {
    if (ref.port_name.empty()) return;
    const auto it = by_name_.find(ref.block);
    if (it == by_name_.end())
        throw HostError(at(ref.line) + "no block named '" + ref.block + "'" + did_you_mean(ref.block, block_names()));
    const Node& node = *it->second;
    const std::string what = input ? "input" : "output";
    int port = node.port_named(ref.port_name, input);
    int element = -1;
    static const std::regex indexed(R"(^(.+)\[(\d{1,9})\]$)");
    std::smatch match;
    if (port < 0 && std::regex_match(ref.port_name, match, indexed)) {
        port = node.port_named(match[1], input);
        element = std::stoi(match[2]);
    }
    if (port < 0) {
        const auto names = node.port_names(input);
        if (names.empty())
            throw HostError(at(ref.line) + node.label() + " numbers its ports: write " + ref.block + ".0, not " +
                            ref.block + "." + ref.port_name);
        throw HostError(at(ref.line) + node.label() + " has no " + what + " named '" + ref.port_name + "'" +
                        did_you_mean(ref.port_name, names));
    }
    ref.port = port;
    if (element >= 0) ref.element = element;
    ref.port_name.clear();
}

void Simulation::resolve_port_names() {
    for (auto& connection : spec_.connections) {
        resolve_port_name(connection.from, false);
        resolve_port_name(connection.to, true);
        if (connection.from.element >= 0 || connection.to.element >= 0)
            throw HostError(at(connection.to.line) + "a connection joins whole ports; " +
                            "name the port without an element");
    }
    for (auto& group : spec_.log) {
        for (auto& signal : group.signals) resolve_port_name(signal, false);
        if (group.x) resolve_port_name(*group.x, false);
    }
}

// An implicit method evaluates the derivatives at nearby states to build its
// Jacobian and iterates Newton's method on them: it needs the derivatives to
// be a function of t and the states. A block whose outputs lag one
// evaluation makes them depend on the calls before, and bdf then converges
// on wrong values or diverges without noticing.
void Simulation::check_solver_suits_blocks() const {
    if (spec_.solver.method != SolverMethod::bdf) return;
    if (const Node* node = block_with_lagged_outputs())
        throw HostError(at(line_of_.at(node)) + node->label() +
                        " cannot run under bdf: its outputs lag one evaluation, so the model's derivatives "
                        "depend on the order of the solver's calls, and bdf's Newton iteration would converge "
                        "on wrong values; use ode45 or ode4 (--solver ode45)");
}

const Node* Simulation::block_with_lagged_outputs() const {
    for (const auto& node : nodes_) {
        const auto* sfunction = dynamic_cast<const SFunctionNode*>(node.get());
        if (!sfunction) continue;
        const auto* entry = blocks::manifest_entry(sfunction->instance().library().name().c_str());
        if (entry && entry->lagged_outputs) return node.get();
    }
    return nullptr;
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
        if (node->has_events()) {
            with_events_.push_back(node);
            indicator_offsets_.push_back(indicators_.size());
            indicators_.resize(indicators_.size() + static_cast<std::size_t>(node->num_event_indicators()));
        }
    }
    indicator_offsets_.push_back(indicators_.size());
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

// The Inports and Outports by index; an index names one of each kind.
void Simulation::find_external_ports() {
    std::map<int, std::pair<const Node*, ExternalPort>> inports, outports;
    for (const auto& node : nodes_) {
        const auto port = external_port(*node);
        if (!port) continue;
        auto& ports = port->input ? inports : outports;
        const auto [it, added] = ports.emplace(port->index, std::make_pair(node.get(), *port));
        if (!added)
            throw HostError(at(line_of_.at(node.get())) + node->kind() + " blocks '" + it->second.first->name() +
                            "' and '" + node->name() + "' both have index " + std::to_string(port->index));
    }
    for (const auto& [index, port] : inports) inports_.push_back(port.second);
    for (const auto& [index, port] : outports) outports_.push_back(port.second);
}

// Without a log section every output of every block is logged, a group (plot
// panel) per block.
void Simulation::set_up_logging() {
    if (spec_.log.empty())
        for (const auto& node : nodes_) {
            LogGroup group{node->name(), {}, {}, {}, line_of_.at(node.get()), {}, {}};
            for (int port = 0; port < node->num_outputs(); ++port) group.signals.push_back({node->name(), port, -1, {}, 0, {}, {}});
            if (!group.signals.empty()) spec_.log.push_back(group);
        }
    for (const auto& group : spec_.log) {
        PlotGroup plot{group.name, {}, -1, group.x_range, {}, y_label(group), "t [s]"};
        for (const auto& ref : group.signals) {
            const auto added = log_signal(ref, &plot.keys, &group);
            plot.columns.insert(plot.columns.end(), added.begin(), added.end());
        }
        if (group.x) {
            std::vector<std::string> x_keys;
            const auto added = log_signal(*group.x, &x_keys);
            if (added.size() != 1)
                throw HostError(at(group.x->line) + "the x axis of log group '" + group.name +
                                "' is one element: write block.port[element]");
            plot.x_column = added.front();
            plot.x_label = x_keys.front();
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

int Simulation::watch(const SignalRef& named) {
    SignalRef ref = named;
    resolve_port_name(ref, false);
    const auto [node, elements] = resolve_signal(ref, "cannot watch");
    if (elements.first != elements.second)
        throw HostError(port_text(ref) + " has width " + std::to_string(elements.second + 1) +
                        "; name one element, as " + port_text(ref) + "[0]");
    watched_.push_back({node, ref.port, elements.first});
    watched_values_.push_back(0.0);
    return static_cast<int>(watched_.size()) - 1;
}

std::vector<int> Simulation::log_signal(const SignalRef& ref, std::vector<std::string>* keys, const LogGroup* group) {
    const auto [node, elements] = at_line(ref.line, [&] { return resolve_signal(ref, "cannot log"); });
    std::vector<int> columns;
    const bool one_element = node->output_width(ref.port) == 1;
    for (int element = elements.first; element <= elements.second; ++element) {
        const std::string name = port_text(ref) + "[" + std::to_string(element) + "]";
        const std::string readable = signal_name(ref, element, one_element, node->num_outputs() == 1);
        if (keys) keys->push_back(ref.unit.empty() ? readable : readable + " [" + ref.unit + "]");
        // By name, not by a search of the columns: a model may log a hundred thousand signals.
        const auto [existing, added] = column_of_.emplace(name, static_cast<int>(columns_.size()));
        columns.push_back(existing->second);
        if (!added) continue;
        logged_.push_back({node, ref.port, element});
        columns_.push_back(name);
        column_facts_.push_back({readable, ref.unit.empty() && group ? group->unit : ref.unit,
                                 group ? group->name : std::string()});
    }
    return columns;
}

void Simulation::set_dialog_parameter(const std::string& block, int index, ArrayPtr value) {
    const auto it = by_name_.find(block);
    auto* node = it == by_name_.end() ? nullptr : dynamic_cast<SFunctionNode*>(it->second);
    if (!node) throw HostError("the model has no S-function block '" + block + "'");
    node->instance().set_parameter(index, std::move(value));
}

std::vector<std::string> Simulation::block_names() const {
    std::vector<std::string> names;
    for (const auto& node : nodes_) names.push_back(node->name());
    return names;
}

}  // namespace host
