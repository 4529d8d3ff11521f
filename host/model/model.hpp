// What a model is: its blocks, the connections between their ports, the
// solver and what is logged. The model-file reader fills it; the engine
// runs it.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "host/model/builtins.hpp"
#include "host/sfunction/arrays.hpp"
#include "host/common/errors.hpp"

namespace host {

// A model file that cannot be read; the message starts "file:line: ".
class ModelError : public HostError {
public:
    using HostError::HostError;
};

// block.port, or block.port[element] for one element.
struct SignalRef {
    std::string block;
    int port = 0;
    int element = -1;  // all elements
    // An FMU block's port by its variable's name ("shaft_power"), resolved
    // to `port` once the block is known; empty for a port by number.
    std::string port_name;
    int line = 0;  // in the model file, for messages
    // A logged signal's name in the plot's key and its unit ("shaft power",
    // "W"); empty for the default, the column's name.
    std::string label, unit;
};

// A block that runs an FMU: its file, the interface asked for and the
// start values set by variable name.
struct FmuBlockSpec {
    std::filesystem::path file;          // resolved against the model file's folder
    std::string fmi_interface;           // "cs", "me", or "" (model exchange where offered); not
                                         // "interface", which Windows headers define as a macro
    std::vector<std::pair<std::string, std::vector<double>>> starts;  // in the model file's order
    std::optional<double> step;          // s, of its communication steps; the model's step when not given
};

struct BlockSpec {
    BlockSpec() = default;
    // A copy holds copies of the parameters, so that one model can be run
    // many times with some of them changed.
    BlockSpec(const BlockSpec& other);
    BlockSpec& operator=(const BlockSpec& other);
    BlockSpec(BlockSpec&&) = default;
    BlockSpec& operator=(BlockSpec&&) = default;

    std::string name;
    bool is_sfunction = false;
    std::string sfunction;
    std::vector<ArrayPtr> parameters;  // S-function dialog parameters, in dialog order
    BuiltinSpec builtin;               // the keys of a built-in block
    std::optional<FmuBlockSpec> fmu;   // an FMU block's
    int line = 0;
};

struct ConnectionSpec {
    SignalRef from, to;
};

// One plot panel: its signals over time, or over the signal `x`.
struct LogGroup {
    std::string name;
    std::vector<SignalRef> signals;
    std::optional<SignalRef> x;
    std::optional<std::pair<double, double>> x_range;  // the part of the x axis shown
    int line = 0;
    std::string label, unit;  // of the panel's y axis ("pressure", "Pa"); empty: none
};

// The fixed-step Runge-Kutta methods, by order, and the variable-step ones:
// Dormand-Prince 5(4), Bogacki-Shampine 3(2) and variable-order BDF (stiff).
enum class SolverMethod { ode1, ode2, ode3, ode4, ode45, ode23, bdf };

struct SolverMethodEntry {
    SolverMethod method;
    const char* name;  // "ode4", in model files and on the command line
    bool variable_step;
};
inline constexpr SolverMethodEntry solver_methods[] = {
    {SolverMethod::ode1, "ode1", false},  {SolverMethod::ode2, "ode2", false},
    {SolverMethod::ode3, "ode3", false},  {SolverMethod::ode4, "ode4", false},
    {SolverMethod::ode45, "ode45", true}, {SolverMethod::ode23, "ode23", true},
    {SolverMethod::bdf, "bdf", true},
};
bool is_variable_step(SolverMethod method);

const char* solver_method_name(SolverMethod method);  // "ode4"
std::optional<SolverMethod> solver_method_named(const std::string& name);
std::string known_solver_methods();  // "ode1, ode2, ..., bdf", for messages
std::vector<std::string> solver_method_names();

// The solver's settings. `keys` lists its numeric keys to whatever visits
// them, as a model file's solver map and blocksim's options name them
// (max_step is --max-step): the model reader, the command-line overrides and
// the help all take them from here. A visitor K has
//   number(key, double&, SolverUse, meaning)                 a setting with a default
//   optional_number(key, std::optional<double>&, SolverUse, meaning)   one without
// `method` is read apart: it is a word, not a number.
enum class SolverUse { every_method, fixed_step, variable_step };  // which methods read the key

struct SolverSpec {
    SolverMethod method = SolverMethod::ode4;
    double step = 1e-3;  // s, of the fixed-step methods
    double stop = 1.0;   // s
    // Variable-step methods
    double rtol = 1e-3;
    double atol = 1e-6;
    std::optional<double> max_step;      // s; stop / 50 when not given
    std::optional<double> initial_step;  // s; the integrator's own choice when not given
    double max_step_or_default() const { return max_step ? *max_step : stop / 50; }

    template <typename K> void keys(K& k) {
        constexpr auto every_method = SolverUse::every_method, fixed_step = SolverUse::fixed_step,
                       variable_step = SolverUse::variable_step;
        k.number("step", step, fixed_step, "step of the fixed-step methods, s");
        k.number("stop", stop, every_method, "stop time, s");
        k.number("rtol", rtol, variable_step, "relative tolerance of the variable-step methods");
        k.number("atol", atol, variable_step, "absolute tolerance of the variable-step methods");
        k.optional_number("max_step", max_step, variable_step, "largest step of the variable-step methods, s; "
                                                               "stop / 50 when not given");
        k.optional_number("initial_step", initial_step, variable_step, "first step of the variable-step methods, s; "
                                                                       "their own choice when not given");
    }
};

// What is wrong with a step and stop time ("the step must be positive: ..."),
// or "" when they make a run.
std::string solver_problem(const SolverSpec& solver);
// A run of more major steps than this is refused before it starts.
constexpr double most_steps = 1e9;

struct ModelSpec {
    std::string source = "model";  // file name, for messages
    std::vector<BlockSpec> blocks;
    std::vector<ConnectionSpec> connections;
    SolverSpec solver;
    std::vector<LogGroup> log;
    // Neither given: a fixed-step method logs every step, a variable-step one
    // each step the solver takes (and each time it stops at).
    std::optional<int> log_every;        // log every n-th major step of the step (and the last)
    std::optional<double> log_interval;  // or log at the multiples of this time (s) only, and the last
    int log_line = 0;                    // of log: in the model file, for messages
    std::vector<std::filesystem::path> search_path;
    std::filesystem::path file;  // the model file, when read from one
};

// What a model may make the host read and hold: model, sweep and table
// files are documents users share, and one made to exhaust memory or time
// is refused with a message instead.
struct InputLimits {
    std::uintmax_t largest_file = 256'000'000;  // bytes of one model, sweep or table file
    std::size_t most_values = 10'000'000;       // numbers and words read for one model, its tables'
                                                // cells and each use of a YAML alias included
};
// The limits in force; blocksim's --force lifts largest_file.
InputLimits& input_limits();
// Throws ModelError, naming `file` as `what` ("model file"), when it is
// not a regular file (a folder, a device such as /dev/zero, a pipe) or is
// larger than input_limits().largest_file.
void check_input_file(const std::filesystem::path& file, const std::string& what);

// A file a run of the model reads: the model file, or a block's table file.
struct FileRead {
    std::filesystem::path file;
    std::string role;  // "the model file", "the table file of block 'input'"
};
std::vector<FileRead> files_read(const ModelSpec& model);

}  // namespace host
