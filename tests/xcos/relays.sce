// The relays in Xcos against blocksim:
// - the worked examples (xcos/examples/sarnith.sce, quorvel.sce) equal
//   blocksim's examples/sarnith.yaml and quorvel.yaml bit for bit, quorvel's
//   output an int32 signal in Xcos too;
// - hysteresis on a sine 2 sin(t) (GENSIN_f; blocksim's Sine) through both
//   relays with thresholds 1 and -1, sampled every 1/16 s for 20 s. The
//   diagram has no continuous states, so Xcos evaluates the relays at the
//   sampling events only, as blocksim at its ode1 steps of 1/16 s: a
//   relay's output at a sample is its above-value where the sine exceeds 1,
//   its below-value where it is under -1, and otherwise its output at the
//   sample before (0 before the sine first leaves the band). The switching
//   points must match exactly: the same samples (times that are multiples
//   of 1/16 s, exact in both), the same sine values bit for bit, the same
//   outputs at every sample, and both equal to that rule.
try
    exec(getenv("PROJECT_DIR") + "/tests/xcos/xcos_test_lib.sce", -1);

    for example = ["sarnith", "quorvel"]
        exec(getenv("PROJECT_DIR") + "/xcos/examples/" + example + ".sce", -1);
        [cpr, ok] = xcos_simulate(scs_m, 4);
        xt_check(ok, "the " + example + " example runs");
        [names, values] = xt_blocksim(getenv("PROJECT_DIR") + "/examples/" + example + ".yaml", example);
        xt_check(xt_same(relay_input.time, values(:, 1)) & xt_same(relay_input.values, xt_column(names, values, "input.0[0]")), ..
                 example + ": the table input equals blocksim''s at t = 0 .. 5");
        reference = xt_column(names, values, "relay.0[0]");
        xt_check(xt_same(double(relay_output.values), reference), example + ": the outputs equal blocksim''s bit for bit");
        xt_show(example + " outputs", double(relay_output.values), reference);
    end
    xt_check(typeof(relay_output.values) == "int32", "quorvel''s output reaches Xcos as an int32 signal");

    period = 1 / 16;
    samples = 321;
    scs_m = scicos_diagram();
    scs_m.props.tf = (samples - 1) * period + period / 2;
    [scs_m, sine] = engine_diagram_add(scs_m, GENSIN_f("define"), ["2"; "1"; "0"]);
    [scs_m, double_relay] = engine_diagram_add(scs_m, SARNITH_c("define"), ["1"; "-1"]);
    [scs_m, integer_relay] = engine_diagram_add(scs_m, QUORVEL_c("define"), ["1"; "-1"]);
    [scs_m, clock] = engine_diagram_add(scs_m, SampleCLK("define"), [string(period); "0"]);
    scs_m = engine_diagram_link(scs_m, [sine 1], [double_relay 1]);
    scs_m = engine_diagram_link(scs_m, [sine 1], [integer_relay 1]);
    scs_m = engine_diagram_record(scs_m, [sine 1], "sine_samples", clock, samples);
    scs_m = engine_diagram_record(scs_m, [double_relay 1], "sarnith_samples", clock, samples);
    scs_m = engine_diagram_record(scs_m, [integer_relay 1], "quorvel_samples", clock, samples);
    [cpr, ok] = xcos_simulate(scs_m, 4);
    xt_check(ok, "the sine diagram runs");

    model = xt_model("relays_on_a_sine", [
        msprintf("solver: {method: ode1, step: %.17g, stop: %.17g}", period, (samples - 1) * period)
        "blocks:"
        "  sine: {type: Sine, amplitude: 2, frequency: 1}"
        "  double_relay: {sfunction: sarnith, parameters: [1, -1]}"
        "  integer_relay: {sfunction: quorvel, parameters: [1, -1]}"
        "connections:"
        "  - sine.0 -> double_relay.0, integer_relay.0"]);
    [names, values] = xt_blocksim(model, "relays_on_a_sine");
    u = xt_column(names, values, "sine.0[0]");
    xt_check(xt_same(sine_samples.time, values(:, 1)), "Xcos samples the sine at blocksim''s times");
    xt_check(xt_same(sine_samples.values, u), "the sine equals blocksim''s bit for bit");

    relays = list(list("sarnith", sarnith_samples, "double_relay.0[0]", 0, 1), ..
                  list("quorvel", quorvel_samples, "integer_relay.0[0]", 1, 0));
    for r = relays
        got = double(r(2).values);
        reference = xt_column(names, values, r(3));
        // The rule of the comment above, sample by sample.
        expected = zeros(u);
        held = 0;
        for k = 1:size(u, "*")
            if u(k) > 1 then
                held = r(4);
            elseif u(k) < -1 then
                held = r(5);
            end
            expected(k) = held;
        end
        switches = values(find(diff(reference) <> 0) + 1, 1);
        xt_check(xt_same(got, reference), r(1) + ": the outputs equal blocksim''s at every sample");
        xt_check(xt_same(values(find(diff(got) <> 0) + 1, 1), switches), ..
                 r(1) + ": it switches at the same samples, t = " + strcat(msprintf("%g\n", switches), " "));
        xt_check(xt_same(reference, expected), r(1) + ": both switch at the first sample past a threshold and hold in between");
        inside = abs(u) < 1;
        xt_check(size(switches, "*") >= 5 & or(got(inside) == 0) & or(got(inside) == 1), ..
                 r(1) + ": inside the band the output holds either value, by the sine''s history");
    end
catch
    xt_crashed();
end
xt_finish();
