// The controller's evaluations over any states and inputs, in any order of
// output, derivative and initialization calls (the record's life begins
// with an initialization, as the block's does). Asserted after every call:
//   - the clamped command lies in [0.1, 1.0] or is NaN;
//   - the output vector's command element too, except for the 0.0 that a
//     record which has never computed a command stages;
//   - the scheduled outputs lie within their tables, whatever the ratio;
//   - the fixed outputs are 1.2 and 1.0;
//   - moderate states and inputs give finite derivatives.
#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "core/controller.hpp"
#include "fuzz_input.hpp"

namespace {

bool command_in_range(double command) { return std::isnan(command) || (command >= 0.1 && command <= 1.0); }

void check_outputs(const double* y, bool may_stage_unset_command) {
    if (!(y[0] >= 0.781443829292892 && y[0] <= 1.36079575102423)) std::abort();
    if (!(y[3] >= -8.0 && y[3] <= 0.0629566078587464)) std::abort();
    if (y[1] != 1.2 || y[2] != 1.0 || y[5] != 1.0) std::abort();
    if (!command_in_range(y[4]) && !(may_stage_unset_command && fuzzing::same_bits(y[4], 0.0))) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzzing::FuzzInput in(data, size);
    blocks::ControlRecord record{};
    double x[blocks::controller_state_count] = {};
    blocks::initialize_controller(record, x);

    bool commanded = false;          // an output call has computed a command
    bool staged_unset_command = false;  // the staged vector carries the record's initial 0.0
    for (int call = 0; call < 64 && !in.exhausted(); ++call) {
        const std::uint8_t kind = in.byte() % 4;
        if (kind == 0) {
            blocks::initialize_controller(record, x);
            staged_unset_command = false;  // the initial vector's command is 0.5
            continue;
        }
        if (kind == 3) {  // the schedule search on its own
            record.ratio = in.number();
            blocks::lookup_schedules(record);
            if (record.found != 1.0 || !std::isfinite(record.scheduled_a) || !std::isfinite(record.scheduled_b))
                std::abort();
            continue;
        }
        for (double& state : x) state = in.number();
        const double u[blocks::controller_input_width] = {in.number(), in.number(), in.number()};
        if (kind == 1) {
            double y[blocks::controller_output_width];
            const bool may_hand_out_unset = staged_unset_command;
            staged_unset_command = !commanded;
            blocks::controller_outputs(record, x, u, y);
            commanded = true;
            check_outputs(y, may_hand_out_unset);
            if (!command_in_range(record.command)) std::abort();
        } else {
            double dx[blocks::controller_state_count];
            staged_unset_command = !commanded;
            blocks::controller_derivatives(record, x, u, dx);
            const bool moderate =
                std::all_of(x, x + 2, fuzzing::moderate) && std::all_of(u, u + 3, fuzzing::moderate);
            if (moderate && (!std::isfinite(dx[0]) || !std::isfinite(dx[1]))) std::abort();
        }
    }
    return 0;
}
