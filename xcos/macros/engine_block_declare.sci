function [declared, mess] = engine_block_declare(sfunction, values)
    // Asks the block library what it declares for the dialog parameters in
    // the list `values`, running its mdlInitializeSizes (and with it its
    // mdlCheckParameters). mess is the block's refusal, or "" and then
    // declared is a struct of the ports, states and sample time.
    layout = [];
    numbers = [];
    for k = 1:size(values)
        v = values(k);
        select type(v)
        case 1 then
            if isreal(v) then
                layout = [layout, 0, size(v, 1), size(v, 2)];
                numbers = [numbers; v(:)];
            else
                layout = [layout, 1, size(v, 1), size(v, 2)];
                numbers = [numbers; real(v(:)); imag(v(:))];
            end
        case 4 then
            layout = [layout, 2, size(v, 1), size(v, 2)];
            numbers = [numbers; bool2s(v(:))];
        case 5 then
            layout = [layout, 5, size(v, 1), size(v, 2)];
            numbers = [numbers; full(v(:))];
        case 8 then
            layout = [layout, 4, size(v, 1), size(v, 2)];
            numbers = [numbers; double(v(:))];
        case 10 then
            codes = ascii(strcat(v(:)'));
            layout = [layout, 3, min(1, size(codes, "*")), size(codes, "*")];
            numbers = [numbers; codes(:)];
        else
            declared = [];
            mess = msprintf("parameter %d is a Scilab %s, which cannot be given to an S-function", k, typeof(v));
            return
        end
    end
    // call() takes no empty arguments; it hands the "i" ones over as C ints.
    if layout == [] then layout = [0 0 0]; end
    if numbers == [] then numbers = 0; end
    codes = ascii(sfunction);
    message_length = 1024;
    declared_length = 64;
    [message_codes, d] = call("engine_sfunction_declare", ..
        codes, 1, "i", size(codes, "*"), 2, "i", size(values), 3, "i", ..
        layout, 4, "i", numbers, 5, "d", message_length, 7, "i", declared_length, 9, "i", ..
        "out", [1, message_length], 6, "i", [1, declared_length], 8, "d");
    ends = find(message_codes == 0);
    mess = ascii(double(message_codes(1:ends(1) - 1)));
    if mess <> "" then
        declared = [];
        return
    end
    nin = d(1);
    nout = d(2);
    ports_in = matrix(d(5:4 + 2 * nin), 2, -1);
    ports_out = matrix(d(5 + 2 * nin:4 + 2 * nin + 2 * nout), 2, -1);
    declared = struct("in", ports_in(1, :)', "feedthrough", ports_in(2, :)' <> 0, ..
                      "out", ports_out(1, :)', "outtyp", ports_out(2, :)', ..
                      "nx", d(3), "continuous", d(4) == 0);
endfunction
