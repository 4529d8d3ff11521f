// The engine demo as an Xcos diagram (xcos/examples/engine_demo.sce)
// against blocksim's examples/engine.yaml, both on Runge-Kutta 4 at a fixed
// step of 1 ms and sampled every 10 ms for 60 s. Differences are taken
// relative to the signal where it exceeds 1 in magnitude (Pa, W, degrees),
// absolute below.
// - Signals outside the scavenge air loop, the crank angle, the valve lift
//   and the schedules included: within 1e-6 at every sample (the schedules
//   from the second sample on: see tests/xcos/brisquel.sce for the first).
// - The relays: equal at every sample, so they switch at the same samples.
// - The scavenge air loop (scavenge level, command, scavenge pressure, the
//   blower's flow and power) starts apart: Brisquel's outputs lag one
//   evaluation, and blocksim's first derivative evaluation sees the
//   controller's initial vector (command 0.5), where Xcos, having evaluated
//   the outputs at t = 0 already, sees the command of that evaluation, 1.0
//   (the upper limit, where the command stays over the first 10 ms in
//   both). That one derivative evaluation is the whole start-up
//   difference: the test predicts the scavenge level's difference at
//   10 ms from it, checks that the loop never makes it larger, and
//   compares the loop at 1e-6 once it has settled, from 10 s on.
try
    exec(getenv("PROJECT_DIR") + "/tests/xcos/xcos_test_lib.sce", -1);
    exec(getenv("PROJECT_DIR") + "/xcos/examples/engine_demo.sce", -1);
    [cpr, ok] = xcos_simulate(scs_m, 4);
    xt_check(ok, "the engine demo diagram runs");
    [names, values] = xt_blocksim(getenv("PROJECT_DIR") + "/examples/engine.yaml", "engine");
    xt_check(size(scavenge.time, "*") == 6001 & max(abs(scavenge.time - values(:, 1))) < 1e-9, ..
             "Xcos samples at blocksim''s times, every 10 ms from 0 to 60 s");
    function [got, reference] = signal(recording, column)
        got = double(recording.values(:, 1));
        reference = xt_column(names, values, column);
    endfunction

    open_loop = list(list(load_ratio, "load_ratio.0[0]", 1), list(set_point, "set_point.0[0]", 1), ..
                     list(crank_deg, "crank_deg.0[0]", 1), list(valve_lift, "valve.0[0]", 1), ..
                     list(schedule_a, "schedule_a.0[0]", 2), list(schedule_b, "schedule_b.0[0]", 2));
    for s = open_loop
        [got, reference] = signal(s(1), s(2));
        d = xt_difference(got(s(3):$), reference(s(3):$));
        xt_check(d <= 1e-6, msprintf("%s within 1e-6 of blocksim''s (at most %.3g apart)", s(2), d));
    end
    xt_check(max(valve_lift.values) > 0.09 & max(crank_deg.values) > 720, "the valve opens, over many revolutions");

    for s = list(list(high_load, "high_load.0[0]"), list(blower_switch, "blower_switch.0[0]"))
        [got, reference] = signal(s(1), s(2));
        switches = values(find(diff(reference) <> 0) + 1, 1);
        xt_check(xt_same(got, reference) & switches <> [], ..
                 s(2) + " equals blocksim''s at every sample, switching at t = " + strcat(msprintf("%g\n", switches), " "));
    end

    h = 0.001;
    time_constant = 1.5;
    z = -h / time_constant;
    // Runge-Kutta 4's stages carry the first stage's difference in the lag's
    // input (1.0 - 0.5) into the step; the next 9 steps of the lag x' = (1 - x)/tau
    // each multiply a difference by the method's factor for z.
    k1 = (1.0 - 0.5) / time_constant;
    k2 = z / 2 * k1;
    k3 = z / 2 * k2;
    k4 = z * k3;
    first_step = h / 6 * (k1 + 2 * k2 + 2 * k3 + k4);
    predicted = first_step * (1 + z + z^2 / 2 + z^3 / 6 + z^4 / 24)^9;
    [got, reference] = signal(scavenge, "scavenge.0[0]");
    [got_command, reference_command] = signal(command, "command.0[0]");
    xt_check(got_command(2) == 1 & reference_command(2) == 1, "the command sits at its upper limit 1.0 at 10 ms in both");
    xt_check(abs((got(2) - reference(2)) / predicted - 1) < 1e-3, ..
             msprintf("the scavenge level at 10 ms is %.6g above blocksim''s, the first derivative evaluation''s %.6g", ..
                      got(2) - reference(2), predicted));
    xt_check(max(abs(got - reference)) <= first_step, ..
             msprintf("the loop never makes the difference larger than after the first step (at most %.3g)", max(abs(got - reference))));

    settled = find(values(:, 1) >= 10 - 1e-9);
    loop = list(list(scavenge, "scavenge.0[0]"), list(command, "command.0[0]"), ..
                list(scavenge_pressure, "scavenge_pressure.0[0]"), list(fan_flow, "fan.0[0]"), list(fan_power, "fan.2[0]"));
    for s = loop
        [got, reference] = signal(s(1), s(2));
        d = xt_difference(got(settled), reference(settled));
        xt_check(d <= 1e-6, msprintf("%s within 1e-6 of blocksim''s from 10 s on (at most %.3g apart; %.3g over the whole run)", ..
                                     s(2), d, xt_difference(got, reference)));
    end
catch
    xt_crashed();
end
xt_finish();
