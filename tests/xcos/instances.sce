// Two instances of a block in one diagram stay independent: different
// parameters (Tolvane, sarnith) or inputs (Brisquel, no parameters) give
// different results, each equal to blocksim's for the same instance.
// - Tolvane and sarnith, in a diagram without continuous states sampled
//   every 5 s (blocksim: ode1 at 5 s): bit for bit.
// - Brisquel, on Runge-Kutta 4 at 1 ms in both, within 1e-6 of blocksim
//   after the first sample (tests/xcos/brisquel.sce says why not at it), and
//   each instance bit for bit what it gives alone in a diagram of its own:
//   their control records and states do not mix.
try
    exec(getenv("PROJECT_DIR") + "/tests/xcos/xcos_test_lib.sce", -1);

    example_valve = ["2"; "1"; "40"; "40"; "1"; "[0 20 40]"; "[0 20 40]"; "[0 0.3 1]"; "[1 0.3 0]"];
    engine_valve = ["0.1"; "1"; "50"; "60"; "1"; "[0 10 25 40 50]"; "[0 15 30 45 60]"; "[0 0.1 0.45 0.85 1]"; "[1 0.8 0.45 0.12 0]"];
    period = 5;
    samples = 145;
    scs_m = scicos_diagram();
    scs_m.props.tf = (samples - 1) * period + period / 2;
    [scs_m, clock_time] = engine_diagram_add(scs_m, TIME_f("define"));
    [scs_m, crank_angle] = engine_diagram_add(scs_m, GAINBLK("define"), ["0.017453292519944444"; "0"]);
    [scs_m, start_signal] = engine_diagram_add(scs_m, CONST_m("define"), "100");
    [scs_m, dwell_signal] = engine_diagram_add(scs_m, CONST_m("define"), "20");
    [scs_m, valve_a] = engine_diagram_add(scs_m, TOLVANE_c("define"), example_valve);
    [scs_m, valve_b] = engine_diagram_add(scs_m, TOLVANE_c("define"), engine_valve);
    [scs_m, sine] = engine_diagram_add(scs_m, GENSIN_f("define"), ["4"; "0.05"; "0"]);
    [scs_m, relay_a] = engine_diagram_add(scs_m, SARNITH_c("define"), ["3"; "1"]);
    [scs_m, relay_b] = engine_diagram_add(scs_m, SARNITH_c("define"), ["0.5"; "-0.5"]);
    [scs_m, clock] = engine_diagram_add(scs_m, SampleCLK("define"), [string(period); "0"]);
    scs_m = engine_diagram_link(scs_m, [clock_time 1], [crank_angle 1]);
    for valve = [valve_a valve_b]
        scs_m = engine_diagram_link(scs_m, [crank_angle 1], [valve 1]);
        scs_m = engine_diagram_link(scs_m, [start_signal 1], [valve 2]);
        scs_m = engine_diagram_link(scs_m, [dwell_signal 1], [valve 3]);
    end
    scs_m = engine_diagram_link(scs_m, [sine 1], [relay_a 1]);
    scs_m = engine_diagram_link(scs_m, [sine 1], [relay_b 1]);
    scs_m = engine_diagram_record(scs_m, [valve_a 1], "valve_a_lift", clock, samples);
    scs_m = engine_diagram_record(scs_m, [valve_b 1], "valve_b_lift", clock, samples);
    scs_m = engine_diagram_record(scs_m, [relay_a 1], "relay_a_output", clock, samples);
    scs_m = engine_diagram_record(scs_m, [relay_b 1], "relay_b_output", clock, samples);
    [cpr, ok] = xcos_simulate(scs_m, 4);
    xt_check(ok, "the diagram of two Tolvane and two sarnith runs");

    function parameters = yaml_list(exprs)
        parameters = "[" + strcat(strsubst(exprs, " ", ", "), ", ") + "]";
    endfunction
    model = xt_model("two_of_each", [
        msprintf("solver: {method: ode1, step: %d, stop: %d}", period, (samples - 1) * period)
        "blocks:"
        "  clock: {type: Clock}"
        "  crank_angle: {type: Gain, gain: 0.017453292519944444}"
        "  start_signal: {type: Constant, value: 100}"
        "  dwell_signal: {type: Constant, value: 20}"
        "  valve_a: {sfunction: Tolvane, parameters: " + yaml_list(example_valve) + "}"
        "  valve_b: {sfunction: Tolvane, parameters: " + yaml_list(engine_valve) + "}"
        "  sine: {type: Sine, amplitude: 4, frequency: 0.05}"
        "  relay_a: {sfunction: sarnith, parameters: [3, 1]}"
        "  relay_b: {sfunction: sarnith, parameters: [0.5, -0.5]}"
        "connections:"
        "  - clock.0 -> crank_angle.0"
        "  - crank_angle.0 -> valve_a.0, valve_b.0"
        "  - start_signal.0 -> valve_a.1, valve_b.1"
        "  - dwell_signal.0 -> valve_a.2, valve_b.2"
        "  - sine.0 -> relay_a.0, relay_b.0"]);
    [names, values] = xt_blocksim(model, "two_of_each");
    pairs = list(list("Tolvane", valve_a_lift, valve_b_lift, "valve_a.0[0]", "valve_b.0[0]"), ..
                 list("sarnith", relay_a_output, relay_b_output, "relay_a.0[0]", "relay_b.0[0]"));
    for p = pairs
        a = p(2).values;
        b = p(3).values;
        xt_check(xt_same(p(2).time, values(:, 1)), p(1) + ": Xcos samples at blocksim''s times");
        xt_check(xt_same(a, xt_column(names, values, p(4))), p(1) + ": the first instance equals blocksim''s bit for bit");
        xt_check(xt_same(b, xt_column(names, values, p(5))), p(1) + ": the second instance equals blocksim''s bit for bit");
        xt_check(~xt_same(a, b), msprintf("%s: the two differ (at %d of %d samples)", p(1), sum(a <> b), size(a, "*")));
    end

    // Brisquel: one controller per row of `inputs`, recorded as controller_K.
    function scs_m = controllers(inputs)
        scs_m = scicos_diagram();
        scs_m = engine_diagram_fixed_step(scs_m, 0.001);
        scs_m.props.tf = 1.005;
        [scs_m, clock] = engine_diagram_add(scs_m, SampleCLK("define"), ["0.01"; "0"]);
        for k = 1:size(inputs, 1)
            [scs_m, source] = engine_diagram_add(scs_m, CONST_m("define"), sci2exp(inputs(k, :)'));
            [scs_m, controller] = engine_diagram_add(scs_m, BRISQUEL_c("define"));
            scs_m = engine_diagram_link(scs_m, [source 1], [controller 1]);
            scs_m = engine_diagram_record(scs_m, [controller 1], "controller_" + string(k), clock, 101);
        end
    endfunction
    inputs = [12520000, 0.9375, 1.0; 20000000, 0.98, 1.0];
    [cpr, ok] = xcos_simulate(controllers(inputs), 4);
    xt_check(ok, "the diagram of two Brisquel runs");
    together = list(controller_1, controller_2);
    model = xt_model("two_controllers", [
        "solver: {method: ode4, step: 0.001, stop: 1}"
        "blocks:"
        "  inputs_1: {type: Constant, value: " + sci2exp(inputs(1, :)) + "}"
        "  inputs_2: {type: Constant, value: " + sci2exp(inputs(2, :)) + "}"
        "  controller_1: {sfunction: Brisquel}"
        "  controller_2: {sfunction: Brisquel}"
        "connections:"
        "  - inputs_1.0 -> controller_1.0"
        "  - inputs_2.0 -> controller_2.0"]);
    [names, values] = xt_blocksim(model, "two_controllers");
    rows = xt_rows_at(values, controller_1.time);
    for k = 1:2
        got = together(k).values;
        reference = [];
        for element = 0:5
            reference = [reference, xt_column(names, values, msprintf("controller_%d.0[%d]", k, element))];
        end
        d = xt_difference(got(2:$, :), reference(rows(2:$), :));
        xt_check(d <= 1e-6, msprintf("Brisquel %d: within 1e-6 of blocksim''s after t = 0 (at most %.3g apart)", k, d));
        [cpr, ok] = xcos_simulate(controllers(inputs(k, :)), 4);
        xt_check(ok & xt_same(controller_1.values, got), msprintf("Brisquel %d: the same, bit for bit, alone in a diagram", k));
    end
    xt_check(~xt_same(together(1).values(:, 5), together(2).values(:, 5)), "the two commands differ");
catch
    xt_crashed();
end
xt_finish();
