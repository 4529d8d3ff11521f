#include "host/fmu/fmu_node.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>

#include "host/common/suggestions.hpp"
#include "host/common/text.hpp"
#include "host/fmu/archive.hpp"
#include "host/fmu/description.hpp"
#include "host/fmu/instance.hpp"
#include "host/sfunction/data_types.hpp"
#include "host/sim/engine.hpp"

namespace host {

namespace {

// Co-simulation: the inputs set and one DoStep at every communication
// point, the outputs read after it. Model exchange: the FMU's states are
// among the model's, its outputs and derivatives computed wherever the
// solver asks, its events handled where the engine finds them.
class FmuNode : public Node {
public:
    FmuNode(const std::string& name, const FmuBlockSpec& spec, const SolverSpec& solver)
        : Node(name), file_(spec.file.filename().string()), unpacked_(spec.file),
          description_(read_description(unpacked_.folder(), spec.file.string())) {
        const std::string block = "block '" + name + "'";
        const std::string label = block + " (" + file_ + ")";
        exchange_ = spec.fmi_interface == "me" || (spec.fmi_interface.empty() && description_.model_exchange);
        if (exchange_ && !description_.model_exchange)
            throw HostError(label + ": this FMU offers co-simulation only: give interface: cs, or leave interface out");
        if (!exchange_ && !description_.co_simulation)
            throw HostError(label + ": this FMU offers model exchange only: give interface: me, or leave interface out");
        if (exchange_) {
            if (spec.step)
                throw HostError(label + ": step: sets a co-simulation FMU's communication step; under model exchange "
                                        "the model's solver steps the FMU");
            state_count_ = description_.state_count();
        } else {
            choose_communication_step(spec, solver, label);
        }
        for (std::size_t i : description_.inputs()) inputs_.push_back(&description_.variables[i]);
        for (std::size_t i : description_.outputs) outputs_.push_back(&description_.variables[i]);
        for (const auto* ports : {&inputs_, &outputs_})
            for (const FmuVariable* v : *ports)
                if (const std::string problem = unsupported_type(*v); !problem.empty())
                    throw HostError(label + ": " + problem);
        std::vector<std::string> names;
        for (const auto& v : description_.variables) names.push_back(v.name);
        for (const auto& [variable, values] : spec.starts) {
            const FmuVariable* v = description_.variable(variable);
            if (!v) throw HostError(label + ": the FMU has no variable '" + variable + "'" + did_you_mean(variable, names));
            if (v->causality != "parameter" && v->causality != "input")
                throw HostError(label + ": " + variable + " is a variable of causality " + v->causality +
                                "; a block sets parameters and inputs only");
            if (values.size() != v->width())
                throw HostError(label + ": " + variable + " takes " + count_of(static_cast<long long>(v->width()), "value") +
                                ", not " + std::to_string(values.size()));
            if (const std::string problem = unsupported_type(*v); !problem.empty())
                throw HostError(label + ": " + problem);
            starts_.push_back({v, values});
        }
        for (const FmuVariable* v : outputs_) {
            output_offsets_.push_back(output_values_.size());
            output_values_.resize(output_values_.size() + v->width(), 0.0);
        }
        input_signals_.assign(inputs_.size(), nullptr);
        // Where every port is a Real or Float64, all inputs go in one call
        // and all outputs come in one, as an importer's loop makes them.
        auto all_reals = [&](const std::vector<const FmuVariable*>& ports, std::vector<std::uint32_t>& references) {
            for (const FmuVariable* v : ports) {
                if (v->type != "Real" && v->type != "Float64") return false;
                references.push_back(v->value_reference);
            }
            return true;
        };
        if (!all_reals(inputs_, input_references_)) input_references_.clear();
        if (!all_reals(outputs_, output_references_)) output_references_.clear();
        for (const FmuVariable* v : inputs_) input_widths_.push_back(static_cast<std::size_t>(v->width()));
        input_values_.resize(std::accumulate(input_widths_.begin(), input_widths_.end(), std::size_t{0}));
        instance_ = std::make_unique<FmuInstance>(unpacked_.folder(), description_, name, label,
                                                  exchange_ ? FmuKind::model_exchange : FmuKind::co_simulation);
    }

