// blower_outputs over any doubles and parameter arrays of any length the
// block admits (at least the elements it reads), each in an allocation of
// exactly its size. Asserted:
//   - all seven outputs are written, whatever the inputs;
//   - drive +0 or -0 gives seven exact zeros (+0.0);
//   - moderate physical inputs give finite outputs;
//   - the outputs equal, bit for bit (or both NaN), those computed through
//     the full property evaluation (blower_outputs asks only for h and kappa);
//   - so do those of a call with an inlet memo, empty or holding this inlet.
#include <cmath>
#include <cstdlib>

#include "tests/blower_full_path.hpp"
#include "core/blower_outputs.hpp"
#include "fuzz_input.hpp"

namespace {

bool physical(const std::vector<double>& inlet, const std::vector<double>& outlet, double drive,
              const std::vector<double>& efficiency, const std::vector<double>& characteristic,
              const std::vector<double>& stoichiometric_ratio) {
    const bool states = inlet[0] >= 1e3 && inlet[0] <= 1e7 && inlet[1] >= 200.0 && inlet[1] <= 1500.0 &&
                        inlet[2] >= 0.0 && inlet[2] <= 5.0 && outlet[0] >= 1e3 && outlet[0] <= 1e7;
    const bool parameters = efficiency[0] >= 0.1 && efficiency[0] <= 1.0 && std::fabs(characteristic[0]) <= 10.0 &&
                            characteristic[1] >= 0.0 && characteristic[1] <= 10.0 &&
                            std::fabs(characteristic[2]) <= 10.0 && stoichiometric_ratio[0] >= 0.0 &&
                            stoichiometric_ratio[0] <= 1.0;
    return states && parameters && std::fabs(drive) <= 100.0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzzing::FuzzInput in(data, size);
    const std::vector<double> inlet = in.numbers(3), outlet = in.numbers(3);
    const double drive = in.number();
    const std::vector<double> efficiency = in.numbers(1 + in.count(3));
    const std::vector<double> characteristic = in.numbers(3 + in.count(3));
    const std::vector<double> stoichiometric_ratio = in.numbers(1 + in.count(3));

    const double marker = fuzzing::unwritten_marker();
    double outputs[7] = {marker, marker, marker, marker, marker, marker, marker};
    double* inlet_flow = outputs;
    double* outlet_flow = outputs + 3;
    double* power = outputs + 6;
    blocks::blower_outputs(inlet.data(), outlet.data(), &drive, inlet_flow, outlet_flow, power, efficiency.data(),
                           efficiency.size(), characteristic.data(), characteristic.size(),
                           stoichiometric_ratio.data(), stoichiometric_ratio.size());

    for (double output : outputs)
        if (fuzzing::same_bits(output, marker)) std::abort();
    const auto full = blower_full_path::outputs(inlet.data(), outlet.data(), drive, efficiency[0], characteristic.data(),
                                                stoichiometric_ratio[0]);
    for (int i = 0; i < 7; ++i)
        if (std::isnan(outputs[i]) ? !std::isnan(full[static_cast<std::size_t>(i)])  // NaNs may differ in sign
                                   : !fuzzing::same_bits(outputs[i], full[static_cast<std::size_t>(i)]))
            std::abort();
    blocks::BlowerInletMemo memo{};
    for (int call = 0; call < 2; ++call) {  // fills the memo, then reuses it
        double remembered[7];
        blocks::blower_outputs(inlet.data(), outlet.data(), &drive, remembered, remembered + 3, remembered + 6,
                               efficiency.data(), efficiency.size(), characteristic.data(), characteristic.size(),
                               stoichiometric_ratio.data(), stoichiometric_ratio.size(), &memo);
        for (int i = 0; i < 7; ++i)
            if (std::isnan(outputs[i]) ? !std::isnan(remembered[i]) : !fuzzing::same_bits(outputs[i], remembered[i]))
                std::abort();
    }
    if (drive == 0.0) {
        for (double output : outputs)
            if (!fuzzing::same_bits(output, 0.0)) std::abort();
    } else if (physical(inlet, outlet, drive, efficiency, characteristic, stoichiometric_ratio)) {
        for (double output : outputs)
            if (!std::isfinite(output)) std::abort();
    }
    return 0;
}
