// An S-function block of a running model: its instance behind the engine's
// node interface.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "host/sfunction/instance.hpp"
#include "host/sim/node.hpp"

namespace host {

class SFunctionNode : public Node {
public:
    SFunctionNode(std::string name, std::shared_ptr<const Library> library, std::vector<ArrayPtr> parameters);
    std::string kind() const override { return sfunction_kind(instance_.library().name()); }
    SFunctionInstance& instance() { return instance_; }
    const SFunctionInstance& instance() const { return instance_; }

    int num_inputs() const override { return instance_.num_inputs(); }
    int num_outputs() const override { return instance_.num_outputs(); }
    int input_width(int port) const override { return instance_.input(port).width; }
    int output_width(int port) const override { return instance_.output(port).width; }
    int input_type(int port) const override { return instance_.input(port).data_type; }
    int output_type(int port) const override { return instance_.output(port).data_type; }
    bool direct_feedthrough(int port) const override { return instance_.input(port).direct_feedthrough; }
    int num_states() const override { return instance_.num_cont_states(); }

    void settle_frames() override { instance_.settle_frames(); }
    void set_input_width(int port, int width) override { instance_.set_input_width(port, width); }
    void offer_input_type(int port, int data_type) override { instance_.offer_input_type(port, data_type); }
    void settle_types() override { instance_.settle_types(); }
    void settle_sample_times() override;
    void allocate(double* states, double* derivatives) override;
    void connect_input(int port, const void* signal) override { instance_.connect_input(port, signal); }
    const void* output_signal(int port) const override { return instance_.output_signal(port); }

    void start() override { instance_.start(); }
    void initialize_conditions() override { instance_.initialize_conditions(); }
    void outputs(double time, bool major_step) override { instance_.outputs(time, major_step); }
    bool has_update() const override { return instance_.provides(Method::update); }
    void update(double time) override { instance_.update(time); }
    bool has_derivatives() const override { return instance_.provides(Method::derivatives); }
    void derivatives(double time) override { instance_.derivatives(time); }
    void terminate() override { instance_.terminate(); }

private:
    SFunctionInstance instance_;
};

}  // namespace host
