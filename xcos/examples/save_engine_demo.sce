// Writes xcos/examples/engine_demo.zcos, the engine demo of engine_demo.sce
// laid out for the editor. Writing a .zcos takes Scilab's Java side and a
// display; from the project folder, after `make xcos`:
//   xvfb-run -a scilab-adv-cli -nb -quit -f xcos/examples/save_engine_demo.sce
// (or without xvfb-run in a desktop session).
examples = get_absolute_file_path("save_engine_demo.sce");
exec(examples + "../loader.sce", -1);
exec(examples + "engine_demo.sce", -1);
scs_m = engine_diagram_layout(scs_m);
xcosDiagramToScilab(examples + "engine_demo.zcos", scs_m);
mprintf("wrote %s\n", examples + "engine_demo.zcos");
