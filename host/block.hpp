// One S-function block instance: its SimStruct, dialog parameters, port
// buffers, states and DWork, and the calls into its library.
#pragma once

#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "arrays.hpp"
#include "library.hpp"
#include "simstruc.h"

namespace host {

// A block's own error status, or a MEX error raised by one of its methods.
class BlockError : public std::runtime_error {
public:
    BlockError(std::string block, std::string sfunction, std::string method, std::optional<double> time,
               std::string message);
    const std::string& block() const { return block_; }
    const std::string& sfunction() const { return sfunction_; }
    const std::string& method() const { return method_; }
    const std::optional<double>& time() const { return time_; }
    const std::string& message() const { return message_; }

private:
    std::string block_, sfunction_, method_;
    std::optional<double> time_;
    std::string message_;
};

const char* method_name(int flag);  // "mdlOutputs" for SS_CALL_MDL_OUTPUTS

struct PortSpec {
    int width;
    int data_type;
    bool direct_feedthrough;  // inputs only
};

class Block {
public:
    // Binds the library and runs mdlInitializeSizes with the given dialog
    // parameters (the block keeps them). Throws BlockError on the block's
    // error status and HostError when the parameter count differs from the
    // declared one.
    Block(std::string name, std::shared_ptr<const Library> library, std::vector<ArrayPtr> parameters);
    ~Block();
    Block(const Block&) = delete;
    Block& operator=(const Block&) = delete;

    const std::string& name() const { return name_; }
    const Library& library() const { return *library_; }
    int level() const { return S_.level; }
    bool provides(int flag) const { return (S_.methods & SS_METHOD_BIT(flag)) != 0; }
    const SimStruct& simstruct() const { return S_; }

    int num_inputs() const { return S_.numInputPorts; }
    int num_outputs() const { return S_.numOutputPorts; }
    PortSpec input(int port) const;
    PortSpec output(int port) const;
    int num_cont_states() const { return S_.numContStates; }
    double sample_time() const { return S_.numSampleTimes > 0 ? S_.sampleTimes[0] : -1.0; }

    // ---- Set-up, in this order: frame data, data types, sample times, allocate.
    // Offers a frame setting to every input port (mdlSetInputPortFrameData
    // where the block has it).
    void set_input_frames(Frame_T frame);
    // Offers a data type to an inherited-type port; returns false when the
    // port's type is already set (the caller compares). Blocks without the
    // method take the type as offered.
    bool propose_input_type(int port, int data_type);
    bool propose_output_type(int port, int data_type);
    // Resolves the ports whose type is still inherited: mdlSetDefaultPortDataTypes
    // where the block has it, double for any port left over.
    void apply_default_types();
    void initialize_sample_times();
    // Allocates the host-owned buffers. Continuous states and derivatives
    // live in `states` and `derivatives` when given (num_cont_states() each),
    // else in the block.
    void allocate(double* states = nullptr, double* derivatives = nullptr);
    // Convenience for a block on its own: all four steps above.
    void prepare();

    // Refuse, with HostError, a signal of another data type or width than
    // the input port's.
    void check_input_type(int port, int data_type) const;
    void check_input_width(int port, int width) const;
    // Points an input port at a signal the caller owns, after both checks.
    void connect_input(int port, const void* signal, int data_type, int width);
    // "block 'NAME' (S-function 'SFUNCTION')", the start of the host's messages.
    std::string label() const;

    // ---- Methods, in the host's order
    void start();
    void initialize_conditions();
    void outputs(double time, bool major_step = true);
    void update(double time);
    void derivatives(double time);
    void terminate();
    // Any method by its flag, as the host would request it.
    void request(int flag, double time = 0.0);

    // Replaces dialog parameter `index` (0-based) and, when the block has
    // mdlCheckParameters, runs it; on a failure the old value is restored
    // and the error thrown.
    void set_parameter(int index, ArrayPtr value);

    // ---- Signals and memory
    double* input_buffer(int port);  // the block's own input storage (double ports)
    void* input_storage(int port);
    const void* input_signal(int port) const { return S_.inputs[port].signal; }
    const void* output_signal(int port) const { return S_.outputs[port].signal; }
    const double* output_doubles(int port) const;  // double ports only
    double output_value(int port, int element) const;  // any known type, read as a double
    double* cont_states() { return S_.contStates; }
    double* state_derivatives() { return S_.dX; }
    void* dwork(int index) { return S_.dwork[index].array; }

private:
    void call(int flag, double time);
    [[noreturn]] void fail(int flag, const std::string& message) const;
    void check_declaration() const;

    std::string name_;
    std::shared_ptr<const Library> library_;
    std::vector<ArrayPtr> parameters_;
    std::vector<const mxArray*> parameter_views_;
    SimStruct S_{};
    mxArray* self_ = nullptr;  // &S_ in the MEX calling convention
    bool running_ = false;     // between start/initialize_conditions and terminate
    bool allocated_ = false;

    std::vector<std::vector<double>> input_storage_, output_storage_, dwork_storage_;
    std::vector<double> own_states_, own_derivatives_, disc_states_, rwork_;
    std::vector<int_T> iwork_, modes_;
    std::vector<void*> pwork_;
};

}  // namespace host
