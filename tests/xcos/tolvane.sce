// Tolvane's worked example in Xcos equals blocksim's, bit for bit: every
// sample's time and lift, one revolution and the start of the next.
try
    exec(getenv("PROJECT_DIR") + "/tests/xcos/xcos_test_lib.sce", -1);
    exec(getenv("PROJECT_DIR") + "/xcos/examples/tolvane.sce", -1);
    [cpr, ok] = xcos_simulate(scs_m, 4);
    xt_check(ok, "the Tolvane diagram runs");
    [names, values] = xt_blocksim(getenv("PROJECT_DIR") + "/examples/tolvane.yaml", "tolvane");
    xt_check(xt_same(valve_lift.time, values(:, 1)), "Xcos samples at blocksim''s times, 0 to 450 s every 10 s");
    reference = xt_column(names, values, "valve.0[0]");
    xt_check(xt_same(valve_lift.values, reference), "the lift equals blocksim''s bit for bit at every sample");
    xt_show("lift", valve_lift.values, reference);
    xt_check(or(reference == 2) & or(reference > 0 & reference < 2), "the samples cover the opening, the dwell and the closing");
catch
    xt_crashed();
end
xt_finish();
