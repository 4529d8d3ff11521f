// An FMU's library, built into this harness: a block's (fuzz_fmu_calls_NAME)
// or an exported model's (fuzz_fmu_calls_model, over fuzz/model_fmu.yaml),
// driven by any sequence of FMI 2.0 and FMI 3.0 calls: instances of both
// versions and interfaces side by side, calls in any state, any value
// references, values and counts, the null pointers and zero sizes the
// standards allow, resets and initializations that fail. Asserted:
//   - no crash and no leak (AddressSanitizer, LeakSanitizer, UBSan);
//   - every call that returns an error has logged a message, and every
//     instantiation that returns no instance too;
//   - a call that succeeds logs no error.
// Buffers are exactly as large as the count passed with them, so a read or
// write past what the importer gave is a finding. Values are kept to what
// makes every call short (see quick()).
#include <dlfcn.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "fuzz_fmu.hpp"
#include "fmi/fmi2.h"
#include "fmi/fmi3.h"
#include "fuzz_input.hpp"

namespace {

// What one instance's logger received: the number of error messages, and
// whether any was empty.
struct Log {
    int errors = 0;
    bool empty_message = false;
};

void log2(fmi2ComponentEnvironment environment, fmi2String, fmi2Status status, fmi2String, fmi2String message, ...) {
    Log* log = static_cast<Log*>(environment);
    if (status != fmi2OK) ++log->errors;
    if (!message || !*message) log->empty_message = true;
}

void log3(fmi3InstanceEnvironment environment, fmi3Status status, fmi3String, fmi3String message) {
    Log* log = static_cast<Log*>(environment);
    if (status != fmi3OK) ++log->errors;
    if (!message || !*message) log->empty_message = true;
}

// A refused call must say why; a call that went through must not complain.
void check(bool failed, const Log& log, int errors_before) {
    if (log.empty_message) std::abort();
    if (failed && log.errors == errors_before) std::abort();
    if (!failed && log.errors != errors_before) std::abort();
}

// Values worth trying beside the input's raw bits.
double value(fuzzing::FuzzInput& in) {
    static const double special[] = {0.0, 1.0, -1.0, 0.5, 1e5, 350.0, 1.5707963267948966, 1e300, -1e-320,
                                     NAN, INFINITY, 0.01, 1e-3};
    const std::uint8_t pick = in.byte();
    return pick < 2 * std::size(special) ? special[pick % std::size(special)] : in.number();
}

// A value that keeps every call short: one fmi2DoStep may legitimately
// take up to 1e9 internal steps, which is minutes, not a finding. So no
// value set is a positive number below 1e-3 (an internal_step), and no
// step is longer than 1 s unless so long (beyond 1e13 s) that it is
// refused: at most 1e3 internal steps per call.
double quick(double x) {
    if (x > 0.0 && x < 1e-3) return 1e-3;
    if (std::fabs(x) > 1.0 && std::fabs(x) < 1e13) return std::copysign(1.0, x);
    return x;
}

// A value reference: mostly the FMU's own (from 1), sometimes none of them.
unsigned reference(fuzzing::FuzzInput& in) {
    const std::uint8_t pick = in.byte();
    return pick < 250 ? pick % 40u : 0xffffffffu - (pick - 250u);
}

struct Fmi2Instance {
    Log log;
    fmi2CallbackFunctions callbacks{log2, std::calloc, std::free, nullptr, &log};
    fmi2Component component = nullptr;
};

struct Fmi3Instance {
    Log log;
    fmi3Instance instance = nullptr;
};

// The S-function libraries a model's FMU loads stay loaded from the start:
// libFuzzer keeps coverage counters in each instrumented module it sees,
// and a module unloaded when an instance is freed would leave them behind.
// A block's FMU has its block linked in and no resources.
const bool libraries_kept = [] {
    const char* resources = FMU_RESOURCE_PATH;
    if (!resources) return false;
    for (const auto& entry : std::filesystem::directory_iterator(std::filesystem::path(resources) / "libraries"))
        if (!dlopen(entry.path().c_str(), RTLD_NOW | RTLD_NODELETE)) std::abort();
    return true;
}();

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzzing::FuzzInput in(data, size);
    Fmi2Instance two[2];
    Fmi3Instance three[2];
    for (int calls = 0; calls < 200 && !in.exhausted(); ++calls) {
        const std::uint8_t op = in.byte();
        Fmi2Instance& a = two[in.byte() % 2];
        Fmi3Instance& b = three[in.byte() % 2];
        const int before2 = a.log.errors, before3 = b.log.errors;
        const std::size_t n = in.count(6);
        std::vector<unsigned> vr(n);
        for (auto& r : vr) r = reference(in);
        std::vector<double> reals(n);
        for (auto& r : reals) r = quick(value(in));
        std::vector<int> integers(n);
        for (auto& i : integers) i = static_cast<int>(in.byte()) - 128;
        std::vector<std::int32_t> integers32(integers.begin(), integers.end());
        // States, derivatives, values: a count of its own, the array exactly that long.
        const std::size_t m = in.count(4);
        std::vector<double> buffer(m);
        for (auto& x : buffer) x = quick(value(in));
        const bool null = in.byte() % 8 == 0;  // a null array with its count
        double* array = null ? nullptr : buffer.data();
        const double t = value(in), h = quick(value(in));
        const std::string token = in.byte() % 8 ? FMU_GUID : "{not this one}";
        // Without an instance a call has nowhere to log: it only must not crash.
        const auto check2 = [&](fmi2Status status, int errors_before) {
            if (a.component) check(status != fmi2OK, a.log, errors_before);
        };
        const auto check3 = [&](fmi3Status status, int errors_before) {
            if (b.instance) check(status != fmi3OK, b.log, errors_before);
        };

        switch (op % 34) {
        // ---- FMI 2.0
        case 0:
            if (!a.component) {
                const fmi2Type type = in.byte() % 3 == 0 ? fmi2ModelExchange : fmi2CoSimulation;
                const char* resources = in.byte() % 2 ? FMU_RESOURCES_URI : nullptr;
                a.component = fmi2Instantiate("fuzz", type, token.c_str(), resources, &a.callbacks, fmi2False,
                                              fmi2False);
                check(!a.component, a.log, before2);
            }
            break;
        case 1:
            if (a.component) {
                fmi2FreeInstance(a.component);
                a.component = nullptr;
            }
            break;
        case 2: check2(fmi2SetupExperiment(a.component, fmi2False, 0, t, fmi2False, 0), before2); break;
        case 3: check2(fmi2EnterInitializationMode(a.component), before2); break;
        case 4: check2(fmi2ExitInitializationMode(a.component), before2); break;
        case 5: check2(fmi2SetReal(a.component, n ? vr.data() : nullptr, n, reals.data()), before2); break;
        case 6: check2(fmi2GetReal(a.component, n ? vr.data() : nullptr, n, reals.data()), before2); break;
        case 7: check2(fmi2SetInteger(a.component, vr.data(), n, integers.data()), before2); break;
        case 8: check2(fmi2GetInteger(a.component, vr.data(), n, integers.data()), before2); break;
        case 9: check2(fmi2DoStep(a.component, t, h, fmi2True), before2); break;
        case 10: check2(fmi2Reset(a.component), before2); break;
        case 11: check2(fmi2Terminate(a.component), before2); break;
        case 12: check2(fmi2EnterEventMode(a.component), before2); break;
        case 13: check2(fmi2EnterContinuousTimeMode(a.component), before2); break;
        case 14: check2(fmi2SetContinuousStates(a.component, array, m), before2); break;
        case 15: check2(fmi2GetDerivatives(a.component, array, m), before2); break;
        case 16: {
            fmi2Boolean event = fmi2False, stop = fmi2False;
            check2(fmi2CompletedIntegratorStep(a.component, fmi2True, null ? nullptr : &event, &stop), before2);
            break;
        }
        case 17: check2(fmi2SetTime(a.component, t), before2); break;
        // ---- FMI 3.0
        case 18:
            if (!b.instance) {
                if (in.byte() % 3 == 0) {
                    b.instance =
                        fmi3InstantiateModelExchange("fuzz", token.c_str(), FMU_RESOURCE_PATH, false, false, &b.log, log3);
                } else {
                    const bool event_mode = in.byte() % 8 == 0;
                    b.instance = fmi3InstantiateCoSimulation("fuzz", token.c_str(), FMU_RESOURCE_PATH, false, false,
                                                             event_mode, false, nullptr, 0, &b.log, log3, nullptr);
                }
                check(!b.instance, b.log, before3);
            }
            break;
        case 19:
            if (b.instance) {
                fmi3FreeInstance(b.instance);
                b.instance = nullptr;
            }
            break;
        case 20: check3(fmi3EnterInitializationMode(b.instance, false, 0, t, false, 0), before3); break;
        case 21: check3(fmi3ExitInitializationMode(b.instance), before3); break;
        case 22: check3(fmi3SetFloat64(b.instance, n ? vr.data() : nullptr, n, array, m), before3); break;
        case 23: check3(fmi3GetFloat64(b.instance, vr.data(), n, array, m), before3); break;
        case 24: check3(fmi3SetInt32(b.instance, vr.data(), n, integers32.data(), n), before3); break;
        case 25: check3(fmi3GetInt32(b.instance, vr.data(), n, integers32.data(), n), before3); break;
        case 26: {
            fmi3Boolean event = false, stop = false, early = false;
            double last = 0;
            check3(fmi3DoStep(b.instance, t, h, true, &event, &stop, &early, null ? nullptr : &last), before3);
            break;
        }
        case 27: check3(fmi3Reset(b.instance), before3); break;
        case 28: check3(fmi3Terminate(b.instance), before3); break;
        case 29: check3(fmi3EnterEventMode(b.instance), before3); break;
        case 30: {
            fmi3Boolean flags[5];
            double next = 0;
            check3(fmi3UpdateDiscreteStates(b.instance, flags, null ? nullptr : flags + 1, flags + 2, flags + 3,
                                           flags + 4, &next), before3);
            const int between = b.log.errors;
            check3(fmi3EnterContinuousTimeMode(b.instance), between);
            break;
        }
        case 31: check3(fmi3SetContinuousStates(b.instance, array, m), before3); break;
        case 32: check3(fmi3GetContinuousStateDerivatives(b.instance, array, m), before3); break;
        default: {
            fmi3Boolean event = false, stop = false;
            check3(fmi3CompletedIntegratorStep(b.instance, true, &event, &stop), before3);
            break;
        }
        }
    }
    for (auto& instance : two)
        if (instance.component) fmi2FreeInstance(instance.component);
    for (auto& instance : three)
        if (instance.instance) fmi3FreeInstance(instance.instance);
    return 0;
}
