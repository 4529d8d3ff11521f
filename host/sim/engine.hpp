// A fixed-step simulation of a model of S-function and built-in blocks,
// calling block methods in the host's order:
//
//   set-up     mdlInitializeSizes, (frame, data type methods),
//              mdlInitializeSampleTimes, then mdlStart and
//              mdlInitializeConditions of every block
//   each step  major step at t: mdlOutputs of every block in
//              direct-feedthrough order, then mdlUpdate, then
//              mdlDerivatives; for each further Runge-Kutta stage (minor
//              steps) mdlOutputs and mdlDerivatives again
//   end        mdlTerminate of every block, also after an error
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "host/model/model.hpp"
#include "host/sfunction/methods.hpp"
#include "host/sim/node.hpp"

namespace host {

class Simulation {
public:
    // Loads the libraries, creates the blocks and checks the model: ports,
    // widths, data types, algebraic loops, sample times. Throws HostError
    // or BlockError with a message naming what is wrong.
    explicit Simulation(ModelSpec spec);
    ~Simulation();

    // Column names of the logged signals, "block.port[element]", and the
    // log group of each.
    const std::vector<std::string>& column_names() const { return columns_; }
    const std::vector<int>& column_groups() const { return column_group_; }
    const std::vector<std::string>& group_names() const { return group_names_; }
    const SolverSpec& solver() const { return spec_.solver; }
    // The blocks in the order their outputs are computed.
    std::vector<std::string> execution_order() const;

    using RowSink = std::function<void(double time, const std::vector<double>& values)>;
    // Called before each block method (after_call false) and after it (true),
    // with the block, the method, the time and whether the step is a major one.
    using Observer = std::function<void(const Node& node, Method method, double time, bool major_step, bool after_call)>;
    void set_observer(Observer observer) { observer_ = std::move(observer); }
    void set_progress(std::function<void(double time)> progress) { progress_ = std::move(progress); }

    // Runs from 0 to the stop time. Every block is terminated at the end,
    // also when a block fails; the failure is then rethrown.
    void run(const RowSink& sink);
    // The time of the last completed major step.
    double time() const { return time_; }
    // Number of major steps the solver takes.
    long long steps() const;

private:
    // A connection, resolved to its nodes.
    struct Link {
        Node* from;
        int from_port;
        Node* to;
        int to_port;
        int line;
    };
    struct Column {
        const Node* node;
        int port;
        int element;
    };

    // ---- Set-up, in this order
    void check_solver() const;
    void create_nodes();
    void resolve_links();
    void order_by_feedthrough();
    [[noreturn]] void report_algebraic_loop(const std::map<Node*, int>& waiting) const;
    void propagate_widths();
    void settle_types();
    void settle_sample_times();
    void allocate_and_connect();
    void set_up_logging();

    // ---- Run
    template <typename Action>
    void call(Node& node, Method method, double time, bool major_step, Action&& action);
    void outputs(double time, bool major_step);
    void updates(double time);
    void derivatives(double time, bool major_step);
    void log_row(double time, const RowSink& sink);
    void terminate_all(bool rethrow_first);

    std::string at(int line) const;  // "model.yaml:12: "
    template <typename Action>
    void at_line(int line, Action&& action) const;  // prefixes a HostError with the line

    ModelSpec spec_;
    std::vector<std::unique_ptr<Node>> nodes_;
    std::map<std::string, Node*> by_name_;
    std::vector<Link> links_;
    std::vector<Node*> order_;  // direct-feedthrough order
    std::vector<Node*> with_update_, with_derivatives_;
    std::vector<double> states_, derivatives_;  // all continuous states, integrated together
    std::vector<Column> logged_;
    std::vector<std::string> columns_, group_names_;
    std::vector<int> column_group_;
    std::vector<double> row_;
    Observer observer_;
    std::function<void(double)> progress_;
    double time_ = 0.0;
};

}  // namespace host