    std::string kind() const override { return "FMU '" + file_ + "'"; }
    int num_inputs() const override { return static_cast<int>(inputs_.size()); }
    int num_outputs() const override { return static_cast<int>(outputs_.size()); }
    int input_width(int port) const override { return static_cast<int>(inputs_[port]->width()); }
    int output_width(int port) const override { return static_cast<int>(outputs_[port]->width()); }
    int input_type(int) const override { return double_type_id; }
    int output_type(int) const override { return double_type_id; }
    // A model-exchange FMU's outputs may depend on its inputs at once.
    bool direct_feedthrough(int) const override { return exchange_; }
    int num_states() const override { return static_cast<int>(state_count_); }
    int port_named(const std::string& name, bool input) const override {
        const auto& ports = input ? inputs_ : outputs_;
        for (std::size_t i = 0; i < ports.size(); ++i)
            if (ports[i]->name == name) return static_cast<int>(i);
        return -1;
    }
    std::vector<std::string> port_names(bool input) const override {
        std::vector<std::string> names;
        for (const FmuVariable* v : input ? inputs_ : outputs_) names.push_back(v->name);
        return names;
    }

    void set_input_width(int port, int width) override {
        if (width != input_width(port))
            throw HostError(label() + ": input " + inputs_[port]->name + " takes " +
                            count_of(input_width(port), "element") + ", not " + std::to_string(width));
    }
    void offer_input_type(int port, int data_type) override {
        if (data_type != double_type_id)
            throw HostError(label() + ": input " + inputs_[port]->name + " takes double signals, not " +
                            data_type_label(data_type));
    }
    void allocate(double* states, double* derivatives) override {
        states_ = states;
        derivatives_ = derivatives;
    }
    void connect_input(int port, const void* signal) override {
        input_signals_[port] = static_cast<const double*>(signal);
    }
    const void* output_signal(int port) const override { return output_values_.data() + output_offsets_[port]; }

    void start() override {
        for (const auto& [variable, values] : starts_) instance_->set(*variable, values.data());
        instance_->enter_initialization(0.0);
        instance_->exit_initialization();
        if (!exchange_) return read_outputs();
        // Model exchange leaves initialization in event mode.
        settle_event();
    }
    void initialize_conditions() override {
        if (state_count_) instance_->get_states(states_, state_count_);
    }
    void outputs(double time, bool) override {
        if (!exchange_) return;
        instance_->set_time(time);
        if (state_count_) instance_->set_states(states_, state_count_);
        set_inputs();
        read_outputs();
    }
    // A co-simulation FMU's outputs change in update() only.
    bool outputs_held() const override { return !exchange_; }
    bool has_update() const override {
        return !exchange_ || description_.model_exchange->needs_completed_integrator_step;
    }
    // Co-simulation: the communication step from t, at every n-th major
    // step (fixed-step) or at its switching times (variable-step). Model
    // exchange: the step the solver accepted, which may ask for an event.
    void update(double time) override {
        if (exchange_) {
            step_event_ = instance_->completed_integrator_step();
            return;
        }
        if (variable_step_) {
            if (time < static_cast<double>(communications_) * communication_step_ * (1 - 1e-12)) return;
            ++communications_;
        } else {
            // Counted down rather than taken modulo: this runs at every step.
            if (steps_to_communication_-- > 1) return;
            steps_to_communication_ = steps_per_communication_;
        }
        set_inputs();
        instance_->do_step(time, communication_step_);
        read_outputs();
    }
    void derivatives(double) override {
        if (state_count_) instance_->get_derivatives(derivatives_, state_count_);
    }
    std::vector<double> switching_times() const override { return communication_times_; }

