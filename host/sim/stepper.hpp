// Fixed-step explicit Runge-Kutta methods ode1..ode4 over the model's
// continuous states. One step from t to t + h, with stage weights a, stage
// times c and final weights b of the method's tableau:
//
//   k1 = x'(t, x)                                     (the major step's derivatives)
//   ks = x'(t + c_s h, x + h sum_{j<s} a_sj k_j)      s = 2..stages (minor steps)
//   x(t + h) = x + h sum_s b_s k_s
#pragma once

#include <cstddef>
#include <vector>

#include "host/model/model.hpp"

namespace host {

struct Tableau {
    int stages;
    double c[4];
    double a[4][4];
    double b[4];
};

const Tableau& tableau(SolverMethod method);

class RungeKuttaStepper {
public:
    RungeKuttaStepper(SolverMethod method, std::size_t states);

    // Advances x from t to t + h. On entry x holds the states at t and dx
    // their derivatives there. For each further stage the stepper sets x to
    // the stage states and calls outputs(stage time), then
    // derivatives(stage time), which must refresh dx.
    template <typename Outputs, typename Derivatives>
    void step(double t, double h, std::vector<double>& x, const std::vector<double>& dx, Outputs&& outputs,
              Derivatives&& derivatives) {
        const std::size_t n = x.size();
        // Element loops into buffers made once: the states are few, and a
        // vector assignment or memmove per stage costs more than the copy.
        for (std::size_t i = 0; i < n; ++i) start_[i] = x[i];
        for (std::size_t i = 0; i < n; ++i) k_[0][i] = dx[i];
        for (int stage = 1; stage < rk_.stages; ++stage) {
            for (std::size_t i = 0; i < n; ++i) {
                double increment = 0.0;
                for (int j = 0; j < stage; ++j) increment += rk_.a[stage][j] * k_[j][i];
                x[i] = start_[i] + h * increment;
            }
            const double stage_time = t + rk_.c[stage] * h;
            outputs(stage_time);
            derivatives(stage_time);
            for (std::size_t i = 0; i < n; ++i) k_[stage][i] = dx[i];
        }
        for (std::size_t i = 0; i < n; ++i) {
            double increment = 0.0;
            for (int j = 0; j < rk_.stages; ++j) increment += rk_.b[j] * k_[j][i];
            x[i] = start_[i] + h * increment;
        }
    }

private:
    const Tableau& rk_;
    std::vector<double> start_;
    std::vector<std::vector<double>> k_;
};

}  // namespace host
