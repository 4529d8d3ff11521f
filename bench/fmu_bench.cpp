// What the FMU layer adds: one fmi2DoStep of the engine demo's FMU at 1 ms
// against one step of the same model run by host/sim, and one blower call
// through its FMU (fmi2SetReal of an input, fmi2GetReal of an output)
// against the same call through host/sfunction. And what blocksim adds
// around an imported FMU: the blower's FMU as a block of a model, fed by
// constants and stepped by host/sim, against the same FMU stepped by an
// importer's loop (its inputs set, one fmi2DoStep, its outputs read), with
// its inputs held and with its inlet temperature ramping. Each figure is the
// best of several timed runs.
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
    std::printf("%-36s %s %8.3f us   %s %8.3f us   FMU layer %+5.1f %%\n", what, base_name, base * 1e6, fmu_name,
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

constexpr long long import_steps = 500000;  // per timed run: 500 s of model time at 1 ms
constexpr int import_runs = 9;

// The blower FMU's inputs and outputs, by index from 1 in its description.
std::vector<const importer::ScalarVariable*> blower_ports(const importer::ModelDescription& d, const char* causality) {
    std::vector<const importer::ScalarVariable*> ports;
    for (const auto& v : d.variables)
        if (v.attribute("causality") == causality) ports.push_back(&v);
    return ports;
}

// The inlet temperature the ramping runs give: the FMU then works out its
// inlet gas at every step, as in a model whose inlet changes; with inputs
// held, its memo of the inlet makes a step cheap and the host's share large.
constexpr double ramp_start_K = 350, ramp_slope_K_per_s = 1e-3;
constexpr const char* ramped_input = "inlet.T";

// The blower FMU as a block of a model, fed by constants (one a ramp if
// `ramp`), stepped by host/sim.
class BlockDrive {
public:
    BlockDrive(const fs::path& folder, const importer::ModelDescription& description, bool ramp) {
        std::string model = "solver: {method: ode4, step: 0.001, stop: 1e5}\nblocks:\n  fan: {fmu: '" +
                            (fs::path(FMU_DIR) / "blower.fmu").string() + "', interface: cs}\n";
        std::string connections = "connections:\n";
        int k = 0;
        for (const auto* input : blower_ports(description, "input")) {
            const std::string source = "in" + std::to_string(k++);
            if (ramp && input->attribute("name") == ramped_input)
                model += "  " + source + ": {type: Ramp, initial: " + std::to_string(ramp_start_K) +
                         ", slope: " + std::to_string(ramp_slope_K_per_s) + "}\n";
            else
                model += "  " + source + ": {type: Constant, value: " + input->type_attributes.at("start") + "}\n";
            connections += "  - " + source + ".0 -> fan." + input->attribute("name") + "\n";
        }
        const fs::path file = folder / (ramp ? "ramped.yaml" : "held.yaml");
        std::ofstream(file) << model << connections;
        host::enable_fmu_blocks();
        simulation_ = std::make_unique<host::Simulation>(host::read_model_file(file));
        simulation_->begin();
    }
    void steps(long long n) {
        for (long long k = 0; k < n; ++k) {
            simulation_->step_outputs();
            simulation_->advance();
        }
    }

private:
    std::unique_ptr<host::Simulation> simulation_;
};

// The same FMU stepped by an importer's loop: its inputs set, one
// fmi2DoStep, its outputs read.
class LoopDrive {
public:
    LoopDrive(const importer::Fmu& fmu, bool ramp) : blower_(fmu, fmi2CoSimulation), ramp_(ramp) {
        for (const auto* v : blower_ports(fmu.description(), "input")) {
            if (v->attribute("name") == ramped_input) ramped_ = inputs_.size();
            inputs_.push_back(fmu.description().value_reference(v->attribute("name")));
            input_values_.push_back(std::stod(v->type_attributes.at("start")));
        }
        for (const auto* v : blower_ports(fmu.description(), "output"))
            outputs_.push_back(fmu.description().value_reference(v->attribute("name")));
        output_values_.resize(outputs_.size());
        if (blower_.initialize() != fmi2OK) throw std::runtime_error(blower_.last_message());
    }
    void steps(long long n) {
        const auto& fmi = blower_.fmi();
        for (long long k = 0; k < n; ++k, ++step_) {
            const double t = static_cast<double>(step_) * 1e-3;
            if (ramp_) input_values_[ramped_] = ramp_start_K + ramp_slope_K_per_s * t;
            fmi.SetReal(blower_.component(), inputs_.data(), inputs_.size(), input_values_.data());
            if (fmi.DoStep(blower_.component(), t, 1e-3, fmi2True) != fmi2OK)
                throw std::runtime_error(blower_.last_message());
            fmi.GetReal(blower_.component(), outputs_.data(), outputs_.size(), output_values_.data());
        }
    }

private:
    importer::Instance blower_;
    bool ramp_;
    std::size_t ramped_ = 0;
    long long step_ = 0;
    std::vector<fmi2ValueReference> inputs_, outputs_;
    std::vector<double> input_values_, output_values_;
};

// Seconds per step of each drive, the best of `import_runs` timed runs taken
// in turn (loop, block, loop, ...) so that a change of the machine's pace
// falls on both.
std::pair<double, double> imported_steps(const fs::path& folder, bool ramp) {
    importer::Fmu fmu(fs::path(FMU_DIR) / "blower.fmu", folder / (ramp ? "ramped" : "held"));
    LoopDrive loop(fmu, ramp);
    BlockDrive block(folder, fmu.description(), ramp);
    const auto timed = [](auto& drive) {
        const auto start = std::chrono::steady_clock::now();
        drive.steps(import_steps);
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    };
    loop.steps(import_steps / 10), block.steps(import_steps / 10);  // warm caches and branch predictors
    double best_loop = 1e300, best_block = 1e300;
    for (int run = 0; run < import_runs; ++run) {
        best_loop = std::min(best_loop, timed(loop));
        best_block = std::min(best_block, timed(block));
    }
    return {best_loop / import_steps, best_block / import_steps};
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
        const auto [held_loop, held_block] = imported_steps(folder, false);
        report("blower FMU imported, inputs held:", "importer loop", held_loop, "blocksim block", held_block);
        const auto [ramped_loop, ramped_block] = imported_steps(folder, true);
        report("blower FMU imported, inlet ramping:", "importer loop", ramped_loop, "blocksim block", ramped_block);
        fs::remove_all(folder);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "fmu_bench: %s\n", error.what());
        return 1;
    }
    return 0;
}
