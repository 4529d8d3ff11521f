#include "fmi/instance.hpp"

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <exception>

#include "host/model/model.hpp"

namespace fmu {

long long bounded_step_count(double count, double step, double substep, const std::string& substeps,
                             const std::string& advice) {
    if (!(count <= host::most_steps))
        throw UsageError("a communication step of " + exact_text(step) + " s is more than 1e" +
                         std::to_string(std::lround(std::log10(host::most_steps))) + " " + substeps + " of " +
                         exact_text(substep) + " s, more than one call takes; " + advice);
    return static_cast<long long>(count);
}

namespace {

const char* phase_name(unsigned phase) {
    switch (phase) {
    case instantiated: return "instantiated";
    case initialization: return "in initialization mode";
    case step_mode: return "in step mode";
    case event_mode: return "in event mode";
    case continuous_mode: return "in continuous-time mode";
    case terminated: return "terminated";
    default: return "in error after a failed call";
    }
}

// The folder of this binary, where a block's library may lie beside it.
std::filesystem::path binary_folder() {
#ifdef _WIN32
    HMODULE module = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            reinterpret_cast<LPCWSTR>(&binary_folder), &module))
        return {};
    std::wstring name(MAX_PATH, L'\0');
    for (int attempt = 0; attempt < 8; ++attempt) {
        const DWORD length = GetModuleFileNameW(module, name.data(), static_cast<DWORD>(name.size()));
        if (length == 0) return {};
        if (length < name.size()) return std::filesystem::path(name.substr(0, length)).parent_path();
        name.resize(name.size() * 2);
    }
    return {};
#else
    Dl_info info{};
    if (!dladdr(reinterpret_cast<void*>(&binary_folder), &info) || !info.dli_fname) return {};
    return std::filesystem::path(info.dli_fname).parent_path();
#endif
}

}  // namespace

std::unique_ptr<Instance> instantiate(const char* function, const std::string& name, Interface kind,
                                      const char* token, const std::function<std::filesystem::path()>& resources,
                                      Instance::Logger logger) {
    auto instance = std::make_unique<Instance>();
    instance->name = name;
    instance->prefix = std::strncmp(function, "fmi3", 4) == 0 ? "fmi3" : "fmi2";
    instance->kind = kind;
    instance->logger = std::move(logger);
    try {
        instance->binary_folder = binary_folder();
        instance->resources = resources();
        const std::string guid = component_guid(instance->binary_folder, instance->resources);
        if (!token || guid != token) {
            instance->log_error(std::string(function) + ": the " +
                                (std::string(instance->prefix) == "fmi2" ? "GUID " : "instantiation token ") +
                                (token ? token : "(none)") + " is not this binary's, " + guid +
                                ": the modelDescription.xml belongs to another FMU");
            return nullptr;
        }
        instance->component = make_component(instance->binary_folder, instance->resources, kind);
        if (kind == Interface::model_exchange) {
            const std::string refusal = instance->component->model_exchange_refusal();
            if (!refusal.empty()) {
                instance->log_error(std::string(function) + ": this FMU is for co-simulation only: " + refusal);
                return nullptr;
            }
        }
    } catch (const std::exception& error) {
        instance->log_error(std::string(function) + ": " + error.what());
        return nullptr;
    }
    return instance;
}

Component& component_of(const Instance& instance) {
    if (!instance.component) {
        const std::string prefix = instance.prefix;
        throw UsageError("the instance has no model since " + prefix + "Reset failed; call " + prefix +
                         "Reset again or " + prefix + "FreeInstance");
    }
    return *instance.component;
}

bool allowed_now(Instance& instance, const char* function, unsigned allowed) {
    if (instance.phase & allowed) return true;
    instance.log_error(std::string(function) + " cannot be called when the instance is " + phase_name(instance.phase));
    return false;
}

void report_failure(Instance& instance, const char* function) {
    try {
        throw;
    } catch (const UsageError& error) {
        instance.log_error(std::string(function) + ": " + error.what());
    } catch (const std::exception& error) {
        instance.log_error(error.what());
        instance.phase = failed;
    } catch (...) {
        instance.log_error(std::string(function) + ": an unknown failure");
        instance.phase = failed;
    }
}

void unsupported(Instance* instance, const char* function, const char* why) {
    if (instance) instance->log_error(std::string(function) + " is not supported: " + why);
}

