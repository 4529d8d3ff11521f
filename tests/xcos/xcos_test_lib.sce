// Shared by the Xcos tests (tests/xcos/CMakeLists.txt runs each NAME.sce
// with scilab-cli, or scilab-adv-cli where it needs a display). The environment gives ENGINE_BLOCKS_BUILD (the build
// folder), BLOCKSIM, PROJECT_DIR and OUT (a scratch folder of the test's own).
exec(getenv("PROJECT_DIR") + "/xcos/loader.sce", -1);
// The failure count is a global declared only inside functions: Scilab
// 6.1.1 corrupts its heap on exit after xcos_simulate when a global was
// declared at the top level before the simulation, blocks or no blocks.
function xt_start()
    global xt_failures xt_checks
    xt_failures = 0;
    xt_checks = 0;
endfunction
xt_start();

// blocksim's CSV for a model: the header's names and the numbers.
function [names, values] = xt_blocksim(model, name, options)
    if argn(2) < 3 then options = ""; end
    csv = getenv("OUT") + "/" + name + ".csv";
    command = """" + getenv("BLOCKSIM") + """ run """ + model + """ --no-plot --out """ + csv + """ " + options;
    [output, status] = unix_g(command + " 2>&1");
    if status <> 0 then
        error("blocksim failed: " + strcat(output, " "));
    end
    lines = mgetl(csv);
    names = strsplit(lines(1), ",")';
    values = csvRead(csv, ",", ".", "double", [], [], [], 1);
endfunction

// A model file of the test's own, in OUT, for xt_blocksim.
function path = xt_model(name, lines)
    path = getenv("OUT") + "/" + name + ".yaml";
    mputl(lines, path);
endfunction

// The rows of blocksim's CSV at the given times (within 1e-9 s: Xcos adds
// its sampling period up, blocksim multiplies the step).
function rows = xt_rows_at(values, times)
    rows = [];
    for t = times(:)'
        k = find(abs(values(:, 1) - t) < 1e-9);
        if size(k, "*") <> 1 then error(msprintf("blocksim wrote no row at t = %.17g", t)); end
        rows = [rows; k];
    end
endfunction

// Column of blocksim's CSV by signal name.
function column = xt_column(names, values, signal)
    k = find(names == signal);
    if k == [] then error("blocksim wrote no column " + signal); end
    column = values(:, k);
endfunction

function xt_check(condition, what)
    global xt_failures xt_checks
    xt_checks = xt_checks + 1;
    if and(condition) then
        mprintf("ok    %s\n", what);
    else
        mprintf("FAIL  %s\n", what);
        xt_failures = xt_failures + 1;
    end
endfunction

// Bit for bit, NaN equal to NaN.
function same = xt_same(a, b)
    same = and(size(a) == size(b));
    if same then
        same = and(a == b | (isnan(a) & isnan(b)));
    end
endfunction

// Blocks edited on a copy of the diagram's list, put back whole as Xcos's
// evaluation does: blocks changed in place in scs_m.objs once their links
// exist made xcos_simulate crash (Scilab 6.1.1).
// `which` is an interface function's name (every such block) or indices;
// edit(block) returns the changed block.
function scs_m = xt_edit_blocks(scs_m, which, edit)
    objs = scs_m.objs;
    for k = 1:size(objs)
        if typeof(objs(k)) == "Block" then
            if type(which) == 10 then
                chosen = objs(k).gui == which;
            else
                chosen = or(k == which);
            end
            if chosen then objs(k) = edit(objs(k)); end
        end
    end
    scs_m.objs = objs;
endfunction

// xcos_simulate with what it writes to the console: [ok, console lines,
// and the error it raised or ""]. Xcos shows a block's errors there only.
// The recordings reach the caller as from xcos_simulate.
function [ok, console, raised] = xt_simulate_logged(scs_m, name)
    log_file = getenv("OUT") + "/" + name + ".console";
    deletefile(log_file);
    ok = %f;
    raised = "";
    diary(log_file);
    try
        [cpr, ok] = xcos_simulate(scs_m, 4);
    catch
        raised = lasterror();
    end
    diary(log_file, "close");
    console = mgetl(log_file);
    recorded = xt_recording_names(scs_m);
    recorded = recorded(isdef(recorded, "l"));
    if recorded <> [] then
        list_of_names = strcat(recorded, ", ");
        execstr("[" + list_of_names + "] = resume(" + list_of_names + ")");
    end
