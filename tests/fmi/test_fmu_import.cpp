// The blocks' own FMUs through blocksim's FMU importer (host/fmu): the same
// numbers as the tests' importer gives at every step, in FMI 2.0 and 3.0,
// and the failures an FMU can cause, each with its message.
#include <gtest/gtest.h>

#include <cmath>

#include "../blocksim_fixture.hpp"
#include "block_manifest.hpp"
#include "fmu_importer.hpp"
#include "host/fmu/archive.hpp"
#include "host/fmu/description.hpp"
#include "host/fmu/fmu_node.hpp"
#include "host/fmu/instance.hpp"
#include "host/model/model_file.hpp"
#include "host/sim/engine.hpp"

namespace {

fs::path fmu_file(const std::string& block, int version) {
    return version == 2 ? fs::path(FMU_DIR) / (block + ".fmu") : fs::path(FMU_DIR) / "fmi3" / (block + ".fmu");
}

// An FMU unpacked and read by blocksim's importer.
struct Imported {
    explicit Imported(const fs::path& file)
        : unpacked(file), description(host::read_description(unpacked.folder(), file.string())) {}
    host::UnpackedFmu unpacked;
    host::FmuDescription description;
    std::vector<const host::FmuVariable*> with(const std::string& causality) const {
        std::vector<const host::FmuVariable*> found;
        for (const auto& v : description.variables)
            if (v.causality == causality) found.push_back(&v);
        return found;
    }
};

std::string failure(const std::function<void()>& action) {
    try {
        action();
    } catch (const host::FmuError& e) {
        return e.what();
    }
    return "";
}

using ImportedFmus = Blocksim;

// Ten communication steps of 0.01 s, every input swinging about its start
// value (a relay's through both thresholds): each output of each step, by both importers and both versions.
TEST_F(ImportedFmus, EveryBlockGivesTheTestImportersNumbersAtEveryStep) {
    for (const auto& block : blocks::manifest) {
        SCOPED_TRACE(block.name);
        importer::Fmu theirs_fmu(fmu_file(block.name, 2), directory_ / ("theirs_" + std::string(block.name)));
        importer::Instance theirs(theirs_fmu, fmi2CoSimulation);
        Imported fmi2(fmu_file(block.name, 2)), fmi3(fmu_file(block.name, 3));
        host::FmuInstance ours2(fmi2.unpacked.folder(), fmi2.description, "a", "blocksim");
        host::FmuInstance ours3(fmi3.unpacked.folder(), fmi3.description, "b", "blocksim");
        ASSERT_EQ(fmi2OK, theirs.initialize()) << theirs.last_message();
        for (auto* ours : {&ours2, &ours3}) {
            ours->enter_initialization(0);
            ours->exit_initialization();
        }
        const auto inputs2 = fmi2.with("input"), outputs2 = fmi2.with("output");
        const auto inputs3 = fmi3.with("input"), outputs3 = fmi3.with("output");
        ASSERT_EQ(inputs2.size(), inputs3.size());
        ASSERT_EQ(outputs2.size(), outputs3.size());
        int changed = 0;
        std::vector<double> previous(outputs2.size(), NAN);
        for (int step = 0; step < 10; ++step) {
            for (std::size_t i = 0; i < inputs2.size(); ++i) {
                const double swing = block.name == std::string("sarnith") || block.name == std::string("quorvel") ? 0.9 : 0.3;
                const double value = std::stod(inputs2[i]->start.value_or("0")) * (1 + swing * std::sin(step));
                theirs.set_real(inputs2[i]->name, value);
                ours2.set(*inputs2[i], &value);
                ours3.set(*inputs3[i], &value);
            }
            for (std::size_t o = 0; o < outputs2.size(); ++o) {
                const auto& v = *outputs2[o];
                double mine2 = 0, mine3 = 0;
                ours2.get(v, &mine2);
                ours3.get(*outputs3[o], &mine3);
                const double expected = v.type == "Integer" ? theirs.integer(v.name) : theirs.real(v.name);
                ASSERT_EQ(expected, mine2) << v.name << " at step " << step;
                ASSERT_EQ(expected, mine3) << v.name << " at step " << step;
                if (step > 0 && expected != previous[o]) ++changed;
                previous[o] = expected;
            }
            const double t = 0.01 * step;
            ASSERT_EQ(fmi2OK, theirs.fmi().DoStep(theirs.component(), t, 0.01, fmi2True)) << theirs.last_message();
            ours2.do_step(t, 0.01);
            ours3.do_step(t, 0.01);
        }
        EXPECT_GT(changed, 0) << "the outputs never moved";
    }
}

TEST_F(ImportedFmus, FailuresNameTheFmuTheCallAndItsMessage) {
    Imported sarnith(fmu_file("sarnith", 2));
    const auto folder = sarnith.unpacked.folder();
    host::FmuDescription renamed = sarnith.description;
    renamed.co_simulation->model_identifier = "nothing";
    EXPECT_EQ("block 'r': the FMU has no binary for linux64 (binaries/linux64/nothing.so)",
              failure([&] { host::FmuInstance(folder, renamed, "r", "block 'r'"); }));
    host::FmuDescription wrong_token = sarnith.description;
    wrong_token.token = "{not-its-guid}";
    const std::string refused = failure([&] { host::FmuInstance(folder, wrong_token, "r", "block 'r'"); });
    EXPECT_EQ(0u, refused.find("block 'r': fmi2Instantiate failed: ")) << refused;
    EXPECT_NE(std::string::npos, refused.find("{not-its-guid}")) << refused;

    // A step the FMU refuses: its status and its own message.
    Imported brisquel(fmu_file("Brisquel", 2));
    host::FmuInstance controller(brisquel.unpacked.folder(), brisquel.description, "c", "block 'c'");
    const double tiny = 1e-320;
    controller.set(*brisquel.description.variable("internal_step"), &tiny);
    controller.enter_initialization(0);
    controller.exit_initialization();
    EXPECT_EQ("block 'c': fmi2DoStep at t = 0.5 returned fmi2Error: fmi2DoStep: the communication point 0.5 is not "
              "where the last step ended, 0",
              failure([&] { controller.do_step(0.5, 1e-3); }));
    EXPECT_EQ("block 'c': fmi2DoStep at t = 0 returned fmi2Error: fmi2DoStep: a communication step of 0.001 s is "
              "more than 1e9 internal steps of 1e-320 s, more than one call takes; take shorter communication steps "
              "or set a longer internal_step before initialization",
              failure([&] { controller.do_step(0, 1e-3); }));

    // FMI 3.0 logs with logging on: its error comes with its message too.
    Imported brisquel3(fmu_file("Brisquel", 3));
    host::FmuInstance controller3(brisquel3.unpacked.folder(), brisquel3.description, "c", "block 'c'");
    controller3.set(*brisquel3.description.variable("internal_step"), &tiny);
    controller3.enter_initialization(0);
    controller3.exit_initialization();
    const std::string fmi3_failure = failure([&] { controller3.do_step(0, 1e-3); });
    EXPECT_EQ(0u, fmi3_failure.find("block 'c': fmi3DoStep at t = 0 returned fmi3Error: ")) << fmi3_failure;
    EXPECT_NE(std::string::npos, fmi3_failure.find("more than 1e9 internal steps of 1e-320 s")) << fmi3_failure;

    // A binary that is no FMU's.
    fs::remove(folder / "binaries/linux64/sarnith.so");
    fs::copy_file("/lib/x86_64-linux-gnu/libm.so.6", folder / "binaries/linux64/sarnith.so");
    EXPECT_EQ("block 'r': its binary does not export fmi2Instantiate",
              failure([&] { host::FmuInstance(folder, sarnith.description, "r2", "block 'r'"); }));
}

}  // namespace

