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
#include "host/fmu/instance.hpp"

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
        host::FmuCoSimulation ours2(fmi2.unpacked.folder(), fmi2.description, "a", "blocksim");
        host::FmuCoSimulation ours3(fmi3.unpacked.folder(), fmi3.description, "b", "blocksim");
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
              failure([&] { host::FmuCoSimulation(folder, renamed, "r", "block 'r'"); }));
    host::FmuDescription wrong_token = sarnith.description;
    wrong_token.token = "{not-its-guid}";
    const std::string refused = failure([&] { host::FmuCoSimulation(folder, wrong_token, "r", "block 'r'"); });
    EXPECT_EQ(0u, refused.find("block 'r': fmi2Instantiate failed: ")) << refused;
    EXPECT_NE(std::string::npos, refused.find("{not-its-guid}")) << refused;

    // A step the FMU refuses: its status and its own message.
    Imported brisquel(fmu_file("Brisquel", 2));
    host::FmuCoSimulation controller(brisquel.unpacked.folder(), brisquel.description, "c", "block 'c'");
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

    // A binary that is no FMU's.
    fs::copy_file("/lib/x86_64-linux-gnu/libm.so.6", folder / "binaries/linux64/sarnith.so",
                  fs::copy_options::overwrite_existing);
    EXPECT_EQ("block 'r': its binary does not export fmi2Instantiate",
              failure([&] { host::FmuCoSimulation(folder, sarnith.description, "r2", "block 'r'"); }));
}

}  // namespace
