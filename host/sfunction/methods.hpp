// The block methods a host calls, named without the SDK's flag macros.
#pragma once

namespace host {

enum class Method {
    initialize_sizes,
    initialize_sample_times,
    check_parameters,
    set_input_port_frame_data,
    set_input_port_data_type,
    set_output_port_data_type,
    set_default_port_data_types,
    start,
    initialize_conditions,
    outputs,
    update,
    derivatives,
    zero_crossings,
    get_time_of_next_var_hit,
    terminate,
};

const char* method_name(Method method);  // "mdlOutputs" for Method::outputs
// Methods that run at a simulation time; their failures name it.
bool runs_at_a_time(Method method);

}  // namespace host
