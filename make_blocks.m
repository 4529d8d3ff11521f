function make_blocks (outdir)
  % MAKE_BLOCKS  Builds the block libraries of sfun/blocks.records from sfun/ and core/.
  %
  %   make_blocks          builds into the folder of this file
  %   make_blocks (DIR)    builds into DIR
  %
  % In MATLAB this compiles the sources with MATLAB's mex against MATLAB's
  % own S-function SDK (simstruc.h and simulink.c from matlabroot). In GNU
  % Octave it uses mkoctfile --mex with Octave's mex.h and the simstruc.h and
  % simulink.c of sdk/simulink. Add the output folder to the path to use the
  % blocks.
  %
  % The blocks' numbers rest on IEEE double arithmetic in the written order:
  % no fused multiply-add, and on 32-bit x86 SSE2 rather than x87 registers.

  here = fileparts (mfilename ('fullpath'));
  if nargin < 1
    outdir = here;
  end
  if ~exist (outdir, 'dir')
    mkdir (outdir);
  end

  in_octave = exist ('OCTAVE_VERSION', 'builtin') ~= 0;
  blocks = block_manifest ();
  for i = 1:numel (blocks)
    name = blocks(i).name;
    sources = [{fullfile(here, 'sfun', [name '.cpp'])}, ...
               cellfun(@(f) fullfile(here, 'core', f), blocks(i).core, 'UniformOutput', false)];
    fprintf ('building %s\n', name);
    if in_octave
      build_with_mkoctfile (here, make_absolute_filename (outdir), name, sources);
    else
      flags = 'CXXFLAGS=$CXXFLAGS -std=c++17 -ffp-contract=off';
      if any (strcmp (computer ('arch'), {'win32', 'glnx86'}))
        flags = [flags ' -msse2 -mfpmath=sse'];
      end
      mex ('-outdir', outdir, ['-I' here], ['-I' fullfile(matlabroot, 'simulink', 'include')], ...
           flags, sources{:});
    end
  end
end

% mkoctfile quotes its sources and include folders but not the output it
% hands the linker, so it runs in the output folder with a bare name; the
% compiler flags go in its environment alone, and its messages, stderr
% included, into the error.
function build_with_mkoctfile (here, outdir, name, sources)
  flags = '-O2 -std=c++17 -ffp-contract=off -Werror=write-strings';
  if ~isempty (regexp (computer (), '^i[3-6]86', 'once'))
    flags = [flags ' -msse2 -mfpmath=sse'];
  end
  arguments = [{'--mex', '-DMATLAB_MEX_FILE', ['-I' here], ['-I' fullfile(here, 'sdk', 'simulink')]}, ...
               sources, {'-o', name}];
  command = sprintf ('cd %s && CXXFLAGS=%s %s %s 2>&1', shell_quote (outdir), shell_quote (flags), ...
                     shell_quote (mkoctfile_program ()), strjoin (cellfun (@shell_quote, arguments, ...
                                                                           'UniformOutput', false), ' '));
  [status, output] = system (command);
  if status ~= 0
    error ('make_blocks: building %s failed:\n%s', name, output);
  end
end

% The mkoctfile of the running Octave.
function program = mkoctfile_program ()
  program = fullfile (OCTAVE_HOME (), 'bin', sprintf ('mkoctfile-%s', OCTAVE_VERSION ()));
  if ~exist (program, 'file')
    program = 'mkoctfile';
  end
end

function quoted = shell_quote (text)
  quoted = ['''' strrep(text, '''', '''\''''') ''''];
end