endfunction

// The workspace variables the diagram's TOWS_c blocks record into.
function names = xt_recording_names(scs_m)
    names = [];
    for k = 1:size(scs_m.objs)
        o = scs_m.objs(k);
        if typeof(o) == "Block" then
            if o.gui == "TOWS_c" then names = [names, o.graphics.exprs(2)]; end
        end
    end
endfunction

// Their values, as the last simulation left them in the caller's workspace.
function recorded = xt_recordings(scs_m)
    recorded = list();
    for name = xt_recording_names(scs_m)
        execstr("recorded($ + 1) = " + name + ".values;");
    end
endfunction

// The message Xcos shows for a block's error while its simulation starts
// ("Initialisation problem"), joined back from the lines it was cut into.
function message = xt_block_error(console)
    message = "";
    heading = "Initialisation problem: <br/>";
    for line = console(:)'
        k = strindex(line, heading);
        if k <> [] then
            text = part(line, k(1) + length(heading):length(line));
            text = strsubst(strsubst(text, "</body></html>""", ""), "</body></html>", "");
            message = strsubst(text, "<br/>", "");
        end
    end
endfunction

// The message blocksim prints for a block failing in a method.
function message = xt_blocksim_block_error(model, name)
    csv = getenv("OUT") + "/" + name + ".csv";
    [output, status] = unix_g("""" + getenv("BLOCKSIM") + """ run """ + model + """ --no-plot --out """ + csv + """ 2>&1");
    message = "";
    for line = output(:)'
        k = strindex(line, "failed in mdlInitializeSizes: ");
        if k <> [] then
            message = part(line, k(1) + length("failed in mdlInitializeSizes: "):length(line));
        end
    end
    if status == 0 then message = "blocksim ran the model"; end
endfunction

// The diagram sampled every `period` s, `count` samples from t = 0: its
// SampleCLK clocks and TOWS_c buffers.
function scs_m = xt_resample(scs_m, period, count)
    function blk = set_period(blk)
        blk.graphics.exprs(1) = msprintf("%.17g", period);
    endfunction
    function blk = set_buffer(blk)
        blk.graphics.exprs(1) = string(count);
    endfunction
    scs_m = xt_edit_blocks(scs_m, "SampleCLK", set_period);
    scs_m = xt_edit_blocks(scs_m, "TOWS_c", set_buffer);
    scs_m.props.tf = (count - 1) * period + period / 2;
endfunction

// The largest difference, relative to the reference where its magnitude
// exceeds 1 (pressures in Pa, powers in W), absolute below.
function d = xt_difference(a, b)
    d = max(abs(a - b) ./ max(1, abs(b)));
endfunction

function xt_show(label, xcos_values, blocksim_values)
    mprintf("      %s\n        Xcos     %s\n        blocksim %s\n", label, ..
            strcat(msprintf("%.17g\n", xcos_values(:)), " "), strcat(msprintf("%.17g\n", blocksim_values(:)), " "));
endfunction

// A test script's catch: the error that ended it, where, and no verdict.
function xt_crashed()
    [message, number, line, where] = lasterror();
    mprintf("FAIL  %s (line %d of %s)\n", message, line, where);
    exit(1);
endfunction

// The verdict, written to OUT/verdict before Scilab exits:
// tests/xcos/run_test.sh judges the test by that file.
function xt_finish()
    global xt_failures xt_checks
    if xt_checks == 0 then
        verdict = "fail: no check ran";
    elseif xt_failures > 0 then
        verdict = msprintf("fail: %d of %d checks", xt_failures, xt_checks);
    else
        verdict = msprintf("pass: %d checks", xt_checks);
    end
    mprintf("%s\n", verdict);
    mputl(verdict, getenv("OUT") + "/verdict");
    exit(bool2s(xt_failures > 0 | xt_checks == 0));
endfunction
