// One S-function block as an FMU's component: the block run through
// host/sfunction, as blocksim runs it. Its code is linked into this binary
// (FMU_BLOCK_LINKED), or is its own library beside it.
//
// The calling sequence is blocksim's, with the importer in the place of the
// other blocks: mdlOutputs once per change of inputs, states or time, when
// an output or a derivative is read or a step needs it; a major step is
// mdlOutputs, then mdlUpdate, then mdlDerivatives; Runge-Kutta 4 stages call
// mdlOutputs and mdlDerivatives again, with the inputs held.
#include <algorithm>
#include <cstdlib>
#include <cmath>
#include <cstring>
#include <memory>
#include <optional>
#include <vector>

#include "block_fmu.hpp"
#include "block_manifest.hpp"
#include "fmi/block_variables.hpp"
#include "fmi/component.hpp"
#include "host/sfunction/data_types.hpp"
#include "host/sfunction/errors.hpp"
#include "host/sfunction/instance.hpp"
#include "host/sim/stepper.hpp"
#include "mex.h"

namespace fmu {

std::string component_guid(const std::filesystem::path&, const std::filesystem::path&) { return FMU_GUID; }

namespace {

const blocks::ManifestEntry& this_block() {
    const blocks::ManifestEntry* entry = blocks::manifest_entry(FMU_BLOCK);
    if (!entry) throw std::logic_error("block " FMU_BLOCK " is not in the block records");
    return *entry;
}

std::shared_ptr<const host::Library> block_library([[maybe_unused]] const std::filesystem::path& binary_folder) {
#if FMU_BLOCK_LINKED
    return host::Library::linked(FMU_BLOCK, &mexFunction);
#else
    return host::Library::load(FMU_BLOCK, {binary_folder});
#endif
}

class BlockComponent : public Component {
public:
    explicit BlockComponent(const std::filesystem::path& binary_folder)
        : block_(this_block()),
          library_(block_library(binary_folder)),
          parameters_(example_parameters(block_)) {
        create_instance();
        variables_ = block_variables(*instance_, block_, parameters_);
        for (int port = 0; port < instance_->num_inputs(); ++port)
            inputs_.emplace_back(static_cast<std::size_t>(instance_->input(port).width), 0.0);
        // The inputs start where the description says: the worked example.
        for (const Variable& v : variables_)
            if (v.role == Role::input) inputs_[v.index][v.element] = std::strtod(v.start.c_str(), nullptr);
    }

    const Variables& variables() const override { return variables_; }
    std::size_t continuous_states() const override { return states_.size(); }
    std::string model_exchange_refusal() const override { return ""; }

    void set_start_time(double time) override { time_ = time; }

    void initialize() override {
        running();
        initialized_ = true;
    }

    // The values stay readable, as they were at the end.
    void terminate() override {
        if (started_ && !terminated_) {
            terminated_ = true;
            instance_->terminate();
        }
    }

    double get_real(std::size_t i) override {
        const Variable& v = variables_[i];
        switch (v.role) {
        case Role::input: return inputs_[v.index][v.element];
        case Role::parameter: return parameters_[v.index][v.element];
        case Role::internal_step: return internal_step_;
        default: return computed(v);
        }
    }

    int get_integer(std::size_t i) override { return static_cast<int>(computed(variables_[i])); }

    void set_real(std::size_t i, double value) override {
        const Variable& v = variables_[i];
        switch (v.role) {
        case Role::input:
            if (!same(inputs_[v.index][v.element], value)) invalidate();
            inputs_[v.index][v.element] = value;
            return;
        case Role::parameter:
            if (started_ && !terminated_) return tune(v, value);
            parameters_[v.index][v.element] = value;
            parameters_changed_ = true;
            return;
        case Role::internal_step:
            refuse_after_initialization(v);
            if (!(value > 0.0) || !std::isfinite(value))
                throw UsageError("internal_step must be a positive number of seconds, not " + exact_text(value));
            internal_step_ = value;
            return;
        default:
            throw UsageError("'" + v.name + "' is computed by the block and cannot be set");
        }
    }

    void set_integer(std::size_t i, int) override {
        throw UsageError("'" + variables_[i].name + "' is computed by the block and cannot be set");
    }

    double time() const override { return time_; }

    void do_step(double time, double step) override {
        const long long substeps =
            std::max(1LL, bounded_step_count(std::ceil(step / internal_step_ * (1.0 - 1e-12)), step, internal_step_,
                                             "internal steps", "take shorter communication steps or set a longer "
                                                               "internal_step before initialization"));
        running();
        const double h = step / static_cast<double>(substeps);
        for (long long k = 0; k < substeps; ++k) {
            time_ = k == 0 ? time : time + static_cast<double>(k) * h;
            major_step();
            if (!states_.empty()) integrate(h);
            invalidate();
        }
        time_ = time + step;
    }

