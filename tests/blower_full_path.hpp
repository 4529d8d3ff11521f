// The blower's seven outputs computed through the full property evaluation
// (all thirteen results, at the inlet and at the isentropic outlet state):
// the reference that blower_outputs, which asks only for h and kappa, must
// equal bit for bit. Shared by the tests and the fuzz harness.
#pragma once

#include <array>
#include <cmath>

#include "core/blower_outputs.hpp"
#include "core/gas_properties.hpp"

namespace blower_full_path {

// [inlet flow 0..2, outlet flow 0..2, power]
inline std::array<double, 7> outputs(const double* inlet, const double* outlet, double drive, double eta,
                                     const double* characteristic, double sigma) {
    std::array<double, 7> y{};
    if (drive == 0.0) return y;
    const double p_in = inlet[0], T_in = inlet[1], c = inlet[2], p_out = outlet[0];
    const double pressure_ratio = p_out / p_in;
    const double mass_flow = (characteristic[0] * std::exp(-characteristic[1] * pressure_ratio) + characteristic[2]) *
                             drive * p_in / blocks::blower_reference_pressure *
                             std::sqrt(blocks::blower_reference_temperature / T_in);
    blocks::GasProperties in{}, out{};
    blocks::combustion_gas_properties(p_in, T_in, c, in);
    const double T_out_isentropic = T_in * std::pow(pressure_ratio, (in.kappa - 1.0) / in.kappa);
    blocks::combustion_gas_properties(p_out, T_out_isentropic, c, out);
    const double power = (out.h - in.h) * mass_flow / eta;
    y = {mass_flow, mass_flow * in.h, mass_flow * c * sigma / (c * sigma + 1.0), mass_flow, power + mass_flow * in.h,
         mass_flow * c * sigma / (c * sigma + 1.0), power};
    return y;
}

}  // namespace blower_full_path
