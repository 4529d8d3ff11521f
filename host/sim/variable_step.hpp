// Variable-step integration of a model's continuous states, on SUNDIALS:
// ode45 and ode23 are ARKODE's explicit Dormand-Prince 5(4) and
// Bogacki-Shampine 3(2) pairs (ERKStep), bdf is CVODE's variable-order BDF
// with Newton iteration and a dense Jacobian by finite differences. Each
// step is accepted when its local error estimate e satisfies
//
//   sqrt(mean_i (e_i / (rtol |x_i| + atol))^2) <= 1
//
// Every evaluation of x' = f(t, x) the integrator asks for, those of
// rejected steps and of the Jacobian included, is a minor step of the model.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <vector>

#include "host/model/model.hpp"
#include "host/common/errors.hpp"

namespace host {

// The integrator could not go on; the message says why in a user's words.
class IntegratorError : public HostError {
public:
    IntegratorError(double time, const std::string& message);
    double time() const { return time_; }

private:
    double time_;
};

class VariableStepIntegrator {
public:
    // Fills dx with x' at (t, x); returns false when it cannot (the run then
    // ends with the message the function left in `failure`).
    using Derivatives = std::function<bool(double t, const double* x, double* dx, std::string& failure)>;

    // The event indicators at (t, x), for the integrator's root finding.
    using Indicators = std::function<void(double t, const double* x, double* z)>;

    VariableStepIntegrator(const SolverSpec& solver, std::size_t states, Derivatives derivatives,
                           std::size_t indicators = 0, Indicators indicator_function = {});
    ~VariableStepIntegrator();
    VariableStepIntegrator(const VariableStepIntegrator&) = delete;
    VariableStepIntegrator& operator=(const VariableStepIntegrator&) = delete;

    // Starts, or starts again after a switch, at t from the states x.
    void start(double t, const double* x);
    // One accepted step, ending at `stop_at` at the latest; writes the states
    // there into x and returns the step's end time. Throws IntegratorError.
    // A step that ends where an indicator changes sign ends just after the
    // change, located to the integrator's tolerance; roots() then tells
    // which indicators changed (nonzero), else it is empty.
    double step(double stop_at, double* x);
    const std::vector<int>& roots() const;

    long steps() const;            // accepted steps
    long rhs_evaluations() const;  // evaluations of x', Jacobian ones included

private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace host
