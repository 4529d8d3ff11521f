// The committed xcos/examples/engine_demo.zcos loads back and runs: it holds
// the blocks and dialog values that xcos/examples/engine_demo.sce builds
// (so it is not stale: regenerate it with save_engine_demo.sce), and
// simulates to the very recordings of the diagram that script builds.
// Reading a .zcos takes Scilab's Java side (importXcosDiagram refuses to
// under scilab-cli), so this test runs under scilab-adv-cli on a virtual
// display, without a window.
try
    exec(getenv("PROJECT_DIR") + "/tests/xcos/xcos_test_lib.sce", -1);
    // Each block as its interface function and dialog values, sorted: the
    // file may list the objects in another order.
    function described = blocks_of(scs_m)
        described = [];
        for k = 1:size(scs_m.objs)
            o = scs_m.objs(k);
            if typeof(o) == "Block" then
                values = "";
                if o.graphics.exprs <> [] then values = strcat(string(o.graphics.exprs), " | "); end
                described = [described; o.gui + ": " + values];
            end
        end
        described = gsort(described, "g", "i");
    endfunction

    exec(getenv("PROJECT_DIR") + "/xcos/examples/engine_demo.sce", -1);
    built = scs_m;
    [cpr, ok] = xcos_simulate(built, 4);
    xt_check(ok, "the diagram of engine_demo.sce runs");
    from_script = xt_recordings(built);
    for name = xt_recording_names(built)
        clear(name);
    end

    clear scs_m;
    loaded = importXcosDiagram(getenv("PROJECT_DIR") + "/xcos/examples/engine_demo.zcos");
    xt_check(loaded, "importXcosDiagram reads engine_demo.zcos");
    xt_check(xt_same(blocks_of(scs_m), blocks_of(built)), ..
             msprintf("it holds the %d blocks and dialog values of engine_demo.sce", size(blocks_of(built), "*")));
    xt_check(and(scs_m.props.tol == built.props.tol) & scs_m.props.tf == built.props.tf, ..
             "and its solver (Runge-Kutta 4 at 1 ms) and final time");
    [cpr, ok] = xcos_simulate(scs_m, 4);
    xt_check(ok, "the loaded diagram runs");
    xt_check(xt_same(xt_recording_names(scs_m), xt_recording_names(built)), "with the same recordings");
    from_file = xt_recordings(scs_m);
    same = size(from_file) == size(from_script);
    for k = 1:size(from_script)
        same = same & xt_same(from_file(k), from_script(k));
    end
    xt_check(same, "its recordings equal the script''s diagram''s bit for bit");
catch
    xt_crashed();
end
xt_finish();
