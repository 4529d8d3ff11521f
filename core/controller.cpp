#include "controller.hpp"

#include <array>

namespace blocks {
namespace {

constexpr std::size_t table_size = controller_table_length;

// Entry i belongs to breakpoint i; the breakpoints fall from 1.1 to 0.25.
constexpr std::array<double, table_size> ratio_breakpoint_table = {
    1.1, 1.0, 0.9, 0.85, 0.8, 0.75, 0.7, 0.65, 0.6, 0.5, 0.4, 0.3, 0.25};
constexpr std::array<double, table_size> schedule_a_table = {
    1.36079575102423,  1.34408364907281,  1.14293955791276,  1.0445070256017,   1.07005329225731,
    1.0422173607946,   0.992505230017261, 0.781443829292892, 0.782274665465849, 0.890176689582543,
    1.0226880498985,   1.11848461759536,  1.05797398861621};
constexpr std::array<double, table_size> schedule_b_table = {
    0.0629566078587464, -0.421139435348312, -1.70369562758512, -2.25290788531861, -2.59972335254129,
    -2.95392682788405,  -3.36797189428376,  -4.12410312811298, -4.49721777353824, -5.35141943573803,
    -6.9718917926786,   -8.0,               -8.0};

constexpr double rated_value = 25040000.0;  // divisor of input 0
constexpr double proportional_gain = 2.5;
constexpr double derivative_time = 1.0;
constexpr double derivative_filter = 2.5;
constexpr double integral_time = 0.3;
constexpr double command_upper_limit = 1.0;
constexpr double command_lower_limit = 0.1;
constexpr double fixed_output1 = 1.2;
constexpr double initial_command = 0.5;
constexpr int initial_schedule_entry = 5;  // 1-based: breakpoint 0.8

template <std::size_t N>
void copy_table(const std::array<double, N>& table, double* destination) {
    for (std::size_t i = 0; i < N; ++i) destination[i] = table[i];
}

// Steps common to both evaluations.
void evaluate(ControlRecord& r, const double* x, const double* u) {
    r.state_copy[0] = x[0];
    r.state_copy[1] = x[1];
    r.input0 = u[0];
    r.measured = u[1];
    r.set_point = u[2];
    const std::int32_t lagged_count = r.lagged_view.rows * r.lagged_view.cols;
    for (std::int32_t i = 0; i < lagged_count; ++i) r.lagged_view.data[i] = r.staged_view.data[i];
    r.control_error = r.set_point - r.measured;
    r.integrator_rate = (r.control_error * r.kp) / r.ti;
    r.deriv_term = (r.control_error * r.kp) * r.n_filter - r.state_copy[1];
    // held_input0 and command are still those of the previous output call.
    r.ratio = r.held_input0 / r.rated_value;
    lookup_schedules(r);
    double* staged = r.staged_view.data;
    staged[0] = r.scheduled_a;
    staged[1] = r.fixed_output1;
    staged[2] = r.unit_value;
    staged[3] = r.scheduled_b;
    staged[4] = r.command;
    staged[5] = r.unit_value;
    r.filter_rate = (r.deriv_term * r.n_filter) / r.td;
}

}  // namespace

void initialize_controller(ControlRecord& r, double* x0) {
    r.unit_value = 1.0;
    r.fixed_output1 = fixed_output1;
    copy_table(schedule_a_table, r.schedule_a);
    copy_table(schedule_b_table, r.schedule_b);
    r.rated_value = rated_value;
    copy_table(ratio_breakpoint_table, r.ratio_breakpoints);
    r.kp = proportional_gain;
    r.td = derivative_time;
    r.n_filter = derivative_filter;
    r.ti = integral_time;
    r.command_upper = command_upper_limit;
    r.command_lower = command_lower_limit;
    r.staged_view = {r.staged, controller_output_width, 1};
    r.schedule_a_view = {r.schedule_a, controller_table_length, 1};
    r.schedule_b_view = {r.schedule_b, controller_table_length, 1};
    r.breakpoint_view = {r.ratio_breakpoints, controller_table_length, 1};
    r.lagged_view = {r.lagged, controller_output_width, 1};
    r.state_copy[0] = 0.0;
    r.state_copy[1] = 0.0;
    r.staged[0] = r.schedule_a[initial_schedule_entry - 1];
    r.staged[1] = fixed_output1;
    r.staged[2] = r.unit_value;
    r.staged[3] = r.schedule_b[initial_schedule_entry - 1];
    r.staged[4] = initial_command;
    r.staged[5] = r.unit_value;
    r.table_length = controller_table_length;
    x0[0] = r.state_copy[0];
    x0[1] = r.state_copy[1];
}

void lookup_schedules(ControlRecord& r) {
    // The search runs over locals and leaves its results in the record at
    // the end: the tables are reached through pointers that could alias
    // the record's fields, so a loop over the fields themselves would store
    // and reload them at every entry.
    const double* breakpoints = r.breakpoint_view.data;
    const double* a = r.schedule_a_view.data;
    const double* b = r.schedule_b_view.data;
    const double ratio = r.ratio;
    const double table_length = r.table_length;
    double search_index = 1.0;
    double found = 0.0;
    double scheduled_a = r.scheduled_a, scheduled_b = r.scheduled_b;
    while (search_index <= table_length && found == 0.0) {
        // i and j are 1-based, as the search index; element k lives at [k - 1].
        const int i = static_cast<int>(search_index);
        if (ratio > breakpoints[i - 1]) {  // strict: a ratio on a breakpoint takes the segment below it
            found = 1.0;
            if (search_index == 1.0) {
                scheduled_a = a[0];
                scheduled_b = b[0];
            } else {
                const int j = static_cast<int>(search_index - 1.0);
                const double span = breakpoints[i - 1] - breakpoints[j - 1];
                scheduled_a = ((a[i - 1] - a[j - 1]) * (ratio - breakpoints[j - 1])) / span + a[j - 1];
                scheduled_b = ((b[i - 1] - b[j - 1]) * (ratio - breakpoints[j - 1])) / span + b[j - 1];
            }
        } else if (search_index == table_length) {  // at or below the last breakpoint, and NaN
            found = 1.0;
            scheduled_a = a[i - 1];
            scheduled_b = b[i - 1];
        }
        search_index = search_index + 1.0;
    }
    r.search_index = search_index;
    r.found = found;
    r.scheduled_a = scheduled_a;
    r.scheduled_b = scheduled_b;
}

void controller_outputs(ControlRecord& r, const double* x, const double* u, double* y) {
    evaluate(r, x, u);
    r.held_input0 = r.input0;
    r.prop_term = r.kp * r.control_error;
    const double v = r.deriv_term + (r.prop_term + r.state_copy[0]);
    // Exact limits and NaN pass unchanged.
    if (v < r.command_lower) r.command = r.command_lower;
    else if (v > r.command_upper) r.command = r.command_upper;
    else r.command = v;
    for (int i = 0; i < controller_output_width; ++i) y[i] = r.lagged[i];
}

void controller_derivatives(ControlRecord& r, const double* x, const double* u, double* dx) {
    evaluate(r, x, u);
    dx[0] = r.integrator_rate;
    dx[1] = r.filter_rate;
}

}  // namespace blocks
