// The SDK's flag and name of each block method: private to the sources of
// this layer, which alone see simstruc.h. A header so that the calls into a
// library, made at every step, read their flag without a function call.
#pragma once

#include "host/sfunction/methods.hpp"
#include "simstruc.h"

namespace host::method_table {

struct Entry {
    Method method;
    int flag;
    const char* name;
};

inline constexpr Entry entries[] = {
    {Method::initialize_sizes, SS_CALL_MDL_INITIALIZE_SIZES, "mdlInitializeSizes"},
    {Method::initialize_sample_times, SS_CALL_MDL_INITIALIZE_SAMPLE_TIMES, "mdlInitializeSampleTimes"},
    {Method::check_parameters, SS_CALL_MDL_CHECK_PARAMETERS, "mdlCheckParameters"},
    {Method::set_input_port_frame_data, SS_CALL_MDL_SET_INPUT_PORT_FRAME_DATA, "mdlSetInputPortFrameData"},
    {Method::set_input_port_data_type, SS_CALL_MDL_SET_INPUT_PORT_DATA_TYPE, "mdlSetInputPortDataType"},
    {Method::set_output_port_data_type, SS_CALL_MDL_SET_OUTPUT_PORT_DATA_TYPE, "mdlSetOutputPortDataType"},
    {Method::set_default_port_data_types, SS_CALL_MDL_SET_DEFAULT_PORT_DATA_TYPES, "mdlSetDefaultPortDataTypes"},
    {Method::start, SS_CALL_MDL_START, "mdlStart"},
    {Method::initialize_conditions, SS_CALL_MDL_INITIALIZE_CONDITIONS, "mdlInitializeConditions"},
    {Method::outputs, SS_CALL_MDL_OUTPUTS, "mdlOutputs"},
    {Method::update, SS_CALL_MDL_UPDATE, "mdlUpdate"},
    {Method::derivatives, SS_CALL_MDL_DERIVATIVES, "mdlDerivatives"},
    {Method::zero_crossings, SS_CALL_MDL_ZERO_CROSSINGS, "mdlZeroCrossings"},
    {Method::get_time_of_next_var_hit, SS_CALL_MDL_GET_TIME_OF_NEXT_VAR_HIT, "mdlGetTimeOfNextVarHit"},
    {Method::terminate, SS_CALL_MDL_TERMINATE, "mdlTerminate"},
};

constexpr bool listed_in_enum_order() {
    for (int i = 0; i < static_cast<int>(sizeof entries / sizeof entries[0]); ++i)
        if (static_cast<int>(entries[i].method) != i) return false;
    return true;
}
static_assert(listed_in_enum_order(), "the table is indexed by Method");

constexpr const Entry& entry(Method method) { return entries[static_cast<int>(method)]; }
constexpr int flag(Method method) { return entry(method).flag; }

}  // namespace host::method_table