namespace {

// The same relay as an S-function block and as each version's FMU on one
// sine: an FMU's output at a step is the S-function's of the step before,
// bit for bit; with a communication step of two model steps it holds the
// S-function's value of two steps before, changing only at even steps.
TEST_F(ImportedFmus, ARelayFmuInAModelIsTheSFunctionOneStepLate) {
    for (const int version : {2, 3}) {
        SCOPED_TRACE("FMI " + std::to_string(version));
        fs::copy_file(fmu_file("sarnith", version), directory_ / "relay.fmu", fs::copy_options::overwrite_existing);
        write("relay.yaml",
              "solver: {method: ode4, step: 0.01, stop: 4}\n"
              "blocks:\n"
              "  wave: {type: Sine, amplitude: 3, frequency: 5, bias: 2}\n"
              "  relay: {sfunction: sarnith, parameters: [3.5, 0.5]}\n"
              "  imported: {fmu: relay.fmu, interface: cs, parameters: {upper_threshold: 3.5, lower_threshold: 0.5}}\n"
              "  slower: {fmu: relay.fmu, interface: cs, step: 0.02, parameters: {upper_threshold: 3.5, lower_threshold: 0.5}}\n"
              "connections:\n"
              "  - wave.0 -> relay.0\n"
              "  - wave.0 -> imported.u\n"
              "  - wave.0 -> slower.0\n"
              "log:\n"
              "  signals: [relay.0, imported.y, slower.0]\n");
        const Result run = blocksim("run relay.yaml --out relay.csv --no-plot");
        ASSERT_EQ(0, run.status) << run.output;
        const auto [header, rows] = csv("relay.csv");
        ASSERT_EQ((std::vector<std::string>{"time", "relay.0[0]", "imported.0[0]", "slower.0[0]"}), header);
        ASSERT_EQ(401u, rows.size());
        int switches = 0;
        for (std::size_t k = 1; k < rows.size(); ++k) {
            ASSERT_EQ(rows[k - 1][1], rows[k][2]) << "t = " << rows[k][0];
            const std::size_t communicated = k % 2 == 0 ? k - 2 : k - 1;
            if (k >= 2) {
                ASSERT_EQ(rows[communicated][1], rows[k][3]) << "t = " << rows[k][0];
            }
            if (rows[k][1] != rows[k - 1][1]) ++switches;
        }
        EXPECT_GE(switches, 6);
    }
}

// A copy of a model, as a sweep makes one per case, keeps its FMU blocks.
TEST_F(ImportedFmus, ACopiedModelKeepsItsFmuBlocks) {
    fs::copy_file(fmu_file("sarnith", 2), directory_ / "relay.fmu");
    write("m.yaml", "solver: {method: ode4, step: 0.01, stop: 0.1}\n"
                    "blocks:\n"
                    "  wave: {type: Constant, value: 0.2}\n"
                    "  relay: {fmu: relay.fmu}\n"
                    "connections: [wave.0 -> relay.u]\n");
    const host::ModelSpec spec = host::read_model_file(directory_ / "m.yaml");
    const host::ModelSpec copy = spec;  // NOLINT(performance-unnecessary-copy-initialization): the copy is the test
    ASSERT_TRUE(copy.blocks.at(1).fmu);
    EXPECT_EQ(spec.blocks.at(1).fmu->file, copy.blocks.at(1).fmu->file);
    host::enable_fmu_blocks();
    const host::Simulation simulation{host::ModelSpec(copy)};
    EXPECT_EQ((std::vector<std::string>{"wave", "relay"}), simulation.execution_order());
}

TEST_F(ImportedFmus, MistakesInAnFmuBlockAreNamedWithTheirLine) {
    fs::copy_file(fmu_file("sarnith", 2), directory_ / "relay.fmu");
    auto model = [&](const std::string& block, const std::string& connection) {
        write("m.yaml", "solver: {method: ode4, step: 0.01, stop: 0.1}\n"
                        "blocks:\n"
                        "  wave: {type: Sine, amplitude: 3, frequency: 5, bias: 2}\n"
                        "  relay: " + block + "\n"
                        "connections:\n"
                        "  - " + connection + "\n");
        return blocksim("run m.yaml --out m.csv --no-plot", "TMPDIR=" + shell_word((directory_ / "tmp").string()));
    };
    fs::create_directories(directory_ / "tmp");
    auto expect_error = [&](const Result& result, const std::string& message) {
        EXPECT_EQ(1, result.status) << result.output;
        EXPECT_EQ("blocksim: error: " + message + "\n", result.output);
    };
    expect_error(model("{fmu: relay.fmu, parameters: {upper_treshold: 3}}", "wave.0 -> relay.u"),
                 "m.yaml:4: block 'relay' (relay.fmu): the FMU has no variable 'upper_treshold' (did you mean "
                 "'upper_threshold'?)");
    expect_error(model("{fmu: relay.fmu, parameters: {y: 3}}", "wave.0 -> relay.u"),
                 "m.yaml:4: block 'relay' (relay.fmu): y is a variable of causality output; a block sets parameters "
                 "and inputs only");
    expect_error(model("{fmu: relay.fmu}", "wave.0 -> relay.uu"),
                 "m.yaml:6: block 'relay' (FMU 'relay.fmu') has no input named 'uu'");
    expect_error(model("{fmu: relay.fmu, interface: cs, step: 0.015}", "wave.0 -> relay.u"),
                 "m.yaml:4: block 'relay' (relay.fmu): its step 0.015 s is no whole multiple of the model's step "
                 "0.01 s");
    expect_error(model("{fmu: missing.fmu}", "wave.0 -> relay.u"),
                 "m.yaml:4: block 'relay': missing.fmu: no such file");
    expect_error(model("{fmu: relay.fmu, step: 0.02}", "wave.0 -> relay.u"),
                 "m.yaml:4: block 'relay' (relay.fmu): step: sets a co-simulation FMU's communication step; under "
                 "model exchange the model's solver steps the FMU");
    // A call the FMU fails ends the run with its message; the rows before it are kept.
    fs::copy_file(fmu_file("Brisquel", 2), directory_ / "controller.fmu");
    write("c.yaml", "solver: {method: ode4, step: 0.01, stop: 1}\n"
                    "blocks:\n"
                    "  load: {type: Constant, value: 20000000}\n"
                    "  controller: {fmu: controller.fmu, interface: cs, parameters: {internal_step: 1e-12}}\n"
                    "connections: [load.0 -> controller.load, load.0 -> controller.measured, "
                    "load.0 -> controller.set_point]\n");
    const Result failed = blocksim("run c.yaml --out c.csv --no-plot", "TMPDIR=" + shell_word((directory_ / "tmp").string()));
    EXPECT_EQ(1, failed.status);
    EXPECT_EQ("blocksim: error: block 'controller' (controller.fmu): fmi2DoStep at t = 0 returned fmi2Error: "
              "fmi2DoStep: a communication step of 0.01 s is more than 1e9 internal steps of 1e-12 s, more than one "
              "call takes; take shorter communication steps or set a longer internal_step before initialization\n"
              "blocksim: the run stopped at t = 0 s; c.partial.csv holds the 1 row written up to t = 0 s\n",
              failed.output);
    EXPECT_EQ(1u, csv("c.partial.csv").second.size());
    EXPECT_FALSE(fs::exists(directory_ / "c.csv"));
    // No FMU within an exported FMU.
    const Result exported = blocksim("export c.yaml --fmu c_model.fmu");
    EXPECT_EQ(1, exported.status);
    EXPECT_EQ("blocksim: error: c.yaml:4: block 'controller' runs an FMU; blocksim exports models of S-function and "
              "built-in blocks only, not an FMU within an FMU\n",
              exported.output);
    EXPECT_FALSE(fs::exists(directory_ / "c_model.fmu"));
    // Nothing of the unpacked FMUs is left behind.
    EXPECT_TRUE(fs::is_empty(directory_ / "tmp"));
}

}  // namespace
