// Building Xcos diagrams by script, as the examples and tests do:
//   scs_m = scicos_diagram();
//   [scs_m, fan] = engine_diagram_add(scs_m, BLOWER_c("define"));
//   [scs_m, p]   = engine_diagram_add(scs_m, CONST_m("define"), "[100000; 350; 1]");
//   scs_m = engine_diagram_link(scs_m, [p 1], [fan 1]);
// A block's dialog values (exprs) are set as typed in its dialog; Xcos's
// evaluation before a run calls each block's "set" with them again.

// Adds a block, with the dialog values exprs if given: its "set" then runs
// with them at once, without a dialog, so that its ports follow them (a MUX
// of 3 inputs has 3 ports to link to) and a value the block refuses stops
// the script with the block's message.
function [scs_m, k] = engine_diagram_add(scs_m, blk, exprs)
    if argn(2) > 2 then
        blk.graphics.exprs = exprs;
        blk = engine_diagram_evaluate(blk);
    end
    [scs_m, k] = engine_diagram_place(scs_m, blk);
endfunction

function [scs_m, k] = engine_diagram_place(scs_m, blk)
    k = size(scs_m.objs) + 1;
    blk.graphics.orig = [100 * k, 0];
    scs_m.objs(k) = blk;
endfunction

// The block's "set" on its exprs as Xcos's evaluation (do_eval) runs it:
// setvalue answers the dialog, and a refusal is an error here, while the
// diagram is built (engine_block_interface.sci keeps it for the run instead).
function blk = engine_diagram_evaluate(blk)
    engine_blocks_building_a_diagram = %t;
    %scicos_prob = %f;
    %scicos_context = struct();
    needcompile = 0;
    protection = funcprot();
    funcprot(0);
    scicos_getvalue = setvalue;
    getvalue = setvalue;
    function message(text)
        error(msprintf("%s refuses %s: %s", blk.gui, strcat(blk.graphics.exprs, ", "), strcat(text, " ")));
    endfunction
    funcprot(protection);
    execstr("blk = " + blk.gui + "(""set"", blk);");
endfunction

// A regular link from output port from(2) of block from(1) to input port
// to(2) of block to(1). A port that already drives a link gets a SPLIT_f in
// front of it, as the editor draws a branch: a .zcos keeps one link per
// port. Inserting a link connects the ports (Scilab 6 sets the blocks' pin
// and pout itself); setting them again would replace the blocks with copies
// the link is not attached to, which the simulation does not mind but a
// saved .zcos loses every such link.
function scs_m = engine_diagram_link(scs_m, from, to)
    scs_m = engine_diagram_connect(scs_m, from, to, [1, 1], SPLIT_f("define"));
endfunction

// An activation link from event output from(2) to event input to(2), with a
// CLKSPLIT_f where the output already drives one.
function scs_m = engine_diagram_event(scs_m, from, to)
    scs_m = engine_diagram_connect(scs_m, from, to, [5, -1], CLKSPLIT_f("define"));
endfunction

function scs_m = engine_diagram_connect(scs_m, from, to, ct, split)
    driven = [];
    for k = 1:size(scs_m.objs)
        o = scs_m.objs(k);
        if typeof(o) == "Link" then
            if and(o.from(1:2) == from) & o.ct(2) == ct(2) then
                driven = k;
                break
            end
        end
    end
    if driven == [] then
        scs_m.objs($ + 1) = scicos_link(xx = [0; 0], yy = [0; 0], ct = ct, from = [from, 0], to = [to, 1]);
        return
    end
    // The split takes over the existing link's destination and the new one.
    split.graphics.orig = scs_m.objs(from(1)).graphics.orig + [50, -30];
    scs_m.objs($ + 1) = split;
    n = size(scs_m.objs);
    scs_m.objs(driven) = scicos_link(xx = [0; 0], yy = [0; 0], ct = ct, from = [n, 1, 0], to = scs_m.objs(driven).to);
    scs_m.objs($ + 1) = scicos_link(xx = [0; 0], yy = [0; 0], ct = ct, from = [from, 0], to = [n, 1, 1]);
    scs_m.objs($ + 1) = scicos_link(xx = [0; 0], yy = [0; 0], ct = ct, from = [n, 2, 0], to = [to, 1]);