std::size_t variable_of(const Component& component, unsigned vr, BaseType type) {
    const auto& variables = component.variables();
    if (vr < 1 || vr > variables.size()) throw UsageError("there is no variable with value reference " + std::to_string(vr));
    const std::size_t index = vr - 1;
    if (variables[index].type != type)
        throw UsageError("'" + variables[index].name + "' (value reference " + std::to_string(vr) + ") is " +
                         (variables[index].type == BaseType::real ? "a Real" : "an Integer") + ", not " +
                         (type == BaseType::real ? "a Real" : "an Integer"));
    return index;
}

void check_array(const void* values, std::size_t n, const char* what) {
    if (n > 0 && !values) throw UsageError(std::string(what) + " is a null pointer");
}

void check_state_count(const Component& component, std::size_t nx) {
    if (nx != component.continuous_states())
        throw UsageError("the model has " + std::to_string(component.continuous_states()) +
                         " continuous states, the call gives " + std::to_string(nx));
}

void require_model_exchange(const Instance& instance, const char* function) {
    if (instance.kind != Interface::model_exchange)
        throw UsageError(std::string(function) + " is a model-exchange function, and this instance is for co-simulation");
}

void do_step(Instance& instance, const char* function, double time, double step) {
    if (instance.kind != Interface::co_simulation)
        throw UsageError(std::string(function) + " is a co-simulation function, and this instance is for model exchange");
    if (!(step > 0.0) || !std::isfinite(step))
        throw UsageError("the communication step must be a positive number, not " + exact_text(step));
    Component& component = component_of(instance);
    const double now = component.time();
    if (std::fabs(time - now) > 1e-9 * std::max(1.0, std::fabs(now)))
        throw UsageError("the communication point " + exact_text(time) + " is not where the last step ended, " +
                         exact_text(now));
    component.do_step(time, step);
}

void enter_event_mode(Instance& instance, const char* function) {
    require_model_exchange(instance, function);
    component_of(instance).enter_event_mode();
    instance.phase = event_mode;
}

void enter_continuous_time_mode(Instance& instance, const char* function) {
    require_model_exchange(instance, function);
    component_of(instance).enter_continuous_time_mode();
    instance.phase = continuous_mode;
}

// The two flags are each version's Boolean; the caller sets them after.
void completed_integrator_step(Instance& instance, const char* function, void* enter_event_mode,
                               void* terminate_simulation) {
    require_model_exchange(instance, function);
    check_array(enter_event_mode, 1, "enterEventMode");
    check_array(terminate_simulation, 1, "terminateSimulation");
    component_of(instance).completed_integrator_step();
}

void set_time(Instance& instance, const char* function, double time) {
    require_model_exchange(instance, function);
    if (!std::isfinite(time)) throw UsageError("the time must be a finite number");
    component_of(instance).set_time(time);
}

void set_continuous_states(Instance& instance, const char* function, const double* x, std::size_t nx) {
    require_model_exchange(instance, function);
    check_state_count(component_of(instance), nx);
    check_array(x, nx, "the states");
    component_of(instance).set_continuous_states(x);
}

void get_continuous_states(Instance& instance, const char* function, double* x, std::size_t nx) {
    require_model_exchange(instance, function);
    check_state_count(component_of(instance), nx);
    check_array(x, nx, "the states");
    component_of(instance).get_continuous_states(x);
}

void get_derivatives(Instance& instance, const char* function, double* dx, std::size_t nx) {
    require_model_exchange(instance, function);
    check_state_count(component_of(instance), nx);
    check_array(dx, nx, "the derivatives");
    component_of(instance).get_derivatives(dx);
}

void get_event_indicators(Instance& instance, const char* function, std::size_t ni) {
    require_model_exchange(instance, function);
    if (ni != 0) throw UsageError("the FMU has no event indicators, the call asks for " + std::to_string(ni));
}

void get_nominals(Instance& instance, const char* function, double* nominals, std::size_t nx) {
    require_model_exchange(instance, function);
    check_state_count(component_of(instance), nx);
    check_array(nominals, nx, "the nominals");
    for (std::size_t k = 0; k < nx; ++k) nominals[k] = 1.0;
}

void reset(Instance& instance) {
    instance.component.reset();
    instance.phase = failed;  // until the new component exists
    instance.component = make_component(instance.binary_folder, instance.resources, instance.kind);
    instance.phase = instantiated;
}

}  // namespace fmu
