function blocks = block_manifest ()
  % BLOCK_MANIFEST  The block libraries listed in sfun/blocks.manifest.
  %
  %   blocks = block_manifest ()
  %
  % returns a struct array with fields name, level, parameters (the dialog
  % parameter count) and core (a cell array of the core/ sources the block
  % is built from beside sfun/NAME.cpp; words with '=' are the block's
  % properties, not sources).

  file = fullfile (fileparts (mfilename ('fullpath')), 'sfun', 'blocks.manifest');
  text = fileread (file);
  blocks = struct ('name', {}, 'level', {}, 'parameters', {}, 'core', {});
  lines = regexp (text, '\r?\n', 'split');
  for i = 1:numel (lines)
    line = strtrim (lines{i});
    if isempty (line) || line(1) == '#'
      continue;
    end
    words = regexp (line, '\s+', 'split');
    if numel (words) < 3
      error ('block_manifest: %s: ''%s'' needs a name, a level and a parameter count', file, line);
    end
    rest = words(4:end);
    is_source = cellfun (@isempty, strfind (rest, '='));
    blocks(end + 1) = struct ('name', words{1}, 'level', str2double (words{2}), ...
                              'parameters', str2double (words{3}), 'core', {rest(is_source)});
  end
end
