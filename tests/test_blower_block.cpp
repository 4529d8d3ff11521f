// The blower library through the host: binding, parameter checks, the
// command-line path and the worked examples.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <functional>

#include "host_fixture.hpp"
#include "mex_runtime.hpp"
#include "worked_examples.hpp"

namespace {

using namespace testing_host;
using host::make_double;

std::vector<host::ArrayPtr> worked_example_params() {
    return params(make_double({0.7}), make_double({2, 0.5, 0.1}), make_double({0.0698}));
}

void set_inputs(host::SFunctionInstance& block, double p_in, double T_in, double c, double p_out, double drive) {
    double* inlet = block.input_buffer(0);
    inlet[0] = p_in;
    inlet[1] = T_in;
    inlet[2] = c;
    block.input_buffer(1)[0] = p_out;
    block.input_buffer(2)[0] = drive;
}

TEST(BlowerBlock, WorkedExamplesThroughTheLoadedLibrary) {
    auto block = make_block("blower", worked_example_params());
    const auto& example = worked_examples::blower_gas;
    set_inputs(*block, example.inlet[0], example.inlet[1], example.inlet[2], 150000, 1);
    block->outputs(0.0);
    for (int i = 0; i < 3; ++i) {
        EXPECT_TEN_DIGITS(example.inlet_flow[i], block->output_doubles(0)[i]) << i;
        EXPECT_TEN_DIGITS(example.outlet_flow[i], block->output_doubles(1)[i]) << i;
    }
    EXPECT_TEN_DIGITS(example.power, block->output_doubles(2)[0]);

    set_inputs(*block, 100000, 300, 0, 150000, 1);
    block->outputs(0.1);
    EXPECT_TEN_DIGITS(worked_examples::blower_air_mass_flow, block->output_doubles(0)[0]);
    EXPECT_TEN_DIGITS(worked_examples::blower_air_power, block->output_doubles(2)[0]);
    EXPECT_EQ(0.0, block->output_doubles(1)[2]);
}

TEST(BlowerBlock, DeclaresItsPortsAndSampleTime) {
    auto block = make_block("blower", worked_example_params());
    ASSERT_EQ(3, block->num_inputs());
    ASSERT_EQ(3, block->num_outputs());
    const int widths[] = {3, 3, 1};
    for (int port = 0; port < 3; ++port) {
        EXPECT_EQ(widths[port], block->input(port).width);
        EXPECT_TRUE(block->input(port).direct_feedthrough);
        EXPECT_EQ(SS_DOUBLE, block->input(port).data_type);
        EXPECT_EQ(widths[port], block->output(port).width);
    }
    EXPECT_EQ(-1.0, block->sample_time());
    EXPECT_EQ(0x20080002u, block->simstruct().options);
    EXPECT_EQ(2, block->level());
}

TEST(BlowerBlock, ParameterCountOtherThanThreeIsRefused) {
    for (int count : {0, 2, 4}) {
        std::vector<host::ArrayPtr> list;
        for (int i = 0; i < count; ++i) list.push_back(make_double({1, 1, 1}));
        const std::string message = error_of([&] { host::SFunctionInstance("b", load("blower"), std::move(list)); });
        EXPECT_NE(std::string::npos, message.find("expects 3 dialog parameters, but the block gives " +
                                                  std::to_string(count)))
            << message;
    }
}

TEST(BlowerBlock, EachFailingParameterClassIsReportedWithItsIndex) {
    const std::vector<std::function<host::ArrayPtr()>> bad = {
        [] { return host::make_logical({true, false, true}); },
        [] { return host::make_complex({{2, 1}, {0.5, 0}, {0.1, 0}}); },
        [] { return host::make_sparse({2, 0.5, 0.1}); },
        [] { return host::make_empty(); },
        [] { return host::make_single({2, 0.5, 0.1}); },
        [] { return host::make_int32({2, 1, 0}); },
        [] { return host::make_char("abc"); },
    };
    for (std::size_t i = 0; i < bad.size(); ++i) {
        SCOPED_TRACE(i);
        // Parameter 2 bad, parameter 1 valid: index 2.
        EXPECT_EQ(parameter_type_message(2), block_error_of([&] {
                      host::SFunctionInstance("b", load("blower"), params(make_double({0.7}), bad[i](), make_double({0.0698})));
                  }));
        // Parameter 1 bad too: index 1 comes first.
        EXPECT_EQ(parameter_type_message(1), block_error_of([&] {
                      host::SFunctionInstance("b", load("blower"), params(bad[i](), bad[i](), make_double({0.0698})));
                  }));
    }
    EXPECT_EQ(parameter_type_message(3), block_error_of([&] {
                  host::SFunctionInstance("b", load("blower"),
                              params(make_double({0.7}), make_double({2, 0.5, 0.1}), host::make_single({1})));
              }));
}

TEST(BlowerBlock, ShortParameterIsReportedAfterTheTypeCheck) {
    EXPECT_EQ("Parameter 2 (alpha, beta, gamma) needs at least 3 elements, but has 2.", block_error_of([&] {
                  host::SFunctionInstance("b", load("blower"), params(make_double({0.7}), make_double({2, 0.5}), make_double({1})));
              }));
    // A type failure later in the list still comes first.
    EXPECT_EQ(parameter_type_message(3), block_error_of([&] {
                  host::SFunctionInstance("b", load("blower"), params(make_double({0.7}), make_double({2}), host::make_empty()));
              }));
}

TEST(BlowerBlock, ChangedParameterIsCheckedAndABadOneKeepsTheOld) {
    auto block = make_block("blower", worked_example_params());
    EXPECT_EQ(parameter_type_message(1), block_error_of([&] { block->set_parameter(0, host::make_empty()); }));
    EXPECT_EQ("Parameter 2 (alpha, beta, gamma) needs at least 3 elements, but has 1.",
              block_error_of([&] { block->set_parameter(1, make_double({2})); }));
    set_inputs(*block, 100000, 350, 1, 150000, 1);
    block->outputs(0.0);
    EXPECT_TEN_DIGITS(worked_examples::blower_gas.power, block->output_doubles(2)[0]);
    block->set_parameter(0, make_double({0.35}));
    block->outputs(0.0);
    EXPECT_TEN_DIGITS(2 * worked_examples::blower_gas.power, block->output_doubles(2)[0]);
}

TEST(BlowerBlock, MethodsTheBlockLacksAndUnknownFlags) {
    auto block = make_block("blower", worked_example_params());
    EXPECT_FALSE(block->provides(host::Method::update));
    EXPECT_EQ("Unexpected call to mdlUpdate", block_error_of([&] { block->request(host::Method::update); }));
    EXPECT_EQ("Unexpected call to mdlDerivatives", block_error_of([&] { block->request(host::Method::derivatives); }));
    EXPECT_EQ("Unexpected call to mdlStart", block_error_of([&] { block->request(host::Method::start); }));
    EXPECT_EQ("Invalid flag encountered in simulink.c", glue_status_for_flag(*block, 99));
    EXPECT_EQ("Invalid flag encountered in simulink.c", glue_status_for_flag(*block, -3));
}

TEST(BlowerBlock, BlockErrorNamesBlockAndSFunction) {
    auto block = make_block("blower", worked_example_params(), "scavenge_blower");
    try {
        block->request(host::Method::update, 2.5);
        FAIL();
    } catch (const host::BlockError& error) {
        EXPECT_EQ("scavenge_blower", error.block());
        EXPECT_EQ("blower", error.sfunction());
        EXPECT_STREQ("block 'scavenge_blower' (S-function 'blower') failed in mdlUpdate at t = 2.5: "
                     "Unexpected call to mdlUpdate",
                     error.what());
    }
}

TEST(BlowerBlock, ALibraryLoadedUnderAnotherNameFailsTheNameCheck) {
    const auto directory = std::filesystem::temp_directory_path() / "blocks_name_check";
    std::filesystem::create_directories(directory);
    const std::string suffix = host::library_suffix;
    std::filesystem::copy_file(std::filesystem::path(BLOCKS_LIBRARY_DIR) / ("blower" + suffix),
                               directory / ("fan" + suffix), std::filesystem::copy_options::overwrite_existing);
    const std::string expected =
        "S-function name mismatch. Name in source is \"#define S_FUNCTION_NAME blower\", whereas name of the "
        "S-function MEX file is \"fan\". The source needs to be updated";
    {
        const auto renamed = host::Library::load("fan", {directory});
        EXPECT_EQ(expected, block_error_of([&] { host::SFunctionInstance("b", renamed, worked_example_params()); }));
        const auto t = make_double({0}), flag = make_double({0});
        try {
            host::call_command_line(*renamed, 1, {t.get(), t.get(), t.get(), flag.get()});
            ADD_FAILURE();
        } catch (const host::MexCallError& error) {
            EXPECT_EQ(expected, error.what());
        }
    }
    // Unloaded first: Windows keeps a loaded library's file.
    std::error_code ignored;
    std::filesystem::remove_all(directory, ignored);
}

TEST(BlowerBlock, MissingLibraryNamesThePathsSearched) {
    const std::string message = error_of([] { host::Library::load("nosuchblock", {"/nonexistent/a", "/tmp"}); });
    EXPECT_EQ("S-function 'nosuchblock' not found: no nosuchblock" + std::string(host::library_suffix) +
                  " in /nonexistent/a, /tmp",
              message);
}

TEST(BlowerCommandLine, FlagZeroReturnsTheSizeFields) {
    const auto p = worked_example_params();
    const std::vector<double> fields = host::size_fields(*load("blower"), {p[0].get(), p[1].get(), p[2].get()});
    const std::vector<double> expected = {
        0, 0, 7, 7, 0, 1, 1,           // states, outputs, inputs, reserved, feedthrough, sample times
        3, 0, 0, 0, 0, 0, 0,           // parameters, RWork, IWork, PWork, modes, zero crossings, DWork
        3, 3,                          // input and output ports
        3, 0, 1, 3, 0, 1, 1, 0, 1,     // input ports: width, type, feedthrough
        3, 0, 3, 0, 1, 0,              // output ports: width, type
        -1, 0, 0x20080002, 0, 0, 0, 2  // sample time, offset, options, sim state, DWork 0, level
    };
    EXPECT_EQ(expected, fields);
}

TEST(BlowerCommandLine, ArgumentErrorsGiveTheGlueMessages) {
    const auto zero = make_double({0}), one = make_double({1});
    const std::string who = "MEX level2 S-function \"blower\"";
    EXPECT_EQ(who + " must be called with at least 4 right hand arguments",
              command_line_error("blower", 1, {zero.get(), zero.get(), zero.get()}));
    EXPECT_EQ(who + " called with too many left hand arguments",
              command_line_error("blower", 2, {zero.get(), zero.get(), zero.get(), zero.get()}));
    const std::string not_integer = "The 4th right hand argument, FLAG, passed to " + who + " must be an integer";
    std::vector<host::ArrayPtr> flags;
    flags.push_back(make_double({1.5}));
    flags.push_back(host::make_single({0}));
    flags.push_back(host::make_logical({true}));
    flags.push_back(host::make_empty());
    flags.push_back(host::make_complex({{0, 1}}));
    flags.push_back(make_double({0, 0}));
    flags.push_back(make_double({std::nan("")}));
    for (const auto& flag : flags)
        EXPECT_EQ(not_integer, command_line_error("blower", 1, {zero.get(), zero.get(), zero.get(), flag.get()}));
    EXPECT_EQ("Invalid flag passed to " + who,
              command_line_error("blower", 1, {zero.get(), zero.get(), zero.get(), one.get()}));
    const auto three = make_double({3});
    EXPECT_EQ("Invalid flag passed to " + who,
              command_line_error("blower", 0, {zero.get(), zero.get(), zero.get(), three.get()}));
}

TEST(BlowerCommandLine, ABlockErrorDuringSizesComesBackAsTheMexError) {
    const auto zero = make_double({0});
    const auto bad = host::make_logical({true});
    EXPECT_EQ(parameter_type_message(1), command_line_error("blower", 1, {zero.get(), zero.get(), zero.get(),
                                                                          zero.get(), bad.get(), bad.get(), bad.get()}));
}

TEST(BlowerCommandLine, LeavesNoArraysBehind) {
    const long before = mexrt::live_arrays();
    {
        const auto p = worked_example_params();
        host::size_fields(*load("blower"), {p[0].get(), p[1].get(), p[2].get()});
        const auto zero = make_double({0});
        command_line_error("blower", 1, {zero.get()});
    }
    EXPECT_EQ(before, mexrt::live_arrays());
}

}  // namespace
