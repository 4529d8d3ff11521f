// Scheduled PID controller: a PID with a filtered derivative and a clamped
// command, plus two values scheduled over the ratio of input 0 to a rated
// value. Every number it uses lives in one ControlRecord per block instance.
//
// Inputs u:  0 scheduling input (ratio = u0 / 25040000)  1 measured value  2 set-point
// Outputs y: 0 schedule_a(ratio)  1 1.2  2 1.0  3 schedule_b(ratio)  4 command  5 1.0
// States x:  0 integral state  1 derivative-filter state
//
// With e = u2 - u1:
//   x0' = kp e / ti
//   d   = kp n_filter e - x1,   x1' = (n_filter / td) d
//   command = clamp(kp e + x0 + d, 0.1, 1.0)
// The outputs lag one evaluation: each evaluation stages a new output vector
// after handing out the one staged before it.
#pragma once

#include <cstdint>

namespace blocks {

constexpr int controller_input_width = 3;
constexpr int controller_output_width = 6;
constexpr int controller_state_count = 2;
constexpr int controller_table_length = 13;
constexpr std::int32_t controller_dialog_params = 0;

// A column vector held in the record.
struct MatrixView {
    double* data;
    std::int32_t rows;
    std::int32_t cols;
};

// Zero-filled on creation (ControlRecord record{}); filled by
// initialize_controller. The views point into the record itself, so a
// record must not be copied once initialized.
struct ControlRecord {
    std::int32_t num_dialog_params;  // always controller_dialog_params
    double unit_value;
    double fixed_output1;
    double schedule_a[controller_table_length];
    double schedule_b[controller_table_length];
    double rated_value;
    double ratio_breakpoints[controller_table_length];  // descending
    double kp;
    double td;
    double n_filter;
    double ti;
    double command_upper;
    double command_lower;
    double state_copy[controller_state_count];
    MatrixView staged_view;
    MatrixView schedule_a_view;
    MatrixView schedule_b_view;
    MatrixView breakpoint_view;
    MatrixView lagged_view;
    double staged[controller_output_width];
    double held_input0;   // input 0 of the last output evaluation
    double ratio;
    double search_index;  // 1-based
    double table_length;
    double found;
    double scheduled_b;
    double scheduled_a;
    double set_point;
    double measured;
    double command;       // clamped command of the last output evaluation
    double control_error;
    double prop_term;
    double deriv_term;
    double input0;
    double lagged[controller_output_width];
    double integrator_rate;
    double filter_rate;
};

// Writes the constants, tables, views, initial staged vector and initial
// states x0[0..1]. Leaves held_input0 and command as they are.
void initialize_controller(ControlRecord& record, double* x0);

// Schedule search from the largest breakpoint down: reads ratio, writes
// search_index, found, scheduled_a and scheduled_b.
void lookup_schedules(ControlRecord& record);

// The evaluation for an output call: writes y[0..5] (the lagged vector) and
// stores input 0 and the new command for the next evaluation.
void controller_outputs(ControlRecord& record, const double* x, const double* u, double* y);

// The evaluation for a derivative call: writes dx[0..1].
void controller_derivatives(ControlRecord& record, const double* x, const double* u, double* dx);

}  // namespace blocks