    bool has_events() const override { return exchange_; }
    int num_event_indicators() const override { return static_cast<int>(description_.event_indicators); }
    void event_indicators(double* z) override {
        if (description_.event_indicators) instance_->get_event_indicators(z, description_.event_indicators);
    }
    double next_event_time() const override { return next_event_time_; }
    bool event_due(double) const override { return step_event_; }
    void handle_event(double time) override {
        instance_->set_time(time);
        instance_->enter_event();
        settle_event();
        read_outputs();
    }
    void terminate() override { instance_->terminate(); }

private:
    // Under a fixed-step solver a whole multiple of the model's step (the
    // step itself when not given); under a variable-step one its multiples
    // are switching times, where the solver stops.
    void choose_communication_step(const FmuBlockSpec& spec, const SolverSpec& solver, const std::string& label) {
        if (is_variable_step(solver.method)) {
            variable_step_ = true;
            const std::optional<double> step = spec.step ? spec.step : description_.default_step;
            if (!step || !(*step > 0))
                throw HostError(label + ": under " + std::string(solver_method_name(solver.method)) +
                                " a co-simulation FMU needs its communication step: give step: (s)");
            // Each communication point is a switching time, kept in a list.
            constexpr double most_points = 1e7;
            if (solver.stop / *step > most_points)
                throw HostError(label + ": its step " + format_number(*step) + " s makes more than " +
                                format_number(most_points) + " communication steps within the stop time");
            communication_step_ = *step;
            for (long long k = 1; static_cast<double>(k) * *step < solver.stop; ++k)
                communication_times_.push_back(static_cast<double>(k) * *step);
            return;
        }
        const double model_step = solver.step;
        const double step = spec.step.value_or(model_step);
        const double ratio = step / model_step;
        if (!(ratio >= 1 - 1e-9 && ratio <= most_steps) || std::fabs(ratio - std::round(ratio)) > 1e-9 * ratio)
            throw HostError(label + ": its step " + format_number(step) + " s is no whole multiple of the model's step " +
                            format_number(model_step) + " s");
        steps_per_communication_ = static_cast<long long>(std::round(ratio));
        communication_step_ = step;
    }
    void set_inputs() {
        if (!input_references_.empty()) {
            double* value = input_values_.data();
            for (std::size_t i = 0; i < inputs_.size(); ++i)
                for (std::size_t e = 0; e < input_widths_[i]; ++e) *value++ = input_signals_[i][e];
            instance_->set_reals(input_references_, input_values_.data(), input_values_.size());
            return;
        }
        for (std::size_t i = 0; i < inputs_.size(); ++i) instance_->set(*inputs_[i], input_signals_[i]);
    }
    // The discrete updates until the FMU needs no more; the states it set anew.
    void settle_event() {
        const FmuEventResult result = instance_->settle_event();
        step_event_ = false;
        next_event_time_ = result.next_event_time.value_or(std::numeric_limits<double>::infinity());
        if (result.states_changed && state_count_) instance_->get_states(states_, state_count_);
    }
    void read_outputs() {
        if (!output_references_.empty()) {
            instance_->get_reals(output_references_, output_values_.data(), output_values_.size());
            return;
        }
        for (std::size_t o = 0; o < outputs_.size(); ++o)
            instance_->get(*outputs_[o], output_values_.data() + output_offsets_[o]);
    }

    std::string file_;
    UnpackedFmu unpacked_;
    FmuDescription description_;
    std::vector<const FmuVariable*> inputs_, outputs_;
    std::vector<std::pair<const FmuVariable*, std::vector<double>>> starts_;
    std::vector<std::size_t> output_offsets_;
    std::vector<double> output_values_;
    std::vector<const double*> input_signals_;
    std::vector<std::uint32_t> input_references_, output_references_;  // empty: one call per variable
    std::vector<double> input_values_;                                 // every input element, in order
    std::vector<std::size_t> input_widths_;
    std::unique_ptr<FmuInstance> instance_;
    bool exchange_ = false;
    // Co-simulation
    bool variable_step_ = false;
    long long steps_per_communication_ = 1, steps_to_communication_ = 1;
    double communication_step_ = 0;
    long long communications_ = 0;  // taken under a variable-step solver
    std::vector<double> communication_times_;  // under a variable-step solver
    // Model exchange
    std::size_t state_count_ = 0;
    double* states_ = nullptr;
    double* derivatives_ = nullptr;
    bool step_event_ = false;
    double next_event_time_ = std::numeric_limits<double>::infinity();
};

}  // namespace

std::unique_ptr<Node> make_fmu_node(const std::string& name, const FmuBlockSpec& spec, const SolverSpec& solver) {
    try {
        return std::make_unique<FmuNode>(name, spec, solver);
    } catch (const FmuError& error) {
        // The archive's and the description's messages name the file only.
        const std::string message = error.what();
        if (message.rfind("block '", 0) == 0) throw;
        throw FmuError("block '" + name + "': " + message);
    }
}

void enable_fmu_blocks() { set_fmu_node_maker(make_fmu_node); }

}  // namespace host
