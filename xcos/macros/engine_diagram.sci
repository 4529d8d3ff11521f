// Building Xcos diagrams by script, as the examples and tests do:
//   scs_m = scicos_diagram();
//   [scs_m, fan] = engine_diagram_add(scs_m, BLOWER_c("define"));
//   [scs_m, p]   = engine_diagram_add(scs_m, CONST_m("define"), "[100000; 350; 1]");
//   scs_m = engine_diagram_link(scs_m, [p 1], [fan 1]);
// A block's dialog values (exprs) are set as typed in its dialog; Xcos's
// evaluation before a run calls each block's "set" with them.

function [scs_m, k] = engine_diagram_add(scs_m, blk, exprs)
    if argn(2) > 2 then
        blk.graphics.exprs = exprs;
    end
    k = size(scs_m.objs) + 1;
    blk.graphics.orig = [100 * k, 0];
    scs_m.objs(k) = blk;
endfunction

// A regular link from output port from(2) of block from(1) to input port
// to(2) of block to(1).
function scs_m = engine_diagram_link(scs_m, from, to)
    n = size(scs_m.objs) + 1;
    scs_m.objs(n) = scicos_link(xx = [0; 0], yy = [0; 0], ct = [1, 1], from = [from, 0], to = [to, 1]);
    scs_m.objs(from(1)).graphics.pout(from(2)) = n;
    scs_m.objs(to(1)).graphics.pin(to(2)) = n;
endfunction

// An activation link from event output from(2) to event input to(2).
function scs_m = engine_diagram_event(scs_m, from, to)
    n = size(scs_m.objs) + 1;
    scs_m.objs(n) = scicos_link(xx = [0; 0], yy = [0; 0], ct = [5, -1], from = [from, 0], to = [to, 1]);
    scs_m.objs(from(1)).graphics.peout(from(2)) = n;
    scs_m.objs(to(1)).graphics.pein(to(2)) = n;
endfunction

// A TOWS_c sink recording output port from(2) of block from(1) into the
// workspace variable `name` at every event of `clock` (a block with an event
// output, such as SampleCLK), up to `samples` rows.
function scs_m = engine_diagram_record(scs_m, from, name, clock, samples)
    [scs_m, sink] = engine_diagram_add(scs_m, TOWS_c("define"), [string(samples); name; "0"]);
    scs_m = engine_diagram_link(scs_m, from, [sink 1]);
    scs_m = engine_diagram_event(scs_m, [clock 1], [sink 1]);
endfunction
