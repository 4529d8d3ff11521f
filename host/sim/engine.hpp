// A simulation of a model of S-function and built-in blocks, calling block
// methods in the host's order:
//
//   set-up     mdlInitializeSizes, (frame, data type methods),
//              mdlInitializeSampleTimes, then mdlStart and
//              mdlInitializeConditions of every block
//   fixed      major step at t: mdlOutputs of every block in
//   step       direct-feedthrough order, then mdlUpdate, then
//              mdlDerivatives; for each further Runge-Kutta stage (minor
//              steps) mdlOutputs and mdlDerivatives again
//   variable   each evaluation of the derivatives the integrator asks for
//   step       is a minor step (mdlOutputs, mdlDerivatives); after each
//              accepted step a major step: mdlOutputs, then mdlUpdate
//   end        mdlTerminate of every block, also after an error
#pragma once

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "host/model/model.hpp"
#include "host/sfunction/methods.hpp"
#include "host/sim/builtin_blocks.hpp"
#include "host/sim/node.hpp"

namespace host {

class RungeKuttaStepper;

// Makes the node of an FMU block. Registered by the programs that run FMUs
// (blocksim), so that the engine itself needs no FMU importer; without one,
// a model holding an FMU block is refused.
using FmuNodeMaker = std::unique_ptr<Node> (*)(const std::string& name, const FmuBlockSpec& spec,
                                               const SolverSpec& solver);
void set_fmu_node_maker(FmuNodeMaker maker);

// A stop time or log interval within this share of a step of n steps counts
// as n steps, so that 1 / 0.1 makes 10 steps and not 9.
inline constexpr double step_count_tolerance = 1e-9;

// The run ended early because its stop request was set.
class RunStopped : public HostError {
public:
    explicit RunStopped(double time);
    double time() const { return time_; }

private:
    double time_;
};

class Simulation {
public:
    // Loads the libraries, creates the blocks and checks the model: ports,
    // widths, data types, algebraic loops, sample times. Throws HostError
    // or BlockError with a message naming what is wrong.
    explicit Simulation(ModelSpec spec);
    ~Simulation();

    // Column names of the logged signals, "block.port[element]", each once.
    const std::vector<std::string>& column_names() const { return columns_; }
    // What the model says of each column where it first logs it: its
    // readable name (its label, or its name without the "[0]" of a
    // one-element port and the ".0" of a block's one port), its unit (the
    // signal's or its group's; empty: none given) and its group.
    struct ColumnFacts {
        std::string name, unit, group;
    };
    const std::vector<ColumnFacts>& column_facts() const { return column_facts_; }
    // A plot panel: the columns drawn in it, over time or over column x_column.
    struct PlotGroup {
        std::string name;
        std::vector<int> columns;
        int x_column;  // -1: time
        std::optional<std::pair<double, double>> x_range;
        std::vector<std::string> keys;  // each column's name in the key: its label, or its name without
                                        // the "[0]" of a one-element port and the ".0" of a block's one port
        std::string y_label;            // "pressure [Pa]", "[W]", or ""
        std::string x_label;            // "t [s]", or the x signal's key
    };
    const std::vector<PlotGroup>& groups() const { return groups_; }
    const SolverSpec& solver() const { return spec_.solver; }
    // How rows are logged: at the multiples of log_interval() (variable-step
    // methods; from the model's log: interval, or every n-th of its fixed
    // steps), at every major step the solver takes (variable-step methods
    // with neither), or at every log_every()-th step (fixed-step methods);
    // always at the first and the last step.
    std::optional<double> log_interval() const { return log_interval_; }
    bool log_interval_given() const { return spec_.log_interval.has_value(); }
    bool log_every_given() const { return spec_.log_every.has_value(); }
    bool logs_solver_steps() const { return is_variable_step(spec_.solver.method) && !log_interval_; }
    int log_every() const { return log_every_; }
    // The blocks in the order their outputs are computed.
    std::vector<std::string> execution_order() const;

