#include "host/model/model.hpp"

namespace host {

namespace {

struct SolverEntry {
    SolverMethod method;
    const char* name;
};

constexpr SolverEntry solver_methods[] = {
    {SolverMethod::ode1, "ode1"},
    {SolverMethod::ode2, "ode2"},
    {SolverMethod::ode3, "ode3"},
    {SolverMethod::ode4, "ode4"},
};

}  // namespace

const char* solver_method_name(SolverMethod method) {
    for (const auto& entry : solver_methods)
        if (entry.method == method) return entry.name;
    return "unknown";
}

std::optional<SolverMethod> solver_method_named(const std::string& name) {
    for (const auto& entry : solver_methods)
        if (name == entry.name) return entry.method;
    return std::nullopt;
}

std::string known_solver_methods() {
    std::string list;
    for (const auto& entry : solver_methods) list += (list.empty() ? "" : ", ") + std::string(entry.name);
    return list;
}

}  // namespace host
