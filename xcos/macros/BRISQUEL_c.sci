function [x, y, typ] = BRISQUEL_c(job, arg1, arg2)
    // Xcos interface function of the S-function block Brisquel (engine_block_interface.sci).
    if argn(2) < 2 then
        arg1 = [];
    end
    [x, y, typ] = engine_block_interface(job, arg1, "Brisquel", "Brisquel: scheduled PID controller (no parameters)", ..
        [], ..
        []);
endfunction
