// Shared by the Xcos tests (tests/xcos/CMakeLists.txt runs each NAME.sce
// with scilab-cli). The environment gives ENGINE_BLOCKS_BUILD (the build
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

function xt_show(label, xcos_values, blocksim_values)
    mprintf("      %s\n        Xcos     %s\n        blocksim %s\n", label, ..
            strcat(msprintf("%.17g\n", xcos_values(:)), " "), strcat(msprintf("%.17g\n", blocksim_values(:)), " "));
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
