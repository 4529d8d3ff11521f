// The valve lift's worked example in Xcos (examples/tolvane.yaml in
// blocksim): peak_lift 2, start signal 80, dwell signal 20, open and close
// durations 40, tables [0 20 40] / [0 0.3 1] and [1 0.3 0]. The crank angle
// sweeps one degree per second (the clock through a gain of pi/180 as
// 3.14159265359/180), so the sample at t = d holds degree value d; samples
// every 10 s from 0 to 450.
// Run after exec("xcos/loader.sce", -1); leaves the recording valve_lift
// (TOWS_c: .time, .values), 46 samples.
scs_m = scicos_diagram();
scs_m.props.title = "Tolvane";
scs_m.props.tf = 455;   // past the last sample: Xcos fires no event at the final time itself
[scs_m, clock_time] = engine_diagram_add(scs_m, TIME_f("define"));
[scs_m, crank_angle] = engine_diagram_add(scs_m, GAINBLK("define"), "0.017453292519944444");
[scs_m, start_signal] = engine_diagram_add(scs_m, CONST_m("define"), "80");
[scs_m, dwell_signal] = engine_diagram_add(scs_m, CONST_m("define"), "20");
[scs_m, valve] = engine_diagram_add(scs_m, TOLVANE_c("define"), ..
    ["2"; "1"; "40"; "40"; "1"; "[0 20 40]"; "[0 20 40]"; "[0 0.3 1]"; "[1 0.3 0]"]);
[scs_m, samples] = engine_diagram_add(scs_m, SampleCLK("define"), ["10"; "0"]);
scs_m = engine_diagram_link(scs_m, [clock_time 1], [crank_angle 1]);
scs_m = engine_diagram_link(scs_m, [crank_angle 1], [valve 1]);
scs_m = engine_diagram_link(scs_m, [start_signal 1], [valve 2]);
scs_m = engine_diagram_link(scs_m, [dwell_signal 1], [valve 3]);
scs_m = engine_diagram_record(scs_m, [valve 1], "valve_lift", samples, 46);
