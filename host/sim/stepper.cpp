#include "host/sim/stepper.hpp"

#include <string>

namespace host {

const Tableau& tableau(SolverMethod method) {
    static constexpr Tableau ode1{1, {0}, {{0}}, {1}};
    static constexpr Tableau ode2{2, {0, 1}, {{0}, {1}}, {0.5, 0.5}};
    static constexpr Tableau ode3{3, {0, 0.5, 0.75}, {{0}, {0.5}, {0, 0.75}}, {2.0 / 9, 1.0 / 3, 4.0 / 9}};
    static constexpr Tableau ode4{
        4, {0, 0.5, 0.5, 1}, {{0}, {0.5}, {0, 0.5}, {0, 0, 1}}, {1.0 / 6, 1.0 / 3, 1.0 / 3, 1.0 / 6}};
    switch (method) {
        case SolverMethod::ode1: return ode1;
        case SolverMethod::ode2: return ode2;
        case SolverMethod::ode3: return ode3;
        case SolverMethod::ode4: return ode4;
        case SolverMethod::ode45:
        case SolverMethod::ode23:
        case SolverMethod::bdf: break;
    }
    throw HostError(std::string(solver_method_name(method)) + " is not a fixed-step method");
}

RungeKuttaStepper::RungeKuttaStepper(SolverMethod method, std::size_t states)
    : rk_(tableau(method)), start_(states, 0.0),
      k_(static_cast<std::size_t>(rk_.stages), std::vector<double>(states, 0.0)) {}

}  // namespace host
