// The full evaluation of the real-gas model: all thirteen results. The
// equations are in gas_model.hpp.
#include "gas_properties.hpp"

#include <array>
#include <cmath>

#include "gas_model.hpp"

namespace blocks {

using namespace gas_model;

void combustion_gas_properties(double p, double T, double c, GasProperties& out) {
    const Composition k_c = composition(c);
    const EquationOfState s = equation_of_state(p, T, k_c);
    const HeatCapacities k = heat_capacities(s, p, T);

    std::array<double, 7> a;
    set_linear_in_r(a, entropy_constant, entropy_slope, s.k->r);
    const double S = (log_T_constant + log_T_slope * s.k->r) * std::log(T)  // ln T, T in K
                     + polynomial(a, s.theta)
                     - polynomial(entropy_offset, s.k->r)
                     - std::log(s.pi)                                     // ln pi, pi in kp/cm^2
                     - s.q * s.k->B * s.w * (s.x + 1.0);

    out.RZ = k.RZ;
    out.h = enthalpy(s, T);
    out.s = s.k->R * S;
    out.u = out.h - out.RZ * T;
    out.dRZ_dp = k.dRZ_dp;
    out.dRZ_dT = k.dRZ_dT;
    out.du_dp = k.du_dp;
    out.du_dT = k.du_dT;
    out.cp = k.cp;
    out.cv = k.cv;
    out.kappa = k.kappa;

    // Composition derivatives, through r and R.
    const double dr_dc = -(1.0 + fuel_air_ratio) * s.k->inv_composition * s.k->inv_composition;
    const double dR_dc = universal_gas_constant * (molar_mass_base / 3.0 - moles_base * molar_mass_slope)
                         * s.k->inv_molar * s.k->inv_molar;
    const double dx_dr = D1 * s.inv_theta * s.inv_theta;
    const double dw_dr = s.w * dx_dr;
    const double dZ_dr = s.q * (A1 - B1 * s.w - s.k->B * dw_dr);
    const double H_minus_Z = s.ideal_H - 1.0 - s.q * s.k->B * s.w * (s.x + 1.0);
    const double dH_minus_Z_dr = polynomial(enthalpy_slope, s.theta)
                                 - s.q * (B1 * s.w * (s.x + 1.0) + s.k->B * dw_dr * (s.x + 1.0) + s.k->B * s.w * dx_dr);
    out.dRZ_dc = dR_dc * s.Z + s.k->R * dZ_dr * dr_dc;
    out.du_dc = dR_dc * T * H_minus_Z + s.k->R * T * dH_minus_Z_dr * dr_dc;
}

}  // namespace blocks
