#include "block.hpp"

#include <iomanip>
#include <sstream>

#include "data_types.hpp"
#include "mex_runtime.hpp"

namespace host {

namespace {

std::string format_block_error(const std::string& block, const std::string& sfunction, const std::string& method,
                               const std::optional<double>& time, const std::string& message) {
    std::ostringstream text;
    text << "block '" << block << "' (S-function '" << sfunction << "') failed in " << method;
    if (time) text << " at t = " << std::setprecision(12) << *time;
    text << ": " << message;
    return text.str();
}

std::size_t words_for(int width, int type_id, bool complex) {
    const std::size_t bytes = static_cast<std::size_t>(width) * data_type(type_id).size * (complex ? 2 : 1);
    return (bytes + sizeof(double) - 1) / sizeof(double);
}

}  // namespace

BlockError::BlockError(std::string block, std::string sfunction, std::string method, std::optional<double> time,
                       std::string message)
    : std::runtime_error(format_block_error(block, sfunction, method, time, message)),
      block_(std::move(block)), sfunction_(std::move(sfunction)), method_(std::move(method)), time_(time),
      message_(std::move(message)) {}

const char* method_name(int flag) {
    switch (flag) {
        case SS_CALL_MDL_INITIALIZE_SIZES: return "mdlInitializeSizes";
        case SS_CALL_MDL_INITIALIZE_SAMPLE_TIMES: return "mdlInitializeSampleTimes";
        case SS_CALL_MDL_CHECK_PARAMETERS: return "mdlCheckParameters";
        case SS_CALL_MDL_SET_INPUT_PORT_FRAME_DATA: return "mdlSetInputPortFrameData";
        case SS_CALL_MDL_SET_INPUT_PORT_DATA_TYPE: return "mdlSetInputPortDataType";
        case SS_CALL_MDL_SET_OUTPUT_PORT_DATA_TYPE: return "mdlSetOutputPortDataType";
        case SS_CALL_MDL_SET_DEFAULT_PORT_DATA_TYPES: return "mdlSetDefaultPortDataTypes";
        case SS_CALL_MDL_START: return "mdlStart";
        case SS_CALL_MDL_INITIALIZE_CONDITIONS: return "mdlInitializeConditions";
        case SS_CALL_MDL_OUTPUTS: return "mdlOutputs";
        case SS_CALL_MDL_UPDATE: return "mdlUpdate";
        case SS_CALL_MDL_DERIVATIVES: return "mdlDerivatives";
        case SS_CALL_MDL_ZERO_CROSSINGS: return "mdlZeroCrossings";
        case SS_CALL_MDL_GET_TIME_OF_NEXT_VAR_HIT: return "mdlGetTimeOfNextVarHit";
        case SS_CALL_MDL_TERMINATE: return "mdlTerminate";
        default: return "an unknown method";
    }
}

Block::Block(std::string name, std::shared_ptr<const Library> library, std::vector<ArrayPtr> parameters)
    : name_(std::move(name)), library_(std::move(library)), parameters_(std::move(parameters)) {
    for (const auto& parameter : parameters_) parameter_views_.push_back(parameter.get());
    S_.modelName = library_->name().c_str();
    S_.path = name_.c_str();
    S_.sfcnParamsCount = static_cast<int_T>(parameter_views_.size());
    S_.sfcnParams = parameter_views_.data();
    self_ = reinterpret_cast<mxArray*>(&S_);

    mxArray* plhs[1] = {self_};
    try {
        library_->call(SS_HOST_CALL, plhs, SS_CALL_MDL_INITIALIZE_SIZES, nullptr);
    } catch (const MexCallError& error) {
        fail(SS_CALL_MDL_INITIALIZE_SIZES, error.what());
    }
    if (S_.errorStatus) fail(SS_CALL_MDL_INITIALIZE_SIZES, S_.errorStatus);
    if (S_.numSFcnParams >= 0 && S_.numSFcnParams != S_.sfcnParamsCount) {
        throw HostError(label() + ": the S-function expects " +
                        std::to_string(S_.numSFcnParams) + " dialog parameter" + (S_.numSFcnParams == 1 ? "" : "s") +
                        ", but the block gives " + std::to_string(S_.sfcnParamsCount));
    }
    check_declaration();
}

Block::~Block() {
    if (running_) {
        try {
            terminate();
        } catch (const std::exception&) {
            // Nothing can be reported from a destructor; the block is going away.
        }
    }
}

void Block::check_declaration() const {
    auto refuse = [&](const std::string& what) {
        throw HostError(label() + ": " + what);
    };
    for (int port = 0; port < S_.numInputPorts; ++port)
        if (S_.inputs[port].width < 1) refuse("input port " + std::to_string(port) + " has no fixed width");
    for (int port = 0; port < S_.numOutputPorts; ++port)
        if (S_.outputs[port].width < 1) refuse("output port " + std::to_string(port) + " has no fixed width");
    for (int i = 0; i < S_.numDWork; ++i) {
        if (S_.dwork[i].width < 1) refuse("DWork " + std::to_string(i) + " has no fixed width");
        if (!is_known_data_type(S_.dwork[i].dataType))
            refuse("DWork " + std::to_string(i) + " has data type " + data_type_label(S_.dwork[i].dataType) +
                   ", which this host does not know");
    }
    if (S_.level == 1 && S_.numDiscStates > 0) refuse("level-1 blocks with discrete states are not supported");
    if (S_.numContStates < 0 || S_.numDiscStates < 0 || S_.numRWork < 0 || S_.numIWork < 0 || S_.numPWork < 0 ||
        S_.numModes < 0)
        refuse("dynamically sized states or work vectors are not supported");
}

void Block::fail(int flag, const std::string& message) const {
    std::optional<double> time;
    if (flag == SS_CALL_MDL_OUTPUTS || flag == SS_CALL_MDL_UPDATE || flag == SS_CALL_MDL_DERIVATIVES ||
        flag == SS_CALL_MDL_ZERO_CROSSINGS || flag == SS_CALL_MDL_GET_TIME_OF_NEXT_VAR_HIT)
        time = S_.t;
    throw BlockError(name_, library_->name(), method_name(flag), time, message);
}

void Block::call(int flag, double time) {
    S_.t = time;
    S_.errorStatus = nullptr;
    mxArray* plhs[1] = {self_};
    try {
        library_->entry()(SS_HOST_CALL, plhs, flag, nullptr);
    } catch (const mexrt::MexError& error) {
        fail(flag, error.what());
    }
    if (S_.errorStatus) fail(flag, S_.errorStatus);
}

void Block::request(int flag, double time) {
    if (flag == SS_CALL_MDL_INITIALIZE_SIZES)
        throw HostError("block '" + name_ + "': mdlInitializeSizes runs once, when the block is created");
    call(flag, time);
}

PortSpec Block::input(int port) const {
    const auto& record = S_.inputs[port];
    return {record.width, record.dataType, record.directFeedThrough != 0};
}

PortSpec Block::output(int port) const {
    const auto& record = S_.outputs[port];
    return {record.width, record.dataType, false};
}

void Block::set_input_frames(Frame_T frame) {
    for (int port = 0; port < S_.numInputPorts; ++port) {
        if (provides(SS_CALL_MDL_SET_INPUT_PORT_FRAME_DATA)) {
            S_.call.port = port;
            S_.call.frameData = frame;
            call(SS_CALL_MDL_SET_INPUT_PORT_FRAME_DATA, 0.0);
        } else {
            S_.inputs[port].frameData = frame;
        }
    }
}

bool Block::propose_input_type(int port, int type) {
    if (S_.inputs[port].dataType != DYNAMICALLY_TYPED) return false;
    if (provides(SS_CALL_MDL_SET_INPUT_PORT_DATA_TYPE)) {
        S_.call.port = port;
        S_.call.dataType = type;
        call(SS_CALL_MDL_SET_INPUT_PORT_DATA_TYPE, 0.0);
    } else {
        S_.inputs[port].dataType = type;
    }
    return true;
}

bool Block::propose_output_type(int port, int type) {
    if (S_.outputs[port].dataType != DYNAMICALLY_TYPED) return false;
    if (provides(SS_CALL_MDL_SET_OUTPUT_PORT_DATA_TYPE)) {
        S_.call.port = port;
        S_.call.dataType = type;
        call(SS_CALL_MDL_SET_OUTPUT_PORT_DATA_TYPE, 0.0);
    } else {
        S_.outputs[port].dataType = type;
    }
    return true;
}

void Block::apply_default_types() {
    bool inherited = false;
    for (int port = 0; port < S_.numInputPorts; ++port) inherited |= S_.inputs[port].dataType == DYNAMICALLY_TYPED;
    for (int port = 0; port < S_.numOutputPorts; ++port) inherited |= S_.outputs[port].dataType == DYNAMICALLY_TYPED;
    if (inherited && provides(SS_CALL_MDL_SET_DEFAULT_PORT_DATA_TYPES)) call(SS_CALL_MDL_SET_DEFAULT_PORT_DATA_TYPES, 0.0);
    for (int port = 0; port < S_.numInputPorts; ++port)
        if (S_.inputs[port].dataType == DYNAMICALLY_TYPED) S_.inputs[port].dataType = SS_DOUBLE;
    for (int port = 0; port < S_.numOutputPorts; ++port)
        if (S_.outputs[port].dataType == DYNAMICALLY_TYPED) S_.outputs[port].dataType = SS_DOUBLE;
}

void Block::initialize_sample_times() { call(SS_CALL_MDL_INITIALIZE_SAMPLE_TIMES, 0.0); }

void Block::allocate(double* states, double* derivatives) {
    auto refuse_type = [&](const char* kind, int port, int type) {
        throw HostError(label() + ": " + kind + " port " +
                        std::to_string(port) + " has data type " + data_type_label(type) +
                        ", which this host does not know");
    };
    input_storage_.assign(static_cast<std::size_t>(S_.numInputPorts), {});
    for (int port = 0; port < S_.numInputPorts; ++port) {
        auto& record = S_.inputs[port];
        if (!is_known_data_type(record.dataType)) refuse_type("input", port, record.dataType);
        input_storage_[port].assign(words_for(record.width, record.dataType, record.complexSignal == COMPLEX_YES), 0.0);
        record.signal = input_storage_[port].data();
    }
    output_storage_.assign(static_cast<std::size_t>(S_.numOutputPorts), {});
    for (int port = 0; port < S_.numOutputPorts; ++port) {
        auto& record = S_.outputs[port];
        if (!is_known_data_type(record.dataType)) refuse_type("output", port, record.dataType);
        output_storage_[port].assign(words_for(record.width, record.dataType, record.complexSignal == COMPLEX_YES),
                                     0.0);
        record.signal = output_storage_[port].data();
    }
    dwork_storage_.assign(static_cast<std::size_t>(S_.numDWork), {});
    for (int i = 0; i < S_.numDWork; ++i) {
        auto& record = S_.dwork[i];
        dwork_storage_[i].assign(words_for(record.width, record.dataType, record.complexSignal == COMPLEX_YES), 0.0);
        record.array = dwork_storage_[i].data();
    }
    const auto count = [](int n) { return static_cast<std::size_t>(n > 0 ? n : 0); };
    if (states && derivatives) {
        S_.contStates = states;
        S_.dX = derivatives;
    } else {
        own_states_.assign(count(S_.numContStates), 0.0);
        own_derivatives_.assign(count(S_.numContStates), 0.0);
        S_.contStates = own_states_.empty() ? nullptr : own_states_.data();
        S_.dX = own_derivatives_.empty() ? nullptr : own_derivatives_.data();
    }
    disc_states_.assign(count(S_.numDiscStates), 0.0);
    rwork_.assign(count(S_.numRWork), 0.0);
    iwork_.assign(count(S_.numIWork), 0);
    pwork_.assign(count(S_.numPWork), nullptr);
    modes_.assign(count(S_.numModes), 0);
    S_.discStates = disc_states_.empty() ? nullptr : disc_states_.data();
    S_.rwork = rwork_.empty() ? nullptr : rwork_.data();
    S_.iwork = iwork_.empty() ? nullptr : iwork_.data();
    S_.pwork = pwork_.empty() ? nullptr : pwork_.data();
    S_.modes = modes_.empty() ? nullptr : modes_.data();
    allocated_ = true;
}

void Block::prepare() {
    set_input_frames(FRAME_NO);
    apply_default_types();
    initialize_sample_times();
    allocate();
}

std::string Block::label() const { return "block '" + name_ + "' (S-function '" + library_->name() + "')"; }

void Block::check_input_type(int port, int type) const {
    if (type != S_.inputs[port].dataType)
        throw HostError(label() + " input port " + std::to_string(port) + " takes " +
                        data_type_label(S_.inputs[port].dataType) + ", but the signal connected to it is " +
                        data_type_label(type));
}

void Block::check_input_width(int port, int width) const {
    if (width != S_.inputs[port].width)
        throw HostError(label() + " input port " + std::to_string(port) + " has width " +
                        std::to_string(S_.inputs[port].width) + ", but the signal connected to it has width " +
                        std::to_string(width));
}

void Block::connect_input(int port, const void* signal, int type, int width) {
    check_input_type(port, type);
    check_input_width(port, width);
    S_.inputs[port].signal = signal;
}

void Block::start() {
    if (!allocated_) throw HostError("block '" + name_ + "' is started before its buffers are allocated");
    running_ = true;
    if (provides(SS_CALL_MDL_START)) call(SS_CALL_MDL_START, 0.0);
}

void Block::initialize_conditions() {
    if (!allocated_) throw HostError("block '" + name_ + "' is initialized before its buffers are allocated");
    running_ = true;
    if (provides(SS_CALL_MDL_INITIALIZE_CONDITIONS)) call(SS_CALL_MDL_INITIALIZE_CONDITIONS, 0.0);
}

void Block::outputs(double time, bool major_step) {
    S_.majorTimeStep = major_step ? 1 : 0;
    S_.call.tid = 0;
    call(SS_CALL_MDL_OUTPUTS, time);
}

void Block::update(double time) {
    if (!provides(SS_CALL_MDL_UPDATE)) return;
    S_.majorTimeStep = 1;
    S_.call.tid = 0;
    call(SS_CALL_MDL_UPDATE, time);
}

void Block::derivatives(double time) {
    if (!provides(SS_CALL_MDL_DERIVATIVES)) return;
    call(SS_CALL_MDL_DERIVATIVES, time);
}

void Block::terminate() {
    running_ = false;
    call(SS_CALL_MDL_TERMINATE, S_.t);
}

void Block::set_parameter(int index, ArrayPtr value) {
    if (index < 0 || index >= static_cast<int>(parameters_.size()))
        throw HostError("block '" + name_ + "' has no dialog parameter " + std::to_string(index + 1));
    ArrayPtr previous = std::move(parameters_[index]);
    parameters_[index] = std::move(value);
    parameter_views_[index] = parameters_[index].get();
    if (!provides(SS_CALL_MDL_CHECK_PARAMETERS)) return;
    try {
        call(SS_CALL_MDL_CHECK_PARAMETERS, S_.t);
    } catch (...) {
        parameters_[index] = std::move(previous);
        parameter_views_[index] = parameters_[index].get();
        throw;
    }
}

void* Block::input_storage(int port) { return input_storage_.at(static_cast<std::size_t>(port)).data(); }

double* Block::input_buffer(int port) {
    if (S_.inputs[port].dataType != SS_DOUBLE)
        throw HostError("block '" + name_ + "' input port " + std::to_string(port) + " is not double");
    return input_storage_.at(static_cast<std::size_t>(port)).data();
}

const double* Block::output_doubles(int port) const {
    if (S_.outputs[port].dataType != SS_DOUBLE)
        throw HostError("block '" + name_ + "' output port " + std::to_string(port) + " is " +
                        data_type_label(S_.outputs[port].dataType) + ", not double");
    return static_cast<const double*>(S_.outputs[port].signal);
}

double Block::output_value(int port, int element) const {
    return element_as_double(S_.outputs[port].signal, S_.outputs[port].dataType, static_cast<std::size_t>(element));
}

}  // namespace host
