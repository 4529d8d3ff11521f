// One S-function block instance: its SimStruct, dialog parameters, port
// buffers, states and DWork, and the calls into its library.
//
// The SimStruct lives behind a pointer, so this header carries none of the
// SDK's macros; simstruct() hands the declaration to code that includes
// simstruc.h itself (tests, and tools that print what a block declared).
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "host/sfunction/arrays.hpp"
#include "host/sfunction/errors.hpp"
#include "host/sfunction/library.hpp"
#include "host/sfunction/methods.hpp"

struct SimStruct_tag;

namespace host {

struct DWorkSpec {
    int width;
    int data_type;
    std::string name;  // as the block named it; empty when it gave none
};

struct PortSpec {
    int width;
    int data_type;            // S-function data type id; inherited_type_id until settled
    bool direct_feedthrough;  // inputs only
};

class SFunctionInstance {
public:
    // Binds the library and runs mdlInitializeSizes with the given dialog
    // parameters (the instance keeps them). Throws BlockError on the block's
    // error status and HostError when the parameter count differs from the
    // declared one.
    SFunctionInstance(std::string name, std::shared_ptr<const Library> library, std::vector<ArrayPtr> parameters);
    ~SFunctionInstance();
    SFunctionInstance(const SFunctionInstance&) = delete;
    SFunctionInstance& operator=(const SFunctionInstance&) = delete;

    const std::string& name() const { return name_; }
    const Library& library() const { return *library_; }
    std::string label() const;  // "block 'NAME' (S-function 'SFUNCTION')"
    int level() const;
    bool provides(Method method) const;
    const SimStruct_tag& simstruct() const;

    int num_inputs() const;
    int num_outputs() const;
    PortSpec input(int port) const;
    PortSpec output(int port) const;
    int num_cont_states() const;
    int num_dworks() const;
    DWorkSpec dwork_spec(int index) const;
    double sample_time() const;  // sample time 0, or -1 (inherited) when none is declared

    // ---- Set-up, in the host's order. A model runs each step for every
    // block before the next; prepare() runs them for a block on its own.
    // 1. Every input port is sample-based (mdlSetInputPortFrameData where
    //    the block has it).
    void settle_frames();
    // 2. The width of the signal on an input port: it must be the port's.
    void set_input_width(int port, int width) const;
    // 3. The data type of the signal on an input port: an inherited port is
    //    offered it (mdlSetInputPortDataType, or taken as offered when the
    //    block lacks the method), a set one must equal it.
    void offer_input_type(int port, int data_type);
    // 4. Ports still inherited: mdlSetDefaultPortDataTypes where the block
    //    has it, double for any port left over.
    void settle_types();
    // 5. mdlInitializeSampleTimes.
    void settle_sample_times();
    // 6. The host-owned buffers. Continuous states and derivatives live in
    //    `states` and `derivatives` when given (num_cont_states() each),
    //    else in the instance.
    void allocate(double* states = nullptr, double* derivatives = nullptr);
    // 7. An input port reads a signal the caller owns (checked in 2 and 3).
    void connect_input(int port, const void* signal);
    // Steps 1, 4, 5 and 6 for a block on its own, whose inputs are the
    // instance's own double buffers.
    void prepare();

    // ---- Methods, in the host's order
    void start();
    void initialize_conditions();
    void outputs(double time, bool major_step = true);
    void update(double time);
    void derivatives(double time);
    void terminate();
    // Any method but mdlInitializeSizes, as the host would request it.
    void request(Method method, double time = 0.0);

    // Replaces dialog parameter `index` (0-based) and, when the block has
    // mdlCheckParameters, runs it; on a failure the old value is restored
    // and the error thrown.
    void set_parameter(int index, ArrayPtr value);

    // ---- Signals and memory
    double* input_buffer(int port);  // the instance's own input storage (double ports)
    const void* input_signal(int port) const;
    const void* output_signal(int port) const;
    const double* output_doubles(int port) const;      // double ports only
    double output_value(int port, int element) const;  // any known type, read as a double
    double* cont_states();
    const double* cont_states() const;
    double* state_derivatives();
    void* dwork(int index);

private:
    struct State;
    void call(Method method, double time);
    [[noreturn]] void fail(Method method, const std::string& message) const;
    void check_declaration() const;

    std::string name_;
    std::shared_ptr<const Library> library_;
    std::vector<ArrayPtr> parameters_;
    std::unique_ptr<State> state_;
};

}  // namespace host
