function [x, y, typ] = SARNITH_c(job, arg1, arg2)
    // Xcos interface function of the S-function block sarnith (engine_block_interface.sci).
    if argn(2) < 2 then
        arg1 = [];
    end
    [x, y, typ] = engine_block_interface(job, arg1, "sarnith", "sarnith: hysteresis relay, 0 above the upper threshold, 1 below the lower", ..
        ["upper_threshold"; "lower_threshold"], ..
        ["3"; "1"]);
endfunction
