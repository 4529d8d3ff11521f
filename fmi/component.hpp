// What an FMU's binary runs behind the FMI functions: a block, or a whole
// model. fmi2_functions.cpp keeps the standard's state machine, checks
// the arguments and turns exceptions into fmi2Error and the logger's
// message; a component only computes.
#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>

#include "fmi/variables.hpp"

namespace fmu {

// A call the importer should not have made (an unknown value reference, a
// variable of another type, a value that cannot be set): refused, and the
// instance goes on.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The interface an instance was made for.
enum class Interface { model_exchange, co_simulation };

class Component {
public:
    virtual ~Component() = default;

    virtual const Variables& variables() const = 0;
    virtual std::size_t continuous_states() const = 0;
    // Why an instance for model exchange is refused; empty when it is not.
    virtual std::string model_exchange_refusal() const = 0;

    virtual void set_start_time(double time) = 0;
    // The end of initialization: the model is created with the parameters
    // set so far, checked by its blocks, and started.
    virtual void initialize() = 0;
    virtual void terminate() = 0;

    // Values by variable index (value reference - 1), of the variable's type.
    virtual double get_real(std::size_t variable) = 0;
    virtual int get_integer(std::size_t variable) = 0;
    virtual void set_real(std::size_t variable, double value) = 0;
    virtual void set_integer(std::size_t variable, int value) = 0;

    // Co-simulation: from `time` to `time + step`, each communication point a major step.
    virtual void do_step(double time, double step) = 0;
    virtual double time() const = 0;

    // Model exchange.
    virtual void set_time(double time) = 0;
    virtual void set_continuous_states(const double* x) = 0;
    virtual void get_continuous_states(double* x) = 0;
    virtual void get_derivatives(double* dx) = 0;
    virtual void enter_event_mode() = 0;
    virtual void enter_continuous_time_mode() = 0;
    virtual void completed_integrator_step() = 0;
    // The next time event after the present time, if any.
    virtual std::optional<double> next_event_time() const { return std::nullopt; }
};

// The steps of `substep` seconds one fmi2DoStep of `step` seconds takes
// (`count`, a whole number), bounded as a blocksim run is: beyond
// host::most_steps, or not a number, the call is refused with a UsageError
// before any step is taken. `substeps` names them in the message ("internal
// steps"), `advice` says what to change.
long long bounded_step_count(double count, double step, double substep, const std::string& substeps,
                             const std::string& advice);

// Made by the binary's own component source, for an instance of `kind`.
// `binary_folder` holds the binary, and `resources` the FMU's resources
// folder (may be empty when the importer gave none).
std::unique_ptr<Component> make_component(const std::filesystem::path& binary_folder,
                                          const std::filesystem::path& resources, Interface kind);
// The GUID of the FMU the binary belongs to: built in for a block's, read
// from the resources for a model's.
std::string component_guid(const std::filesystem::path& binary_folder, const std::filesystem::path& resources);

}  // namespace fmu
