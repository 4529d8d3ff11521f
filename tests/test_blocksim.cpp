// blocksim as a user runs it: each block's example model, and the errors a
// user can cause, with their messages and exit codes.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "worked_examples.hpp"

namespace {

namespace fs = std::filesystem;

// A word for the shell, whatever spaces or quotes it holds.
std::string shell_word(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

struct Result {
    int status;
    std::string output;  // stdout and stderr together
};

class Blocksim : public ::testing::Test {
protected:
    void SetUp() override {
        directory_ = fs::temp_directory_path() /
                     ("blocksim_test_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(directory_);
        fs::create_directories(directory_);
    }
    void TearDown() override { fs::remove_all(directory_); }

    Result blocksim(const std::string& arguments) const {
        const std::string command =
            "cd " + shell_word(directory_.string()) + " && " + shell_word(BLOCKSIM) + " " + arguments + " 2>&1";
        FILE* pipe = popen(command.c_str(), "r");
        std::string output;
        char buffer[4096];
        while (std::size_t n = std::fread(buffer, 1, sizeof buffer, pipe)) output.append(buffer, n);
        const int status = pclose(pipe);
        return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, output};
    }

    fs::path write(const std::string& name, const std::string& text) const {
        std::ofstream(directory_ / name) << text;
        return directory_ / name;
    }

    // The CSV's header and rows.
    std::pair<std::vector<std::string>, std::vector<std::vector<double>>> csv(const std::string& name) const {
        std::ifstream in(directory_ / name);
        std::string line, cell;
        std::getline(in, line);
        std::vector<std::string> header;
        std::stringstream names(line);
        while (std::getline(names, cell, ',')) header.push_back(cell);
        std::vector<std::vector<double>> rows;
        while (std::getline(in, line)) {
            std::vector<double> row;
            std::stringstream cells(line);
            while (std::getline(cells, cell, ',')) row.push_back(std::stod(cell));
            rows.push_back(row);
        }
        return {header, rows};
    }

    // An example model's path, as a word for the command line.
    std::string example(const std::string& name) const { return shell_word(std::string(EXAMPLES_DIR) + "/" + name); }

    fs::path directory_;
};

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
    EXPECT_NE(std::string::npos, result.output.find("wrote engine.csv (201 rows, 12 signals)")) << result.output;
    EXPECT_EQ(std::string::npos, result.output.find('\r')) << "progress is for terminals only";
    const auto [header, rows] = csv("engine.csv");
    EXPECT_EQ("load_ratio.0[0]", header[1]);
    EXPECT_NEAR(0.2, rows.front()[1], 1e-12);
}

TEST_F(Blocksim, MalformedModelsNameFileAndLine) {
    write("broken.yaml", "blocks:\n  a: {type: Gain, gain: 2\n");
    Result result = blocksim("run broken.yaml");
    EXPECT_EQ(1, result.status);
    EXPECT_NE(std::string::npos, result.output.find("blocksim: error: broken.yaml:3:")) << result.output;

    struct Case {
        const char* file;
        std::string text;  // empty: the file is not written
        const char* message;
    };
    const Case cases[] = {
        {"typo.yaml",
         "blocks:\n  c: {type: Constant, value: 1}\n  g: {type: Gain, gian: 2}\nconnections:\n  - c.0 -> g.0\n",
         "typo.yaml:3: unknown key 'gian' in Gain block 'g' (known: gain, type)"},
        {"arrow.yaml", "blocks:\n  c: {type: Constant, value: 1}\nconnections:\n  - c.0 to c.1\n",
         "arrow.yaml:4: a connection needs '->': 'c.0 to c.1'"},
        {"bracket.yaml", "blocks:\n  c: {type: Clock}\nlog:\n  signals: [c.0[0]]\n",
         "bracket.yaml:4: end of sequence flow not found (inside [ ], write block.port[element] in quotes: "
         "\"fan.0[1]\")"},
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
        {"missing.yaml", "", "missing.yaml: cannot open the model file"},
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
              "Ramp, Sine, Table, Gain, Sum, Product, Mux, Selector, Convert, Integrator, Lag; an S-function block has "
              "sfunction: NAME)\n",
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
    const Result result = blocksim("run fails.yaml --path " + shell_word(TEST_BLOCKS_DIR) + " --out partial.csv --no-plot");
    EXPECT_EQ(1, result.status);
    EXPECT_NE(std::string::npos, result.output.find("blocksim: error: block 'f' (S-function 'failer') failed in "
                                                    "mdlOutputs at t = 0.4: simulated failure\n"))
        << result.output;
    EXPECT_NE(std::string::npos,
              result.output.find("blocksim: the run stopped at t = 0.3 s; partial.csv holds the 4 rows written up to "
                                 "t = 0.3 s\n"))
        << result.output;
    const auto rows = csv("partial.csv").second;
    ASSERT_EQ(4u, rows.size());
    EXPECT_NEAR(0.3, rows.back()[1], 1e-12);
}

TEST_F(Blocksim, UsageErrorsExitWithTwo) {
    for (const std::string arguments : {"", "frobnicate", "run --step", "run --step fast", "run --bogus"}) {
        const Result result = blocksim(arguments);
        EXPECT_EQ(2, result.status) << arguments;
        EXPECT_NE(std::string::npos, result.output.find("usage:")) << arguments;
    }
}

TEST_F(Blocksim, InfoPrintsTheDeclaration) {
    Result result = blocksim("info quorvel 3 1");
    ASSERT_EQ(0, result.status) << result.output;
    EXPECT_NE(std::string::npos, result.output.find("quorvel: level-2 S-function")) << result.output;
    EXPECT_NE(std::string::npos, result.output.find("    0: width 1, int32 (id 10)")) << result.output;
    EXPECT_NE(std::string::npos, result.output.find("    0: width 1, double, direct feedthrough")) << result.output;
    EXPECT_NE(std::string::npos, result.output.find("DWork              1 (DWork 0: width 1, int32)")) << result.output;
    EXPECT_NE(std::string::npos, result.output.find("sample time        continuous (0)")) << result.output;

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

}  // namespace