    using RowSink = std::function<void(double time, const std::vector<double>& values)>;
    // Called before each block method (after_call false) and after it (true),
    // with the block, the method, the time and whether the step is a major one.
    using Observer = std::function<void(const Node& node, Method method, double time, bool major_step, bool after_call)>;
    void set_observer(Observer observer) { observer_ = std::move(observer); }
    void set_progress(std::function<void(double time)> progress) { progress_ = std::move(progress); }
    // Checked after each major step; when set, the run ends there with
    // RunStopped (the row of that step logged). A signal handler may set it.
    void set_stop_request(const std::atomic<bool>* request) { stop_request_ = request; }

    // A signal element read after every major step, for what a caller
    // computes over a whole run (a sweep's metrics); `ref.element` -1 takes
    // a signal of width 1. Returns its place in the watched values. Throws
    // HostError, without a file position, when the model has no such signal.
    int watch(const SignalRef& ref);
    using MajorStepSink = std::function<void(double time, const std::vector<double>& watched)>;
    void set_major_step_sink(MajorStepSink sink) { major_step_sink_ = std::move(sink); }

    // Runs from 0 to the stop time. Every block is terminated at the end,
    // also when a block fails; the failure is then rethrown.
    void run(const RowSink& sink);
    // The time of the last completed major step.
    double time() const { return time_; }

    // ---- A run step by step, as a co-simulation drives it (the stop time
    // plays no part). begin() starts every block at t = 0; with a
    // fixed-step method major step k is then step_outputs(), the outputs at
    // t = k * step, and advance(), which takes the step to the next; finish()
    // terminates every block. run() makes the same calls in the same order.
    void begin();
    void step_outputs();
    void advance();
    void finish();
    // A variable-step method step by step: begin(), then at the present
    // time() step_outputs() and advance_toward(end), one major step that
    // ends at `end` or before, until time() is `end`. After a discontinuity
    // of the Inports the integrator starts again (restart_integration).
    void advance_toward(double end);
    void restart_integration();
    long long step_index() const { return step_; }
    // The model's Inport and Outport blocks, by index.
    const std::vector<ExternalPort>& inports() const { return inports_; }
    const std::vector<ExternalPort>& outports() const { return outports_; }
    // ---- The model's equations for an importer's integrator (model
    // exchange), between begin() and finish(): the continuous states to
    // read and set, every block's outputs at t (a major step's or a minor
    // one's), the derivatives over the outputs as they are, and a major
    // step's updates. The blocks' switching times are the time events.
    std::vector<double>& continuous_states() { return states_; }
    void compute_outputs(double t, bool major_step);
    const std::vector<double>& compute_derivatives(double t, bool major_step);
    void compute_updates(double t) { updates(t); }
    std::vector<double> switching_times() const;
    // The name of each continuous state: "lag.x", "controller.x[2]".
    std::vector<std::string> state_names() const;
    // The first block whose outputs lag one evaluation (the manifest's
    // outputs=lagged): what it hands out depends on the order of the calls
    // before, which an implicit solver or an importer chooses. nullptr: none.
    const Node* block_with_lagged_outputs() const;

    // Hands S-function block `block` a new value of its dialog parameter
    // `index` (0-based) while the model runs; the block checks it as at
    // the start and, refusing it, keeps the old one (BlockError).
    void set_dialog_parameter(const std::string& block, int index, ArrayPtr value);
    // Logged column `i` as it is now.
    double column_value(std::size_t i) const;
    // Number of major steps after t = 0 of a fixed-step method. When the
    // stop time is no multiple of the step, the last of them is shorter.
    long long steps() const;
    double last_step() const;  // the step, or the shorter last one
    // Major steps the last run took, and its evaluations of x' between them
    // (variable-step methods; the fixed-step ones count none).
    long long steps_taken() const { return steps_taken_; }
    long long rhs_evaluations() const { return rhs_evaluations_; }

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

    long long full_steps() const;  // whole steps within the stop time

