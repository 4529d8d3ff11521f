// A parameter the block refuses stops Xcos with the block's own message,
// the one blocksim prints for the same value and sfun/ documents:
// - dialog values: the block's "set" refuses them while the diagram is
//   built (engine_diagram_add raises); set from a script (graphics.exprs
//   changed), Xcos's evaluation before a run keeps them, and the block
//   refuses them when Xcos initialises it: xcos_simulate returns ok = %F
//   with the message, and never runs the block's earlier parameters;
// - parameters that reach the simulation (model.opar edited, the dialog
//   values cleared so that Xcos's evaluation keeps them): the block's
//   mdlCheckParameters refuses them when Xcos initialises it, and
//   xcos_simulate returns ok = %F with the message.
try
    exec(getenv("PROJECT_DIR") + "/tests/xcos/xcos_test_lib.sce", -1);
    short_characteristic = "Parameter 2 (alpha, beta, gamma) needs at least 3 elements, but has 2.";
    type_refused = "The data type and or complexity of parameter  1 does not match the information " + ..
                   "specified in the S-function Builder dialog. For non-double parameters you will need " + ..
                   "to cast them using int8, int16, int32, uint8, uint16, uint32 or boolean.";

    blower_model = xt_model("short_characteristic", [
        "solver: {method: ode1, step: 1, stop: 0}"
        "blocks:"
        "  inlet: {type: Constant, value: [100000, 350, 1]}"
        "  outlet: {type: Constant, value: [150000, 0, 0]}"
        "  drive: {type: Constant, value: 1}"
        "  fan: {sfunction: blower, parameters: [0.7, [2, 0.5], 0.0698]}"
        "connections:"
        "  - inlet.0 -> fan.0"
        "  - outlet.0 -> fan.1"
        "  - drive.0 -> fan.2"]);
    from_blocksim = xt_blocksim_block_error(blower_model, "short_characteristic");
    xt_check(from_blocksim == short_characteristic, "blocksim refuses blower''s 2-element characteristic: " + from_blocksim);

    bad_dialog = ["0.7"; "[2 0.5]"; "0.0698"];
    raised = "";
    try
        [scs_m, fan] = engine_diagram_add(scicos_diagram(), BLOWER_c("define"), bad_dialog);
    catch
        raised = lasterror();
    end
    xt_check(strindex(raised, short_characteristic) <> [], "engine_diagram_add raises the block''s message: " + raised);

    exec(getenv("PROJECT_DIR") + "/xcos/examples/blower.sce", -1);
    [cpr, ok] = xcos_simulate(scs_m, 4);
    xt_check(ok & isdef("fan_power"), "the example runs and records the power");
    clear fan_power;
    function blk = with_bad_dialog(blk)
        blk.graphics.exprs = bad_dialog;
    endfunction
    [ok, console, raised] = xt_simulate_logged(xt_edit_blocks(scs_m, fan, with_bad_dialog), "bad_dialog");
    xt_check(~ok & raised == "", "a dialog value set by a script and refused: xcos_simulate returns ok = %F");
    xt_check(xt_block_error(console) == short_characteristic, "with the block''s message: " + xt_block_error(console));
    xt_check(grep(console, "Evaluation problem") == [] & ~isdef("fan_power"), ..
             "and no run with the block''s earlier parameters: no power recorded");

    function blk = with_bad_parameter(blk)
        blk.graphics.exprs = [];
        blk.model.opar(2) = [2 0.5];
    endfunction
    [ok, console, raised] = xt_simulate_logged(xt_edit_blocks(scs_m, fan, with_bad_parameter), "bad_parameter");
    xt_check(~ok & raised == "", "a blower parameter refused at initialisation: xcos_simulate returns ok = %F");
    xt_check(xt_block_error(console) == short_characteristic, "with the block''s message: " + xt_block_error(console));

    relay_model = xt_model("empty_threshold", [
        "solver: {method: ode1, step: 1, stop: 0}"
        "blocks:"
        "  input: {type: Constant, value: 2}"
        "  relay: {sfunction: sarnith, parameters: [[], 1]}"
        "connections:"
        "  - input.0 -> relay.0"]);
    from_blocksim = xt_blocksim_block_error(relay_model, "empty_threshold");
    xt_check(from_blocksim == type_refused, "blocksim refuses sarnith''s empty upper threshold: " + from_blocksim);
    exec(getenv("PROJECT_DIR") + "/xcos/examples/sarnith.sce", -1);
    function blk = with_empty_threshold(blk)
        blk.graphics.exprs = [];
        blk.model.opar(1) = [];
    endfunction
    [ok, console, raised] = xt_simulate_logged(xt_edit_blocks(scs_m, relay, with_empty_threshold), "empty_threshold");
    xt_check(~ok & raised == "", "an empty sarnith threshold refused at initialisation: xcos_simulate returns ok = %F");
    xt_check(xt_block_error(console) == type_refused, "with the block''s message: " + xt_block_error(console));

    // A text or an integer beyond int32 typed into a dialog: the block's
    // own check refuses the text, the host the integer, and Scilab lives on.
    for text = ["abc", ""]
        [declared, mess] = engine_block_declare("sarnith", list(text, 1));
        xt_check(mess == type_refused, "sarnith refuses the text """ + text + """ by its own check: " + mess);
    end
    [declared, mess] = engine_block_declare("quorvel", list(uint32(4000000000), 1));
    xt_check(mess == "dialog parameter 1: 4e+09 is no int32 value (a whole number from -2147483648 to 2147483647)", ..
             "an integer beyond int32 is refused, not wrapped: " + mess);
catch
    xt_crashed();
end
xt_finish();
