// What a block declares in its size fields (flag 0 of the command-line
// call), read into named members.
#pragma once

#include <string>
#include <vector>

#include "host/sfunction/library.hpp"

namespace host {

struct PortSizes {
    int width = 0;
    int data_type = 0;
    bool direct_feedthrough = false;  // inputs only
};

struct BlockSizes {
    int level = 0;
    int dialog_parameters = 0;
    int continuous_states = 0, discrete_states = 0;
    int input_ports = 0, output_ports = 0;
    std::vector<PortSizes> inputs, outputs;  // the ports the fields list, at most three each
    double sample_time = 0, offset_time = 0;  // of sample time 0; -1: inherited, 0: continuous
    int rwork = 0, iwork = 0, pwork = 0, modes = 0, nonsampled_zero_crossings = 0;
    int dworks = 0;
    PortSizes dwork0;  // width and data type of DWork 0
    unsigned options = 0;
    int sim_state_compliance = 0;
    bool uses_registered_type = false;  // a port or DWork of a type registered with the host
};

// The size fields with their meanings, in the order the call returns them.
struct SizeField {
    double value;
    const char* meaning;  // "continuous states", ...
};

struct DeclaredSizes {
    BlockSizes sizes;
    std::vector<SizeField> fields;
};

// Calls the library for its size fields with these dialog parameters.
DeclaredSizes declared_sizes(const Library& library, const std::vector<const mxArray*>& parameters);

// The data type ids below this are the host's built-in types.
int built_in_data_types();

}  // namespace host
