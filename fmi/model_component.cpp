// A whole blocksim model as an FMU's component (co-simulation): the model
// and its libraries from the FMU's resources, run by host/sim step by step
// with its own solver, each communication point a major step.
//
// The calls are a blocksim run's: the outputs of a major step once, when a
// value is read or the step is taken, with the Inports as last set; then
// the updates, derivatives and Runge-Kutta stages to the next step, or the
// variable-step integrator's step (which starts again where an Inport
// changed, a discontinuity it must not step across).
#include <cmath>
#include <cstring>
#include <memory>

#include "fmi/component.hpp"
#include "fmi/model_export.hpp"
#include "host/sfunction/data_types.hpp"

namespace fmu {

std::string component_guid(const std::filesystem::path&, const std::filesystem::path& resources) {
    return read_export(resources).guid;
}

namespace {

class ModelComponent : public Component {
public:
    explicit ModelComponent(const std::filesystem::path& resources)
        : facts_(read_export(resources)), model_(exported_model(resources, facts_)),
          parameters_(model_parameters(model_, facts_.parameters)) {
        simulation_ = std::make_unique<host::Simulation>(host::ModelSpec(model_));
        variables_ = model_variables(*simulation_, model_, parameters_);
        for (const auto& port : simulation_->inports()) inputs_.emplace_back(static_cast<std::size_t>(port.width), 0.0);
        for (std::size_t i = 0; i < variables_.size(); ++i) {
            const Variable& v = variables_[i];
            if (v.role == Role::input) inputs_[v.index][v.element] = std::stod(v.start);
            if (v.role == Role::parameter) values_.push_back(std::stod(v.start));
        }
    }

    ~ModelComponent() override {
        try {
            if (simulation_) simulation_->finish();
        } catch (const std::exception&) {
            // Freed anyway; a failure to terminate has no one to report to.
        }
    }

    const Variables& variables() const override { return variables_; }
    std::size_t continuous_states() const override { return 0; }
    bool supports_model_exchange() const override { return false; }

    void set_start_time(double time) override {
        if (time != 0.0) throw UsageError("a model's FMU starts at time 0, not " + exact_text(time));
    }

    // The model is made anew with the parameters set, and its blocks check them.
    void initialize() override {
        if (changed_) {
            host::ModelSpec model(model_);
            for (std::size_t i = 0; i < parameters_.size(); ++i) host::set_sweep_value(model, parameters_[i], values_[i]);
            simulation_ = std::make_unique<host::Simulation>(std::move(model));
        }
        simulation_->begin();
        initialized_ = running_ = true;
        for (std::size_t i = 0; i < inputs_.size(); ++i)
            std::copy(inputs_[i].begin(), inputs_[i].end(), simulation_->inports()[i].input);
        outputs_current_ = false;
    }

    void terminate() override {
        running_ = false;
        simulation_->finish();
    }

    double get_real(std::size_t i) override {
        const Variable& v = variables_[i];
        switch (v.role) {
        case Role::input: return inputs_[v.index][v.element];
        case Role::parameter: return values_[static_cast<std::size_t>(v.index)];
        default: return computed(v);
        }
    }
    int get_integer(std::size_t i) override { return static_cast<int>(computed(variables_[i])); }

    void set_real(std::size_t i, double value) override {
        const Variable& v = variables_[i];
        if (v.role == Role::input) {
            double& input = inputs_[v.index][v.element];
            if (std::memcmp(&input, &value, sizeof value) == 0) return;
            outputs_current_ = false;
            input = value;
            if (!running_) return;
            simulation_->inports()[v.index].input[v.element] = value;
            simulation_->restart_integration();
            return;
        }
        if (v.role == Role::parameter) {
            if (running_ && v.tunable) return tune(v, value);
            if (initialized_)
                throw UsageError("'" + v.name + "' is a fixed parameter: it cannot change after initialization");
            values_[static_cast<std::size_t>(v.index)] = value;
            changed_ = true;
            return;
        }
        throw UsageError("'" + v.name + "' is computed by the model and cannot be set");
    }
    void set_integer(std::size_t i, int) override {
        throw UsageError("'" + variables_[i].name + "' is computed by the model and cannot be set");
    }

