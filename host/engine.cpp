#include "engine.hpp"

#include <algorithm>
#include <cmath>
#include <map>
#include <sstream>

#include "data_types.hpp"

namespace host {

namespace {

// Explicit Runge-Kutta schemes: stage times c, stage weights a, final weights b.
struct Tableau {
    const char* name;
    int stages;
    double c[4];
    double a[4][4];
    double b[4];
};

const Tableau tableaus[] = {
    {"ode1", 1, {0}, {{0}}, {1}},
    {"ode2", 2, {0, 1}, {{0}, {1}}, {0.5, 0.5}},
    {"ode3", 3, {0, 0.5, 0.75}, {{0}, {0.5}, {0, 0.75}}, {2.0 / 9, 1.0 / 3, 4.0 / 9}},
    {"ode4", 4, {0, 0.5, 0.5, 1}, {{0}, {0.5}, {0, 0.5}, {0, 0, 1}}, {1.0 / 6, 1.0 / 3, 1.0 / 3, 1.0 / 6}},
};

const Tableau* find_tableau(const std::string& method) {
    for (const auto& tableau : tableaus)
        if (method == tableau.name) return &tableau;
    return nullptr;
}

std::string port_text(const SignalRef& ref) { return ref.block + "." + std::to_string(ref.port); }

}  // namespace

const std::vector<std::string>& solver_methods() {
    static const std::vector<std::string> names = {"ode1", "ode2", "ode3", "ode4"};
    return names;
}

Simulation::Simulation(ModelSpec spec) : spec_(std::move(spec)) { build(); }

Simulation::~Simulation() = default;

std::string Simulation::at(int line) const {
    return line > 0 ? spec_.source + ":" + std::to_string(line) + ": " : spec_.source + ": ";
}

long long Simulation::steps() const {
    return static_cast<long long>(std::floor(spec_.solver.stop / spec_.solver.step + 1e-9));
}

std::vector<std::string> Simulation::execution_order() const {
    std::vector<std::string> names;
    for (const Node* node : order_) names.push_back(node->name());
    return names;
}

void Simulation::build() {
    if (!find_tableau(spec_.solver.method))
        throw HostError(at(0) + "unknown solver '" + spec_.solver.method + "'");
    if (!(spec_.solver.step > 0.0) || !(spec_.solver.stop >= 0.0) || !std::isfinite(spec_.solver.stop))
        throw HostError(at(0) + "the step must be positive and the stop time finite and not negative");
    constexpr double most_steps = 1e9;
    if (spec_.solver.stop / spec_.solver.step > most_steps)
    {
        std::ostringstream text;
        text << "a stop time of " << spec_.solver.stop << " s with a step of " << spec_.solver.step
             << " s makes more than 1e9 steps";
        throw HostError(at(0) + text.str());
    }

    // Blocks
    std::map<std::string, Node*> by_name;
    for (auto& block : spec_.blocks) {
        if (by_name.count(block.name)) throw HostError(at(block.line) + "block '" + block.name + "' is defined twice");
        std::unique_ptr<Node> node;
        if (block.is_sfunction) {
            std::shared_ptr<const Library> library;
            try {
                library = Library::load(block.sfunction, spec_.search_path);
            } catch (const HostError& error) {
                throw HostError(at(block.line) + "block '" + block.name + "': " + error.what());
            }
            node = std::make_unique<SFunctionNode>(block.name, library, std::move(block.parameters));
        } else {
            node = make_builtin(block.name, block.builtin);
        }
        by_name[block.name] = node.get();
        nodes_.push_back(std::move(node));
    }

    // Connections: existing ports, one source for each input.
    struct Link {
        Node* from;
        int from_port;
        Node* to;
        int to_port;
        int line;
    };
    std::vector<Link> links;
    std::map<std::pair<Node*, int>, int> source_line;
    for (const auto& connection : spec_.connections) {
        const int line = connection.to.line;
        auto find = [&](const SignalRef& ref) {
            const auto it = by_name.find(ref.block);
            if (it == by_name.end()) throw HostError(at(ref.line) + "no block named '" + ref.block + "'");
            return it->second;
        };
        Node* from = find(connection.from);
        Node* to = find(connection.to);
        if (connection.from.port < 0 || connection.from.port >= from->num_outputs())
            throw HostError(at(line) + "block '" + from->name() + "' (" + from->kind() + ") has no output port " +
                            std::to_string(connection.from.port) + "; it has " +
                            std::to_string(from->num_outputs()));
        if (connection.to.port < 0 || connection.to.port >= to->num_inputs())
            throw HostError(at(line) + "block '" + to->name() + "' (" + to->kind() + ") has no input port " +
                            std::to_string(connection.to.port) + "; it has " + std::to_string(to->num_inputs()));
        const auto key = std::make_pair(to, connection.to.port);
        if (source_line.count(key))
            throw HostError(at(line) + "input " + port_text(connection.to) + " is already driven (line " +
                            std::to_string(source_line[key]) + ")");
        source_line[key] = line;
        links.push_back({from, connection.from.port, to, connection.to.port, line});
    }
    for (const auto& node : nodes_)
        for (int port = 0; port < node->num_inputs(); ++port)
            if (!source_line.count({node.get(), port}))
                throw HostError(at(0) + "input " + node->name() + "." + std::to_string(port) + " of block '" +
                                node->name() + "' (" + node->kind() + ") is not connected");

    // Direct-feedthrough order; what is left over lies on an algebraic loop.
    std::map<Node*, std::vector<Node*>> feeds;
    std::map<Node*, int> waiting;
    for (const auto& link : links)
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
    if (order_.size() != nodes_.size()) {
        // Walk back along feeding links from a blocked node until a block repeats.
        Node* start = nullptr;
        for (const auto& node : nodes_)
            if (waiting[node.get()]) start = node.get();
        std::vector<Node*> path = {start};  // path[i + 1] feeds path[i]
        while (true) {
            Node* previous = nullptr;
            for (const auto& link : links)
                if (link.to == path.back() && link.to->direct_feedthrough(link.to_port) && waiting[link.from])
                    previous = link.from;
            const auto seen = std::find(path.begin(), path.end(), previous);
            if (seen == path.end()) {
                path.push_back(previous);
                continue;
            }
            // In the direction of the signals, starting from the block defined first.
            std::vector<Node*> loop(seen, path.end());
            std::reverse(loop.begin() + 1, loop.end());
            auto model_index = [&](Node* node) {
                for (std::size_t i = 0; i < nodes_.size(); ++i)
                    if (nodes_[i].get() == node) return i;
                return nodes_.size();
            };
            std::rotate(loop.begin(),
                        std::min_element(loop.begin(), loop.end(),
                                         [&](Node* x, Node* y) { return model_index(x) < model_index(y); }),
                        loop.end());
            std::string text;
            for (Node* node : loop) text += node->name() + " -> ";
            throw HostError(at(0) + "algebraic loop: " + text + loop.front()->name() +
                            " (every block on it feeds its input straight through to its output)");
        }
    }

    auto with_line = [&](int line, auto&& action) {
        try {
            action();
        } catch (const HostError& error) {
            throw HostError(at(line) + error.what());
        }
    };

    // Widths, passed along the connections until nothing changes.
    std::vector<bool> sized(links.size(), false);
    for (bool changed = true; changed;) {
        changed = false;
        for (std::size_t i = 0; i < links.size(); ++i) {
            const int width = links[i].from->output_width(links[i].from_port);
            if (sized[i] || width < 0) continue;
            with_line(links[i].line, [&] { links[i].to->set_input_width(links[i].to_port, width); });
            sized[i] = changed = true;
        }
    }
    for (const auto& node : nodes_)
        for (int port = 0; port < node->num_outputs(); ++port)
            if (node->output_width(port) < 0)
                throw HostError(at(0) + "the width of output " + node->name() + "." + std::to_string(port) +
                                " cannot be told: it depends on a loop of blocks that take their width from "
                                "their inputs");

    // Data types: offered where known, settled, then checked on every connection.
    for (const auto& link : links) {
        const int type = link.from->output_type(link.from_port);
        if (type != DYNAMICALLY_TYPED) with_line(link.line, [&] { link.to->offer_input_type(link.to_port, type); });
    }
    for (const auto& node : nodes_) node->settle_types();
    for (const auto& link : links)
        with_line(link.line, [&] { link.to->offer_input_type(link.to_port, link.from->output_type(link.from_port)); });

    for (const auto& node : nodes_) node->settle_sample_time();

    // Buffers: all continuous states in one vector, integrated together.
    std::size_t total_states = 0;
    for (const auto& node : nodes_) total_states += static_cast<std::size_t>(node->num_states());
    states_.assign(total_states, 0.0);
    derivatives_.assign(total_states, 0.0);
    std::size_t offset = 0;
    for (const auto& node : nodes_) {
        node->allocate(states_.data() + offset, derivatives_.data() + offset);
        offset += static_cast<std::size_t>(node->num_states());
    }
    for (const auto& link : links)
        with_line(link.line, [&] {
            link.to->connect_input(link.to_port, link.from->output_signal(link.from_port),
                                   link.from->output_type(link.from_port), link.from->output_width(link.from_port));
        });
    for (Node* node : order_) {
        if (node->has_update()) with_update_.push_back(node);
        if (node->has_derivatives()) with_derivatives_.push_back(node);
    }

    // Logged signals.
    for (std::size_t group = 0; group < spec_.log.size(); ++group) {
        group_names_.push_back(spec_.log[group].name);
        for (const auto& ref : spec_.log[group].signals) {
            const auto it = by_name.find(ref.block);
            if (it == by_name.end()) throw HostError(at(ref.line) + "cannot log '" + ref.block + "': no such block");
            const Node* node = it->second;
            if (ref.port < 0 || ref.port >= node->num_outputs())
                throw HostError(at(ref.line) + "cannot log " + port_text(ref) + ": block '" + ref.block +
                                "' has " + std::to_string(node->num_outputs()) + " output ports");
            const int width = node->output_width(ref.port);
            if (ref.element >= width)
                throw HostError(at(ref.line) + "cannot log element " + std::to_string(ref.element) + " of " +
                                port_text(ref) + ", which has width " + std::to_string(width));
            const int first = ref.element < 0 ? 0 : ref.element;
            const int last = ref.element < 0 ? width - 1 : ref.element;
            for (int element = first; element <= last; ++element) {
                logged_.push_back({node, ref.port, element});
                columns_.push_back(port_text(ref) + "[" + std::to_string(element) + "]");
                column_group_.push_back(static_cast<int>(group));
            }
        }
    }
    row_.assign(logged_.size(), 0.0);
}

template <typename Method>
void Simulation::call(Node& node, int flag, double time, bool major_step, Method&& method) {
    if (!observer_) return method();
    observer_(node, flag, time, major_step, false);
    method();
    observer_(node, flag, time, major_step, true);
}

void Simulation::outputs(double time, bool major_step) {
    for (Node* node : order_)
        call(*node, SS_CALL_MDL_OUTPUTS, time, major_step, [&] { node->outputs(time, major_step); });
}

void Simulation::derivatives(double time, bool major_step) {
    for (Node* node : with_derivatives_)
        call(*node, SS_CALL_MDL_DERIVATIVES, time, major_step, [&] { node->derivatives(time); });
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

void Simulation::run(const RowSink& sink) {
    const Tableau& rk = *find_tableau(spec_.solver.method);
    const double h = spec_.solver.step;
    const long long last = steps();
    const std::size_t n = states_.size();
    std::vector<double> start_states(n);
    std::vector<std::vector<double>> k(static_cast<std::size_t>(rk.stages), std::vector<double>(n, 0.0));
    time_ = 0.0;

    auto body = [&] {
        for (Node* node : order_) call(*node, SS_CALL_MDL_START, 0.0, true, [&] { node->start(); });
        for (Node* node : order_)
            call(*node, SS_CALL_MDL_INITIALIZE_CONDITIONS, 0.0, true, [&] { node->initialize_conditions(); });
        for (long long step = 0;; ++step) {
            const double t = static_cast<double>(step) * h;
            outputs(t, true);
            time_ = t;
            if (step % spec_.log_every == 0 || step == last) log_row(t, sink);
            if (step == last) break;
            for (Node* node : with_update_) call(*node, SS_CALL_MDL_UPDATE, t, true, [&] { node->update(t); });
            derivatives(t, true);
            if (n == 0) continue;
            start_states = states_;
            k[0] = derivatives_;
            for (int stage = 1; stage < rk.stages; ++stage) {
                for (std::size_t i = 0; i < n; ++i) {
                    double increment = 0.0;
                    for (int j = 0; j < stage; ++j) increment += rk.a[stage][j] * k[j][i];
                    states_[i] = start_states[i] + h * increment;
                }
                const double stage_time = t + rk.c[stage] * h;
                outputs(stage_time, false);
                derivatives(stage_time, false);
                k[stage] = derivatives_;
            }
            for (std::size_t i = 0; i < n; ++i) {
                double increment = 0.0;
                for (int j = 0; j < rk.stages; ++j) increment += rk.b[j] * k[j][i];
                states_[i] = start_states[i] + h * increment;
            }
            if (progress_ && (step & 1023) == 0) progress_(t);
        }
    };

    auto terminate_all = [&](bool rethrow_first) {
        std::exception_ptr first;
        for (Node* node : order_) {
            try {
                call(*node, SS_CALL_MDL_TERMINATE, time_, true, [&] { node->terminate(); });
            } catch (...) {
                if (!first) first = std::current_exception();
            }
        }
        if (rethrow_first && first) std::rethrow_exception(first);
    };

    try {
        body();
    } catch (...) {
        terminate_all(false);
        throw;
    }
    terminate_all(true);
}

}  // namespace host
