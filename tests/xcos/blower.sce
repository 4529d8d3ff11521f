// The blower's worked example in Xcos equals blocksim's, bit for bit.
try
    exec(getenv("PROJECT_DIR") + "/tests/xcos/xcos_test_lib.sce", -1);
    exec(getenv("PROJECT_DIR") + "/xcos/examples/blower.sce", -1);
    [cpr, ok] = xcos_simulate(scs_m, 4);
    xt_check(ok, "the blower diagram runs");
    [names, values] = xt_blocksim(getenv("PROJECT_DIR") + "/examples/blower.yaml", "blower");
    row = values(1, :);
    expected = list(..
        list("fan inlet flow", fan_in, ["fan.0[0]", "fan.0[1]", "fan.0[2]"]), ..
        list("fan outlet flow", fan_out, ["fan.1[0]", "fan.1[1]", "fan.1[2]"]), ..
        list("fan power", fan_power, "fan.2[0]"), ..
        list("air_fan inlet flow", air_fan_in, ["air_fan.0[0]", "air_fan.0[1]", "air_fan.0[2]"]), ..
        list("air_fan power", air_fan_power, "air_fan.2[0]"));
    for e = expected
        reference = [];
        for signal = e(3)
            reference = [reference, xt_column(names, values, signal)];
        end
        got = e(2).values(1, :);
        xt_check(xt_same(got, reference(1, :)), e(1) + " equals blocksim''s bit for bit");
        xt_show(e(1), got, reference(1, :));
    end
    // Its ports are labelled with their elements' names.
    block = BLOWER_c("define");
    xt_check(and(block.graphics.in_label == ["inlet.p inlet.T inlet.c"; "outlet.p outlet.T outlet.c"; "drive"]), ..
             "the blower''s input ports are labelled with their elements");
    xt_check(block.graphics.out_label(3) == "power", "the blower''s third output port is labelled power");
catch
    xt_crashed();
end
xt_finish();
