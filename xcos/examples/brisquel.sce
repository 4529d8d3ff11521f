// The controller's worked example in Xcos (examples/brisquel.yaml in
// blocksim): constant inputs [12520000; 0.9375; 1.0] (scheduling input,
// measured value, set-point), outputs sampled at t = 0 and t = 0.1, on
// Xcos's default solver.
// The outputs lag one evaluation, and Xcos evaluates the block more often
// than blocksim's one ode1 step of 0.1 s:
//   t = 0    Xcos evaluates the outputs twice at t = 0 before it samples
//            them (its initialisation, then the sampling event), so the
//            sample is the vector the first evaluation staged, before the
//            block had read an input: the schedules' end values
//            1.05797398861621 and -8 (ratio 0) and command 0, not blocksim's
//            initial vector [1.07005329225731 1.2 1 -2.59972335254129 0.5 1];
//   t = 0.1  the schedules at ratio 0.5 and the constants, as in blocksim:
//            [0.890176689582543 1.2 1 -5.35141943573803 . 1], with the
//            command of Xcos's last evaluation before the sample
//            (0.51255 here; blocksim's 0.546875 is the command at t = 0).
// Run after exec("xcos/loader.sce", -1); leaves the recording
// controller_outputs (TOWS_c: .time, .values, one row of 6 per sample).
scs_m = scicos_diagram();
scs_m.props.title = "Brisquel";
scs_m.props.tf = 0.15;   // past the last sample: Xcos fires no event at the final time itself
[scs_m, inputs] = engine_diagram_add(scs_m, CONST_m("define"), "[12520000; 0.9375; 1.0]");
[scs_m, controller] = engine_diagram_add(scs_m, BRISQUEL_c("define"));
[scs_m, samples] = engine_diagram_add(scs_m, SampleCLK("define"), ["0.1"; "0"]);
scs_m = engine_diagram_link(scs_m, [inputs 1], [controller 1]);
scs_m = engine_diagram_record(scs_m, [controller 1], "controller_outputs", samples, 2);
