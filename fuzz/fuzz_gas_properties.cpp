// combustion_gas_properties over any three doubles. Beyond running clean
// under the sanitizers: inside the range the model is used in, every one of
// the thirteen results is finite.
#include <cmath>
#include <cstdlib>

#include "core/gas_properties.hpp"
#include "fuzz_input.hpp"

namespace {

bool in_working_range(double p, double T, double c) {
    return p >= 1e3 && p <= 1e8 && T >= 200.0 && T <= 3000.0 && c >= 0.0 && c <= 10.0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzzing::FuzzInput in(data, size);
    const double p = in.number(), T = in.number(), c = in.number();
    blocks::GasProperties properties;
    blocks::combustion_gas_properties(p, T, c, properties);
    if (in_working_range(p, T, c)) {
        const double results[] = {properties.RZ,     properties.h,      properties.s,     properties.u,
                                  properties.dRZ_dc, properties.dRZ_dp, properties.dRZ_dT, properties.du_dc,
                                  properties.du_dp,  properties.du_dT,  properties.cp,     properties.cv,
                                  properties.kappa};
        for (double result : results)
            if (!std::isfinite(result)) std::abort();
    }
    return 0;
}
