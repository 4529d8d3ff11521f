// The valve lift library through the host.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>

#include "core/valve_lift.hpp"
#include "host_fixture.hpp"

namespace {

using namespace testing_host;
using host::make_double;

std::vector<host::ArrayPtr> worked_example_params() {
    return params(make_double({2}), make_double({1}), make_double({40}), make_double({40}), make_double({1}),
                  make_double({0, 20, 40}), make_double({0, 20, 40}), make_double({0, 0.3, 1}),
                  make_double({1, 0.3, 0}));
}

double lift_at(host::SFunctionInstance& block, double crank_angle, double start_signal = 80, double dwell_signal = 20) {
    block.input_buffer(0)[0] = crank_angle;
    block.input_buffer(1)[0] = start_signal;
    block.input_buffer(2)[0] = dwell_signal;
    block.outputs(0.0);
    return block.output_doubles(0)[0];
}

TEST(TolvaneBlock, WorkedExampleThroughTheLoadedLibrary) {
    auto block = make_block("Tolvane", worked_example_params());
    const struct { double degrees, lift; } cases[] = {
        {80, 0}, {90, 0.3}, {120, 2}, {130, 2}, {150, 1.3}, {180, 0}, {450, 0.3}};
    for (const auto& c : cases) {
        const double radians = c.degrees * blocks::valve_pi / 180.0;
        EXPECT_NEAR(c.lift, lift_at(*block, radians), 1e-9) << c.degrees;
    }
}

TEST(TolvaneBlock, Declaration) {
    auto block = make_block("Tolvane", worked_example_params());
    ASSERT_EQ(3, block->num_inputs());
    ASSERT_EQ(1, block->num_outputs());
    for (int port = 0; port < 3; ++port) {
        EXPECT_EQ(1, block->input(port).width);
        EXPECT_TRUE(block->input(port).direct_feedthrough);
        EXPECT_EQ(SS_DOUBLE, block->input(port).data_type);
    }
    EXPECT_EQ(-1.0, block->sample_time());
    EXPECT_EQ(0x20080002u, block->simstruct().options);
    for (host::Method flag : {host::Method::set_input_port_data_type, host::Method::set_output_port_data_type,
                              host::Method::set_default_port_data_types, host::Method::set_input_port_frame_data})
        EXPECT_TRUE(block->provides(flag)) << host::method_name(flag);
    EXPECT_FALSE(block->provides(host::Method::update));
}

TEST(TolvaneBlock, EachParameterFailsTheTypeCheckWithItsOwnIndex) {
    for (int bad = 0; bad < 9; ++bad) {
        SCOPED_TRACE(bad + 1);
        auto list = worked_example_params();
        list[bad] = host::make_int32({1});
        EXPECT_EQ(parameter_type_message(bad + 1),
                  block_error_of([&] { host::SFunctionInstance("valve", load("Tolvane"), std::move(list)); }));
    }
}

TEST(TolvaneBlock, ParameterCountOtherThanNineIsRefused) {
    for (int count : {0, 8, 10}) {
        std::vector<host::ArrayPtr> list;
        for (int i = 0; i < count; ++i) list.push_back(make_double({1}));
        const std::string message = error_of([&] { host::SFunctionInstance("valve", load("Tolvane"), std::move(list)); });
        EXPECT_NE(std::string::npos,
                  message.find("expects 9 dialog parameters, but the block gives " + std::to_string(count)))
            << message;
    }
}

TEST(TolvaneBlock, DataTypeMethodsSetThePortTheCallNames) {
    host::SFunctionInstance block("valve", load("Tolvane"), worked_example_params());
    // Offered to an inherited port, the type lands on the port the call names.
    // Make port 2 inherited, as a block that declared it DYNAMICALLY_TYPED.
    const_cast<SimStruct&>(block.simstruct()).inputs[2].dataType = DYNAMICALLY_TYPED;
    block.offer_input_type(2, SS_SINGLE);
    EXPECT_EQ(SS_SINGLE, block.input(2).data_type);
    EXPECT_EQ(SS_DOUBLE, block.input(0).data_type);
    // A port whose type is already set is not offered another: the signal is refused.
    EXPECT_EQ("block 'valve' (S-function 'Tolvane') input port 1 takes double, but the signal connected to it is "
              "int32",
              error_of([&] { block.offer_input_type(1, SS_INT32); }));
    EXPECT_EQ(SS_DOUBLE, block.input(1).data_type);
}

TEST(TolvaneBlock, HostRefusesASignalOfAnotherTypeOrWidth) {
    auto block = make_block("Tolvane", worked_example_params(), "exhaust_valve");
    EXPECT_EQ("block 'exhaust_valve' (S-function 'Tolvane') input port 1 takes double, but the signal connected "
              "to it is int32 (id 10)",
              error_of([&] { block->offer_input_type(1, host::int32_status_type_id); }));
    EXPECT_EQ("block 'exhaust_valve' (S-function 'Tolvane') input port 0 has width 1, but the signal connected to "
              "it has width 3",
              error_of([&] { block->set_input_width(0, 3); }));
    double crank = 90.0 * blocks::valve_pi / 180.0;
    block->offer_input_type(0, SS_DOUBLE);
    block->set_input_width(0, 1);
    block->connect_input(0, &crank);
    block->input_buffer(1)[0] = 80;
    block->input_buffer(2)[0] = 20;
    block->outputs(0.0);
    EXPECT_NEAR(0.3, block->output_doubles(0)[0], 1e-9);
}

TEST(TolvaneBlock, OddTablesAndAnglesThroughTheLibrary) {
    auto list = worked_example_params();
    list[5] = make_double({0, 20});  // shorter than its lift table
    list[8] = make_double({0.5});    // one point
    auto block = make_block("Tolvane", std::move(list));
    for (double radians : {0.5, 1.5, 2.3, 2.6, 1e12, -1e12, std::nan(""), HUGE_VAL, -HUGE_VAL}) {
        const double lift = lift_at(*block, radians);
        EXPECT_TRUE(lift == 0.0 || (lift > 0.0 && lift <= 2.0)) << radians << " -> " << lift;
    }
    EXPECT_NEAR(1.0, lift_at(*block, 150.0 * blocks::valve_pi / 180.0), 1e-12);  // closing: the one point, 0.5 x 2
}

TEST(TolvaneCommandLine, SizeFields) {
    const auto list = worked_example_params();
    std::vector<const mxArray*> views;
    for (const auto& p : list) views.push_back(p.get());
    const std::vector<double> expected = {
        0, 0, 1, 3, 0, 1, 1,        //
        9, 0, 0, 0, 0, 0, 0,        //
        3, 1,                       //
        1, 0, 1, 1, 0, 1, 1, 0, 1,  //
        1, 0, 0, 0, 0, 0,           //
        -1, 0, 0x20080002, 0, 0, 0, 2};
    EXPECT_EQ(expected, host::size_fields(*load("Tolvane"), views));
    const auto zero = make_double({0});
    EXPECT_EQ("MEX level2 S-function \"Tolvane\" must be called with at least 4 right hand arguments",
              command_line_error("Tolvane", 1, {zero.get()}));
}

}  // namespace
