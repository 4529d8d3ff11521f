// Repeated simulations leak nothing: the engine demo's diagram (all five
// blocks, Brisquel's control record and states included) cut to 0.1 s, run
// 200 times in one session. Every run gives the same recordings bit for
// bit, and the process's resident memory (VmRSS) after the last run exceeds
// what it was after a warm-up of 20 runs by less than 512 kB: with the
// computational function's Ending leaving its block instances undeleted,
// it grows by 2.4 MB over the same runs. XCOS_REPEATED_RUNS sets another
// count (make test runs 200), the warm-up then a tenth of it, at most 20.
try
    exec(getenv("PROJECT_DIR") + "/tests/xcos/xcos_test_lib.sce", -1);
    function kb = resident_kb()
        status = mgetl("/proc/self/status");
        fields = tokens(status(grep(status, "VmRSS:")));
        kb = evstr(fields(2));
    endfunction

    exec(getenv("PROJECT_DIR") + "/xcos/examples/engine_demo.sce", -1);
    scs_m = xt_resample(scs_m, 0.01, 11);
    runs = evstr(getenv("XCOS_REPEATED_RUNS", "200"));
    if runs < 2 then
        error(msprintf("XCOS_REPEATED_RUNS is %d: the test compares runs, it needs 2 at least", runs));
    end
    warm_up = max(1, min(20, floor(runs / 10)));
    all_ok = %t;
    all_same = %t;
    for run = 1:runs
        [cpr, ok] = xcos_simulate(scs_m, 4);
        all_ok = all_ok & ok;
        if run == 1 then
            first = xt_recordings(scs_m);
        else
            latest = xt_recordings(scs_m);
            for k = 1:size(first)
                all_same = all_same & xt_same(latest(k), first(k));
            end
        end
        if run == warm_up then
            after_warm_up = resident_kb();
        end
    end
    growth = resident_kb() - after_warm_up;
    xt_check(all_ok, msprintf("%d runs of the engine demo diagram", runs));
    xt_check(all_same, "every run records the same signals, bit for bit");
    xt_check(growth < 512, msprintf("VmRSS grew by %d kB from run %d to run %d (%d kB after the warm-up)", ..
                                    growth, warm_up, runs, after_warm_up));
    scavenge_level = first(find(xt_recording_names(scs_m) == "scavenge"));
    xt_check(size(first) == 13 & or(scavenge_level <> scavenge_level(1)), "the runs integrate: 13 recordings, the scavenge level moves");
catch
    xt_crashed();
end
xt_finish();
