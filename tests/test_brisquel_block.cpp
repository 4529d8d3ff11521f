// The level-1 controller library through the host.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <functional>
#include <utility>
#include <vector>

#include <malloc.h>

#include "core/controller.hpp"
#include "host_fixture.hpp"
#include "mex_runtime.hpp"

namespace {

using namespace testing_host;
using Vector6 = std::array<double, 6>;

const Vector6 initial_vector = {1.07005329225731, 1.2, 1.0, -2.59972335254129, 0.5, 1.0};

struct Controller {
    std::unique_ptr<host::SFunctionInstance> block;

    explicit Controller(const std::string& name = "controller") : block(make_block("Brisquel", {}, name)) {
        block->start();
        block->initialize_conditions();
    }
    void set_input(const std::array<double, 3>& u) { std::copy(u.begin(), u.end(), block->input_buffer(0)); }
    Vector6 outputs(const std::array<double, 3>& u, double t = 0.0, bool major = true) {
        set_input(u);
        block->outputs(t, major);
        Vector6 y{};
        std::copy(block->output_doubles(0), block->output_doubles(0) + 6, y.begin());
        return y;
    }
    std::array<double, 2> derivatives(const std::array<double, 3>& u, double t = 0.0) {
        set_input(u);
        block->derivatives(t);
        return {block->state_derivatives()[0], block->state_derivatives()[1]};
    }
};

TEST(BrisquelBlock, DeclarationIsLevelOneWithTwoStates) {
    Controller c;
    EXPECT_EQ(1, c.block->level());
    EXPECT_EQ(2, c.block->num_cont_states());
    ASSERT_EQ(1, c.block->num_inputs());
    EXPECT_EQ(3, c.block->input(0).width);
    EXPECT_TRUE(c.block->input(0).direct_feedthrough);
    EXPECT_EQ(6, c.block->output(0).width);
    EXPECT_EQ(0.0, c.block->sample_time());
    EXPECT_FALSE(c.block->provides(host::Method::start));
}

TEST(BrisquelBlock, JustAfterLoadingSequenceThroughTheHost) {
    Controller c;
    EXPECT_EQ(0.0, c.block->cont_states()[0]);
    EXPECT_EQ(0.0, c.block->cont_states()[1]);
    const std::array<double, 3> u = {12520000.0, 0.9375, 1.0};
    EXPECT_EQ(initial_vector, c.outputs(u));
    const auto dx = c.derivatives(u);
    EXPECT_EQ(0.5208333333333334, dx[0]);
    EXPECT_EQ(0.9765625, dx[1]);
    EXPECT_EQ((Vector6{0.890176689582543, 1.2, 1.0, -5.35141943573803, 0.546875, 1.0}), c.outputs(u));
}

TEST(BrisquelBlock, UpdateAndTerminateChangeNothingBetweenEvaluations) {
    const std::array<double, 3> u = {20000000.0, 0.3, 0.8};
    Controller plain, poked;
    for (int step = 0; step < 5; ++step) {
        const Vector6 y = plain.outputs(u);
        const auto dx = plain.derivatives(u);
        const Vector6 y_poked = poked.outputs(u);
        poked.block->update(0.0);
        poked.block->terminate();
        const auto dx_poked = poked.derivatives(u);
        poked.block->update(0.0);
        poked.block->terminate();
        EXPECT_EQ(y, y_poked);
        EXPECT_EQ(dx, dx_poked);
        EXPECT_EQ(plain.block->cont_states()[0], poked.block->cont_states()[0]);
    }
}

TEST(BrisquelBlock, ATerminatedInstanceWhoseRecordWentToAnotherSaysSo) {
    Controller first;
    first.outputs({20000000.0, 0.3, 0.8});
    first.block->terminate();
    Controller second;  // takes over the record the first released
    EXPECT_EQ("mdlInitializeConditions must run before the controller is evaluated",
              block_error_of([&] { first.derivatives({20000000.0, 0.3, 0.8}); }));
    EXPECT_EQ(initial_vector, second.outputs({20000000.0, 0.3, 0.8}));
    first.block->initialize_conditions();  // a record of its own again
    EXPECT_EQ(initial_vector, first.outputs({20000000.0, 0.3, 0.8}));
}

namespace {

// Bytes of the C runtime's heap in use.
std::size_t heap_in_use() {
#ifdef _WIN32
    _HEAPINFO entry{};
    std::size_t used = 0;
    while (_heapwalk(&entry) == _HEAPOK)
        if (entry._useflag == _USEDENTRY) used += entry._size;
    return used;
#else
    return mallinfo2().uordblks;
#endif
}

}  // namespace

TEST(BrisquelBlock, AThousandRunsLeaveNothingBehind) {
    const auto library = load("Brisquel");  // kept loaded, records and all
    auto run = [&] {
        host::SFunctionInstance block("controller", library, {});
        block.prepare();
        block.start();
        block.initialize_conditions();
        for (int step = 0; step < 3; ++step) {
            block.outputs(0.0);
            block.derivatives(0.0);
        }
        block.terminate();
    };
    const long arrays_before = mexrt::live_arrays();
    for (int i = 0; i < 10; ++i) run();
    const std::size_t after_ten = heap_in_use();
    for (int i = 0; i < 1000; ++i) run();
    EXPECT_LT(heap_in_use(), after_ten + 16 * 1024) << "grew from " << after_ten;
    EXPECT_EQ(arrays_before, mexrt::live_arrays());
}

TEST(BrisquelBlock, AnyDialogParameterIsRefused) {
    EXPECT_EQ("wrong number of parameters given by Simulink",
              block_error_of([] { host::SFunctionInstance("c", load("Brisquel"), params(host::make_double({1}))); }));
    EXPECT_EQ("wrong number of parameters given by Simulink", block_error_of([] {
                  host::SFunctionInstance("c", load("Brisquel"), params(host::make_empty(), host::make_double({1})));
              }));
}

TEST(BrisquelBlock, ZeroCrossingAndVariableHitRequestsAreRefused) {
    Controller c;
    EXPECT_EQ("To have nonsampled zero crossings, you must define MDL_ZERO_CROSSINGS and have a mdlZeroCrossings routine",
              block_error_of([&] { c.block->request(host::Method::zero_crossings); }));
    EXPECT_EQ("To have a variable sample time, you must define MDL_GET_TIME_OF_NEXT_VAR_HIT and add a "
              "mdlGetTimeOfNextVarHit routine",
              block_error_of([&] { c.block->request(host::Method::get_time_of_next_var_hit); }));
    EXPECT_EQ("Unexpected call to mdlStart", block_error_of([&] { c.block->request(host::Method::start); }));
    EXPECT_EQ("Invalid flag encountered in simulink.c", glue_status_for_flag(*c.block, 77));
}

TEST(BrisquelBlock, OutputsBeforeInitialConditionsAreAnErrorNotACrash) {
    auto block = make_block("Brisquel", {});
    EXPECT_EQ("mdlInitializeConditions must run before the controller is evaluated",
              block_error_of([&] { block->outputs(0.0); }));
}

// Runs the controller against a first-order plant with fixed-step RK4,
// outputs and derivatives at every stage, and returns every output vector.
// `between` runs before each call into the controller.
std::vector<Vector6> rk4_run(Controller& c, int steps, const std::function<void()>& between = [] {}) {
    const double h = 0.05;
    const double offset[4] = {0, h / 2, h / 2, h};
    std::vector<Vector6> outputs;
    double plant = 0.2;
    double* x = c.block->cont_states();
    for (int step = 0; step < steps; ++step) {
        const double t = step * h;
        const std::array<double, 2> x_start = {x[0], x[1]};
        const double plant_start = plant;
        double k[4][3];
        for (int stage = 0; stage < 4; ++stage) {
            if (stage > 0) {
                for (int i = 0; i < 2; ++i) x[i] = x_start[i] + offset[stage] * k[stage - 1][i];
                plant = plant_start + offset[stage] * k[stage - 1][2];
            }
            const double time = t + offset[stage];
            const std::array<double, 3> u = {25040000.0 * (0.3 + 0.05 * time), plant, 0.7};
            between();
            const Vector6 y = c.outputs(u, time, stage == 0);
            outputs.push_back(y);
            between();
            const auto dx = c.derivatives(u, time);
            k[stage][0] = dx[0];
            k[stage][1] = dx[1];
            k[stage][2] = (y[4] - plant) / 0.3;
        }
        for (int i = 0; i < 2; ++i) x[i] = x_start[i] + h / 6 * (k[0][i] + 2 * k[1][i] + 2 * k[2][i] + k[3][i]);
        plant = plant_start + h / 6 * (k[0][2] + 2 * k[1][2] + 2 * k[2][2] + k[3][2]);
    }
    return outputs;
}

// schedule_a and schedule_b at `ratio`, from the controller model itself.
std::pair<double, double> schedule_at(double ratio) {
    blocks::ControlRecord record{};
    double x0[2];
    blocks::initialize_controller(record, x0);
    record.ratio = ratio;
    blocks::lookup_schedules(record);
    return {record.scheduled_a, record.scheduled_b};
}

TEST(BrisquelBlock, UnderRungeKuttaEachOutputIsStagedByTheDerivativesCallBeforeIt) {
    Controller c;
    double* x = c.block->cont_states();
    const double h = 0.05;
    std::array<double, 3> previous_u{};
    double previous_command = 0.0;
    for (int step = 0; step < 20; ++step) {
        for (int stage = 0; stage < 4; ++stage) {
            const double t = step * h + stage * h / 3;
            const std::array<double, 3> u = {25040000.0 * (0.2 + 0.05 * t), 0.5 + 0.1 * std::sin(3 * t), 0.7};
            const Vector6 y = c.outputs(u, t, stage == 0);
            if (step == 0 && stage == 0) {
                EXPECT_EQ(initial_vector, y);
            } else {
                // Staged by the derivatives call before, from the input 0 and the
                // command that the output call before that stored.
                const auto [a, b] = schedule_at(previous_u[0] / 25040000.0);
                EXPECT_EQ(a, y[0]);
                EXPECT_EQ(b, y[3]);
                EXPECT_EQ(previous_command, y[4]);
            }
            const double e = u[2] - u[1];
            const double sum = (e * 2.5) * 2.5 - x[1] + (2.5 * e + x[0]);
            previous_command = std::min(1.0, std::max(0.1, sum));
            previous_u = u;
            const auto dx = c.derivatives(u, t);
            EXPECT_EQ((e * 2.5) / 0.3, dx[0]);
            EXPECT_EQ(((e * 2.5) * 2.5 - x[1]) * 2.5, dx[1]);
            x[0] += h / 4 * dx[0];
            x[1] += h / 4 * dx[1];
        }
    }
}

TEST(BrisquelBlock, TwoInstancesInOneModelStayIndependent) {
    Controller alone("alone");
    const auto expected = rk4_run(alone, 30);

    Controller first("first"), second("second");
    const auto interleaved = rk4_run(first, 30, [&] {
        second.outputs({25040000.0 * 1.05, 0.9, 0.1});
        second.derivatives({1.0, 0.0, 3.0});
    });
    EXPECT_EQ(expected, interleaved);
}

TEST(BrisquelBlock, ASecondRunGivesTheSameOutputsAsTheFirst) {
    // Two output calls in a row hand out what the first of them staged,
    // which shows anything a run inherits from the one before.
    auto run = [](Controller& c) {
        std::vector<Vector6> outputs = {c.outputs({20000000.0, 0.1, 0.9}), c.outputs({20000000.0, 0.1, 0.9})};
        const auto rest = rk4_run(c, 25);
        outputs.insert(outputs.end(), rest.begin(), rest.end());
        return outputs;
    };
    Controller c;
    const auto first = run(c);
    c.block->terminate();
    c.block->start();
    c.block->initialize_conditions();
    const auto second = run(c);
    EXPECT_EQ(first, second);
    EXPECT_EQ(initial_vector, second.front());
    EXPECT_EQ((Vector6{1.05797398861621, 1.2, 1.0, -8.0, 0.0, 1.0}), second[1]);
}

TEST(BrisquelCommandLine, SizesAndLevelOneMessages) {
    const std::vector<double> fields = host::size_fields(*load("Brisquel"), {});
    const std::vector<double> expected = {
        2, 0, 6, 3, 0, 1, 1,        // states, outputs, inputs, reserved, feedthrough, sample times
        0, 0, 0, 0, 0, 0, 0,        // parameters, work vectors, modes, zero crossings, DWork
        1, 1,                       // the input and output vectors
        3, 0, 1, 0, 0, 0, 0, 0, 0,  // input vector: width, type, feedthrough
        6, 0, 0, 0, 0, 0,           // output vector
        0, 0, 0, 0, 0, 0, 1         // continuous sample time, options, level 1
    };
    EXPECT_EQ(expected, fields);

    const auto zero = host::make_double({0}), two = host::make_double({2}), half = host::make_double({0.5});
    const std::string who = "MEX level1 S-function \"Brisquel\"";
    EXPECT_EQ(who + " must be called with at least 4 right hand arguments", command_line_error("Brisquel", 1, {}));
    EXPECT_EQ(who + " called with too many left hand arguments",
              command_line_error("Brisquel", 3, {zero.get(), zero.get(), zero.get(), zero.get()}));
    EXPECT_EQ("The 4th right hand argument, FLAG, passed to " + who + " must be an integer",
              command_line_error("Brisquel", 1, {zero.get(), zero.get(), zero.get(), half.get()}));
    EXPECT_EQ("Invalid flag passed to " + who,
              command_line_error("Brisquel", 1, {zero.get(), zero.get(), zero.get(), two.get()}));
    EXPECT_EQ("wrong number of parameters given by Simulink",
              command_line_error("Brisquel", 1, {zero.get(), zero.get(), zero.get(), zero.get(), two.get()}));
}

}  // namespace
