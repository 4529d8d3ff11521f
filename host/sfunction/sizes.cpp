#include "host/sfunction/sizes.hpp"

#include "simstruc.h"

namespace host {

namespace {

const char* const field_meanings[SS_NUM_SIZE_FIELDS] = {
    "continuous states", "discrete states", "outputs (total width)", "inputs (total width)", "reserved",
    "direct feedthrough", "sample times", "dialog parameters", "RWork", "IWork", "PWork", "modes",
    "nonsampled zero crossings", "DWork", "input ports", "output ports", "input 0 width", "input 0 data type",
    "input 0 direct feedthrough", "input 1 width", "input 1 data type", "input 1 direct feedthrough",
    "input 2 width", "input 2 data type", "input 2 direct feedthrough", "output 0 width", "output 0 data type",
    "output 1 width", "output 1 data type", "output 2 width", "output 2 data type", "sample time",
    "offset time", "options", "simulation state compliance", "DWork 0 width", "DWork 0 data type", "level"};

BlockSizes read_sizes(const std::vector<double>& f) {
    auto count = [&](int field) { return static_cast<int>(f[field]); };
    BlockSizes sizes;
    sizes.level = count(SS_SIZES_LEVEL);
    sizes.dialog_parameters = count(SS_SIZES_NUM_PARAMS);
    sizes.continuous_states = count(SS_SIZES_NUM_CONT_STATES);
    sizes.discrete_states = count(SS_SIZES_NUM_DISC_STATES);
    sizes.input_ports = count(SS_SIZES_NUM_INPUT_PORTS);
    sizes.output_ports = count(SS_SIZES_NUM_OUTPUT_PORTS);
    for (int port = 0; port < sizes.input_ports && port < SS_SIZES_LISTED_PORTS; ++port) {
        const int base = SS_SIZES_INPUT_PORTS + 3 * port;
        sizes.inputs.push_back({count(base), count(base + 1), f[base + 2] != 0});
    }
    for (int port = 0; port < sizes.output_ports && port < SS_SIZES_LISTED_PORTS; ++port) {
        const int base = SS_SIZES_OUTPUT_PORTS + 2 * port;
        sizes.outputs.push_back({count(base), count(base + 1), false});
    }
    sizes.sample_time = f[SS_SIZES_SAMPLE_TIME];
    sizes.offset_time = f[SS_SIZES_OFFSET_TIME];
    sizes.rwork = count(SS_SIZES_NUM_RWORK);
    sizes.iwork = count(SS_SIZES_NUM_IWORK);
    sizes.pwork = count(SS_SIZES_NUM_PWORK);
    sizes.modes = count(SS_SIZES_NUM_MODES);
    sizes.nonsampled_zero_crossings = count(SS_SIZES_NUM_NONSAMPLED_ZCS);
    sizes.dworks = count(SS_SIZES_NUM_DWORK);
    sizes.dwork0 = {count(SS_SIZES_DWORK_WIDTH), count(SS_SIZES_DWORK_DATA_TYPE), false};
    sizes.options = static_cast<unsigned>(f[SS_SIZES_OPTIONS]);
    sizes.sim_state_compliance = count(SS_SIZES_SIM_STATE_COMPLIANCE);
    sizes.uses_registered_type = sizes.dworks > 0 && sizes.dwork0.data_type >= SS_NUM_BUILT_IN_DTYPE;
    for (const auto* ports : {&sizes.inputs, &sizes.outputs})
        for (const PortSizes& port : *ports) sizes.uses_registered_type |= port.data_type >= SS_NUM_BUILT_IN_DTYPE;
    return sizes;
}

}  // namespace

DeclaredSizes declared_sizes(const Library& library, const std::vector<const mxArray*>& parameters) {
    const std::vector<double> f = size_fields(library, parameters);
    if (f.size() != SS_NUM_SIZE_FIELDS)
        throw HostError(library.name() + " returned " + std::to_string(f.size()) + " size fields, not " +
                        std::to_string(SS_NUM_SIZE_FIELDS));
    DeclaredSizes declared{read_sizes(f), {}};
    for (int i = 0; i < SS_NUM_SIZE_FIELDS; ++i) declared.fields.push_back({f[i], field_meanings[i]});
    return declared;
}

int built_in_data_types() { return SS_NUM_BUILT_IN_DTYPE; }

}  // namespace host
