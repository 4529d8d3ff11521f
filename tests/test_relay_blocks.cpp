// The two relay libraries through the host.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "host_fixture.hpp"

namespace {

using namespace testing_host;
using host::make_double;

std::unique_ptr<host::SFunctionInstance> relay(const std::string& sfunction, double upper, double lower) {
    auto block = make_block(sfunction, params(make_double({upper}), make_double({lower})), sfunction + "_relay");
    block->start();
    block->initialize_conditions();
    return block;
}

// One output call and one update per step, as at major steps.
std::vector<double> run_steps(host::SFunctionInstance& block, const std::vector<double>& inputs) {
    std::vector<double> outputs;
    for (double u : inputs) {
        block.input_buffer(0)[0] = u;
        block.outputs(0.0, true);
        outputs.push_back(block.output_value(0, 0));
        block.update(0.0);
    }
    return outputs;
}

TEST(RelayBlocks, WorkedExample) {
    const std::vector<double> inputs = {2, 4, 2, 0.5, 2, 3};
    auto sarnith = relay("sarnith", 3, 1);
    EXPECT_EQ((std::vector<double>{0, 0, 0, 1, 1, 1}), run_steps(*sarnith, inputs));
    auto quorvel = relay("quorvel", 3, 1);
    EXPECT_EQ((std::vector<double>{0, 1, 1, 0, 0, 0}), run_steps(*quorvel, inputs));
}

TEST(RelayBlocks, OutputTypesAsTheHostReadsThem) {
    auto sarnith = relay("sarnith", 3, 1);
    EXPECT_EQ(SS_DOUBLE, sarnith->output(0).data_type);
    run_steps(*sarnith, {0.5});
    EXPECT_EQ(1.0, sarnith->output_doubles(0)[0]);

    auto quorvel = relay("quorvel", 3, 1);
    EXPECT_EQ(10, quorvel->output(0).data_type);
    run_steps(*quorvel, {4});
    std::int32_t flag = -1;
    std::memcpy(&flag, quorvel->output_signal(0), sizeof flag);
    EXPECT_EQ(1, flag);
    EXPECT_THROW(quorvel->output_doubles(0), host::HostError);
    // The held integer sits in a DWork of its own type.
    std::int32_t held = -1;
    std::memcpy(&held, quorvel->dwork(0), sizeof held);
    EXPECT_EQ(1, held);
}

TEST(RelayBlocks, FirstStepInsideTheBandGivesTheClearedValue) {
    EXPECT_EQ(std::vector<double>{0.0}, run_steps(*relay("sarnith", 3, 1), {2}));
    EXPECT_EQ(std::vector<double>{0.0}, run_steps(*relay("quorvel", 3, 1), {2}));
    // A relay whose DWork was dirty before the run starts from 0 all the same.
    auto block = make_block("quorvel", params(make_double({3}), make_double({1})));
    const std::int32_t dirty = 12345;
    std::memcpy(block->dwork(0), &dirty, sizeof dirty);
    block->start();
    block->initialize_conditions();
    EXPECT_EQ(std::vector<double>{0.0}, run_steps(*block, {2}));
}

TEST(RelayBlocks, EdgeInputs) {
    for (const char* name : {"sarnith", "quorvel"}) {
        SCOPED_TRACE(name);
        const double above = std::string(name) == "sarnith" ? 0.0 : 1.0;
        const double below = 1.0 - above;
        // Equal to either threshold, or NaN: the held value.
        EXPECT_EQ((std::vector<double>{below, below, below, below}),
                  run_steps(*relay(name, 3, 1), {0, 3, 1, std::nan("")}));
        EXPECT_EQ((std::vector<double>{above, above, above}), run_steps(*relay(name, 3, 1), {5, 1, std::nan("")}));
        // Crossed thresholds: u = 4 with lower 5, upper 3.
        EXPECT_EQ(std::vector<double>{above}, run_steps(*relay(name, 3, 5), {4}));
        // Rising above, back into the band: held until below the lower one.
        EXPECT_EQ((std::vector<double>{above, above, above, below}), run_steps(*relay(name, 3, 1), {3.5, 2, 1.5, 0.9}));
    }
}

TEST(RelayBlocks, OutputCallsBetweenUpdatesSwitchTheOutputButNotTheMemory) {
    for (const char* name : {"sarnith", "quorvel"}) {
        SCOPED_TRACE(name);
        auto block = relay(name, 3, 1);
        const double above = std::string(name) == "sarnith" ? 0.0 : 1.0;
        run_steps(*block, {0});  // held: below-value
        const double below = block->output_value(0, 0);
        // Minor steps: the input goes above and back into the band.
        block->input_buffer(0)[0] = 4;
        block->outputs(0.1, false);
        EXPECT_EQ(above, block->output_value(0, 0));
        block->input_buffer(0)[0] = 2;
        block->outputs(0.2, false);
        EXPECT_EQ(below, block->output_value(0, 0));  // compared with the held value, which did not change
        // The major step at 2 keeps the old memory.
        block->outputs(0.3, true);
        block->update(0.3);
        EXPECT_EQ(below, block->output_value(0, 0));
    }
}

TEST(RelayBlocks, Declarations) {
    for (const char* name : {"sarnith", "quorvel"}) {
        SCOPED_TRACE(name);
        const auto thresholds = params(make_double({3}), make_double({1}));
        const std::vector<double> fields = host::size_fields(*load(name), {thresholds[0].get(), thresholds[1].get()});
        const double output_type = std::string(name) == "sarnith" ? 0 : 10;
        const double dwork_type = std::string(name) == "sarnith" ? SS_DOUBLE : SS_INT32;
        const std::vector<double> expected = {
            0, 0, 1, 1, 0, 1, 1,              //
            2, 0, 0, 0, 0, 0, 1,              // two parameters, one DWork
            1, 1,                             //
            1, 0, 1, 0, 0, 0, 0, 0, 0,        //
            1, output_type, 0, 0, 0, 0,       //
            0, 0, 0, 1, 1, dwork_type, 2};    // continuous, options 0, default sim state, DWork width 1
        EXPECT_EQ(expected, fields);
        auto block = relay(name, 3, 1);
        for (host::Method flag : {host::Method::start, host::Method::initialize_conditions, host::Method::update,
                         host::Method::derivatives, host::Method::check_parameters})
            EXPECT_TRUE(block->provides(flag)) << host::method_name(flag);
    }
}

TEST(RelayBlocks, BadThresholdsAreRefusedWithClearMessages) {
    for (const char* name : {"sarnith", "quorvel"}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(parameter_type_message(1), block_error_of([&] {
                      host::SFunctionInstance("r", load(name), params(host::make_empty(), make_double({1})));
                  }));
        EXPECT_EQ(parameter_type_message(2), block_error_of([&] {
                      host::SFunctionInstance("r", load(name), params(make_double({3}), host::make_logical({true})));
                  }));
        EXPECT_EQ(parameter_type_message(2), block_error_of([&] {
                      host::SFunctionInstance("r", load(name), params(make_double({3}), host::make_complex({{1, 1}})));
                  }));
        EXPECT_EQ(parameter_type_message(1), block_error_of([&] {
                      host::SFunctionInstance("r", load(name), params(host::make_single({3}), make_double({1})));
                  }));
        // Found by fuzzing: a threshold changed to [] while running was read
        // past its end by the next mdlOutputs. The change is now refused and
        // the old threshold kept.
        auto block = relay(name, 3, 1);
        EXPECT_EQ(parameter_type_message(1), block_error_of([&] { block->set_parameter(0, host::make_empty()); }));
        EXPECT_EQ(parameter_type_message(2),
                  block_error_of([&] { block->set_parameter(1, host::make_single({0.5f})); }));
        block->initialize_conditions();
        block->input_buffer(0)[0] = 4.0;
        block->outputs(0.0);
        EXPECT_EQ(std::string(name) == "sarnith" ? 0.0 : 1.0, block->output_value(0, 0));
        block->set_parameter(0, make_double({5}));
        block->set_parameter(1, make_double({4.5}));
        block->outputs(0.0);  // 4 is now below the lower threshold
        EXPECT_EQ(std::string(name) == "sarnith" ? 1.0 : 0.0, block->output_value(0, 0));
        for (int count : {0, 1, 3}) {
            std::vector<host::ArrayPtr> list;
            for (int i = 0; i < count; ++i) list.push_back(make_double({1}));
            const std::string message = error_of([&] { host::SFunctionInstance("r", load(name), std::move(list)); });
            EXPECT_NE(std::string::npos,
                      message.find("expects 2 dialog parameters, but the block gives " + std::to_string(count)))
                << message;
        }
    }
}

}  // namespace
