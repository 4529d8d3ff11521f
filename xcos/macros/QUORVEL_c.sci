function [x, y, typ] = QUORVEL_c(job, arg1, arg2)
    // Xcos interface function of the S-function block quorvel (engine_block_interface.sci).
    if argn(2) < 2 then
        arg1 = [];
    end
    [x, y, typ] = engine_block_interface(job, arg1, "quorvel", "quorvel: hysteresis relay, int32 1 above the upper threshold, 0 below the lower", ..
        ["upper_threshold"; "lower_threshold"], ..
        ["3"; "1"]);
endfunction
