function make_blocks (outdir)
  % MAKE_BLOCKS  Builds the block libraries of sfun/blocks.manifest from sfun/ and core/.
  %
  %   make_blocks          builds into the folder of this file
  %   make_blocks (DIR)    builds into DIR
  %
  % In MATLAB this compiles the sources with MATLAB's mex against MATLAB's
  % own S-function SDK (simstruc.h and simulink.c from matlabroot). In GNU
  % Octave it uses mkoctfile --mex with Octave's mex.h and the simstruc.h and
  % simulink.c of sdk/simulink. Add the output folder to the path to use the
  % blocks.

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
      setenv ('CXXFLAGS', '-O2 -std=c++17 -ffp-contract=off');
      [output, status] = mkoctfile ('--mex', ['-I' here], ['-I' fullfile(here, 'sdk', 'simulink')], ...
                                    sources{:}, '-o', fullfile (outdir, name));
      if status ~= 0
        error ('make_blocks: building %s failed:\n%s', name, output);
      end
    else
      mex ('-outdir', outdir, ['-I' here], ['-I' fullfile(matlabroot, 'simulink', 'include')], ...
           'CXXFLAGS=$CXXFLAGS -std=c++17 -ffp-contract=off', sources{:});
    end
  end
end
