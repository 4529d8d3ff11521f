function [x, y, typ] = TOLVANE_c(job, arg1, arg2)
    // Xcos interface function of the S-function block Tolvane (engine_block_interface.sci).
    if argn(2) < 2 then
        arg1 = [];
    end
    [x, y, typ] = engine_block_interface(job, arg1, "Tolvane", "Tolvane: exhaust valve lift over crank angle", ..
        ["peak_lift"; "start_gain [deg per unit of the start signal]"; "open_duration [deg]"; "close_duration [deg]"; "dwell_gain [deg per unit of the dwell signal]"; "open_angles [deg after start], ascending"; "close_angles [deg after closing begins], ascending"; "open_lifts [fractions of peak_lift]"; "close_lifts [fractions of peak_lift]"], ..
        ["2"; "1"; "40"; "40"; "1"; "[0 20 40]"; "[0 20 40]"; "[0 0.3 1]"; "[1 0.3 0]"]);
endfunction