    // ---- Set-up, in this order
    void check_solver() const;
    void choose_log_cadence();
    void create_nodes();
    void resolve_port_names();
    void resolve_port_name(SignalRef& ref, bool input) const;
    void check_solver_suits_blocks() const;
    void resolve_links();
    void order_by_feedthrough();
    [[noreturn]] void report_algebraic_loop(const std::map<Node*, int>& waiting) const;
    void propagate_widths();
    void settle_types();
    void settle_sample_times();
    void allocate_and_connect();
    void find_external_ports();
    void set_up_logging();
    std::vector<int> log_signal(const SignalRef& ref, std::vector<std::string>* keys = nullptr,
                                const LogGroup* group = nullptr);
    // The block of `ref` and its elements; `what` starts the message ("cannot log").
    std::pair<const Node*, std::pair<int, int>> resolve_signal(const SignalRef& ref, const std::string& what) const;
    std::vector<std::string> block_names() const;

    // ---- Run
    void start_blocks();
    void advance_from(double t, double step_size, RungeKuttaStepper& stepper);
    void run_fixed_step(const RowSink& sink);
    struct VariableStepRun;
    void start_variable_step();
    void run_variable_step(const RowSink& sink);
    bool evaluate_derivatives(double t, const double* x, double* dx, std::string& failure);
    const Node* state_owner(std::size_t index) const;
    template <typename Action>
    void call(Node& node, Method method, double time, bool major_step, Action&& action);
    template <typename Action>
    void call_each(const std::vector<Node*>& nodes, Method method, double time, bool major_step, Action&& action);
    void outputs(double time, bool major_step);
    void updates(double time);
    void derivatives(double time, bool major_step);
    // ---- Events of blocks that have them (FMUs for model exchange)
    void advance_with_events(double t, double step_size, RungeKuttaStepper& stepper);
    void read_indicators(std::vector<double>& z);
    // Handles the events at `time` of each block whose indicators crossed
    // (by index into all the indicators) or that has one due; true when one did.
    bool handle_events(double time, const std::vector<char>& crossed);
    double next_time_event() const;
    void events_after_step(double t);
    void log_row(double time, const RowSink& sink);
    void major_step_done(double time);
    void terminate_all(bool rethrow_first);

    std::string at(int line) const;  // "model.yaml:12: "
    template <typename Action>
    decltype(auto) at_line(int line, Action&& action) const;  // prefixes a HostError with the line

    ModelSpec spec_;
    std::vector<std::unique_ptr<Node>> nodes_;
    std::map<std::string, Node*> by_name_;
    std::map<const Node*, int> line_of_;  // of the block in the model file
    std::vector<Link> links_;
    std::vector<Node*> order_;  // direct-feedthrough order
    std::vector<Node*> with_changing_outputs_, with_update_, with_derivatives_;
    std::vector<double> states_, derivatives_;  // all continuous states, integrated together
    std::vector<Node*> with_events_;
    std::vector<std::size_t> indicator_offsets_;  // of each of with_events_, and the count at the end
    std::vector<double> indicators_;              // every event indicator, as last read
    std::vector<char> crossed_;                   // the indicators whose sign changed at the present time
    std::vector<Column> logged_;
    std::vector<std::string> columns_;
    std::vector<ColumnFacts> column_facts_;
    std::unordered_map<std::string, int> column_of_;  // the column of each logged name
    std::vector<PlotGroup> groups_;
    std::vector<double> row_;
    std::vector<ExternalPort> inports_, outports_;
    std::unique_ptr<RungeKuttaStepper> stepping_;  // of a run step by step, between begin() and finish()
    std::unique_ptr<VariableStepRun> variable_run_;  // of a variable-step method's run
    long long step_ = 0;
    std::vector<Column> watched_;
    std::vector<double> watched_values_;
    MajorStepSink major_step_sink_;
    Observer observer_;
    std::function<void(double)> progress_;
    const std::atomic<bool>* stop_request_ = nullptr;
    double time_ = 0.0;
    int log_every_ = 1;
    std::optional<double> log_interval_;
    long long steps_taken_ = 0, rhs_evaluations_ = 0;
};

}  // namespace host