    void set_time(double time) override {
        if (!same(time_, time)) invalidate();
        time_ = time;
    }
    void set_continuous_states(const double* x) override {
        running();
        if (!std::equal(states_.begin(), states_.end(), x, same)) invalidate();
        std::copy(x, x + states_.size(), states_.begin());
    }
    void get_continuous_states(double* x) override {
        running();
        std::copy(states_.begin(), states_.end(), x);
    }
    void get_derivatives(double* dx) override {
        refresh_derivatives();
        std::copy(derivatives_.begin(), derivatives_.end(), dx);
    }
    void enter_event_mode() override { continuous_time_ = false; }
    // The start time is the first major step, completed when the
    // integration begins; the others end at the integrator's steps.
    void enter_continuous_time_mode() override {
        if (!first_step_done_) major_step_without_derivatives();
        continuous_time_ = true;
    }
    void completed_integrator_step() override { major_step_without_derivatives(); }

private:
    void create_instance() {
        instance_.reset();  // terminates a started block first
        started_ = false;
        auto instance = std::make_unique<host::SFunctionInstance>(block_.name, library_, parameter_arrays(parameters_));
        const std::size_t states = static_cast<std::size_t>(instance->num_cont_states());
        states_.assign(states, 0.0);
        derivatives_.assign(states, 0.0);
        instance->settle_frames();
        instance->settle_types();
        instance->settle_sample_times();
        instance->allocate(states_.data(), derivatives_.data());
        instance_ = std::move(instance);
        parameters_changed_ = false;
    }

    // The block created with the parameters set so far and started, once.
    // A creation that failed (the block refused its parameters) leaves no
    // block, and the next call tries again.
    void running() {
        if (terminated_ || (started_ && !parameters_changed_)) return;
        if (!instance_ || parameters_changed_ || started_) {
            create_instance();
            if (block_variables(*instance_, block_, parameters_).size() != variables_.size())
                throw UsageError("these parameters change the block's ports or states, which an FMU cannot");
        }
        for (int port = 0; port < instance_->num_inputs(); ++port) instance_->connect_input(port, inputs_[port].data());
        instance_->start();
        instance_->initialize_conditions();
        started_ = true;
        first_step_done_ = false;
        invalidate();
        if (!states_.empty()) stepper_.emplace(host::SolverMethod::ode4, states_.size());
    }

    // A parameter of a running block changes as a dialog's does in the
    // host: the block checks the new value, and its next call uses it; its
    // memory (a relay's held output) stays. A value the block refuses
    // leaves the old one, and the instance goes on. The standard lets model
    // exchange change a tunable parameter in event mode only.
    void tune(const Variable& v, double value) {
        if (continuous_time_)
            throw UsageError("'" + v.name + "' is a tunable parameter: set it in event mode, not in continuous-time mode");
        std::vector<double> elements = parameters_[v.index];
        elements[v.element] = value;
        try {
            instance_->set_parameter(v.index, host::make_double(elements));
        } catch (const host::BlockError& error) {
            throw UsageError("'" + v.name + "' = " + exact_text(value) + " is refused by the block: " + error.what());
        }
        parameters_[v.index] = std::move(elements);
        invalidate();
    }

    void refuse_after_initialization(const Variable& v) const {
        if (initialized_)
            throw UsageError("'" + v.name + "' is a fixed parameter: it cannot change after initialization");
    }

    // The same bits: setting a value again is no change, and does not make
    // a block whose outputs lag an evaluation evaluate once more.
    static bool same(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

    void invalidate() {
        outputs_current_ = false;
        derivatives_current_ = false;
    }

    void refresh_outputs(bool major) {
        running();
        if (outputs_current_ || terminated_) return;
        instance_->outputs(time_, major);
        outputs_current_ = true;
    }

    void refresh_derivatives() {
        refresh_outputs(!continuous_time_);
        if (derivatives_current_ || terminated_) return;
        instance_->derivatives(time_);
        derivatives_current_ = true;
    }

    double computed(const Variable& v) {
        switch (v.role) {
        case Role::output:
            refresh_outputs(!continuous_time_);
            return instance_->output_value(v.index, v.element);
        case Role::state: running(); return states_[v.element];
        case Role::derivative: refresh_derivatives(); return derivatives_[v.element];
        case Role::discrete_state:
            running();
            return host::element_as_double(instance_->dwork(v.index), instance_->dwork_spec(v.index).data_type,
                                           static_cast<std::size_t>(v.element));
        default: return get_real(static_cast<std::size_t>(&v - variables_.data()));
        }
    }

    void major_step_without_derivatives() {
        refresh_outputs(true);
        instance_->update(time_);
        derivatives_current_ = false;
        first_step_done_ = true;
    }

    void major_step() {
        major_step_without_derivatives();
        if (!states_.empty()) refresh_derivatives();
    }

    void integrate(double h) {
        stepper_->step(
            time_, h, states_, derivatives_, [this](double t) { instance_->outputs(t, false); },
            [this](double t) { instance_->derivatives(t); });
    }

    const blocks::ManifestEntry& block_;
    std::shared_ptr<const host::Library> library_;
    std::vector<std::vector<double>> parameters_;
    std::vector<std::vector<double>> inputs_;
    std::vector<double> states_, derivatives_;
    std::unique_ptr<host::SFunctionInstance> instance_;
    std::optional<host::RungeKuttaStepper> stepper_;
    Variables variables_;
    double time_ = 0.0;
    double internal_step_ = default_internal_step;
    bool parameters_changed_ = false, started_ = false, initialized_ = false, terminated_ = false;
    bool outputs_current_ = false, derivatives_current_ = false;
    bool continuous_time_ = false, first_step_done_ = false;
};

}  // namespace

std::unique_ptr<Component> make_component(const std::filesystem::path& binary_folder, const std::filesystem::path&,
                                          Interface) {
    return std::make_unique<BlockComponent>(binary_folder);
}

}  // namespace fmu
