// The engine demo as an Xcos diagram (examples/engine.yaml in blocksim): a
// two-stroke engine through a load ramp from 20 % to 115 % of its rated
// 25.04 MW in 60 s, with all five engine blocks and Xcos's own blocks for
// the rest: the load and speed ramps from a clock (engine_diagram_ramp says
// why not RAMP), INTEGRAL_m for the crank angle, GAINBLK, SUMMATION,
// CONST_m, MUX, EXTRACTOR (indices from 1: the command is element 5 of the
// controller's output) and a CLR 1/(1.5 s + 1) starting at 0.1 for the
// scavenge air system. Runge-Kutta 4 at a fixed step of 1 ms, as the
// model's ode4; samples every 10 ms from 0 to 60 s, the model's
// `log: every: 10`. xcos/examples/engine_demo.zcos is this diagram for the
// editor (save_engine_demo.sce writes it).
// Run after exec("xcos/loader.sce", -1); leaves scs_m, and once it has run
// the recordings (TOWS_c: .time, .values, 6001 samples) named after the
// model's signals: load_ratio, high_load, set_point, scavenge, command,
// schedule_a, schedule_b, valve_lift, crank_deg, scavenge_pressure,
// blower_switch, fan_flow (inlet flow, 3 elements: mass flow first) and
// fan_power.
// The blocks' indices stay inside this function: the recordings take the
// signals' names, and TOWS_c refuses a name the workspace holds otherwise.
function scs_m = engine_demo_diagram()
    scs_m = scicos_diagram();
    scs_m.props.title = "engine_demo";
    scs_m.props.tf = 60.005;   // past the last sample: Xcos fires no event at the final time itself
    scs_m = engine_diagram_fixed_step(scs_m, 0.001);

    // Engine power [W] and its ratio to the rated power.
    [scs_m, engine_load] = engine_diagram_ramp(scs_m, 396466.6666666667, 5.008e6);
    [scs_m, load_ratio] = engine_diagram_add(scs_m, GAINBLK("define"), ["3.993610223642173e-08"; "0"]);

    // Engine speed [rad/s] from 60 to 105 rpm, and the crank angle [rad].
    [scs_m, speed] = engine_diagram_ramp(scs_m, 0.07853981633974483, 6.283185307179586);
    [scs_m, crank] = engine_diagram_add(scs_m, INTEGRAL_m("define"));
    [scs_m, crank_deg] = engine_diagram_add(scs_m, GAINBLK("define"), ["57.29577951308232"; "0"]);

    // Scavenge air loop, pressures as a fraction of 2 bar above ambient.
    [scs_m, set_point_gain] = engine_diagram_add(scs_m, GAINBLK("define"), ["0.6"; "0"]);
    [scs_m, set_point_base] = engine_diagram_add(scs_m, CONST_m("define"), "0.15");
    [scs_m, set_point] = engine_diagram_add(scs_m, SUMMATION("define"), "[1;1]");
    [scs_m, controller_in] = engine_diagram_add(scs_m, MUX("define"), "3");
    [scs_m, controller] = engine_diagram_add(scs_m, BRISQUEL_c("define"));
    [scs_m, command] = engine_diagram_add(scs_m, EXTRACTOR("define"), "5");
    [scs_m, scavenge] = engine_diagram_lag(scs_m, 1.5, 0.1);

    // Exhaust valve: opening angle 100 + 2 * schedule_b degrees, dwell 20 * schedule_a degrees.
    [scs_m, schedule_a] = engine_diagram_add(scs_m, EXTRACTOR("define"), "1");
    [scs_m, schedule_b] = engine_diagram_add(scs_m, EXTRACTOR("define"), "4");
    [scs_m, valve_start_gain] = engine_diagram_add(scs_m, GAINBLK("define"), ["2"; "0"]);
    [scs_m, valve_start_base] = engine_diagram_add(scs_m, CONST_m("define"), "100");
    [scs_m, valve_start] = engine_diagram_add(scs_m, SUMMATION("define"), "[1;1]");
    [scs_m, valve_dwell] = engine_diagram_add(scs_m, GAINBLK("define"), ["20"; "0"]);
    [scs_m, valve] = engine_diagram_add(scs_m, TOLVANE_c("define"), ..
        ["0.1"; "1"; "50"; "60"; "1"; "[0 10 25 40 50]"; "[0 15 30 45 60]"; ..
         "[0 0.1 0.45 0.85 1]"; "[1 0.8 0.45 0.12 0]"]);

    // Scavenge pressure [Pa] and the auxiliary blower, switched on (1.0) below
    // 1.6 bar and off (0.0) above 1.8 bar.
    [scs_m, scavenge_gain] = engine_diagram_add(scs_m, GAINBLK("define"), ["200000"; "0"]);
    [scs_m, ambient] = engine_diagram_add(scs_m, CONST_m("define"), "100000");
    [scs_m, scavenge_pressure] = engine_diagram_add(scs_m, SUMMATION("define"), "[1;1]");
    [scs_m, blower_switch] = engine_diagram_add(scs_m, SARNITH_c("define"), ["180000"; "160000"]);
    [scs_m, inlet] = engine_diagram_add(scs_m, CONST_m("define"), "[100000; 300; 0]");
    [scs_m, outlet_rest] = engine_diagram_add(scs_m, CONST_m("define"), "[0; 0]");
    [scs_m, outlet] = engine_diagram_add(scs_m, MUX("define"), "[1; 2]");
    [scs_m, fan] = engine_diagram_add(scs_m, BLOWER_c("define"), ["0.72"; "[4.2 0.9 0.3]"; "0.0698"]);

    // High-load flag: 1 above 90 % load, 0 below 80 %.
    [scs_m, high_load] = engine_diagram_add(scs_m, QUORVEL_c("define"), ["0.9"; "0.8"]);

    links = [engine_load 1, load_ratio 1; engine_load 1, controller_in 1; speed 1, crank 1;
             load_ratio 1, set_point_gain 1; load_ratio 1, high_load 1;
             set_point_gain 1, set_point 1; set_point_base 1, set_point 2;
             scavenge 1, controller_in 2; scavenge 1, scavenge_gain 1; set_point 1, controller_in 3;
             controller_in 1, controller 1;
             controller 1, command 1; controller 1, schedule_a 1; controller 1, schedule_b 1;
             command 1, scavenge 1;
             schedule_b 1, valve_start_gain 1; valve_start_gain 1, valve_start 1; valve_start_base 1, valve_start 2;
             schedule_a 1, valve_dwell 1;
             crank 1, valve 1; crank 1, crank_deg 1; valve_start 1, valve 2; valve_dwell 1, valve 3;
             scavenge_gain 1, scavenge_pressure 1; ambient 1, scavenge_pressure 2;
             scavenge_pressure 1, blower_switch 1; scavenge_pressure 1, outlet 1; outlet_rest 1, outlet 2;
             inlet 1, fan 1; outlet 1, fan 2; blower_switch 1, fan 3];
    for k = 1:size(links, 1)
        scs_m = engine_diagram_link(scs_m, links(k, 1:2), links(k, 3:4));
    end

    [scs_m, samples] = engine_diagram_add(scs_m, SampleCLK("define"), ["0.01"; "0"]);
    recorded = list(list(load_ratio, "load_ratio"), list(high_load, "high_load"), list(set_point, "set_point"), ..
                    list(scavenge, "scavenge"), list(command, "command"), list(schedule_a, "schedule_a"), ..
                    list(schedule_b, "schedule_b"), list(valve, "valve_lift"), list(crank_deg, "crank_deg"), ..
                    list(scavenge_pressure, "scavenge_pressure"), list(blower_switch, "blower_switch"), ..
                    list(fan, "fan_flow"), list(fan, "fan_power", 3));
    for r = recorded
        port = 1;
        if size(r) > 2 then port = r(3); end
        scs_m = engine_diagram_record(scs_m, [r(1) port], r(2), samples, 6001);
    end
endfunction

scs_m = engine_demo_diagram();
clear engine_demo_diagram;
