// Real-gas property model of air and combustion gas: its equations, shared
// by the full evaluation (gas_properties.cpp) and the blower's partial ones
// below, so that every intermediate has one definition. Inline, so that a
// caller asking for h and kappa compiles them into its own chain.
//
// Reduced variables
//   pi    = 1.01972e-05 p                  pressure [kp/cm^2]
//   theta = 0.001 T                        temperature [1000 K]
//   r     = (1 - c) / (1 + 0.0698 c)       1 for air, 0 for stoichiometric gas
//   R     = 8314.7 (c/3 + 4.773384) / (9.344254 c + 138.2266)      [J/(kg K)]
//
// Equation of state, with A, B, D linear in r:
//   x = D / theta^2,  w = exp(x) / theta,  q = pi / theta
//   Z        = 1 + q (A - B w)
//   Z_pi     = (A - B w) / theta
//   Z_theta  = (q / theta) (B w (x + 2) - A)
// Z_theta carries the factor (x + 2), not the (2x + 2) of an exact derivative
// of Z; every temperature derivative of Z below uses this Z_theta, and the
// tabulated reference states depend on it.
//
// Reduced enthalpy and its temperature coefficient, b_i linear in r:
//   H       = sum_{i=0..6} b_i theta^i - theta Z_theta
//   H_theta = sum_{i=1..6} i b_i theta^(i-1)
//             - (q / theta) (A - 4 B w ((x + 1)^2 + x))
// The real-gas term of H_theta is the theta-derivative of
// q (A - 2 B w (x + 1)), not of the real-gas term of H.
//
// Reduced entropy, a_i linear in r:
//   S = (3.5566 - 0.0659 r) ln T + sum_{i=0..6} a_i theta^i
//       - (0.060056 r^3 + 5.76989 r^2 - 0.400981 r - 0.805214)
//       - ln pi - q B w (x + 1)
//
// Results
//   RZ = R Z                 h = R T H              s = R S
//   u  = h - RZ T
//   dRZ_dp = 1.02e-05 R Z_pi          (1.02e-05, not the 1.01972e-05 of pi)
//   dRZ_dT = 0.001 R Z_theta
//   du_dp  = 1.02e-05 R T (-theta Z_theta / pi - Z_pi)
//   du_dT  = R (H - Z + theta (H_theta - Z_theta))
//   cp     = R (H + theta H_theta)
//   cv     = du_dT + du_dp (RZ/T + dRZ_dT) / (RZ/p - dRZ_dp)
//   kappa  = cp / cv
//
// Composition derivatives (exact for the RZ and u computed here). With
//   u = R T (H - Z) = R T (sum b_i theta^i - 1 - q B w (x + 1)):
//   dRZ_dc = R'(c) Z + R dZ/dr r'(c)
//   du_dc  = R'(c) T (H - Z) + R T d(H - Z)/dr r'(c)
//   r'(c)  = -1.0698 / (1 + 0.0698 c)^2
//   R'(c)  = 8314.7 (138.2266/3 - 4.773384 * 9.344254) / (9.344254 c + 138.2266)^2
#pragma once

#include <array>
#include <cmath>
#include <cstddef>
#include <utility>

#include "gas_properties.hpp"

