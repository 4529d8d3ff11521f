// Loads the engine blocks toolbox into Scilab: exec("xcos/loader.sce", -1)
// from the project folder, after `make xcos`. Loads Xcos, the computational
// function of the blocks, the interface functions and, with a GUI, the
// palette "Engine blocks".
exec(get_absolute_file_path("loader.sce") + "etc/engine_blocks.start", -1);
