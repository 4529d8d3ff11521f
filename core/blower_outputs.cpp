// Blower flow, enthalpy flows and shaft power.
//
//   PR      = p_out / p_in
//   mdot    = (alpha exp(-beta PR) + gamma) drive p_in / 100000 sqrt(298.15 / T_in)   [kg/s]
//   m_c     = mdot c sigma / (c sigma + 1)           composition flow
//   T_out_s = T_in PR^((kappa - 1) / kappa)          kappa of the inlet state      [K]
//   P       = (h(p_out, T_out_s, c) - h(p_in, T_in, c)) mdot / eta                [W]
//   inlet flow  = [mdot, mdot h_in,     m_c]
//   outlet flow = [mdot, mdot h_in + P, m_c]
#include "blower_outputs.hpp"

#include <cmath>
#include <cstring>

#include "gas_model.hpp"

namespace blocks {
namespace {

// Built in place, as the result of the call and the composition in it:
// copying a freshly stored composition stalls on its stores.
BlowerInletGas evaluate_inlet(double p_in, double T_in, double c) {
    BlowerInletGas inlet{gas_composition(c), 0.0, 0.0};
    gas_enthalpy_and_kappa(p_in, T_in, inlet.gas, inlet.h_in, inlet.kappa);
    return inlet;
}

// The memo's inlet gas, worked out again unless the memo holds this inlet
// bit for bit (so -0 and +0, or NaNs of other payloads, count as others).
// Not inlined: inlined, it slows the calls without a memo by a third.
[[gnu::noinline]] const BlowerInletGas& remembered_inlet(BlowerInletMemo& memo, double p_in, double T_in, double c) {
    const double inlet[3] = {p_in, T_in, c};
    std::uint64_t bits[3];
    std::memcpy(bits, inlet, sizeof bits);
    if (!memo.holds || bits[0] != memo.inlet_bits[0] || bits[1] != memo.inlet_bits[1] ||
        bits[2] != memo.inlet_bits[2]) {
        memo.at_inlet = evaluate_inlet(p_in, T_in, c);
        std::memcpy(memo.inlet_bits, bits, sizeof bits);
        memo.holds = true;
    }
    return memo.at_inlet;
}

}  // namespace

void blower_outputs(const double* inlet, const double* outlet, const double* drive,
                    double* inlet_flow, double* outlet_flow, double* power,
                    const double* efficiency, std::size_t /*efficiency_count*/,
                    const double* characteristic, std::size_t /*characteristic_count*/,
                    const double* stoichiometric_ratio, std::size_t /*stoichiometric_ratio_count*/,
                    BlowerInletMemo* inlet_memo) {
    if (*drive == 0.0) {  // true for +0 and -0, false for NaN
        for (int i = 0; i < 3; ++i) inlet_flow[i] = outlet_flow[i] = 0.0;
        *power = 0.0;
        return;
    }
    const double p_in = inlet[0], T_in = inlet[1], c = inlet[2];
    const double p_out = outlet[0];
    const double pressure_ratio = p_out / p_in;

    // The inlet gas comes first: the isentropic outlet state waits on its
    // kappa, and the mass flow is worked out in the meantime. Worked out
    // before the gas, the mass flow's exp delays the whole chain.
    auto from_inlet = [&](const BlowerInletGas& at_inlet) {
        const double h_in = at_inlet.h_in, kappa = at_inlet.kappa;
        const double T_out_isentropic = T_in * std::pow(pressure_ratio, (kappa - 1.0) / kappa);

        const double eta = efficiency[0];
        const double alpha = characteristic[0], beta = characteristic[1], gamma = characteristic[2];
        const double sigma = stoichiometric_ratio[0];
        const double mass_flow = (alpha * std::exp(-beta * pressure_ratio) + gamma) * *drive * p_in
                                 / blower_reference_pressure
                                 * std::sqrt(blower_reference_temperature / T_in);
        const double composition_flow = mass_flow * c * sigma / (c * sigma + 1.0);

        const double h_out_isentropic = gas_enthalpy(p_out, T_out_isentropic, at_inlet.gas);
        const double shaft_power = (h_out_isentropic - h_in) * mass_flow / eta;

        inlet_flow[0] = outlet_flow[0] = mass_flow;
        inlet_flow[1] = mass_flow * h_in;
        outlet_flow[1] = shaft_power + mass_flow * h_in;
        inlet_flow[2] = outlet_flow[2] = composition_flow;
        *power = shaft_power;
    };
    if (inlet_memo) from_inlet(remembered_inlet(*inlet_memo, p_in, T_in, c));
    else from_inlet(evaluate_inlet(p_in, T_in, c));
}

}  // namespace blocks
