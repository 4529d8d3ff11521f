#include "host/sfunction/methods.hpp"

#include "simstruc.h"

namespace host {

namespace {

struct MethodEntry {
    Method method;
    int flag;
    const char* name;
};

constexpr MethodEntry methods[] = {
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
    for (int i = 0; i < static_cast<int>(sizeof methods / sizeof methods[0]); ++i)
        if (static_cast<int>(methods[i].method) != i) return false;
    return true;
}
static_assert(listed_in_enum_order(), "the table is indexed by Method");

const MethodEntry& entry(Method method) { return methods[static_cast<int>(method)]; }

}  // namespace

const char* method_name(Method method) { return entry(method).name; }

int method_flag(Method method) { return entry(method).flag; }

bool runs_at_a_time(Method method) {
    return method == Method::outputs || method == Method::update || method == Method::derivatives ||
           method == Method::zero_crossings || method == Method::get_time_of_next_var_hit;
}

}  // namespace host
