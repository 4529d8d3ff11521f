// A straightforward evaluation of the gas property model and the blower, as
// their formulas are written: powers by running products, each result from
// its own formula, nothing shared but what a formula names, and the blower
// with two full property evaluations. The benchmarks measure
// the project's routines against these, compiled with the same flags, so
// that the ratio compares across machines.
#pragma once

#include <cmath>

#include "core/blower_outputs.hpp"
#include "core/gas_properties.hpp"

namespace straightforward {

// Not inlined, as the routine it stands beside is a call of its own: the
// compiler may not drop the results a caller leaves unread.
[[gnu::noinline]] inline void gas_properties(double p, double T, double c, blocks::GasProperties& out) {
    const double pi = 1.01972e-05 * p;
    const double theta = 0.001 * T;
    const double r = (1 - c) / (1 + 0.0698 * c);
    const double R = 8314.7 * (c / 3 + 4.773384) / (9.344254 * c + 138.2266);
    const double A = 0.000642217 - 9.8367e-05 * r, B = 0.000277105 - 9.00711e-05 * r, D = 0.008868 - 0.006131 * r;
    const double x = D / (theta * theta), w = std::exp(x) / theta, q = pi / theta;
    const double Z = 1 + q * (A - B * w);
    const double Z_pi = (A - B * w) / theta;
    const double Z_theta = (q / theta) * (B * w * (x + 2) - A);
    const double bc[7] = {3.514956, 0.131438, 0.477182, -0.287367, 0.0742561, -0.00916344, 0.000439896};
    const double bs[7] = {-0.005026, -0.383504, 0.185214, -0.0694862, 0.0164041, -0.00204537, 0.00010161};
    const double ac[7] = {2.972979, 0.0583837, 0.871349, -0.451556, 0.109164, 0.0129754, 0.000608234};
    const double as[7] = {0.55314, -0.485001, 0.0698183, -0.0028772, -0.000693663, 9.20231e-05, -2.99679e-06};
    double ideal = 0, ideal_theta = 0, entropy = 0, ideal_slope = 0, power = 1, lower_power = 0;
    for (int i = 0; i < 7; ++i) {  // power = theta^i, lower_power = theta^(i-1)
        ideal += (bc[i] + bs[i] * r) * power;
        ideal_theta += i * (bc[i] + bs[i] * r) * lower_power;
        entropy += (ac[i] + as[i] * r) * power;
        ideal_slope += bs[i] * power;
        lower_power = power;
        power *= theta;
    }
    const double H = ideal - theta * Z_theta;
    const double H_theta = ideal_theta - (q / theta) * (A - 4 * B * w * ((x + 1) * (x + 1) + x));
    const double S = (3.5566 - 0.0659 * r) * std::log(T) + entropy -
                     (0.060056 * r * r * r + 5.76989 * r * r - 0.400981 * r - 0.805214) - std::log(pi) -
                     q * B * w * (x + 1);
    out.RZ = R * Z;
    out.h = R * T * H;
    out.s = R * S;
    out.u = out.h - out.RZ * T;
    out.dRZ_dp = 1.02e-05 * R * Z_pi;
    out.dRZ_dT = 0.001 * R * Z_theta;
    out.du_dp = 1.02e-05 * R * T * (-theta * Z_theta / pi - Z_pi);
    out.du_dT = R * (H - Z + theta * (H_theta - Z_theta));
    out.cp = R * (H + theta * H_theta);
    out.cv = out.du_dT + out.du_dp * (out.RZ / T + out.dRZ_dT) / (out.RZ / p - out.dRZ_dp);
    out.kappa = out.cp / out.cv;
    // The composition derivatives, exact through r(c) and R(c).
    const double dr_dc = -1.0698 / ((1 + 0.0698 * c) * (1 + 0.0698 * c));
    const double dR_dc =
        8314.7 * (138.2266 / 3 - 4.773384 * 9.344254) / ((9.344254 * c + 138.2266) * (9.344254 * c + 138.2266));
    const double dx_dr = -0.006131 / (theta * theta);
    const double dZ_dr = q * (-9.8367e-05 + 9.00711e-05 * w - B * w * dx_dr);
    const double H_minus_Z = ideal - 1 - q * B * w * (x + 1);
    const double dH_minus_Z_dr =
        ideal_slope - q * (-9.00711e-05 * w * (x + 1) + B * w * dx_dr * (x + 1) + B * w * dx_dr);  // dB/dr, dw/dr, dx/dr
    out.dRZ_dc = dR_dc * Z + R * dZ_dr * dr_dc;
    out.du_dc = dR_dc * T * H_minus_Z + R * T * dH_minus_Z_dr * dr_dc;
}

// The blower with two full property calls.
inline void blower(const double* inlet, const double* outlet, double drive, double eta, const double* characteristic,
                   double sigma, double* inlet_flow, double* outlet_flow, double* power) {
    const double pressure_ratio = outlet[0] / inlet[0];
    const double mass_flow = (characteristic[0] * std::exp(-characteristic[1] * pressure_ratio) + characteristic[2]) *
                             drive * inlet[0] / 100000 * std::sqrt(298.15 / inlet[1]);
    blocks::GasProperties in{}, out{};
    gas_properties(inlet[0], inlet[1], inlet[2], in);
    const double T_out = inlet[1] * std::pow(pressure_ratio, (in.kappa - 1) / in.kappa);
    gas_properties(outlet[0], T_out, inlet[2], out);
    *power = (out.h - in.h) * mass_flow / eta;
    inlet_flow[0] = outlet_flow[0] = mass_flow;
    inlet_flow[1] = mass_flow * in.h;
    outlet_flow[1] = mass_flow * in.h + *power;
    inlet_flow[2] = outlet_flow[2] = mass_flow * inlet[2] * sigma / (inlet[2] * sigma + 1);
}

}  // namespace straightforward
