// The blower's worked example in Xcos (examples/blower.yaml in blocksim):
// eta 0.7, [alpha beta gamma] [2 0.5 0.1], sigma 0.0698, outlet 150000 Pa,
// drive 1; stoichiometric gas at 350 K (fan) and air at 300 K (air_fan).
// Run after exec("xcos/loader.sce", -1); leaves the recordings fan_in,
// fan_out, fan_power, air_fan_in and air_fan_power (TOWS_c: .time, .values).
scs_m = scicos_diagram();
scs_m.props.title = "blower";
scs_m.props.tf = 1;
[scs_m, gas_inlet] = engine_diagram_add(scs_m, CONST_m("define"), "[100000; 350; 1]");
[scs_m, air_inlet] = engine_diagram_add(scs_m, CONST_m("define"), "[100000; 300; 0]");
[scs_m, outlet] = engine_diagram_add(scs_m, CONST_m("define"), "[150000; 0; 0]");
[scs_m, drive] = engine_diagram_add(scs_m, CONST_m("define"), "1");
[scs_m, fan] = engine_diagram_add(scs_m, BLOWER_c("define"));
[scs_m, air_fan] = engine_diagram_add(scs_m, BLOWER_c("define"));
[scs_m, clock] = engine_diagram_add(scs_m, SampleCLK("define"), ["1"; "0"]);
scs_m = engine_diagram_link(scs_m, [gas_inlet 1], [fan 1]);
scs_m = engine_diagram_link(scs_m, [air_inlet 1], [air_fan 1]);
for b = [fan air_fan]
    scs_m = engine_diagram_link(scs_m, [outlet 1], [b 2]);
    scs_m = engine_diagram_link(scs_m, [drive 1], [b 3]);
end
scs_m = engine_diagram_record(scs_m, [fan 1], "fan_in", clock, 8);
scs_m = engine_diagram_record(scs_m, [fan 2], "fan_out", clock, 8);
scs_m = engine_diagram_record(scs_m, [fan 3], "fan_power", clock, 8);
scs_m = engine_diagram_record(scs_m, [air_fan 1], "air_fan_in", clock, 8);
scs_m = engine_diagram_record(scs_m, [air_fan 3], "air_fan_power", clock, 8);
