// The blocks of a running model: S-function blocks and the built-in blocks
// a model of them needs, behind one interface that the engine drives.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "block.hpp"

namespace host {

class Node {
public:
    explicit Node(std::string name) : name_(std::move(name)) {}
    virtual ~Node() = default;
    Node(const Node&) = delete;
    Node& operator=(const Node&) = delete;

    const std::string& name() const { return name_; }
    virtual std::string kind() const = 0;  // "S-function 'blower'", "Gain", ...

    // ---- Declaration
    virtual int num_inputs() const = 0;
    virtual int num_outputs() const = 0;
    // Widths are -1 until known; data types are S-function ids.
    virtual int input_width(int port) const = 0;
    virtual int output_width(int port) const = 0;
    virtual int input_type(int port) const = 0;
    virtual int output_type(int port) const = 0;
    virtual bool direct_feedthrough(int port) const = 0;
    virtual int num_states() const = 0;

    // ---- Set-up
    // Told the width of the signal on an input port; may then know its
    // outputs. Throws HostError on a width it cannot take.
    virtual void set_input_width(int port, int width) = 0;
    // Offered the data type of the signal on an input port.
    virtual void offer_input_type(int port, int data_type) = 0;
    // Settles any data type still open; runs once all offers are made.
    virtual void settle_types() {}
    virtual void settle_sample_time() {}
    virtual void allocate(double* states, double* derivatives) = 0;
    virtual void connect_input(int port, const void* signal, int data_type, int width) = 0;
    virtual const void* output_signal(int port) const = 0;

    // ---- Run
    virtual void start() {}
    virtual void initialize_conditions() {}
    virtual void outputs(double time, bool major_step) = 0;
    virtual bool has_update() const { return false; }
    virtual void update(double /*time*/) {}
    virtual bool has_derivatives() const { return num_states() > 0; }
    virtual void derivatives(double /*time*/) {}
    virtual void terminate() {}

private:
    std::string name_;
};

// An S-function block instance.
class SFunctionNode : public Node {
public:
    SFunctionNode(std::string name, std::shared_ptr<const Library> library, std::vector<ArrayPtr> parameters);
    std::string kind() const override;
    Block& block() { return block_; }

    int num_inputs() const override { return block_.num_inputs(); }
    int num_outputs() const override { return block_.num_outputs(); }
    int input_width(int port) const override { return block_.input(port).width; }
    int output_width(int port) const override { return block_.output(port).width; }
    int input_type(int port) const override { return block_.input(port).data_type; }
    int output_type(int port) const override { return block_.output(port).data_type; }
    bool direct_feedthrough(int port) const override { return block_.input(port).direct_feedthrough; }
    int num_states() const override { return block_.num_cont_states(); }

    void set_input_width(int port, int width) override;
    void offer_input_type(int port, int data_type) override;
    void settle_types() override;
    void settle_sample_time() override;
    void allocate(double* states, double* derivatives) override;
    void connect_input(int port, const void* signal, int data_type, int width) override;
    const void* output_signal(int port) const override { return block_.output_signal(port); }

    void start() override { block_.start(); }
    void initialize_conditions() override { block_.initialize_conditions(); }
    void outputs(double time, bool major_step) override { block_.outputs(time, major_step); }
    bool has_update() const override { return block_.provides(SS_CALL_MDL_UPDATE); }
    void update(double time) override { block_.update(time); }
    bool has_derivatives() const override { return block_.provides(SS_CALL_MDL_DERIVATIVES); }
    void derivatives(double time) override { block_.derivatives(time); }
    void terminate() override { block_.terminate(); }

private:
    Block block_;
};

// Parameters of a built-in block, already checked by the model reader.
struct BuiltinSpec {
    std::string type;              // Constant, Clock, Step, Ramp, Sine, Table, Gain, Sum, Product,
                                   // Mux, Selector, Integrator, Lag
    std::vector<double> values;    // Constant value, Gain gain, Integrator/Lag initial state
    std::vector<int> indices;      // Selector elements (0-based)
    std::string signs;             // Sum: one '+' or '-' per input
    int inputs = 0;                // Product and Mux input count
    double time = 0.0;             // Step time, Ramp start
    double before = 0.0, after = 1.0;                     // Step
    double slope = 0.0, initial = 0.0;                    // Ramp
    double amplitude = 1.0, frequency = 1.0, phase = 0.0, bias = 0.0;  // Sine (rad/s)
    double time_constant = 1.0;                           // Lag
    std::vector<double> table_times;                      // Table: ascending times
    std::vector<std::vector<double>> table_columns;       // Table: one vector per output element
};

std::unique_ptr<Node> make_builtin(const std::string& name, const BuiltinSpec& spec);
// The built-in type names, for messages.
const std::vector<std::string>& builtin_types();

}  // namespace host
