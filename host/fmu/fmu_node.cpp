#include "host/fmu/fmu_node.hpp"

#include <cmath>

#include "host/common/suggestions.hpp"
#include "host/common/text.hpp"
#include "host/fmu/archive.hpp"
#include "host/fmu/description.hpp"
#include "host/fmu/instance.hpp"
#include "host/sfunction/data_types.hpp"
#include "host/sim/engine.hpp"

namespace host {

namespace {

class FmuNode : public Node {
public:
    FmuNode(const std::string& name, const FmuBlockSpec& spec, const SolverSpec& solver)
        : Node(name), file_(spec.file.filename().string()), unpacked_(spec.file),
          description_(read_description(unpacked_.folder(), spec.file.string())) {
        const std::string block = "block '" + name + "'";
        const std::string label = block + " (" + file_ + ")";
        if (spec.fmi_interface == "me" || (spec.fmi_interface.empty() && !description_.co_simulation))
            throw HostError(label + ": blocksim runs FMUs in co-simulation only for now; this FMU " +
                            (description_.co_simulation ? "offers it: give interface: cs"
                                                        : "offers model exchange only"));
        if (is_variable_step(solver.method))
            throw HostError(label + ": a co-simulation FMU runs under the fixed-step solvers (ode1 to ode4), not " +
                            solver_method_name(solver.method));
        const double model_step = solver.step;
        const double step = spec.step.value_or(model_step);
        const double ratio = step / model_step;
        if (!(ratio >= 1 - 1e-9 && ratio <= most_steps) || std::fabs(ratio - std::round(ratio)) > 1e-9 * ratio)
            throw HostError(label + ": its step " + format_number(step) + " s is no whole multiple of the model's step " +
                            format_number(model_step) + " s");
        steps_per_communication_ = static_cast<long long>(std::round(ratio));
        communication_step_ = step;
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
        for (const FmuVariable* v : inputs_) input_values_.resize(input_values_.size() + v->width());
        instance_ = std::make_unique<FmuCoSimulation>(unpacked_.folder(), description_, name, label);
    }

    std::string kind() const override { return "FMU '" + file_ + "'"; }
    int num_inputs() const override { return static_cast<int>(inputs_.size()); }
    int num_outputs() const override { return static_cast<int>(outputs_.size()); }
    int input_width(int port) const override { return static_cast<int>(inputs_[port]->width()); }
    int output_width(int port) const override { return static_cast<int>(outputs_[port]->width()); }
    int input_type(int) const override { return double_type_id; }
    int output_type(int) const override { return double_type_id; }
    bool direct_feedthrough(int) const override { return false; }
    int num_states() const override { return 0; }
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
    void allocate(double*, double*) override {}
    void connect_input(int port, const void* signal) override {
        input_signals_[port] = static_cast<const double*>(signal);
    }
    const void* output_signal(int port) const override { return output_values_.data() + output_offsets_[port]; }

    void start() override {
        for (const auto& [variable, values] : starts_) instance_->set(*variable, values.data());
        instance_->enter_initialization(0.0);
        instance_->exit_initialization();
        read_outputs();
    }
    void outputs(double, bool) override {}
    bool has_update() const override { return true; }
    // The communication step from t, at every n-th major step.
    void update(double time) override {
        if (major_steps_++ % steps_per_communication_ != 0) return;
        if (!input_references_.empty()) {
            double* value = input_values_.data();
            for (std::size_t i = 0; i < inputs_.size(); ++i)
                for (std::uint64_t e = 0; e < inputs_[i]->width(); ++e) *value++ = input_signals_[i][e];
            instance_->set_reals(input_references_, input_values_.data(), input_values_.size());
        } else {
            for (std::size_t i = 0; i < inputs_.size(); ++i) instance_->set(*inputs_[i], input_signals_[i]);
        }
        instance_->do_step(time, communication_step_);
        read_outputs();
    }
    void terminate() override { instance_->terminate(); }

private:
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
    std::unique_ptr<FmuCoSimulation> instance_;
    long long steps_per_communication_ = 1, major_steps_ = 0;
    double communication_step_ = 0;
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
