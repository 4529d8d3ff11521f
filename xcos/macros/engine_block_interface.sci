function [x, y, typ] = engine_block_interface(job, arg1, sfunction, title, labels, defaults, in_labels, out_labels)
    // The interface function of every engine block: BLOWER_c and the others
    // give their S-function name, dialog title, parameter labels, default
    // values (strings, as typed in the dialog) and port labels, and hand
    // Xcos's job here. The block's model:
    //   sim   the one computational function, engine_sfunction, of type 4
    //   ipar  the S-function name as character codes
    //   opar  one object per dialog parameter, in the block's order
    //   in, out, outtyp, state, dep_ut   as the block library declares them
    // so that the ports follow the library, never a second copy of it.
    x = [];
    y = [];
    typ = [];
    select job
    case "set" then
        x = arg1;
        exprs = x.graphics.exprs;
        if size(exprs, "*") == 0 then
            return
        end
        n = size(exprs, "*");
        types = list();
        for k = 1:n
            types($ + 1) = "gen";
            types($ + 1) = -1;
        end
        outputs = strcat("engine_block_value" + string(1:n), ",");
        while %t do
            execstr("[ok," + outputs + ",exprs] = scicos_getvalue(title, labels, types, exprs)");
            if ~ok then
                break
            end
            values = list();
            for k = 1:n
                execstr("values(k) = engine_block_value" + string(k));
            end
            [model, mess] = engine_block_model(x.model, sfunction, values);
            if mess <> "" & isequal(scicos_getvalue, setvalue) & ~isdef("engine_blocks_building_a_diagram") then
                // Xcos evaluates a script's dialog values before a run
                // (do_eval, with setvalue for the dialog). A refused value is
                // kept, not the block's earlier ones, so that the run stops
                // with the block's message when it starts: a batch run never
                // uses other values than those asked for.
                [parameters, type_problem] = engine_block_parameters(values);
                if type_problem <> "" then
                    error(msprintf("%s: %s", sfunction, type_problem));
                end
                x.model.opar = parameters;
                x.graphics.exprs = exprs;
                break
            elseif mess <> "" then
                message(mess);
                ok = %f;
            else
                x.model = model;
                x.graphics.exprs = exprs;
                break
            end
        end
    case "define" then
        global engine_blocks_toolbox_info
        if engine_blocks_toolbox_info == [] then
            error("Engine blocks: the toolbox is not loaded: exec(""xcos/loader.sce"", -1)");
        end
        expected = engine_blocks_toolbox_info.parameters(engine_blocks_toolbox_info.names == sfunction);
        if size(defaults, "*") <> expected | size(labels, "*") <> expected then
            error(msprintf("Engine blocks: %s has %d dialog parameters in sfun/blocks.records, its interface function gives %d", ..
                           sfunction, expected, size(defaults, "*")));
        end
        values = list();
        for k = 1:size(defaults, "*")
            values(k) = evstr(defaults(k));
        end
        model = scicos_model();
        model.sim = list("engine_sfunction", 4);
        model.blocktype = "c";
        [model, mess] = engine_block_model(model, sfunction, values);
        if mess <> "" then
            error(msprintf("Engine blocks: %s refuses its default parameters: %s", sfunction, mess));
        end
        exprs = [];
        if defaults <> [] then
            exprs = matrix(defaults, -1, 1);
        end
        width = max(3, 0.6 * max(size(model.in, "*"), size(model.out, "*")) + 2);
        gr_i = [];
        x = standard_define([width, max(2, size(model.in, "*"), size(model.out, "*"))], model, exprs, gr_i);
        // standard_define names the function that called it, this one.
        x.gui = convstr(sfunction, "u") + "_c";
        x.graphics.style = "blockWithLabel;displayedLabel=" + sfunction;
        x.graphics.in_label = matrix(in_labels, -1, 1);
        x.graphics.out_label = matrix(out_labels, -1, 1);
    end
endfunction

function [model, mess] = engine_block_model(model, sfunction, values)
    // The model for dialog parameters `values` (a list), or the block's own
    // refusal in mess.
    [declared, mess] = engine_block_declare(sfunction, values);
    if mess <> "" then
        return
    end
    [parameters, mess] = engine_block_parameters(values);
    if mess <> "" then
        return
    end
    model.ipar = ascii(sfunction)';
    model.opar = parameters;
    model.rpar = [];
    model.in = declared.in;
    model.in2 = ones(declared.in);
    model.intyp = ones(declared.in);
    model.out = declared.out;
    model.out2 = ones(declared.out);
    model.outtyp = declared.outtyp;
    model.state = zeros(declared.nx, 1);
    model.dep_ut = [or(declared.feedthrough), declared.continuous];
endfunction

function [parameters, mess] = engine_block_parameters(values)
    // The dialog values as the block's object parameters, or why one
    // cannot be passed in mess.
    parameters = list();
    mess = "";
    for k = 1:size(values)
        v = values(k);
        if type(v) == 8 then
            // Every integer class reaches the block as int32, as the check saw it.
            v = int32(v);
        elseif type(v) <> 1 then
            mess = msprintf("parameter %d: Xcos passes real, complex and integer matrices only, not a %s", k, typeof(v));
            return
        end
        parameters(k) = v;
    end
endfunction
