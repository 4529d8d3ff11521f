// Brisquel's worked example in Xcos against blocksim, both on the classic
// Runge-Kutta method of order 4 at a fixed step of 1 ms (Xcos's solver 6,
// blocksim's ode4). The controller's outputs lag one evaluation, so what is
// comparable is what does not depend on how often each host evaluates it:
// - the schedules and the constant outputs, functions of the previous
//   evaluation's input, which is constant: bit for bit;
// - the command, the clamped PID of the previous evaluation's states: at a
//   sample both hand out the command of an evaluation at the sample's time,
//   with the states Xcos integrated (blocksim's are those of its last
//   Runge-Kutta stage, O(h^2) off), so within 1e-6;
// - not the first sample: Xcos evaluates the outputs twice at t = 0 before
//   it samples them, so it hands out what the first evaluation staged,
//   before the block had read an input (the schedules at ratio 0, command
//   0 of the zero-filled record), where blocksim hands out the initial
//   vector. That is checked as such: against blocksim's schedules for a
//   scheduling input of 0.
try
    exec(getenv("PROJECT_DIR") + "/tests/xcos/xcos_test_lib.sce", -1);
    [example_names, example] = xt_blocksim(getenv("PROJECT_DIR") + "/examples/brisquel.yaml", "brisquel");
    outputs = "controller.0[" + string(0:5) + "]";
    schedules_and_constants = [1 2 3 4 6];

    exec(getenv("PROJECT_DIR") + "/xcos/examples/brisquel.sce", -1);
    scs_m = engine_diagram_fixed_step(scs_m, 0.001);
    [cpr, ok] = xcos_simulate(scs_m, 4);
    xt_check(ok, "the Brisquel diagram runs");
    [names, values] = xt_blocksim(getenv("PROJECT_DIR") + "/examples/brisquel.yaml", "brisquel_ode4", "--solver ode4 --step 0.001");
    reference = [];
    for signal = outputs
        reference = [reference, xt_column(names, values, signal)];
    end
    example_reference = [];
    for signal = outputs
        example_reference = [example_reference, xt_column(example_names, example, signal)];
    end
    got = controller_outputs.values(2, :);
    xt_check(xt_same(controller_outputs.time, [0; 0.1]), "Xcos samples at t = 0 and 0.1 as the example");
    xt_check(xt_same(got(schedules_and_constants), example_reference(2, schedules_and_constants)), ..
             "t = 0.1: the schedules at ratio 0.5 and the constants equal the example''s bit for bit");
    xt_show("t = 0.1", got, example_reference(2, :));
    at_01 = xt_rows_at(values, 0.1);
    xt_check(abs(got(5) - reference(at_01, 5)) <= 1e-6, ..
             msprintf("t = 0.1: the command is within 1e-6 of blocksim''s under ode4 at 1 ms (%.3g apart)", abs(got(5) - reference(at_01, 5))));

    // Two seconds at 10 ms: the command rises from 0.55 to its upper limit 1.0.
    scs_m = xt_resample(scs_m, 0.01, 201);
    [cpr, ok] = xcos_simulate(scs_m, 4);
    xt_check(ok, "the Brisquel diagram runs for 2 s");
    [names, values] = xt_blocksim(getenv("PROJECT_DIR") + "/examples/brisquel.yaml", "brisquel_2s", "--solver ode4 --step 0.001 --stop 2");
    rows = xt_rows_at(values, controller_outputs.time);
    reference = [];
    for signal = outputs
        reference = [reference, xt_column(names, values, signal)];
    end
    reference = reference(rows, :);
    got = controller_outputs.values;
    later = 2:size(got, 1);
    xt_check(xt_same(got(later, schedules_and_constants), reference(later, schedules_and_constants)), ..
             "after t = 0 the schedules and constants equal blocksim''s bit for bit at every sample");
    difference = xt_difference(got(later, 5), reference(later, 5));
    xt_check(difference <= 1e-6, msprintf("after t = 0 the command is within 1e-6 of blocksim''s at every sample (at most %.3g apart)", difference));
    xt_check(got($, 5) == 1 & min(got(later, 5)) < 0.6, "the samples cover the command''s rise and its upper limit");

    model = xt_model("brisquel_without_input", [
        "solver: {method: ode1, step: 0.1, stop: 0.1}"
        "blocks:"
        "  inputs: {type: Constant, value: [0, 0.9375, 1.0]}"
        "  controller: {sfunction: Brisquel}"
        "connections:"
        "  - inputs.0 -> controller.0"]);
    [names, values] = xt_blocksim(model, "brisquel_without_input");
    at_ratio_0 = [xt_column(names, values, "controller.0[0]"), xt_column(names, values, "controller.0[3]")];
    xt_check(xt_same(got(1, [1 4 5]), [at_ratio_0(2, :), 0]), ..
             "t = 0: Xcos hands out the schedules at ratio 0 and command 0, staged before the first input was read");
    xt_show("t = 0", got(1, :), reference(1, :));
catch
    xt_crashed();
end
xt_finish();
