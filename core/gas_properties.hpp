// Real-gas properties of air and combustion gas.
//
// Inputs: pressure p [Pa], temperature T [K], composition c (fuel content
// relative to stoichiometric: 0 air, 1 stoichiometric gas, > 1 rich; valid
// for c > -1/0.0698). The model validates nothing: outside p > 0, T > 0 the
// results are not finite and are returned as they come.
#pragma once

#include <array>

namespace blocks {

// The thirteen results, in this order.
struct GasProperties {
    double RZ;      // gas constant times compressibility, p*v/T   [J/(kg K)]
    double h;       // specific enthalpy                           [J/kg]
    double s;       // specific entropy                            [J/(kg K)]
    double u;       // specific internal energy, h - p*v           [J/kg]
    double dRZ_dc;  // d(RZ)/dc at fixed p, T                      [J/(kg K)]
    double dRZ_dp;  // d(RZ)/dp at fixed T                         [J/(kg K Pa)]
    double dRZ_dT;  // d(RZ)/dT at fixed p                         [J/(kg K^2)]
    double du_dc;   // du/dc at fixed p, T                         [J/kg]
    double du_dp;   // du/dp at fixed T                            [J/(kg Pa)]
    double du_dT;   // du/dT at fixed p                            [J/(kg K)]
    double cp;      // specific heat at constant pressure          [J/(kg K)]
    double cv;      // specific heat at constant volume            [J/(kg K)]
    double kappa;   // cp / cv, the isentropic exponent            [-]
};

void combustion_gas_properties(double p, double T, double c, GasProperties& out);

// What the model derives from the composition alone: the reduced composition
// r, the gas constant R and the coefficients linear in r. gas_model.hpp
// evaluates h and kappa for states of one composition.
struct GasComposition {
    double inv_composition;  // 1 / (1 + 0.0698 c)
    double r;
    double inv_molar;        // 1 / (9.344254 c + 138.2266)
    double R;                // J/(kg K)
    double A, B, D;          // equation of state
    std::array<double, 7> b;  // ideal-gas enthalpy
};

}  // namespace blocks
