// A whole blocksim model as an FMU's component: the model and its libraries
// from the FMU's resources, run by host/sim.
//
// Co-simulation: the model's own solver step by step, each communication
// point a major step. The calls are a blocksim run's: the outputs of a major
// step once, when a value is read or the step is taken, with the Inports as
// last set; then the updates, derivatives and Runge-Kutta stages to the next
// step, or the variable-step integrator's step (which starts again where an
// Inport changed, a discontinuity it must not step across).
//
// Model exchange: the importer integrates the model's continuous states.
// Its evaluations are minor steps; the start of continuous-time mode and
// each completed integrator step are major steps (the outputs, then the
// memory blocks' updates), and the blocks' switching times are time events.
#include <algorithm>
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
    ModelComponent(const std::filesystem::path& resources, Interface kind)
        : facts_(read_export(resources)), model_(exported_model(resources, facts_)),
          parameters_(model_parameters(model_, facts_.parameters)), kind_(kind) {
        simulation_ = std::make_unique<host::Simulation>(host::ModelSpec(model_));
        refusal_ = fmu::model_exchange_refusal(*simulation_);
        variables_ = model_variables(*simulation_, model_, parameters_, refusal_.empty());
        states_ = refusal_.empty() ? simulation_->continuous_states().size() : 0;
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
    std::size_t continuous_states() const override { return states_; }
    std::string model_exchange_refusal() const override { return refusal_; }

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
        switches_ = simulation_->switching_times();
        invalidate();
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
            if (same(input, value)) return;
            invalidate();
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
        if (kind_ == Interface::model_exchange) return time_;
        if (variable_step()) return simulation_->time();
        return static_cast<double>(simulation_->step_index()) * model_.solver.step;
    }

    void do_step(double time, double step) override {
        if (variable_step()) {
            // At least one major step per max_step: bounded as a run is.
            const double max_step = model_.solver.max_step_or_default();
            if (max_step > 0.0)
                bounded_step_count(std::ceil(step / max_step), step, max_step, "of the model's max_step",
                                   "take shorter communication steps");
            const double end = time + step;
            while (simulation_->time() < end) {
                const double before = simulation_->time();
                refresh_outputs(true);
                simulation_->advance_toward(end);
                invalidate();
                if (!(simulation_->time() > before))
                    throw std::runtime_error("the model's solver made no progress at t = " + exact_text(before));
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
            refresh_outputs(true);
            simulation_->advance();
            invalidate();
        }
    }

    void set_time(double time) override {
        if (!same(time, time_)) invalidate();
        time_ = time;
    }
    void set_continuous_states(const double* x) override {
        auto& states = running_model().continuous_states();
        if (!std::equal(states.begin(), states.end(), x, same)) invalidate();
        std::copy(x, x + states.size(), states.begin());
    }
    void get_continuous_states(double* x) override {
        const auto& states = running_model().continuous_states();
        std::copy(states.begin(), states.end(), x);
    }
    void get_derivatives(double* dx) override {
        refresh_derivatives();
        std::copy(derivatives_.begin(), derivatives_.end(), dx);
    }
    void enter_event_mode() override { continuous_time_ = false; }
    // The start time is the first major step, completed when the
    // integration begins; the others end at the integrator's steps.
    void enter_continuous_time_mode() override {
        if (!first_step_done_) major_step();
        continuous_time_ = true;
    }
    void completed_integrator_step() override { major_step(); }

    std::optional<double> next_event_time() const override {
        if (kind_ != Interface::model_exchange) return std::nullopt;
        const auto next = std::upper_bound(switches_.begin(), switches_.end(), time_);
        if (next == switches_.end()) return std::nullopt;
        return *next;
    }

private:
    bool variable_step() const { return is_variable_step(model_.solver.method); }
    static bool same(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

    host::Simulation& running_model() {
        if (!running_) throw UsageError("the model's states exist while it runs, between initialization and termination");
        return *simulation_;
    }

    // A dialog parameter changed while the model runs: the block gets the
    // whole parameter as the FMU's parameters make it, checks it as at the
    // start and, refusing it, keeps the old value, and the instance goes on.
    // Model exchange changes it in event mode only, as the standard asks.
    void tune(const Variable& v, double value) {
        if (continuous_time_)
            throw UsageError("'" + v.name + "' is a tunable parameter: set it in event mode, not in continuous-time mode");
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
        invalidate();
    }

    void invalidate() {
        outputs_current_ = false;
        derivatives_current_ = false;
    }

    // Co-simulation computes a major step's outputs; model exchange those
    // of a minor step in continuous-time mode, of a major one otherwise.
    void refresh_outputs(bool major) {
        if (outputs_current_ && (outputs_major_ || !major)) return;
        if (kind_ == Interface::co_simulation) {
            simulation_->step_outputs();
            major = true;
        } else {
            simulation_->compute_outputs(time_, major);
        }
        outputs_current_ = true;
        outputs_major_ = major;
    }

    // Over the outputs as they are: after a major step's updates, the
    // outputs that step computed, as in a blocksim run.
    void refresh_derivatives() {
        running_model();
        refresh_outputs(!continuous_time_);
        if (derivatives_current_) return;
        derivatives_ = simulation_->compute_derivatives(time(), !continuous_time_);
        derivatives_current_ = true;
    }

    void major_step() {
        running_model();
        refresh_outputs(true);
        simulation_->compute_updates(time_);
        derivatives_current_ = false;
        first_step_done_ = true;
    }

    // After termination the values stay as they were at the end.
    double computed(const Variable& v) {
        if (!initialized_)
            throw UsageError("'" + v.name + "' is computed once the model runs, after " +
                             (kind_ == Interface::model_exchange ? "initialization" : "fmi2ExitInitializationMode"));
        switch (v.role) {
        case Role::state: return simulation_->continuous_states().at(static_cast<std::size_t>(v.element));
        case Role::derivative: refresh_derivatives(); return derivatives_.at(static_cast<std::size_t>(v.element));
        default: break;
        }
        if (running_) refresh_outputs(kind_ == Interface::co_simulation || !continuous_time_);
        if (v.role == Role::logged_signal) return simulation_->column_value(static_cast<std::size_t>(v.index));
        const auto& port = simulation_->outports()[static_cast<std::size_t>(v.index)];
        return host::element_as_double(port.signal, port.data_type, static_cast<std::size_t>(v.element));
    }

    ModelExport facts_;
    host::ModelSpec model_;
    std::vector<host::SweepEntry> parameters_;
    Interface kind_;
    std::vector<double> values_;
    std::unique_ptr<host::Simulation> simulation_;
    std::string refusal_;
    Variables variables_;
    std::size_t states_ = 0;
    std::vector<std::vector<double>> inputs_;
    std::vector<double> switches_, derivatives_;
    double time_ = 0.0;  // model exchange's
    bool changed_ = false, initialized_ = false, running_ = false;
    bool outputs_current_ = false, outputs_major_ = false, derivatives_current_ = false;
    bool continuous_time_ = false, first_step_done_ = false;
};

}  // namespace

std::unique_ptr<Component> make_component(const std::filesystem::path&, const std::filesystem::path& resources,
                                          Interface kind) {
    if (resources.empty()) throw UsageError("a model's FMU needs its resources folder, and the importer gave none");
    return std::make_unique<ModelComponent>(resources, kind);
}

}  // namespace fmu
