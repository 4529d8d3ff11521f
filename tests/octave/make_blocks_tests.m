## make_blocks.m as an Octave user runs it: into a folder whose name has a
## space, a failed build reported with the compiler's own message, and the
## session's CXXFLAGS left as they were. $PROJECT_DIR is the project, $OUT
## an output folder of the build.

%!test
%! project = getenv ("PROJECT_DIR");
%! outdir = fullfile (getenv ("OUT"), "make_blocks output");
%! addpath (project);
%! setenv ("CXXFLAGS", "-O1 of the session");
%! unwind_protect
%!   make_blocks (outdir);
%!   assert (getenv ("CXXFLAGS"), "-O1 of the session");
%!   addpath (outdir);
%!   for block = block_manifest ()
%!     assert (exist (block.name), 3, [block.name " is not a MEX file on the path"]);
%!     sizes = feval (block.name, 0, [], [], 0);
%!     assert (sizes(38), block.level);
%!   endfor
%! unwind_protect_cleanup
%!   rmpath (outdir);
%!   rmpath (project);
%!   unsetenv ("CXXFLAGS");
%! end_unwind_protect

%!test
%! ## A copy of make_blocks in a tree of its own with one block that does not compile.
%! project = getenv ("PROJECT_DIR");
%! tree = [tempname() " tree"];
%! mkdir (fullfile (tree, "sfun"));
%! copyfile (fullfile (project, "make_blocks.m"), tree);
%! copyfile (fullfile (project, "block_manifest.m"), tree);
%! fid = fopen (fullfile (tree, "sfun", "blocks.records"), "w");
%! fputs (fid, "# one block\nbroken | block 2 | a block that does not compile\nbroken.u | input 0 | 1 | its input | 0\n");
%! fclose (fid);
%! fid = fopen (fullfile (tree, "sfun", "broken.cpp"), "w");
%! fputs (fid, "this is not C++\n");
%! fclose (fid);
%! addpath (tree);
%! unwind_protect
%!   message = "";
%!   try
%!     make_blocks (fullfile (tree, "out dir"));
%!   catch err
%!     message = err.message;
%!   end_try_catch
%!   assert (strncmp (message, "make_blocks: building broken failed:", 36), message);
%!   assert (! isempty (strfind (message, "broken.cpp:1")), message);
%!   assert (! isempty (strfind (message, "error")), message);
%! unwind_protect_cleanup
%!   rmpath (tree);
%!   confirm_recursive_rmdir (false, "local");
%!   rmdir (tree, "s");
%! end_unwind_protect
