// What the FMU layer adds: one fmi2DoStep of the engine demo's FMU at 1 ms
// against one step of the same model run by host/sim, and one blower call
// through its FMU (fmi2SetReal of an input, fmi2GetReal of an output)
// against the same call through host/sfunction. And what blocksim adds
// around an imported FMU: the blower's FMU as a block of a model, fed by
// constants and stepped by host/sim, against the same FMU stepped by an
// importer's loop (its inputs set, one fmi2DoStep, its outputs read). Each
// figure is the best of five timed runs.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>

#include <string>

#include "fmu_importer.hpp"
#include "host/fmu/fmu_node.hpp"
#include "host/model/model_file.hpp"
#include "host/sfunction/instance.hpp"
#include "host/sim/engine.hpp"

namespace fs = std::filesystem;

namespace {

// Seconds per call of `body(n)`, which makes n calls; the best of five runs.
double per_call(long long n, const std::function<void(long long)>& body) {
    double best = 1e300;
    for (int run = 0; run < 5; ++run) {
        const auto start = std::chrono::steady_clock::now();
        body(n);
        best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    return best / static_cast<double>(n);
}

void report(const char* what, const char* base_name, double base, const char* fmu_name, double fmu) {
    std::printf("%-34s %s %8.3f us   %s %8.3f us   FMU layer %+5.1f %%\n", what, base_name, base * 1e6, fmu_name,
                fmu * 1e6, (fmu / base - 1) * 100);
}

constexpr long long engine_steps = 20000;  // 20 s of the demo at 1 ms

double engine_by_host() {
    host::ModelSpec spec = host::read_model_file(ENGINE_DEMO_MODEL);
    spec.search_path = {BLOCKS_LIBRARY_DIR};
    spec.log.clear();
    return per_call(engine_steps, [&](long long n) {
        host::Simulation simulation{host::ModelSpec(spec)};
        simulation.begin();
        for (long long k = 0; k < n; ++k) {
            simulation.step_outputs();
            simulation.advance();
        }
        simulation.finish();
    });
}

double engine_by_fmu(const fs::path& folder) {
    const fs::path fmu_file = folder / "engine.fmu";
    const std::string command = std::string("\"") + BLOCKSIM + "\" export \"" + ENGINE_DEMO_MODEL + "\" --fmu \"" +
                                fmu_file.string() + "\" >/dev/null";
    if (std::system(command.c_str()) != 0) throw std::runtime_error("blocksim export failed: " + command);
    importer::Fmu fmu(fmu_file, folder / "engine");
    return per_call(engine_steps, [&](long long n) {
        importer::Instance engine(fmu, fmi2CoSimulation);
        if (engine.initialize() != fmi2OK) throw std::runtime_error(engine.last_message());
        for (long long k = 0; k < n; ++k)
            if (engine.fmi().DoStep(engine.component(), static_cast<double>(k) * 1e-3, 1e-3, fmi2True) != fmi2OK)
                throw std::runtime_error(engine.last_message());
    });
}

constexpr long long blower_calls = 200000;

double blower_by_host() {
    const auto library = host::Library::load("blower", {BLOCKS_LIBRARY_DIR});
    std::vector<host::ArrayPtr> parameters;
    parameters.push_back(host::make_double({0.7}));
    parameters.push_back(host::make_double({2, 0.5, 0.1}));
    parameters.push_back(host::make_double({0.0698}));
    host::SFunctionInstance blower("fan", library, std::move(parameters));
    blower.prepare();
    blower.start();
    blower.initialize_conditions();
    double* inlet = blower.input_buffer(0);
    inlet[0] = 100000, inlet[1] = 350, inlet[2] = 1;
    blower.input_buffer(1)[0] = 150000;
    blower.input_buffer(2)[0] = 1;
    volatile double sink = 0;
    return per_call(blower_calls, [&](long long n) {
        for (long long k = 0; k < n; ++k) {
            inlet[1] = k & 1 ? 350 : 351;  // a new input each call, as an importer gives
            blower.outputs(0.0);
            sink = blower.output_doubles(2)[0];
        }
    });
}

double blower_by_fmu(const fs::path& folder) {
    importer::Fmu fmu(fs::path(FMU_DIR) / "blower.fmu", folder / "blower");
    importer::Instance blower(fmu, fmi2CoSimulation);
    if (blower.initialize() != fmi2OK) throw std::runtime_error(blower.last_message());
    blower.set_real("inlet.p", 100000);
    blower.set_real("inlet.c", 1);
    blower.set_real("outlet.p", 150000);
    blower.set_real("drive", 1);
    const fmi2ValueReference temperature = fmu.description().value_reference("inlet.T");
    const fmi2ValueReference power = fmu.description().value_reference("power");
    volatile double sink = 0;
    return per_call(blower_calls, [&](long long n) {
        for (long long k = 0; k < n; ++k) {
            const double t_in = k & 1 ? 350 : 351;
            double p = 0;
            blower.fmi().SetReal(blower.component(), &temperature, 1, &t_in);
            blower.fmi().GetReal(blower.component(), &power, 1, &p);
            sink = p;
        }
    });
}

constexpr long long import_steps = 50000;

// The blower FMU's inputs and outputs, by index from 1 in its description.
std::vector<const importer::ScalarVariable*> blower_ports(const importer::ModelDescription& d, const char* causality) {
    std::vector<const importer::ScalarVariable*> ports;
    for (const auto& v : d.variables)
        if (v.attribute("causality") == causality) ports.push_back(&v);
    return ports;
}

double imported_by_host(const fs::path& folder) {
    importer::Fmu fmu(fs::path(FMU_DIR) / "blower.fmu", folder / "blower_ports");
    std::string model = "solver: {method: ode4, step: 0.001, stop: 1000}\nblocks:\n  fan: {fmu: '" +
                        (fs::path(FMU_DIR) / "blower.fmu").string() + "', interface: cs}\n";
    std::string connections = "connections:\n";
    int k = 0;
    for (const auto* input : blower_ports(fmu.description(), "input")) {
        const std::string source = "in" + std::to_string(k++);
        model += "  " + source + ": {type: Constant, value: " + input->type_attributes.at("start") + "}\n";
        connections += "  - " + source + ".0 -> fan." + input->attribute("name") + "\n";
    }
    const fs::path file = folder / "imported.yaml";
    std::ofstream(file) << model << connections;
    host::enable_fmu_blocks();
    const host::ModelSpec spec = host::read_model_file(file);
    double best = 1e300;
    for (int run = 0; run < 5; ++run) {
        host::Simulation simulation{host::ModelSpec(spec)};
        simulation.begin();
        const auto start = std::chrono::steady_clock::now();
        for (long long n = 0; n < import_steps; ++n) {
            simulation.step_outputs();
            simulation.advance();
        }
        best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        simulation.finish();
    }
    return best / static_cast<double>(import_steps);
}

double imported_by_loop(const fs::path& folder) {
    importer::Fmu fmu(fs::path(FMU_DIR) / "blower.fmu", folder / "blower_loop");
    std::vector<fmi2ValueReference> inputs, outputs;
    std::vector<double> input_values;
    for (const auto* v : blower_ports(fmu.description(), "input")) {
        inputs.push_back(fmu.description().value_reference(v->attribute("name")));
        input_values.push_back(std::stod(v->type_attributes.at("start")));
    }
    for (const auto* v : blower_ports(fmu.description(), "output"))
        outputs.push_back(fmu.description().value_reference(v->attribute("name")));
    std::vector<double> output_values(outputs.size());
    double best = 1e300;
    for (int run = 0; run < 5; ++run) {
        importer::Instance blower(fmu, fmi2CoSimulation);
        if (blower.initialize() != fmi2OK) throw std::runtime_error(blower.last_message());
        const auto& fmi = blower.fmi();
        const auto start = std::chrono::steady_clock::now();
        for (long long n = 0; n < import_steps; ++n) {
            fmi.SetReal(blower.component(), inputs.data(), inputs.size(), input_values.data());
            if (fmi.DoStep(blower.component(), static_cast<double>(n) * 1e-3, 1e-3, fmi2True) != fmi2OK)
                throw std::runtime_error(blower.last_message());
            fmi.GetReal(blower.component(), outputs.data(), outputs.size(), output_values.data());
        }
        best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    return best / static_cast<double>(import_steps);
}

}  // namespace

int main() {
    try {
        const fs::path folder = fs::temp_directory_path() / ("fmu_bench_" + std::to_string(::getpid()));
        fs::create_directories(folder);
        const double host_step = engine_by_host(), fmu_step = engine_by_fmu(folder);
        const double fmu_call = blower_by_fmu(folder), host_call = blower_by_host();
        report("engine demo, one 1 ms step:", "host/sim", host_step, "fmi2DoStep", fmu_step);
        report("blower, one call:", "host/sfunction", host_call, "SetReal+GetReal", fmu_call);
        const double loop_step = imported_by_loop(folder), block_step = imported_by_host(folder);
        report("blower FMU imported, one step:", "importer loop", loop_step, "blocksim block", block_step);
        fs::remove_all(folder);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "fmu_bench: %s\n", error.what());
        return 1;
    }
    return 0;
}
