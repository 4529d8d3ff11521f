// blocksim as a user runs it: each block's example model, and the errors a
// user can cause, with their messages and exit codes.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <iterator>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "blocksim_fixture.hpp"
#include "worked_examples.hpp"

namespace {

TEST_F(Blocksim, BlowerExampleGivesTheWorkedExample) {
    const Result result = blocksim("run " + example("blower.yaml") + " --out blower.csv --no-plot");
    ASSERT_EQ(0, result.status) << result.output;
    const auto [header, rows] = csv("blower.csv");
    ASSERT_EQ(1u, rows.size());
    EXPECT_EQ((std::vector<std::string>{"time", "fan.0[0]", "fan.0[1]", "fan.0[2]", "fan.1[0]", "fan.1[1]",
                                        "fan.1[2]", "fan.2[0]", "air_fan.0[0]", "air_fan.0[1]", "air_fan.0[2]",
                                        "air_fan.2[0]"}),
              header);
    const auto& example = worked_examples::blower_gas;
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_TEN_DIGITS(example.inlet_flow[i], rows[0][1 + i]) << header[1 + i];
        EXPECT_TEN_DIGITS(example.outlet_flow[i], rows[0][4 + i]) << header[4 + i];
    }
    EXPECT_TEN_DIGITS(example.power, rows[0][7]);
    EXPECT_TEN_DIGITS(worked_examples::blower_air_mass_flow, rows[0][8]);
    EXPECT_EQ(0.0, rows[0][10]);
    EXPECT_TEN_DIGITS(worked_examples::blower_air_power, rows[0][11]);
}

TEST_F(Blocksim, TolvaneExampleGivesTheWorkedExample) {
    const Result result = blocksim("run " + example("tolvane.yaml") + " --out valve.csv --no-plot");
    ASSERT_EQ(0, result.status) << result.output;
    const auto rows = csv("valve.csv").second;
    const std::map<double, double> expected = {{80, 0},   {90, 0.3}, {120, 2}, {130, 2},
                                               {150, 1.3}, {180, 0},  {450, 0.3}};
    int found = 0;
    for (const auto& row : rows)
        if (expected.count(row[0])) {
            EXPECT_NEAR(expected.at(row[0]), row[1], 1e-9) << "degree value " << row[0];
            ++found;
        }
    EXPECT_EQ(7, found);
}

TEST_F(Blocksim, BrisquelExampleGivesTheJustLoadedSequence) {
    const Result result = blocksim("run " + example("brisquel.yaml") + " --out controller.csv --no-plot");
    ASSERT_EQ(0, result.status) << result.output;
    const auto rows = csv("controller.csv").second;
    ASSERT_EQ(2u, rows.size());
    EXPECT_EQ((std::vector<double>{0, 1.07005329225731, 1.2, 1.0, -2.59972335254129, 0.5, 1.0}), rows[0]);
    EXPECT_EQ((std::vector<double>{0.1, 0.890176689582543, 1.2, 1.0, -5.35141943573803, 0.546875, 1.0}), rows[1]);
}

TEST_F(Blocksim, RelayExamplesGiveTheWorkedExample) {
    for (const auto& [name, outputs] :
         std::vector<std::pair<std::string, std::vector<double>>>{{"sarnith", {0, 0, 0, 1, 1, 1}},
                                                                  {"quorvel", {0, 1, 1, 0, 0, 0}}}) {
        const Result result = blocksim("run " + example(name + ".yaml") + " --out " + name + ".csv --no-plot");
        ASSERT_EQ(0, result.status) << result.output;
        const auto rows = csv(name + ".csv").second;
        ASSERT_EQ(6u, rows.size());
        const double inputs[] = {2, 4, 2, 0.5, 2, 3};
        for (std::size_t i = 0; i < rows.size(); ++i) {
            EXPECT_EQ(static_cast<double>(i), rows[i][0]);
            EXPECT_EQ(inputs[i], rows[i][1]);
            EXPECT_EQ(outputs[i], rows[i][2]) << name << " step " << i;
        }
    }
}

TEST_F(Blocksim, EngineDemoRunsAndSaysWhatItWrote) {
    const Result result = blocksim("run --stop 2 --no-plot");
    ASSERT_EQ(0, result.status) << result.output;
    EXPECT_NE(std::string::npos, result.output.find("wrote engine.csv (201 rows, 13 signals)")) << result.output;
    EXPECT_EQ(std::string::npos, result.output.find('\r')) << "progress is for terminals only";
    const auto [header, rows] = csv("engine.csv");
    EXPECT_EQ("load_ratio.0[0]", header[1]);
    EXPECT_NEAR(0.2, rows.front()[1], 1e-12);
}

