function [x, y, typ] = BLOWER_c(job, arg1, arg2)
    // Xcos interface function of the S-function block blower (engine_block_interface.sci).
    if argn(2) < 2 then
        arg1 = [];
    end
    [x, y, typ] = engine_block_interface(job, arg1, "blower", "Blower: mass flow, enthalpy flows and shaft power", ..
        ["eta, isentropic efficiency"; "[alpha beta gamma] of the flow characteristic alpha*exp(-beta*PR) + gamma"; "sigma, fuel-air mass ratio of stoichiometric gas"], ..
        ["0.7"; "[2 0.5 0.1]"; "0.0698"]);
endfunction
