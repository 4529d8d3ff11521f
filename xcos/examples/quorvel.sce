// The relays' worked example for quorvel in Xcos (examples/quorvel.yaml in
// blocksim): thresholds 3 and 1, the inputs of examples/relay_inputs.csv
// (2, 4, 2, 0.5, 2, 3 at t = 0 .. 5), sampled once a second. quorvel gives
// 0, 1, 1, 0, 0, 0 (an int32: 1 above 3, 0 below 1).
// Run after exec("xcos/loader.sce", -1); leaves the recordings relay_input
// and relay_output (TOWS_c: .time, .values), 6 samples each.
scs_m = scicos_diagram();
scs_m.props.title = "quorvel";
scs_m.props.tf = 5.5;   // past the last sample: Xcos fires no event at the final time itself
[scs_m, input] = engine_diagram_table(scs_m, get_absolute_file_path("quorvel.sce") + "../../examples/relay_inputs.csv");
[scs_m, relay] = engine_diagram_add(scs_m, QUORVEL_c("define"), ["3"; "1"]);
[scs_m, samples] = engine_diagram_add(scs_m, SampleCLK("define"), ["1"; "0"]);
scs_m = engine_diagram_link(scs_m, [input 1], [relay 1]);
scs_m = engine_diagram_record(scs_m, [input 1], "relay_input", samples, 6);
scs_m = engine_diagram_record(scs_m, [relay 1], "relay_output", samples, 6);
