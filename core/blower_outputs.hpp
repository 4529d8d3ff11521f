// Gas flow through a blower between an inlet and an outlet state.
#pragma once

#include <cstddef>
#include <cstdint>

#include "gas_properties.hpp"

namespace blocks {

// Reference state of the flow characteristic.
constexpr double blower_reference_pressure = 100000.0;  // Pa
constexpr double blower_reference_temperature = 298.15;  // K

// inlet:  [p_in Pa, T_in K, c]          outlet: [p_out Pa, (unused), (unused)]
// drive:  factor on the mass flow; exactly 0 (either sign) switches the blower off
// inlet_flow, outlet_flow (written): [mass flow kg/s, enthalpy flow W, composition flow]
// power (written): shaft power [W]
// efficiency: [eta]; characteristic: [alpha, beta, gamma]; stoichiometric_ratio: [sigma]
// The element counts are passed along for the caller's checks; the formulas
// read the first element of efficiency and stoichiometric_ratio and the first
// three of characteristic.
//
// inlet_memo (optional): what the last call with this memo worked out of its
// inlet state alone. A call whose inlet is bit for bit the same reuses it
// instead of evaluating the gas there again, with the same numbers. A
// zero-filled memo holds nothing.
struct BlowerInletGas {
    GasComposition gas;
    double h_in, kappa;
};
struct BlowerInletMemo {
    bool holds;
    std::uint64_t inlet_bits[3];  // p_in, T_in, c
    BlowerInletGas at_inlet;
};

void blower_outputs(const double* inlet, const double* outlet, const double* drive,
                    double* inlet_flow, double* outlet_flow, double* power,
                    const double* efficiency, std::size_t efficiency_count,
                    const double* characteristic, std::size_t characteristic_count,
                    const double* stoichiometric_ratio, std::size_t stoichiometric_ratio_count,
                    BlowerInletMemo* inlet_memo = nullptr);

}  // namespace blocks
