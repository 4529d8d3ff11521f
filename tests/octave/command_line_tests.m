## The block MEX files in GNU Octave, called from the command line as
## sizes = NAME(t, x, u, flag, params...). Needs the Octave MEX files and
## block_manifest.m on the path and $BLOCKSIM, whose "info --raw" gives the
## size fields that our own host returns for the same block and parameters.

%!shared blocks, params, yaml_params, kinds
%! manifest = block_manifest ();
%! blocks = {manifest.name};
%! kinds = arrayfun (@(block) sprintf ("level%d", block.level), manifest, "UniformOutput", false);
%! ## Valid dialog parameters of each block, as Octave values and as blocksim writes them.
%! examples = struct ("blower", {{{0.7, [2 0.5 0.1], 0.0698}, "0.7 '[2, 0.5, 0.1]' 0.0698"}}, ...
%!                    "Tolvane", {{{2, 1, 40, 40, 1, [0 20 40], [0 20 40], [0 0.3 1], [1 0.3 0]}, ...
%!                                 "2 1 40 40 1 '[0, 20, 40]' '[0, 20, 40]' '[0, 0.3, 1]' '[1, 0.3, 0]'"}}, ...
%!                    "Brisquel", {{{}, ""}}, ...
%!                    "sarnith", {{{3, 1}, "3 1"}}, ...
%!                    "quorvel", {{{3, 1}, "3 1"}});
%! params = cellfun (@(name) examples.(name){1}, blocks, "UniformOutput", false);
%! yaml_params = cellfun (@(name) examples.(name){2}, blocks, "UniformOutput", false);
%! assert (cellfun (@numel, params), [manifest.parameters]);

%!function fields = host_size_fields (name, args)
%!  [status, out] = system (sprintf ('"%s" info %s %s --raw', getenv ("BLOCKSIM"), name, args));
%!  assert (status, 0, out);
%!  lines = strsplit (strtrim (out), "\n");
%!  fields = cellfun (@(line) sscanf (line, "%*d %f", 1), lines)(:);
%!endfunction

## The MEX error text after Octave's "NAME: " prefix.
%!function message = mex_error (nout, name, varargin)
%!  message = "";
%!  try
%!    out = cell (1, nout);
%!    [out{:}] = feval (name, varargin{:});
%!  catch err
%!    prefix = [name ": "];
%!    assert (strncmp (err.message, prefix, numel (prefix)), true, err.message);
%!    message = err.message(numel (prefix) + 1:end);
%!    return;
%!  end_try_catch
%!  error ("%s did not fail", name);
%!endfunction

%!test
%! for i = 1:numel (blocks)
%!   sizes = feval (blocks{i}, 0, [], [], 0, params{i}{:});
%!   assert (class (sizes), "double");
%!   assert (size (sizes), [38 1]);
%!   assert (sizes, host_size_fields (blocks{i}, yaml_params{i}));
%! endfor

%!test
%! ## Values that do not depend on our own host: level, options, ports, types.
%! sizes = blower (0, [], [], 0, 0.7, [2 0.5 0.1], 0.0698);
%! assert (sizes([3 4 15 16 34 38])', [7 7 3 3 hex2dec("20080002") 2]);
%! sizes = quorvel (0, [], [], 0, 3, 1);
%! assert (sizes([26 27 35 36 37])', [1 10 1 1 6]);
%! sizes = Brisquel (0, [], [], 0);
%! assert (sizes([1 3 4 6 38])', [2 6 3 1 1]);

%!test
%! for i = 1:numel (blocks)
%!   who = sprintf ('MEX %s S-function "%s"', kinds{i}, blocks{i});
%!   assert (mex_error (1, blocks{i}, 0, [], []), [who " must be called with at least 4 right hand arguments"]);
%!   assert (mex_error (1, blocks{i}), [who " must be called with at least 4 right hand arguments"]);
%!   assert (mex_error (2, blocks{i}, 0, [], [], 0, params{i}{:}), [who " called with too many left hand arguments"]);
%!   not_integer = ["The 4th right hand argument, FLAG, passed to " who " must be an integer"];
%!   for flag = {single(0), true, [], 1.5, 1i, [0 0], NaN, int32(0), "0"}
%!     assert (mex_error (1, blocks{i}, 0, [], [], flag{1}, params{i}{:}), not_integer);
%!   endfor
%!   assert (mex_error (1, blocks{i}, 0, [], [], 2, params{i}{:}), ["Invalid flag passed to " who]);
%!   assert (mex_error (0, blocks{i}, 0, [], [], -1, params{i}{:}), ["Invalid flag passed to " who]);
%! endfor

%!test
%! ## Parameter checks run in the command-line call too.
%! assert (mex_error (1, "blower", 0, [], [], 0, 0.7, single ([2 0.5 0.1]), 0.0698), ...
%!         ["The data type and or complexity of parameter  2 does not match the information specified ", ...
%!          "in the S-function Builder dialog. For non-double parameters you will need to cast them ", ...
%!          "using int8, int16, int32, uint8, uint16, uint32 or boolean."]);
%! assert (mex_error (1, "Brisquel", 0, [], [], 0, 1), "wrong number of parameters given by Simulink");

%!test
%! ## A library copied to another file name refuses to run.
%! folder = tempname ();
%! mkdir (folder);
%! unwind_protect
%!   copyfile (which ("blower"), fullfile (folder, "fan.mex"));
%!   addpath (folder);
%!   assert (mex_error (1, "fan", 0, [], [], 0, 0.7, [2 0.5 0.1], 0.0698), ...
%!           ['S-function name mismatch. Name in source is "#define S_FUNCTION_NAME blower", ', ...
%!            'whereas name of the S-function MEX file is "fan". The source needs to be updated']);
%! unwind_protect_cleanup
%!   clear fan;
%!   rmpath (folder);
%!   confirm_recursive_rmdir (false, "local");
%!   rmdir (folder, "s");
%! end_unwind_protect
