// What the FMI 2.0 and FMI 3.0 functions share: an instance's state in the
// standards' state machine, its log, the checks of every call's arguments
// and the one place where a failure becomes an error status with its
// message. Each version's functions are thin wrappers over these.
#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>

#include "fmi/component.hpp"

namespace fmu {

// The standards' states of an instance; a set of them as a bit mask.
namespace phases {
enum Phase : unsigned {
    instantiated = 1u << 0,
    initialization = 1u << 1,
    step_mode = 1u << 2,        // co-simulation, between communication points
    event_mode = 1u << 3,       // model exchange
    continuous_mode = 1u << 4,  // model exchange
    terminated = 1u << 5,
    failed = 1u << 6,           // after an error of the model: only Get, Reset and Free
};
inline constexpr unsigned running = step_mode | event_mode | continuous_mode;
inline constexpr unsigned readable = initialization | running | terminated | failed;
inline constexpr unsigned settable = instantiated | initialization | running;
}  // namespace phases
using namespace phases;

struct Instance {
    // `error`: the message reports a refused or failed call, else it is information.
    using Logger = std::function<void(bool error, const std::string& message)>;

    std::string name;
    const char* prefix = "fmi2";  // of the standard's function names: "fmi2", "fmi3"
    Interface kind = Interface::co_simulation;
    Logger logger;
    bool logging = false;
    unsigned phase = instantiated;
    std::filesystem::path binary_folder, resources;
    std::unique_ptr<Component> component;

    void log_error(const std::string& message) const {
        if (logger) logger(true, message);
    }
};

// A new instance of this binary's component, or nullptr after logging why
// (through `logger`): `token` must be the binary's GUID (FMI 2.0) or
// instantiation token (FMI 3.0). `function` names the call, and its first
// four letters the version. `resources` makes the resources folder.
std::unique_ptr<Instance> instantiate(const char* function, const std::string& name, Interface kind,
                                      const char* token, const std::function<std::filesystem::path()>& resources,
                                      Instance::Logger logger);

// The instance's component; after a reset that could not make it anew
// there is none, and every call that needs it is refused.
Component& component_of(const Instance& instance);

// Whether `function` may be called in the instance's state; if not, says so.
bool allowed_now(Instance& instance, const char* function, unsigned allowed);
// Called in a catch block: a UsageError refuses the call, any other failure
// of the model puts the instance in error; either is logged.
void report_failure(Instance& instance, const char* function);

// Runs `action` when the instance is in one of `allowed`, passing no
// exception to the importer. True when it ran. (A template, not a
// std::function: it is on the path of every get and set.)
template <typename Action>
bool guarded(Instance* instance, const char* function, unsigned allowed, Action&& action) {
    if (!instance || !allowed_now(*instance, function, allowed)) return false;
    try {
        action(*instance);
        return true;
    } catch (...) {
        report_failure(*instance, function);
        return false;
    }
}

// Logs that `function` is not supported, and why.
void unsupported(Instance* instance, const char* function, const char* why);

// The index of the scalar variable of value reference `vr`, which must be of `type`.
std::size_t variable_of(const Component& component, unsigned vr, BaseType type);

void check_array(const void* values, std::size_t n, const char* what);
void check_state_count(const Component& component, std::size_t nx);
void require_model_exchange(const Instance& instance, const char* function);
// A co-simulation step from `time` of `step` seconds, checked against where the last step ended.
void do_step(Instance& instance, const char* function, double time, double step);

// Model exchange, the same for both versions: each checks the interface
// and its arguments, then asks the component. `function` names the call.
void enter_event_mode(Instance& instance, const char* function);
void enter_continuous_time_mode(Instance& instance, const char* function);
void completed_integrator_step(Instance& instance, const char* function, void* enter_event_mode,
                               void* terminate_simulation);
void set_time(Instance& instance, const char* function, double time);
void set_continuous_states(Instance& instance, const char* function, const double* x, std::size_t nx);
void get_continuous_states(Instance& instance, const char* function, double* x, std::size_t nx);
void get_derivatives(Instance& instance, const char* function, double* dx, std::size_t nx);
void get_event_indicators(Instance& instance, const char* function, std::size_t ni);
void get_nominals(Instance& instance, const char* function, double* nominals, std::size_t nx);

// Reset: the component made anew.
void reset(Instance& instance);

}  // namespace fmu