namespace blocks {
namespace gas_model {

constexpr double universal_gas_constant = 8314.7;  // J/(kmol K)
constexpr double pascal_to_kp_per_cm2 = 1.01972e-05;
constexpr double pressure_factor_of_derivatives = 1.02e-05;
constexpr double kelvin_to_reduced = 0.001;  // theta per K

// Molar mass (9.344254 c + 138.2266) / (c/3 + 4.773384) [kg/kmol].
constexpr double molar_mass_slope = 9.344254;
constexpr double molar_mass_base = 138.2266;
constexpr double moles_base = 4.773384;

// r = (1 - c) / (1 + fuel_air_ratio c)
constexpr double fuel_air_ratio = 0.0698;

// Equation-of-state coefficients: constant + slope * r.
constexpr double A0 = 0.000642217, A1 = -9.8367e-05;
constexpr double B0 = 0.000277105, B1 = -9.00711e-05;
constexpr double D0 = 0.008868, D1 = -0.006131;

// Ideal-gas enthalpy polynomial b_i = constant + slope * r, i = 0..6.
constexpr std::array<double, 7> enthalpy_constant = {
    3.514956, 0.131438, 0.477182, -0.287367, 0.0742561, -0.00916344, 0.000439896};
constexpr std::array<double, 7> enthalpy_slope = {
    -0.005026, -0.383504, 0.185214, -0.0694862, 0.0164041, -0.00204537, 0.00010161};

// Entropy polynomial a_i = constant + slope * r, i = 0..6.
constexpr std::array<double, 7> entropy_constant = {
    2.972979, 0.0583837, 0.871349, -0.451556, 0.109164, 0.0129754, 0.000608234};
constexpr std::array<double, 7> entropy_slope = {
    0.55314, -0.485001, 0.0698183, -0.0028772, -0.000693663, 9.20231e-05, -2.99679e-06};

// ln T coefficient (constant + slope * r) and the cubic entropy offset in r.
constexpr double log_T_constant = 3.5566, log_T_slope = -0.0659;
constexpr std::array<double, 4> entropy_offset = {-0.805214, -0.400981, 5.76989, 0.060056};  // r^0..r^3

// sum_i k_i theta^i by Horner, the terms written out by a fold: GCC leaves
// a loop over them rolled, with a counter (and in the derivative an
// integer-to-double conversion) at every term.
template <std::size_t N, std::size_t... I>
double horner(const std::array<double, N>& k, double theta, std::index_sequence<I...>) {
    double sum = k[N - 1];
    ((sum = sum * theta + k[N - 2 - I]), ...);
    return sum;
}
template <std::size_t N>
double polynomial(const std::array<double, N>& k, double theta) {
    return horner(k, theta, std::make_index_sequence<N - 1>{});
}

// sum_i i k_i theta^(i-1) by Horner.
template <std::size_t N, std::size_t... I>
double horner_derivative(const std::array<double, N>& k, double theta, std::index_sequence<I...>) {
    double sum = static_cast<double>(N - 1) * k[N - 1];
    ((sum = sum * theta + static_cast<double>(N - 2 - I) * k[N - 2 - I]), ...);
    return sum;
}
template <std::size_t N>
double polynomial_derivative(const std::array<double, N>& k, double theta) {
    return horner_derivative(k, theta, std::make_index_sequence<N - 2>{});
}

// k_i = constant_i + slope_i r, written into k: a copy of a freshly stored
// array stalls on its stores.
template <std::size_t N, std::size_t... I>
void set_linear_in_r(std::array<double, N>& k, const std::array<double, N>& constant,
                     const std::array<double, N>& slope, double r, std::index_sequence<I...>) {
    ((k[I] = constant[I] + slope[I] * r), ...);
}
template <std::size_t N>
void set_linear_in_r(std::array<double, N>& k, const std::array<double, N>& constant,
                     const std::array<double, N>& slope, double r) {
    set_linear_in_r(k, constant, slope, r, std::make_index_sequence<N>{});
}

// The reduced variables, the equation of state and the enthalpy: what every
// evaluation needs. Each result below is computed from these by one
// expression, whichever evaluation asks for it, so their numbers agree.
// What depends on the composition alone (GasComposition) is computed once
// for states of one composition.
using Composition = GasComposition;

struct EquationOfState {
    const Composition* k;
    double pi, theta, inv_theta;
    double x, w, q, q_per_theta;
    double Z, Z_pi, Z_theta;
    double ideal_H, H;
};

inline Composition composition(double c) {
    Composition k;
    k.inv_composition = 1.0 / (1.0 + fuel_air_ratio * c);
    k.r = (1.0 - c) * k.inv_composition;
    k.inv_molar = 1.0 / (molar_mass_slope * c + molar_mass_base);
    k.R = universal_gas_constant * (c / 3.0 + moles_base) * k.inv_molar;
    k.A = A0 + A1 * k.r;
    k.B = B0 + B1 * k.r;
    k.D = D0 + D1 * k.r;
    set_linear_in_r(k.b, enthalpy_constant, enthalpy_slope, k.r);
    return k;
}

inline EquationOfState equation_of_state(double p, double T, const Composition& k) {
    EquationOfState s;
    s.k = &k;
    s.pi = pascal_to_kp_per_cm2 * p;
    s.theta = kelvin_to_reduced * T;
    s.inv_theta = 1.0 / s.theta;
    s.x = k.D * s.inv_theta * s.inv_theta;
    s.w = std::exp(s.x) * s.inv_theta;
    s.q = s.pi * s.inv_theta;
    s.q_per_theta = s.q * s.inv_theta;

    s.Z = 1.0 + s.q * (k.A - k.B * s.w);
    s.Z_pi = (k.A - k.B * s.w) * s.inv_theta;
    s.Z_theta = s.q_per_theta * (k.B * s.w * (s.x + 2.0) - k.A);

    s.ideal_H = polynomial(k.b, s.theta);
    s.H = s.ideal_H - s.theta * s.Z_theta;
    return s;
}

inline double enthalpy(const EquationOfState& s, double T) { return s.k->R * T * s.H; }

inline double enthalpy_theta(const EquationOfState& s) {
    return polynomial_derivative(s.k->b, s.theta) -
           s.q_per_theta * (s.k->A - 4.0 * s.k->B * s.w * ((s.x + 1.0) * (s.x + 1.0) + s.x));
}

// cp, cv and their ratio, with the p-v-T derivatives they need.
struct HeatCapacities {
    double RZ, dRZ_dp, dRZ_dT, du_dp, du_dT, cp, cv, kappa;
};

inline HeatCapacities heat_capacities(const EquationOfState& s, double p, double T) {
    const double H_theta = enthalpy_theta(s);
    HeatCapacities k;
    k.RZ = s.k->R * s.Z;
    k.dRZ_dp = pressure_factor_of_derivatives * s.k->R * s.Z_pi;
    k.dRZ_dT = kelvin_to_reduced * s.k->R * s.Z_theta;
    k.du_dp = pressure_factor_of_derivatives * s.k->R * T * (-s.theta * s.Z_theta / s.pi - s.Z_pi);
    k.du_dT = s.k->R * (s.H - s.Z + s.theta * (H_theta - s.Z_theta));
    k.cp = s.k->R * (s.H + s.theta * H_theta);
    k.cv = k.du_dT + k.du_dp * (k.RZ / T + k.dRZ_dT) / (k.RZ / p - k.dRZ_dp);
    k.kappa = k.cp / k.cv;
    return k;
}

}  // namespace gas_model

// Only h, or only h and kappa, of the same model, for states of a
// composition worked out once: the numbers equal those of
// combustion_gas_properties to the bit, at a fraction of its work (no
// entropy logarithms, no composition derivatives).
inline GasComposition gas_composition(double c) { return gas_model::composition(c); }

inline double gas_enthalpy(double p, double T, const GasComposition& k) {
    return gas_model::enthalpy(gas_model::equation_of_state(p, T, k), T);
}

inline void gas_enthalpy_and_kappa(double p, double T, const GasComposition& k, double& h, double& kappa) {
    const gas_model::EquationOfState s = gas_model::equation_of_state(p, T, k);
    h = gas_model::enthalpy(s, T);
    kappa = gas_model::heat_capacities(s, p, T).kappa;
}

}  // namespace blocks