endfunction

// A TOWS_c sink recording output port from(2) of block from(1) into the
// workspace variable `name` at every event of `clock` (a block with an event
// output, such as SampleCLK), up to `samples` rows.
// Its "set" runs only before the simulation: it refuses a name the
// workspace holds as anything but a recording, and a diagram may be built
// where a block's index has the name of its recording.
function scs_m = engine_diagram_record(scs_m, from, name, clock, samples)
    // TOWS_c's own refusal of a longer name is only a console message.
    if length(name) > 19 then
        error(msprintf("engine_diagram_record: TOWS_c takes names of up to 19 characters, not %s", name));
    end
    sink = TOWS_c("define");
    sink.graphics.exprs = [string(samples); name; "0"];
    [scs_m, sink] = engine_diagram_place(scs_m, sink);
    scs_m = engine_diagram_link(scs_m, from, [sink 1]);
    scs_m = engine_diagram_event(scs_m, [clock 1], [sink 1]);
endfunction

// A signal over time from a CSV file of time, value columns with one header
// line (blocksim's Table): a clock into a LOOKUP_f holding the file's points,
// linear between them. Returns the index of the LOOKUP_f, the signal's block.
function [scs_m, table] = engine_diagram_table(scs_m, file)
    points = csvRead(file, ",", ".", "double", [], [], [], 1);
    [scs_m, clock_time] = engine_diagram_add(scs_m, TIME_f("define"));
    lookup = LOOKUP_f("define");
    lookup.model.rpar = [points(:, 1); points(:, 2)];
    [scs_m, table] = engine_diagram_place(scs_m, lookup);
    scs_m = engine_diagram_link(scs_m, [clock_time 1], [table 1]);
endfunction

// Xcos's classic Runge-Kutta method of order 4 (its "Runge-Kutta 4(5)",
// solver 6 in props.tol = [atol rtol ttol deltat scale solver hmax]) at a
// fixed step: blocksim's ode4 at the same step.
function scs_m = engine_diagram_fixed_step(scs_m, step)
    scs_m.props.tol(6) = 6;
    scs_m.props.tol(7) = step;
endfunction

// A first-order lag 1/(time_constant s + 1), blocksim's Lag, as a CLR whose
// state starts where the output is `initial`. CLR's "set" keeps the state
// it is given and builds its realization with cont_frm, as here.
function [scs_m, lag] = engine_diagram_lag(scs_m, time_constant, initial)
    s = poly(0, "s");
    realization = cont_frm(1, 1 + time_constant * s);
    output_gain = realization(4);
    block = CLR("define");
    block.graphics.exprs = ["1"; msprintf("1+%.17g*s", time_constant)];
    block = engine_diagram_evaluate(block);
    block.model.state = initial / output_gain;
    [scs_m, lag] = engine_diagram_place(scs_m, block);
endfunction

// A ramp initial + slope t from t = 0, blocksim's Ramp with start 0, from a
// clock, a gain and a sum. Not RAMP: its zero-crossing surface at its start
// time makes Scilab 6.1.1's fixed-step solvers integrate an extra step at
// the start (behind a RAMP starting at 0, INTEGRAL_m's output is 0.011 at
// t = 0.01 for a slope of 0 and an initial value of 1, under Runge-Kutta 4
// at 1 ms). Returns the index of the sum, the ramp's output.
function [scs_m, ramp] = engine_diagram_ramp(scs_m, slope, initial)
    [scs_m, clock_time] = engine_diagram_add(scs_m, TIME_f("define"));
    [scs_m, rate] = engine_diagram_add(scs_m, GAINBLK("define"), [msprintf("%.17g", slope); "0"]);
    [scs_m, start] = engine_diagram_add(scs_m, CONST_m("define"), msprintf("%.17g", initial));
    [scs_m, ramp] = engine_diagram_add(scs_m, SUMMATION("define"), "[1;1]");
    scs_m = engine_diagram_link(scs_m, [clock_time 1], [rate 1]);
    scs_m = engine_diagram_link(scs_m, [start 1], [ramp 1]);
    scs_m = engine_diagram_link(scs_m, [rate 1], [ramp 2]);
