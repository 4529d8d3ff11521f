function blocks = block_manifest ()
  % BLOCK_MANIFEST  The block libraries of sfun/blocks.records.
  %
  %   blocks = block_manifest ()
  %
  % returns a struct array with fields name, level, parameters (the dialog
  % parameter count) and core (a cell array of the core/ sources the block
  % is built from beside sfun/NAME.cpp; words with '=' on a block's line
  % are its properties, not sources).

  file = fullfile (fileparts (mfilename ('fullpath')), 'sfun', 'blocks.records');
  text = fileread (file);
  blocks = struct ('name', {}, 'level', {}, 'parameters', {}, 'core', {});
  lines = regexp (text, '\r?\n', 'split');
  for i = 1:numel (lines)
    line = strtrim (lines{i});
    if isempty (line) || line(1) == '#'
      continue;
    end
    fields = strtrim (strsplit (line, ' | '));
    words = regexp (fields{min (2, numel (fields))}, '\s+', 'split');
    if strcmp (words{1}, 'block')
      if numel (fields) ~= 3 || numel (words) < 2
        error ('block_manifest: %s:%d: ''%s'' is no ''NAME | block LEVEL SOURCES... | title''', file, i, line);
      end
      rest = words(3:end);
      is_source = cellfun (@isempty, strfind (rest, '='));
      blocks(end + 1) = struct ('name', fields{1}, 'level', str2double (words{2}), ...
                                'parameters', 0, 'core', {rest(is_source)});
    elseif strcmp (words{1}, 'parameter')
      if isempty (blocks) || ~strncmp (fields{1}, [blocks(end).name '.'], numel (blocks(end).name) + 1)
        error ('block_manifest: %s:%d: ''%s'' is not of the block before it', file, i, line);
      end
      blocks(end).parameters = blocks(end).parameters + 1;
    end
  end
end