TEST_F(Blocksim, MalformedModelsNameFileAndLine) {
    write("broken.yaml", "blocks:\n  a: {type: Gain, gain: 2\n");
    Result result = blocksim("run broken.yaml");
    EXPECT_EQ(1, result.status);
    // The parser notices the missing } on line 3; the message points at the brace.
    EXPECT_NE(std::string::npos, result.output.find("blocksim: error: broken.yaml:2: this '{' is never closed"))
        << result.output;

    struct Case {
        const char* file;
        std::string text;  // empty: the file is not written
        const char* message;
    };
    const Case cases[] = {
        {"typo.yaml",
         "blocks:\n  c: {type: Constant, value: 1}\n  g: {type: Gain, gian: 2}\nconnections:\n  - c.0 -> g.0\n",
         "typo.yaml:3: unknown key 'gian' in Gain block 'g' (did you mean 'gain'?) (known: gain, type)"},
        {"arrow.yaml", "blocks:\n  c: {type: Constant, value: 1}\nconnections:\n  - c.0 to c.1\n",
         "arrow.yaml:4: a connection needs '->': 'c.0 to c.1'"},
        {"bracket.yaml", "blocks:\n  c: {type: Clock}\nlog:\n  signals: [c.0[0]]\n",
         "bracket.yaml:4: end of sequence flow not found (inside [ ], write block.port[element] in quotes: "
         "\"fan.0[1]\")"},
        {"unclosed.yaml",
         "blocks:\n  fan:\n    sfunction: blower\n    parameters: [0.72, [4.2, 0.9, 0.3, 0.0698]\n  c: {type: Clock}\n",
         "unclosed.yaml:4: this '[' is never closed (end of sequence flow not found at line 5)"},
        // Found by fuzzing the reader: a port number beyond int escaped as "stoi".
        {"port.yaml", "blocks:\n  c: {type: Clock}\nlog:\n  groups:\n    g: [c.0333333333333333333333]\n",
         "port.yaml:5: 'c.0333333333333333333333': the port number is too large"},
        {"element.yaml", "blocks:\n  c: {type: Clock}\nlog:\n  groups:\n    g: [\"c.0[99999999999]\"]\n",
         "element.yaml:5: 'c.0[99999999999]': the element number is too large"},
        // The parser's own message for this is "bad file".
        {"deep.yaml", "blocks: " + std::string(3000, '[') + std::string(3000, ']') + "\n",
         "deep.yaml:1: lists or maps nested too deeply"},
        {"shape.yaml", "blocks:\n  s: {type: Selector, elements: [1e12]}\n  t: {sfunction: [blower]}\n",
         "shape.yaml:2: an element is out of range: 1e12 is not within -2147483648 .. 2147483647"},
        {"steps.yaml", "solver: {step: 1e-300, stop: 1}\nblocks:\n  c: {type: Clock}\n",
         "steps.yaml:1: a stop time of 1 s with a step of 1e-300 s makes more than 1e9 steps"},
        {"missing.yaml", "", "cannot open the model file missing.yaml: No such file or directory"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        if (!c.text.empty()) write(c.file, c.text);
        result = blocksim(std::string("run ") + c.file);
        EXPECT_EQ(1, result.status);
        EXPECT_EQ(std::string("blocksim: error: ") + c.message + "\n", result.output);
    }
}

TEST_F(Blocksim, UnknownBlockTypeListsTheKnownOnes) {
    write("unknown.yaml", "blocks:\n  v: {type: Valve}\n");
    const Result result = blocksim("run unknown.yaml");
    EXPECT_EQ(1, result.status);
    EXPECT_EQ("blocksim: error: unknown.yaml:2: unknown block type 'Valve' (built-in types: Constant, Clock, Step, "
              "Ramp, Sine, Table, Gain, Sum, Product, Mux, Selector, Convert, Integrator, Lag, Inport, Outport; an "
              "S-function block has sfunction: NAME)\n",
              result.output);
}

TEST_F(Blocksim, LibraryNotFoundNamesThePathsSearched) {
    write("lost.yaml", "blocks:\n  x: {sfunction: nosuchblock}\n");
    fs::create_directories(directory_ / "empty");
    Result result = blocksim("run lost.yaml --path empty");
    EXPECT_EQ(1, result.status);
    EXPECT_NE(std::string::npos,
              result.output.find("lost.yaml:2: block 'x': S-function 'nosuchblock' not found: no nosuchblock.mexa64 "
                                 "in empty, "))
        << result.output;
    EXPECT_NE(std::string::npos, result.output.find(BLOCKS_LIBRARY_DIR)) << result.output;

    // A close name is offered; a --path folder must exist.
    write("typo.yaml", "blocks:\n  x: {sfunction: Tolvana}\n");
    result = blocksim("run typo.yaml");
    EXPECT_NE(std::string::npos, result.output.find("S-function 'Tolvana' not found (did you mean 'Tolvane'?)"))
        << result.output;
    result = blocksim("run lost.yaml --path /nonexistent/blocks");
    EXPECT_EQ(1, result.status);
    EXPECT_EQ("blocksim: error: --path /nonexistent/blocks: no such folder\n", result.output);
}

TEST_F(Blocksim, ABlocksOwnErrorStatusIsReportedWithItsNames) {
    write("badparam.yaml",
          "blocks:\n  fan: {sfunction: blower, parameters: [0.7, {logical: [true, false, true]}, 0.0698]}\n");
    const Result result = blocksim("run badparam.yaml");
    EXPECT_EQ(1, result.status);
    EXPECT_EQ("blocksim: error: badparam.yaml:2: block 'fan' (S-function 'blower') failed in mdlInitializeSizes: The "
              "data type and or "
              "complexity of parameter  2 does not match the information specified in the S-function Builder "
              "dialog. For non-double parameters you will need to cast them using int8, int16, int32, uint8, "
              "uint16, uint32 or boolean.\n",
              result.output);
}

TEST_F(Blocksim, ABlockFailingMidRunKeepsTheRowsWritten) {
    write("fails.yaml", R"(
solver: {method: ode4, step: 0.1, stop: 1}
blocks:
  clock: {type: Clock}
  f: {sfunction: failer, parameters: [0.35]}
connections:
  - clock.0 -> f.0
log:
  signals: [f.0]
)");
    const Result result = blocksim("run fails.yaml --path " + shell_word(TEST_BLOCKS_DIR) + " --no-plot");
    EXPECT_EQ(1, result.status);
    EXPECT_NE(std::string::npos, result.output.find("blocksim: error: block 'f' (S-function 'failer') failed in "
                                                    "mdlOutputs at t = 0.4: simulated failure\n"))
        << result.output;
    EXPECT_NE(std::string::npos,
              result.output.find("blocksim: the run stopped at t = 0.3 s; fails.partial.csv holds the 4 rows written "
                                 "up to t = 0.3 s\n"))
        << result.output;
    EXPECT_FALSE(fs::exists(directory_ / "fails.csv")) << "an unfinished run is not its result";
    const auto rows = csv("fails.partial.csv").second;
    ASSERT_EQ(4u, rows.size());
    EXPECT_NEAR(0.3, rows.back()[1], 1e-12);
}

// The commands of this build: export where it has FMUs.
#ifdef BLOCKSIM_EXPORT
#define BLOCKSIM_COMMANDS "run, sweep, info, export, demo-model"
#else
#define BLOCKSIM_COMMANDS "run, sweep, info, demo-model"
#endif

TEST_F(Blocksim, UsageErrorsAreOneLineWithAPointerToTheCommandsHelpAndExitTwo) {
    const struct {
        const char* arguments;
        const char* line;
    } cases[] = {
        {"frobnicate", "blocksim: unknown command 'frobnicate' (known: " BLOCKSIM_COMMANDS ") (see 'blocksim "
                       "--help')"},
        {"runn", "blocksim: unknown command 'runn' (did you mean 'run'?) (known: " BLOCKSIM_COMMANDS ") (see "
                 "'blocksim --help')"},
#ifdef BLOCKSIM_EXPORT
        {"export m.yaml", "blocksim export: --fmu is required (see 'blocksim export --help')"},
#endif
        {"run --stopp 3", "blocksim run: unknown option --stopp; did you mean --stop? (see 'blocksim run --help')"},
        {"run --max_step 3", "blocksim run: unknown option --max_step; did you mean --max-step? (see 'blocksim run "
                             "--help')"},
        {"run --bogus", "blocksim run: unknown option --bogus (see 'blocksim run --help')"},
        {"run --step fast", "blocksim run: --step needs a number, not 'fast' (see 'blocksim run --help')"},
        {"run --step", "blocksim run: --step: 1 required NUMBER missing (see 'blocksim run --help')"},
        {"run --solver ODE45", "blocksim run: unknown solver 'ODE45' (known: ode1, ode2, ode3, ode4, ode45, ode23, "
                               "bdf) (did you mean 'ode45'?) (see 'blocksim run --help')"},
        {"run a.yaml b.yaml", "blocksim run: unexpected argument 'b.yaml' (see 'blocksim run --help')"},
        {"run --plot p.png --no-plot", "blocksim run: --plot excludes --no-plot (see 'blocksim run --help')"},
        {"sweep s.yaml --merge out --slurm", "blocksim sweep: --merge excludes --slurm (see 'blocksim sweep --help')"},
        {"sweep s.yaml --shard 0/2 --slurm", "blocksim sweep: --shard excludes --slurm (see 'blocksim sweep --help')"},
        {"sweep s.yaml --merge out --out o", "blocksim sweep: --out excludes --merge (see 'blocksim sweep --help')"},
        {"sweep s.yaml --submit", "blocksim sweep: --submit requires --slurm (see 'blocksim sweep --help')"},
        {"sweep s.yaml --shard 2/2", "blocksim sweep: --shard 2/2: K counts from 0 to N - 1 (see 'blocksim sweep "
                                     "--help')"},
        {"sweep s.yaml --jobs 0", "blocksim sweep: --jobs needs a whole number of at least 1, not '0' (see "
                                  "'blocksim sweep --help')"},
        {"info", "blocksim info: NAME is required (see 'blocksim info --help')"},
    };
    for (const auto& c : cases) {
        const Result result = blocksim(c.arguments);
        EXPECT_EQ(2, result.status) << c.arguments;
        EXPECT_EQ(std::string(c.line) + "\n", result.output) << c.arguments;
    }
    const Result bare = blocksim("");
    EXPECT_EQ(2, bare.status);
    EXPECT_NE(std::string::npos, bare.output.find("Subcommands:")) << bare.output;
}

TEST_F(Blocksim, EachCommandHasItsHelpAndBlocksimItsVersion) {
    for (const std::string command : {"run", "sweep", "info", "demo-model"}) {
        const Result result = blocksim(command + " --help");
        EXPECT_EQ(0, result.status) << command;
        EXPECT_NE(std::string::npos, result.output.find("Usage: blocksim " + command)) << result.output;
    }
    const Result run = blocksim("run --help");
    // Each solver key of a model file is an option, with its default.
    for (const char* option : {"--step NUMBER", "--stop NUMBER", "--rtol NUMBER", "--atol NUMBER",
                               "--max-step NUMBER", "--initial-step NUMBER"})
        EXPECT_NE(std::string::npos, run.output.find(option)) << option;
    EXPECT_NE(std::string::npos, run.output.find("relative tolerance of the variable-step methods; default 0.001"));
    const Result version = blocksim("--version");
    EXPECT_EQ(0, version.status);
    EXPECT_EQ(std::string(BLOCKS_VERSION) + "\n", version.output);
}

TEST_F(Blocksim, InfoWithoutParametersListsTheDialog) {
    const Result result = blocksim("info blower");
    EXPECT_EQ(0, result.status);
    EXPECT_EQ("blower takes 3 dialog parameters; give them after its name to see what it declares with them:\n"
              "  1  eta                isentropic efficiency [1] (the examples: 0.7)\n"
              "  2  flow_coefficients  [alpha beta gamma] of the flow characteristic alpha*exp(-beta*PR) + gamma: "
              "alpha, gamma in kg/s (the examples: [2 0.5 0.1])\n"
              "  3  sigma              fuel-air mass ratio of stoichiometric gas [1] (the examples: 0.0698)\n"
              "for example:\n"
              "  blocksim info blower 0.7 '[2, 0.5, 0.1]' 0.0698\n",
              result.output);
    // The example it gives runs, and names each parameter.
    const Result example = blocksim("info blower 0.7 '[2, 0.5, 0.1]' 0.0698");
    EXPECT_EQ(0, example.status) << example.output;
    EXPECT_NE(std::string::npos, example.output.find("    2: flow_coefficients = double 1x3 [2 0.5 0.1]\n"))
        << example.output;
    // Negative numbers are parameters, not options.
    const Result negative = blocksim("info sarnith -1 -3");
    EXPECT_EQ(0, negative.status) << negative.output;
    EXPECT_NE(std::string::npos, negative.output.find("    2: lower_threshold = double 1x1 [-3]\n"))
        << negative.output;
}

TEST_F(Blocksim, InfoPrintsTheDeclaration) {
    Result result = blocksim("info quorvel 3 1");
    ASSERT_EQ(0, result.status) << result.output;
    EXPECT_NE(std::string::npos, result.output.find("quorvel: level-2 S-function")) << result.output;
    EXPECT_NE(std::string::npos, result.output.find("    0: width 1, int32 (id 10)")) << result.output;
    EXPECT_NE(std::string::npos, result.output.find("    0: width 1, double, direct feedthrough\n"
                                                    "       u  relay input, in the thresholds' unit\n"))
        << result.output;
    EXPECT_NE(std::string::npos, result.output.find("DWork              1 (DWork 0: width 1, int32)")) << result.output;
    EXPECT_NE(std::string::npos, result.output.find("sample time        continuous (0)")) << result.output;

    // Each port's elements by name, with their units, as the FMUs name them.
    result = blocksim("info blower 0.7 '[2, 0.5, 0.1]' 0.0698");
    ASSERT_EQ(0, result.status) << result.output;
    EXPECT_NE(std::string::npos, result.output.find("    0: width 3, double, direct feedthrough\n"
                                                    "       inlet.p [Pa]  inlet pressure p_in\n"
                                                    "       inlet.T [K]   inlet temperature T_in\n"
                                                    "       inlet.c [1]   inlet gas composition: 0 air, 1 stoichiometric gas\n"))
        << result.output;
    EXPECT_NE(std::string::npos, result.output.find("    2: width 1, double\n       power [W]  shaft power P\n"))
        << result.output;

    result = blocksim("info blower 0.7 '[2, 0.5, 0.1]' 0.0698 --raw");
    ASSERT_EQ(0, result.status) << result.output;
    std::stringstream lines(result.output);
    std::string line;
    int count = 0;
    while (std::getline(lines, line)) ++count;
    EXPECT_EQ(38, count);
    EXPECT_NE(std::string::npos, result.output.find("33  537395202       options")) << result.output;

    result = blocksim("info blower 0.7 '{int32: [2, 1, 0]}' 0.0698");
    EXPECT_EQ(1, result.status);
    EXPECT_NE(std::string::npos, result.output.find("parameter  2 does not match")) << result.output;

    result = blocksim("info Brisquel --raw");
    EXPECT_EQ(0, result.status) << result.output;
    EXPECT_NE(std::string::npos, result.output.find("37  1               level")) << result.output;
}

// ---------------------------------------------------------------- a user's files

TEST_F(Blocksim, NoOutputLandsOnAnInput) {
    write("relay_inputs.csv", "time,u\n0,2\n1,4\n");
    const std::string table = "time,u\n0,2\n1,4\n";
    write("relay_inputs.yaml",
          "solver: {method: ode1, step: 1, stop: 1}\nblocks:\n  input: {type: Table, file: relay_inputs.csv}\n");
    fs::copy_file(directory_ / "relay_inputs.yaml", directory_ / "p.partial.yaml");
    struct Case {
        std::string arguments, message;
    };
    const Case cases[] = {
        {"run relay_inputs.yaml --no-plot",
         "blocksim: error: refusing to write the results to relay_inputs.csv: that is the table file of block "
         "'input' (relay_inputs.csv); choose another file with --out\n"},
        {"run relay_inputs.yaml --out relay_inputs.yaml --no-plot",
         "blocksim: error: refusing to write the results to relay_inputs.yaml: that is the model file "
         "(relay_inputs.yaml); choose another file with --out\n"},
        {"run relay_inputs.yaml --out ./sub/../out.csv --plot relay_inputs.yaml",
         "blocksim: error: refusing to write the plot to relay_inputs.yaml: that is the model file "
         "(relay_inputs.yaml); choose another file with --plot\n"},
        {"run relay_inputs.yaml --out out.csv --plot out.csv",
         "blocksim: error: refusing to write the results and the plot to one file, out.csv; choose another with "
         "--plot\n"},
        // An interrupted run's rows would go to p.partial.yaml, the model.
        {"run p.partial.yaml --out p.yaml --no-plot",
         "blocksim: error: refusing to write the rows of an unfinished run to p.partial.yaml: that is the model file "
         "(p.partial.yaml); choose another file with --out\n"},
    };
    for (const Case& c : cases) {
        const Result result = blocksim(c.arguments);
        EXPECT_EQ(1, result.status) << c.arguments;
        EXPECT_EQ(c.message, result.output) << c.arguments;
    }
    std::ifstream in(directory_ / "relay_inputs.csv");
    EXPECT_EQ(table, std::string(std::istreambuf_iterator<char>(in), {}));
    EXPECT_FALSE(fs::exists(directory_ / "out.csv"));
}

TEST_F(Blocksim, DefaultOutputsGoNextToTheModel) {
    fs::create_directories(directory_ / "models");
    write("models/clock.yaml", "solver: {step: 0.5, stop: 1}\nblocks:\n  c: {type: Clock}\n");
    const Result result = blocksim("run models/clock.yaml --no-plot");
    ASSERT_EQ(0, result.status) << result.output;
    EXPECT_TRUE(fs::exists(directory_ / "models" / "clock.csv"));
    EXPECT_FALSE(fs::exists(directory_ / "clock.csv"));
    EXPECT_NE(std::string::npos, result.output.find("wrote models/clock.csv (3 rows, 1 signal)")) << result.output;
}

TEST_F(Blocksim, AnInterruptedRunLeavesWholeRowsAndSaysWhereItStopped) {
    write("long.yaml", "solver: {method: ode4, step: 1e-4, stop: 100000}\nblocks:\n  c: {type: Clock}\n"
                       "  s: {type: Sine}\n  x: {type: Integrator}\nconnections:\n  - s.0 -> x.0\n"
                       "log:\n  groups:\n    all: [c.0, s.0, x.0]\n");
    // The result of an earlier, complete run, and its plot.
    write("long.csv", "time,c.0[0],s.0[0],x.0[0]\n0,0,0,0\n");
    write("long.png", "the plot of the earlier run");
    const long pid = start_in_background("run long.yaml --force > run.log 2>&1");
    ASSERT_GT(pid, 0);
    for (int wait = 0; wait < 100 && written_so_far("long.csv") < 100000; ++wait) usleep(20000);
    ASSERT_EQ(0, kill(static_cast<pid_t>(pid), SIGTERM));
    const std::string log = wait_for_log("run.log", "holds the");
    EXPECT_NE(std::string::npos, log.find("blocksim: stopped by SIGTERM at t = ")) << log;
    EXPECT_NE(std::string::npos, log.find("blocksim: the run stopped at t = ")) << log;
    EXPECT_EQ("time,c.0[0],s.0[0],x.0[0]\n0,0,0,0\n", read("long.csv")) << "the complete result stays";
    EXPECT_EQ("the plot of the earlier run", read("long.png")) << "and so does its plot";
    std::ifstream in(directory_ / "long.partial.csv");
    std::string line;
    std::getline(in, line);
    EXPECT_EQ("time,c.0[0],s.0[0],x.0[0]", line);
    long rows = 0;
    std::string text((std::istreambuf_iterator<char>(in)), {});
    ASSERT_FALSE(text.empty());
    EXPECT_EQ('\n', text.back()) << "the last row is whole";
    std::stringstream lines(text);
    while (std::getline(lines, line)) {
        ++rows;
        EXPECT_EQ(3, std::count(line.begin(), line.end(), ',')) << "row " << rows << ": " << line;
    }
    EXPECT_NE(std::string::npos, log.find("long.partial.csv holds the " + std::to_string(rows) + " rows")) << log;
    EXPECT_EQ(std::vector<std::string>{}, temporary_files()) << "no temporary file is left";
}

// A signal after the simulation, while gnuplot draws: Ctrl-C (SIGINT to the
// whole job, gnuplot too) and a SIGTERM to blocksim alone end the run as
// any interrupt does, and gnuplot with it.
TEST_F(Blocksim, ASignalWhileThePlotIsDrawnEndsTheRunAsAnyInterrupt) {
    const std::string gnuplot = slow_gnuplot();
    write("e.yaml", "solver: {method: ode1, step: 0.1, stop: 1}\nblocks:\n  c: {type: Clock}\nlog:\n  groups:\n"
                    "    time: [c.0]\n");
    for (const int signal : {SIGINT, SIGTERM}) {
        SCOPED_TRACE(signal == SIGINT ? "Ctrl-C" : "SIGTERM to blocksim");
        write("e.csv", "time,c.0[0]\n0,0\n");
        write("e.png", "the plot of the earlier run");
        fs::remove(directory_ / "gnuplot.pid");
        fs::remove(directory_ / "e.partial.csv");
        const pid_t pid = spawn({"run", "e.yaml"}, "run.log", gnuplot);
        const long drawing = pid_in("gnuplot.pid");
        ASSERT_GT(drawing, 0) << read("run.log");
        ASSERT_EQ(0, signal == SIGINT ? kill(-pid, SIGINT) : kill(pid, SIGTERM));
        EXPECT_EQ(128 + signal, finished(pid)) << read("run.log");
        EXPECT_EQ(std::string("blocksim: stopped by ") + (signal == SIGINT ? "SIGINT" : "SIGTERM") +
                      " while drawing e.png\nblocksim: the run had ended at t = 1 s; e.partial.csv holds the 11 rows "
                      "written up to t = 1 s\n",
                  read("run.log"));
        EXPECT_EQ("time,c.0[0]\n0,0\n", read("e.csv")) << "the complete result stays";
        EXPECT_EQ("the plot of the earlier run", read("e.png")) << "and so does its plot";
        const std::string partial = read("e.partial.csv");
        EXPECT_EQ(12, std::count(partial.begin(), partial.end(), '\n')) << "the header and 11 whole rows";
        EXPECT_EQ(std::vector<std::string>{}, temporary_files()) << "no temporary file is left";
        EXPECT_FALSE(still_running(drawing)) << "gnuplot is left running";
        kill(static_cast<pid_t>(drawing), SIGKILL);
    }
}

// blocksim export interrupted while it reads, packs and writes a large
// table: a message, the FMU of an earlier export as it was, no temporary file.
TEST_F(Blocksim, AnInterruptedExportLeavesTheEarlierFmuAndNoTemporaryFile) {
    std::string table = "time,u\n";
    table.reserve(40'000'000);
    for (int row = 0; row < 1'500'000; ++row) table += std::to_string(row) + ",0.123456789012345\n";
    write("big.csv", table);
    write("big.yaml", "solver: {method: ode1, step: 1, stop: 10}\nblocks:\n  t: {type: Table, file: big.csv}\n"
                      "  y: {type: Outport}\nconnections:\n  - t.0 -> y.0\n");
    write("big.fmu", "the FMU of an earlier export");
    const pid_t pid = spawn({"export", "big.yaml", "--fmu", "big.fmu"}, "export.log");
    for (int wait = 0; wait < 20000 && written_so_far("big.fmu") == 0 && temporary_files().empty(); ++wait) usleep(500);
    ASSERT_FALSE(temporary_files().empty()) << "the export never began its FMU: " << read("export.log");
    ASSERT_EQ(0, kill(pid, SIGTERM));
    EXPECT_EQ(143, finished(pid)) << read("export.log");
    const std::string log = read("export.log");
    EXPECT_EQ(0u, log.rfind("blocksim: stopped by SIGTERM while ", 0)) << log;
    EXPECT_NE(std::string::npos, log.find("; big.fmu is as it was\n")) << log;
    EXPECT_EQ("the FMU of an earlier export", read("big.fmu"));
    EXPECT_EQ(std::vector<std::string>{}, temporary_files()) << "no temporary file is left";
}

TEST_F(Blocksim, AKilledRunLeavesNoCutShortFileUnderTheResultsName) {
    write("long.yaml", "solver: {method: ode4, step: 1e-4, stop: 100000}\nblocks:\n  c: {type: Clock}\n");
    write("long.csv", "time,c.0[0]\n0,0\n");
    const long pid = start_in_background("run long.yaml --no-plot --force > run.log 2>&1");
    ASSERT_GT(pid, 0);
    for (int wait = 0; wait < 100 && written_so_far("long.csv") < 100000; ++wait) usleep(20000);
    ASSERT_EQ(0, kill(static_cast<pid_t>(pid), SIGKILL));
    for (int wait = 0; wait < 250 && kill(static_cast<pid_t>(pid), 0) == 0; ++wait) usleep(20000);
    EXPECT_EQ("time,c.0[0]\n0,0\n", read("long.csv"));
    EXPECT_FALSE(fs::exists(directory_ / "long.partial.csv"));
}

TEST_F(Blocksim, AHugeOutputIsAnnouncedAndNeedsForce) {
    const Result result = blocksim("run --step 0.001 --stop 900000 --no-plot");
    EXPECT_EQ(1, result.status);
    // 9e8 steps logged every 10th, 14 values of about 20 bytes a row.
    EXPECT_EQ("blocksim: error: the run would write about 25.2 GB to engine.csv (90000002 rows), more than the 2 GB "
              "blocksim writes without --force; log fewer rows (log: every: 127 keeps it under) or add --force\n",
              result.output);
    EXPECT_FALSE(fs::exists(directory_ / "engine.csv"));
}

// ---------------------------------------------------------------- inputs and errors

TEST_F(Blocksim, TableFilesTakeOneHeaderAndGiveTheirBreakpointValues) {
    write("semicolon.csv", "time,u\n0;2\n1,4\n");
    write("semicolon.yaml", "blocks:\n  t: {type: Table, file: semicolon.csv}\n");
    Result result = blocksim("run semicolon.yaml --no-plot");
    EXPECT_EQ(1, result.status);
    EXPECT_NE(std::string::npos, result.output.find("semicolon.csv:2: '0;2' is not a row of numbers separated by "
                                                    "commas (only the first line may be a header)"))
        << result.output;

    // Before the first row and at exactly a breakpoint, the row's own value.
    write("table.csv", "1,4\n2,-8\n");
    write("held.yaml", "solver: {method: ode1, step: 0.5, stop: 2}\nblocks:\n  t: {type: Table, file: table.csv}\n");
    result = blocksim("run held.yaml --no-plot");
    ASSERT_EQ(0, result.status) << result.output;
    EXPECT_EQ("time,t.0[0]\n0,4\n0.5,4\n1,4\n1.5,-2\n2,-8\n", read("held.csv"));

    // A time twice is a step: the first row's value up to it, the second's from it on.
    write("steps.csv", "# a step at t = 1\ntime,u\n0,1\n1,1\n1,3\n2,3\n");
    write("step.yaml", "solver: {method: ode1, step: 0.5, stop: 2}\nblocks:\n  t: {type: Table, file: steps.csv}\n");
    result = blocksim("run step.yaml --no-plot");
    ASSERT_EQ(0, result.status) << result.output;
    EXPECT_EQ("time,t.0[0]\n0,1\n0.5,1\n1,3\n1.5,3\n2,3\n", read("step.csv"));
    // Under ode45 the integrator stops at the step: the integral of the table is exact.
    write("area.yaml", "solver: {method: ode45, stop: 2, rtol: 1e-9}\nblocks:\n  t: {type: Table, file: steps.csv}\n"
                       "  x: {type: Integrator}\nconnections:\n  - t.0 -> x.0\nlog:\n  signals: [x.0]\n");
    result = blocksim("run area.yaml --no-plot");
    ASSERT_EQ(0, result.status) << result.output;
    EXPECT_NEAR(4.0, csv("area.csv").second.back()[1], 1e-9);
    write("three.csv", "0,1\n1,1\n1,3\n1,4\n");
    write("three.yaml", "blocks:\n  t: {type: Table, file: three.csv}\n");
    result = blocksim("run three.yaml --no-plot");
    EXPECT_NE(std::string::npos, result.output.find("three.csv:4: a time stands in two rows at most (a step), not three"))
        << result.output;
}

TEST_F(Blocksim, ModelMistakesGetMessagesAUserCanActOn) {
    struct Case {
        const char* file;
        std::string text;
        std::string message;
    };
    const Case cases[] = {
        {"twice.yaml", "solver: {stop: 1}\nblocks:\n  c: {type: Clock}\nsolver: {stop: 2}\n",
         "twice.yaml:4: 'solver' stands twice in the model (lines 1 and 4)"},
        {"value.yaml", "blocks:\n  c: {type: Constant, value: 2, value: 3}\n",
         "value.yaml:2: 'value' stands twice in Constant block 'c' (both on line 2)"},
        {"inf.yaml", "solver: {stop: .inf}\nblocks:\n  c: {type: Clock}\n",
         "inf.yaml:1: the stop time must be finite, not inf"},
        {"zero.yaml", "solver: {step: 0}\nblocks:\n  c: {type: Clock}\n",
         "zero.yaml:1: the step must be positive: a step of 0 s never reaches the stop time"},
        {"type.yaml", "blocks:\n  g: {type: gain, gain: 2}\n",
         "type.yaml:2: unknown block type 'gain' (did you mean 'Gain'?) (built-in types: Constant, Clock, Step, "
         "Ramp, Sine, Table, Gain, Sum, Product, Mux, Selector, Convert, Integrator, Lag, Inport, Outport; an "
         "S-function block has sfunction: NAME)"},
        {"key.yaml", "blocks:\n  s: {type: Step, tiem: 2}\n",
         "key.yaml:2: unknown key 'tiem' in Step block 's' (did you mean 'time'?) (known: after, before, time, type)"},
        {"tab.yaml", "blocks:\n\tc: {type: Clock}\n", "tab.yaml:2: tabs are not allowed for indentation"},
        {"binary.yaml", std::string("blocks:\0\x01\x02", 10), "binary.yaml: not a text file"},
        {"int32.yaml", "blocks:\n  r: {sfunction: quorvel, parameters: [{int32: 1e12}, 1]}\n",
         "int32.yaml:2: an int32 is out of range: 1e12 is not within -2147483648 .. 2147483647"},
        {"empty.yaml", "blocks:\n  c: {type: Clock}\nlog:\n  groups:\n    nothing: []\n",
         "empty.yaml:5: log group 'nothing' names no signals"},
        {"count.yaml", "blocks:\n  fan: {sfunction: blower, parameters: [0.7]}\n",
         "count.yaml:2: block 'fan' (S-function 'blower'): the S-function expects 3 dialog parameters, but the block "
         "gives 1"},
        {"ports.yaml", "blocks:\n  c: {type: Clock}\n  g: {type: Gain, gain: 1}\nconnections:\n  - c.1 -> g.0\n",
         "ports.yaml:5: block 'c' (Clock) has no output port 1; it has 1 output port"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        std::ofstream(directory_ / c.file, std::ios::binary) << c.text;
        const Result result = blocksim(std::string("run ") + c.file + " --no-plot");
        EXPECT_EQ(1, result.status);
        EXPECT_EQ("blocksim: error: " + c.message + "\n", result.output);
    }
    fs::create_directories(directory_ / "folder.yaml");
    const Result result = blocksim("run folder.yaml");
    EXPECT_EQ("blocksim: error: folder.yaml is a directory, not a model file\n", result.output);
    EXPECT_EQ(2, blocksim("run --solver ode5").status);
    EXPECT_NE(std::string::npos,
              blocksim("run --solver ode5").output.find("unknown solver 'ode5' (known: ode1, ode2, ode3, ode4, ode45, ode23, bdf)"));
}

TEST_F(Blocksim, AStopTimeOffTheStepGridIsReachedAndSaidSo) {
    write("half.yaml", "blocks:\n  c: {type: Clock}\n");
    const Result result = blocksim("run half.yaml --stop 5.5 --step 1 --no-plot");
    ASSERT_EQ(0, result.status) << result.output;
    EXPECT_NE(std::string::npos, result.output.find("5 steps of 1 s and a last one of 0.5 s (ode4) to t = 5.5 s"))
        << result.output;
    EXPECT_EQ(5.5, csv("half.csv").second.back()[0]);
}

TEST_F(Blocksim, NumbersAndDurationsReadAsAUserExpects) {
    // 0 * inf is a NaN with its sign bit set: written as nan all the same.
    write("nan.yaml", "solver: {method: ode1, step: 1, stop: 1}\nblocks:\n  c: {type: Constant, value: .inf}\n"
                      "  g: {type: Gain, gain: 0}\nconnections:\n  - c.0 -> g.0\nlog:\n  signals: [g.0]\n");
    Result result = blocksim("run nan.yaml --no-plot");
    ASSERT_EQ(0, result.status) << result.output;
    EXPECT_EQ("time,g.0[0]\n0,nan\n1,nan\n", read("nan.csv"));
    write("short.yaml", "solver: {method: ode1, step: 0.001, stop: 0.0105}\nblocks:\n  c: {type: Clock}\n");
    result = blocksim("run short.yaml --no-plot");
    EXPECT_NE(std::string::npos, result.output.find("10 steps of 0.001 s and a last one of 0.0005 s (ode1)"))
        << result.output;
    EXPECT_EQ(std::string::npos, result.output.find(" in 0 s")) << result.output;
    write("interval.yaml", "solver: {step: 0.001, stop: 1}\nblocks:\n  c: {type: Clock}\nlog:\n  interval: 0.0015\n");
    result = blocksim("run interval.yaml --no-plot");
    EXPECT_EQ("blocksim: error: interval.yaml:5: the log interval 0.0015 s is not a multiple of the step 0.001 s\n",
              result.output);
}

TEST_F(Blocksim, AnIntegratorFailureKeepsTheRowsAndExitsNonZero) {
    write("nan.yaml", "solver: {method: bdf, stop: 1}\nblocks:\n  bad: {type: Step, time: 0.5, after: .nan}\n"
                      "  x: {type: Integrator}\nconnections:\n  - bad.0 -> x.0\n");
    const Result result = blocksim("run nan.yaml --no-plot");
    EXPECT_EQ(1, result.status);
    EXPECT_NE(std::string::npos, result.output.find("blocksim: error: the integrator stopped at t = 0.5 s: a derivative "
                                                    "of block 'x' (Integrator) is NaN\n"))
        << result.output;
    EXPECT_NE(std::string::npos, result.output.find("the run stopped at t = 0.5 s; nan.partial.csv holds the "))
        << result.output;
    EXPECT_EQ(0.5, csv("nan.partial.csv").second.back()[0]);
}

TEST_F(Blocksim, InfoRefusesAWrongParameterCountAsRunDoes) {
    const Result result = blocksim("info blower 0.7");
    EXPECT_EQ(1, result.status);
    EXPECT_EQ("blocksim: error: block 'blower' (S-function 'blower'): the S-function expects 3 dialog parameters, "
              "but the block gives 1\n",
              result.output);
}

// ---------------------------------------------------------------- no false success

const char* const two_signals = "solver: {step: 0.01, stop: 2}\nblocks:\n  c: {type: Clock}\n  s: {type: Sine}\n"
                                "connections: []\nlog:\n  groups:\n    clock: [c.0]\n    sine: [s.0]\n";

TEST_F(Blocksim, AFailedWriteIsOneLineWithTheSystemsReasonAndExitOne) {
    const Result result = blocksim("run " + example("engine.yaml") + " --out /dev/full --no-plot");
    EXPECT_EQ(1, result.status);
    EXPECT_EQ("blocksim: error: cannot write /dev/full: No space left on device\n", result.output);

    // The summary lines go nowhere: that is no success either.
    EXPECT_EQ(1, blocksim("run " + example("sarnith.yaml") + " --no-plot --out relays.csv > /dev/full").status);
}

TEST_F(Blocksim, AFullDiskLeavesNoCutShortResultAndSaysSo) {
    if (!mount_small_disk("disk", 64)) GTEST_SKIP() << "a small file system needs root";
    write("disk/engine.csv", "the complete result of an earlier run\n");
    const Result result = blocksim("run " + example("engine.yaml") + " --out disk/engine.csv --no-plot");
    EXPECT_EQ(1, result.status);
    EXPECT_EQ("blocksim: error: cannot write disk/engine.csv: No space left on device\n", result.output);
    EXPECT_EQ("the complete result of an earlier run\n", read("disk/engine.csv"));
    EXPECT_EQ(std::vector<std::string>{}, temporary_files());
    EXPECT_FALSE(fs::exists(directory_ / "disk" / "engine.partial.csv"));
}

TEST_F(Blocksim, APlotThatDoesNotFitFailsAndLeavesNoPlotOfAnotherRun) {
    if (std::system("command -v gnuplot >/dev/null 2>&1") != 0) GTEST_SKIP() << "gnuplot is not installed";
    if (!mount_small_disk("disk", 16)) GTEST_SKIP() << "a small file system needs root";
    write("two.yaml", two_signals);
    const Result result = blocksim("run two.yaml --out disk/two.csv --plot disk/two.png");
    EXPECT_EQ(1, result.status) << result.output;
    EXPECT_NE(std::string::npos, result.output.find("wrote disk/two.csv (201 rows, 2 signals)")) << result.output;
    EXPECT_NE(std::string::npos, result.output.find("blocksim: error: cannot write disk/two.png: No space left on device\n"))
        << result.output;
    EXPECT_EQ(std::string::npos, result.output.find("wrote disk/two.png")) << result.output;
    EXPECT_FALSE(fs::exists(directory_ / "disk" / "two.png"));
    EXPECT_EQ(std::vector<std::string>{}, temporary_files());
}

TEST_F(Blocksim, ACsvAndItsPlotAlwaysComeFromOneRun) {
    if (std::system("command -v gnuplot >/dev/null 2>&1") != 0) GTEST_SKIP() << "gnuplot is not installed";
    write("two.yaml", two_signals);
    ASSERT_EQ(0, blocksim("run two.yaml").status);
    ASSERT_TRUE(fs::exists(directory_ / "two.png"));
    EXPECT_EQ(std::string("\x89PNG"), read("two.png").substr(0, 4));
    // The same model, now run where no gnuplot can be found: the old plot would lie.
    const Result result = blocksim("run two.yaml --stop 1", "PATH=/nonexistent");
    EXPECT_EQ(0, result.status) << result.output;
    EXPECT_NE(std::string::npos, result.output.find("removed two.png, the plot of an earlier run")) << result.output;
    EXPECT_FALSE(fs::exists(directory_ / "two.png"));
    EXPECT_EQ(101u, csv("two.csv").second.size());
}

TEST_F(Blocksim, OptionsThatDoNothingSaySo) {
    Result result = blocksim("run " + example("sarnith.yaml") + " --no-plot --out r.csv --rtol 1e-8 --max-step 0.1");
    EXPECT_EQ(0, result.status) << result.output;
    EXPECT_NE(std::string::npos, result.output.find("blocksim: warning: --rtol has no effect: ode1 takes fixed steps of "
                                                    "--step; it applies to ode45, ode23 and bdf\n"))
        << result.output;
    EXPECT_NE(std::string::npos, result.output.find("blocksim: warning: --max-step has no effect")) << result.output;
    write("interval.yaml", "solver: {method: ode45, stop: 1}\nblocks:\n  c: {type: Clock}\nlog: {interval: 0.5}\n");
    result = blocksim("run interval.yaml --no-plot --step 0.1");
    EXPECT_EQ(0, result.status) << result.output;
    EXPECT_NE(std::string::npos, result.output.find("blocksim: warning: --step has no effect: ode45 chooses its own "
                                                    "steps, and the model logs at a fixed interval (log: interval)\n"))
        << result.output;
    // Under ode45 the step sets the rows of log: every, so it is not idle there.
    result = blocksim("run " + example("engine.yaml") + " --no-plot --solver ode45 --step 0.002 --out e.csv");
    EXPECT_EQ(std::string::npos, result.output.find("warning")) << result.output;
    EXPECT_EQ(3001u, csv("e.csv").second.size());
}

TEST_F(Blocksim, AVariableStepRunWithoutAGridLogsAndCountsTheSolversSteps) {
    write("stiff.yaml", "solver: {method: bdf, stop: 10, rtol: 1e-6, atol: 1e-9}\nblocks:\n  sine: {type: Sine}\n"
                        "  fast: {type: Lag, time_constant: 1e-5}\n  slow: {type: Lag, time_constant: 1}\n"
                        "connections:\n  - sine.0 -> fast.0\n  - fast.0 -> slow.0\n");
    Result result = blocksim("run stiff.yaml --no-plot");
    ASSERT_EQ(0, result.status) << result.output;
    const auto rows = csv("stiff.csv").second;
    ASSERT_GT(rows.size(), 2u);
    EXPECT_LT(rows.size(), 1000u);
    const std::string steps = std::to_string(rows.size() - 1) + " steps";
    EXPECT_NE(std::string::npos, result.output.find(": " + steps + " (bdf, rtol 1e-06, atol 1e-09)")) << result.output;
    EXPECT_NE(std::string::npos, result.output.find("; logged at the solver's " + steps + "\n")) << result.output;
    // The step plays no part there, and says so.
    result = blocksim("run stiff.yaml --no-plot --step 0.01");
    EXPECT_NE(std::string::npos, result.output.find("blocksim: warning: --step has no effect: bdf chooses its own steps, "
                                                    "and the model logs at them (log: every or interval logs at a "
                                                    "fixed interval)\n"))
        << result.output;
}

TEST_F(Blocksim, AVariableStepRunLogsTheRowsOfAFixedStepRun) {
    ASSERT_EQ(0, blocksim("run " + example("engine.yaml") + " --no-plot --out ode4.csv").status);
    const Result result = blocksim("run " + example("engine.yaml") + " --no-plot --solver ode45 --rtol 1e-6 --out ode45.csv");
    ASSERT_EQ(0, result.status) << result.output;
    EXPECT_NE(std::string::npos, result.output.find("logged every 0.01 s (log: every: 10 of the 0.001 s step)"))
        << result.output;
    const auto [header, fixed] = csv("ode4.csv");
    const auto variable = csv("ode45.csv").second;
    ASSERT_EQ(6001u, fixed.size());
    ASSERT_EQ(fixed.size(), variable.size());
    // The states' signals, and a schedule computed from them. (Brisquel's
    // command lags one evaluation, which falls elsewhere in a step of each
    // solver: early on it differs by up to 1.3e-3.)
    const std::vector<std::string> continuous = {"scavenge.0[0]", "crank_deg.0[0]", "schedule_a.0[0]"};
    for (std::size_t row = 0; row < fixed.size(); ++row) {
        ASSERT_EQ(fixed[row][0], variable[row][0]) << "row " << row << ": the same times";
        for (const auto& name : continuous) {
            const auto column = static_cast<std::size_t>(std::find(header.begin(), header.end(), name) - header.begin());
            ASSERT_LT(column, header.size()) << name;
            const double scale = name == "crank_deg.0[0]" ? 1e-6 * std::max(1.0, std::fabs(fixed[row][column])) : 1e-3;
            ASSERT_NEAR(fixed[row][column], variable[row][column], scale) << name << " at t = " << fixed[row][0];
        }
    }
}

TEST_F(Blocksim, BdfIsRefusedForABlockWhoseOutputsLagAndTheDemoSaysWhy) {
    const Result result = blocksim("run " + example("engine.yaml") + " --solver bdf --no-plot --out e.csv");
    EXPECT_EQ(1, result.status);
    EXPECT_NE(std::string::npos,
              result.output.find(":35: block 'controller' (S-function 'Brisquel') cannot run under bdf: its outputs "
                                 "lag one evaluation, so the model's derivatives depend on the order of the solver's "
                                 "calls, and bdf's Newton iteration would converge on wrong values; use ode45 or ode4 "
                                 "(--solver ode45)\n"))
        << result.output;
    EXPECT_FALSE(fs::exists(directory_ / "e.csv")) << "refused before the run";
    EXPECT_FALSE(fs::exists(directory_ / "e.partial.csv"));
    // The relays alone are no function of call order: bdf runs them.
    EXPECT_EQ(0, blocksim("run " + example("sarnith.yaml") + " --solver bdf --no-plot --out r.csv").status);
}

// ---------------------------------------------------------------- hostile input

TEST_F(Blocksim, NoNameOrPathRunsACommandThroughTheTextsOfAPlot) {
    // A line break ends a gnuplot line, and "!" starts a shell command.
    write("group.yaml", "solver: {step: 0.5, stop: 1}\nblocks:\n  c: {type: Clock}\nlog:\n  groups:\n"
                        "    \"P\\n!touch pwned\\n\": [c.0]\n");
    Result result = blocksim("run group.yaml");
    EXPECT_EQ(1, result.status);
    EXPECT_EQ("blocksim: error: group.yaml:6: a group name holds a control character (0x0a); names, paths and words "
              "here take no line breaks, tabs or other control characters\n",
              result.output);
    for (int code = 1; code < 32; ++code) {
        const std::string name = "o" + std::string(1, static_cast<char>(code)) + "!touch pwned.csv";
        result = blocksim("run group.yaml --out " + shell_word(name));
        EXPECT_EQ(2, result.status) << code;
        EXPECT_NE(std::string::npos, result.output.find("--out holds a control character")) << code << result.output;
        result = blocksim("sweep " + shell_word("s" + name));
        EXPECT_EQ(2, result.status) << code;
    }
    EXPECT_EQ(2, blocksim("run group.yaml --plot " + shell_word(std::string("p\x7f.png"))).status);
    // Quotes, backslashes, $(), backticks and ! stay text, in names and in paths.
    if (std::system("command -v gnuplot >/dev/null 2>&1") != 0) GTEST_SKIP() << "gnuplot is not installed";
    const std::string odd = "it's \\ \"q\" $(touch pwned1) `touch pwned2` !touch pwned3";
    write("odd.yaml", "solver: {step: 0.5, stop: 1}\nblocks:\n  c: {type: Clock}\nlog:\n  groups:\n    '" +
                          std::string("it''s \\ \"q\" $(touch pwned1) `touch pwned2` !touch pwned3") + "': [c.0]\n");
    result = blocksim("run odd.yaml --out " + shell_word(odd + ".csv"));
    EXPECT_EQ(0, result.status) << result.output;
    EXPECT_TRUE(fs::exists(directory_ / (odd + ".png"))) << result.output;
    for (const char* pwned : {"pwned", "pwned1", "pwned2", "pwned3"}) EXPECT_FALSE(fs::exists(directory_ / pwned)) << pwned;
}

TEST_F(Blocksim, TableNumbersOutOfRangeAreErrorsAndSubnormalsAreNumbers) {
    write("huge.csv", "0,1e400\n1,2\n");
    write("huge.yaml", "solver: {method: ode1, step: 1, stop: 1}\nblocks:\n  t: {type: Table, file: huge.csv}\n");
    Result result = blocksim("run huge.yaml --no-plot");
    EXPECT_EQ(1, result.status);
    EXPECT_NE(std::string::npos, result.output.find("huge.csv:1: 1e400 is beyond the largest number a double holds"))
        << result.output;
    write("tiny_table.csv", "0,1e-310\n1,2\n2,1e-310\n");
    write("tiny.yaml", "solver: {method: ode1, step: 1, stop: 2}\nblocks:\n  t: {type: Table, file: tiny_table.csv}\n");
    result = blocksim("run tiny.yaml --no-plot");
    ASSERT_EQ(0, result.status) << result.output;
    const auto rows = csv("tiny.csv").second;
    ASSERT_EQ(3u, rows.size()) << "no row is taken for a header";
    EXPECT_EQ(1e-310, rows[0][1]);
    EXPECT_EQ(1e-310, rows[2][1]);
}

// A cell strtod would read (hexadecimal, inf, nan) but no CSV reader calls a
// number is refused with its line, also on the first line, where a header
// could stand; a header is still text. The model and sweep files' numbers
// follow YAML, which takes none of these words either.
TEST_F(Blocksim, TableCellsAreFiniteDecimalNumbersAndModelNumbersNoOtherWords) {
    write("cells.yaml", "solver: {method: ode1, step: 1, stop: 1}\nblocks:\n  t: {type: Table, file: cell_table.csv}\n");
    const std::pair<const char*, const char*> refused[] = {
        {"0,1\n1,0x10\n", "cell_table.csv:2: 0x10 is not a finite decimal number"},
        {"0x1p3,1\n1,2\n", "cell_table.csv:1: 0x1p3 is not a finite decimal number"},
        {"t,v\n0, inf\n1,2\n", "cell_table.csv:2: inf is not a finite decimal number"},
        {"0,1\n1,-Infinity\n", "cell_table.csv:2: -Infinity is not a finite decimal number"},
        {"# comment\n0,NAN\n", "cell_table.csv:2: NAN is not a finite decimal number"},
    };
    for (const auto& [table, message] : refused) {
        write("cell_table.csv", table);
        const Result result = blocksim("run cells.yaml --no-plot");
        EXPECT_EQ(1, result.status) << table;
        EXPECT_NE(std::string::npos, result.output.find(message)) << table << result.output;
        EXPECT_FALSE(fs::exists(directory_ / "cells.csv")) << "a refused table gives no run";
    }
    write("cell_table.csv", "time,nan\n0, 1.5e-3 \n1,-.5\n2,+7.\n");
    write("cells.yaml", "solver: {method: ode1, step: 1, stop: 2}\nblocks:\n  t: {type: Table, file: cell_table.csv}\n");
    Result result = blocksim("run cells.yaml --no-plot");
    ASSERT_EQ(0, result.status) << result.output;
    const auto rows = csv("cells.csv").second;
    ASSERT_EQ(3u, rows.size());
    EXPECT_EQ(1.5e-3, rows[0][1]);
    EXPECT_EQ(-0.5, rows[1][1]);
    EXPECT_EQ(7.0, rows[2][1]);

    for (const char* word : {"0x10", "inf", "nan", "infinity", "1e400"}) {
        write("word.yaml", std::string("solver: {method: ode1, step: 1, stop: 1}\nblocks:\n  c: {type: Constant, value: ") +
                               word + "}\n");
        result = blocksim("run word.yaml --no-plot");
        EXPECT_EQ(1, result.status) << word;
        EXPECT_NE(std::string::npos, result.output.find(std::string("word.yaml:3: value must be a number, not '") + word))
            << result.output;
    }
}

TEST_F(Blocksim, FilesMadeToExhaustMemoryOrTimeAreRefused) {
    // One list aliased again and again: 20 000 x 2 000 numbers from a few kB.
    std::string bomb = "solver: {step: 1, stop: 1}\nblocks:\n  c: {type: Constant, value: &l [";
    for (int i = 0; i < 20000; ++i) bomb += i ? ",1" : "1";
    bomb += "]}\n";
    for (int i = 0; i < 2000; ++i) bomb += "  g" + std::to_string(i) + ": {type: Gain, gain: *l}\n";
    write("bomb.yaml", bomb);
    Result result = blocksim("run bomb.yaml --no-plot");
    EXPECT_EQ(1, result.status);
    EXPECT_NE(std::string::npos, result.output.find("the model holds more than 10000000 numbers and words (each use of "
                                                    "an alias counts)"))
        << result.output.substr(0, 300);

    result = blocksim("run /dev/zero --no-plot --out z.csv");
    EXPECT_EQ(1, result.status);
    EXPECT_EQ("blocksim: error: /dev/zero is not a regular file (a device or a pipe), so it is no model file\n",
              result.output);
    write("zero.yaml", "blocks:\n  t: {type: Table, file: /dev/zero}\n");
    result = blocksim("run zero.yaml --no-plot");
    EXPECT_NE(std::string::npos, result.output.find("/dev/zero is not a regular file (a device or a pipe), so it is "
                                                    "no table file"))
        << result.output;

    // A sparse file larger than the limit: refused before it is read.
    { std::ofstream(directory_ / "large.yaml"); }
    fs::resize_file(directory_ / "large.yaml", 300000000);
    result = blocksim("run large.yaml --no-plot");
    EXPECT_EQ("blocksim: error: large.yaml is 300 MB, more than the 256 MB a model file may be without --force\n",
              result.output);

    write("tiny_interval.yaml", "solver: {method: ode45, stop: 1}\nblocks:\n  c: {type: Clock}\n"
                                "log: {interval: 5e-324}\n");
    result = blocksim("run tiny_interval.yaml --no-plot");
    EXPECT_EQ("blocksim: error: tiny_interval.yaml:4: a log interval of 4.94066e-324 s over 1 s makes more than 1e9 "
              "rows\n",
              result.output);
    write("range.yaml", "blocks:\n  c: {type: Clock}\nlog:\n  groups:\n    g: {signals: [c.0], x_range: [-.inf, .inf]}\n");
    result = blocksim("run range.yaml --no-plot");
    EXPECT_NE(std::string::npos, result.output.find("range.yaml:5: log group 'g': x_range is [from, to], finite, with "
                                                    "from < to"))
        << result.output;
}

// ---------------------------------------------------------------- plots

TEST_F(Blocksim, PlotsFailWithOneLineAndNothingOnStdout) {
    if (std::system("command -v gnuplot >/dev/null 2>&1") != 0) GTEST_SKIP() << "gnuplot is not installed";
    write("clock.yaml", "solver: {step: 0.5, stop: 1}\nblocks:\n  c: {type: Clock}\n");
    for (const std::string target : {"clock.yaml/plot.png", "/proc/plot.png"}) {
        Result result = blocksim("run clock.yaml --plot " + target, "", false);
        EXPECT_EQ(1, result.status) << target;
        EXPECT_EQ("", result.output) << target << ": stdout carries nothing";
    }
    Result result = blocksim("run clock.yaml --plot clock.yaml/plot.png");
    EXPECT_EQ("blocksim: error: cannot write clock.yaml/plot.png: Not a directory\n", result.output);
    EXPECT_FALSE(fs::exists(directory_ / "clock.csv")) << "refused before the run";

    write("one.yaml", "solver: {stop: 0}\nblocks:\n  c: {type: Clock}\n");
    result = blocksim("run one.yaml");
    EXPECT_EQ(0, result.status);
    EXPECT_NE(std::string::npos, result.output.find("no plot: the run logged 1 row, too few for a line"))
        << result.output;
    EXPECT_EQ(std::string::npos, result.output.find("warning")) << result.output;

    result = blocksim("run clock.yaml");
    EXPECT_EQ(0, result.status) << result.output;
    EXPECT_NE(std::string::npos, result.output.find("wrote clock.png")) << result.output;
    EXPECT_GT(fs::file_size(directory_ / "clock.png"), 1000u);
}

TEST_F(Blocksim, PlotWithoutGnuplotIsAnError) {
    write("clock.yaml", "solver: {step: 0.5, stop: 1}\nblocks:\n  c: {type: Clock}\n");
    const Result result = blocksim("run clock.yaml --plot clock.png", "PATH=/nonexistent");
    EXPECT_EQ(1, result.status);
    EXPECT_EQ("blocksim: error: --plot needs gnuplot, but gnuplot is not installed (apt-get install gnuplot-nox)\n",
              result.output);
}

}  // namespace