endfunction

// Places the blocks for the editor, signals flowing left to right: each
// block one column right of the blocks that drive it (feedback links aside),
// the blocks of a column one below the other in the order they were added,
// sources just left of their first reader, the recordings (TOWS_c) and their clock in a last column, and each split
// just right of the port it branches. Sizes are the palette's (20 pixels per
// unit of standard_define). Simulation ignores all this; it is for a
// diagram saved as .zcos.
function scs_m = engine_diagram_layout(scs_m)
    n = size(scs_m.objs);
    kind = emptystr(1, n);   // "block", "split", "record" or "" (links)
    edges = zeros(0, 2);
    for k = 1:n
        o = scs_m.objs(k);
        if typeof(o) == "Block" then
            kind(k) = "block";
            if or(o.gui == ["SPLIT_f", "CLKSPLIT_f"]) then
                kind(k) = "split";
            elseif or(o.gui == ["TOWS_c", "SampleCLK"]) then
                kind(k) = "record";
            end
        elseif typeof(o) == "Link" then
            edges = [edges; o.from(1), o.to(1)];
        end
    end
    // Depth-first from every block in turn, listing the blocks so that each
    // comes after the blocks that drive it, but for links closing a loop.
    state = zeros(1, n);   // 0 unvisited, 1 on the current path, 2 done
    finished = [];
    next_edge = ones(1, n);
    for root = find(kind <> "")
        if state(root) <> 0 then continue; end
        path = root;
        state(root) = 1;
        while path <> []
            b = path($);
            outgoing = find(edges(:, 1) == b);
            if next_edge(b) <= size(outgoing, "*") then
                target = edges(outgoing(next_edge(b)), 2);
                next_edge(b) = next_edge(b) + 1;
                if state(target) == 0 then
                    state(target) = 1;
                    path($ + 1) = target;
                end
            else
                state(b) = 2;
                finished = [b, finished];
                path($) = [];
            end
        end
    end
    position = zeros(1, n);
    position(finished) = 1:size(finished, "*");
    // A split sits in its driver's column; what it drives goes one further.
    column = zeros(1, n);
    driver = zeros(1, n);
    for b = finished
        for e = find(edges(:, 2) == b)
            a = edges(e, 1);
            if position(a) < position(b) then
                step = 1;
                if kind(b) == "split" then
                    step = 0;
                    driver(b) = a;
                end
                column(b) = max(column(b), column(a) + step);
            end
        end
    end
    // A source (a constant, a clock) stands just left of its first reader.
    for k = find(kind == "block")
        if find(edges(:, 2) == k) == [] then
            readers = edges(edges(:, 1) == k, 2)';
            readers = readers(kind(readers) <> "record");
            if readers <> [] then
                column(k) = max(0, min(column(readers)) - 1);
            end
        end
    end
    last = max(column(kind == "block")) + 1;

    // Edited on a copy of the list and put back whole, as do_eval does:
    // blocks changed in place in scs_m.objs once their links exist made
    // xcos_simulate crash (Scilab 6.1.1).
    objs = scs_m.objs;
    rows = zeros(1, last + 1);
    for k = find(kind == "block" | kind == "record")
        c = column(k);
        if kind(k) == "record" then c = last; end
        rows(c + 1) = rows(c + 1) + 1;
        objs(k).graphics.sz = 20 * objs(k).graphics.sz;
        objs(k).graphics.orig = [160 * c, 70 * (rows(c + 1) - 1)];
    end
    // Splits in the order they branch, each after the one it feeds.
    for k = finished
        if kind(k) <> "split" then continue; end
        d = driver(k);
        objs(k).graphics.sz = 20 * objs(k).graphics.sz;
        offset = [objs(d).graphics.sz(1) + 15, objs(d).graphics.sz(2) / 2];
        if kind(d) == "split" then offset = [15, 0]; end
        objs(k).graphics.orig = objs(d).graphics.orig + offset;
    end
    scs_m.objs = objs;
endfunction
