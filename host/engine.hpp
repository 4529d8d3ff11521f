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

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "nodes.hpp"

namespace host {

// block.port, or block.port[element] for one element.
struct SignalRef {
    std::string block;
    int port = 0;
    int element = -1;  // all elements
    int line = 0;      // in the model file, for messages
};

struct BlockSpec {
    std::string name;
    bool is_sfunction = false;
    std::string sfunction;
    std::vector<ArrayPtr> parameters;
    BuiltinSpec builtin;
    int line = 0;
};

struct ConnectionSpec {
    SignalRef from, to;
};

struct LogGroup {
    std::string name;
    std::vector<SignalRef> signals;
};

struct SolverSpec {
    std::string method = "ode4";  // ode1, ode2, ode3, ode4
    double step = 1e-3;           // s
    double stop = 1.0;            // s
};

struct ModelSpec {
    std::string source = "model";  // file name, for messages
    std::vector<BlockSpec> blocks;
    std::vector<ConnectionSpec> connections;
    SolverSpec solver;
    std::vector<LogGroup> log;
    int log_every = 1;  // log every n-th major step (and the last)
    std::vector<std::filesystem::path> search_path;
};

const std::vector<std::string>& solver_methods();

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
    // with the block, the method's flag, the time and whether the step is a
    // major one.
    using Observer = std::function<void(const Node& node, int flag, double time, bool major_step, bool after_call)>;
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
    struct Column {
        const Node* node;
        int port;
        int element;
    };
    void build();
    template <typename Method>
    void call(Node& node, int flag, double time, bool major_step, Method&& method);
    void outputs(double time, bool major_step);
    void derivatives(double time, bool major_step);
    void log_row(double time, const RowSink& sink);
    std::string at(int line) const;

    ModelSpec spec_;
    std::vector<std::unique_ptr<Node>> nodes_;
    std::vector<Node*> order_;                 // direct-feedthrough order
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