    double time() const override {
        if (variable_step()) return simulation_->time();
        return static_cast<double>(simulation_->step_index()) * model_.solver.step;
    }

    void do_step(double time, double step) override {
        if (variable_step()) {
            const double end = time + step;
            while (simulation_->time() < end) {
                refresh_outputs();
                simulation_->advance_toward(end);
                outputs_current_ = false;
            }
            return;
        }
        const double h = model_.solver.step;
        const long long steps =
            bounded_step_count(std::round(step / h), step, h, "of the model's steps", "take shorter communication steps");
        if (steps < 1 || std::fabs(static_cast<double>(steps) * h - step) > 1e-9 * h)
            throw UsageError("the communication step " + exact_text(step) + " is no whole number of the model's steps of " +
                             exact_text(h) + " s");
        for (long long k = 0; k < steps; ++k) {
            refresh_outputs();
            simulation_->advance();
            outputs_current_ = false;
        }
    }

    // Model exchange is not offered (supports_model_exchange).
    void set_time(double) override { no_model_exchange(); }
    void set_continuous_states(const double*) override { no_model_exchange(); }
    void get_continuous_states(double*) override { no_model_exchange(); }
    void get_derivatives(double*) override { no_model_exchange(); }
    void enter_event_mode() override { no_model_exchange(); }
    void enter_continuous_time_mode() override { no_model_exchange(); }
    void completed_integrator_step() override { no_model_exchange(); }

private:
    bool variable_step() const { return is_variable_step(model_.solver.method); }

    [[noreturn]] static void no_model_exchange() { throw UsageError("a model's FMU is for co-simulation only"); }

    // A dialog parameter changed while the model runs: the block gets the
    // whole parameter as the FMU's parameters make it, checks it as at the
    // start and, refusing it, keeps the old value, and the instance goes on.
    // A later reset starts the model with the new value.
    void tune(const Variable& v, double value) {
        const auto k = static_cast<std::size_t>(v.index);
        const host::SweepEntry& entry = parameters_[k];
        host::ModelSpec model(model_);
        for (std::size_t i = 0; i < parameters_.size(); ++i)
            host::set_sweep_value(model, parameters_[i], i == k ? value : values_[i]);
        for (auto& block : model.blocks) {
            if (block.name != entry.block) continue;
            try {
                simulation_->set_dialog_parameter(block.name, entry.parameter - 1,
                                                  std::move(block.parameters.at(static_cast<std::size_t>(entry.parameter - 1))));
            } catch (const host::BlockError& error) {
                throw UsageError("'" + v.name + "' = " + exact_text(value) + " is refused by the block: " + error.what());
            }
        }
        values_[k] = value;
        changed_ = true;
        outputs_current_ = false;
    }

    void refresh_outputs() {
        if (outputs_current_) return;
        simulation_->step_outputs();
        outputs_current_ = true;
    }

    // After fmi2Terminate the values stay as they were at the end.
    double computed(const Variable& v) {
        if (!initialized_)
            throw UsageError("'" + v.name + "' is computed once the model runs, after fmi2ExitInitializationMode");
        if (running_) refresh_outputs();
        if (v.role == Role::logged_signal) return simulation_->column_value(static_cast<std::size_t>(v.index));
        const auto& port = simulation_->outports()[static_cast<std::size_t>(v.index)];
        return host::element_as_double(port.signal, port.data_type, static_cast<std::size_t>(v.element));
    }

    ModelExport facts_;
    host::ModelSpec model_;
    std::vector<host::SweepEntry> parameters_;
    std::vector<double> values_;
    std::unique_ptr<host::Simulation> simulation_;
    Variables variables_;
    std::vector<std::vector<double>> inputs_;
    bool changed_ = false, initialized_ = false, running_ = false, outputs_current_ = false;
};

}  // namespace

std::unique_ptr<Component> make_component(const std::filesystem::path&, const std::filesystem::path& resources) {
    if (resources.empty()) throw UsageError("a model's FMU needs its resources folder, and the importer gave none");
    return std::make_unique<ModelComponent>(resources);
}

}  // namespace fmu
