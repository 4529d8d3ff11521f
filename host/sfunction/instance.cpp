#include "host/sfunction/instance.hpp"

#include "host/sfunction/data_types.hpp"
#include "host/sfunction/method_table.hpp"
#include "mex_runtime.hpp"
#include "simstruc.h"

namespace host {

struct SFunctionInstance::State {
    SimStruct S{};
    mxArray* self = nullptr;  // &S in the MEX calling convention
    std::vector<const mxArray*> parameter_views;
    bool running = false;  // between start/initialize_conditions and terminate
    bool allocated = false;

    std::vector<std::vector<double>> input_storage, output_storage, dwork_storage;
    std::vector<double> own_states, own_derivatives, disc_states, rwork;
    std::vector<int_T> iwork, modes;
    std::vector<void*> pwork;
};

namespace {

// Port and DWork buffers are vectors of doubles, so every element type is aligned.
std::size_t words_for(int width, int type_id, bool complex) {
    const std::size_t bytes = static_cast<std::size_t>(width) * data_type(type_id).size * (complex ? 2 : 1);
    return (bytes + sizeof(double) - 1) / sizeof(double);
}

std::size_t count(int n) { return static_cast<std::size_t>(n > 0 ? n : 0); }

template <typename T>
T* first_or_null(std::vector<T>& storage) {
    return storage.empty() ? nullptr : storage.data();
}

// Inlined where a method runs each step, ahead of its call.
bool provided(const SimStruct& S, Method method) {
    return (S.methods & SS_METHOD_BIT(method_table::flag(method))) != 0;
}

}  // namespace

SFunctionInstance::SFunctionInstance(std::string name, std::shared_ptr<const Library> library,
                                     std::vector<ArrayPtr> parameters)
    : name_(std::move(name)), library_(std::move(library)), parameters_(std::move(parameters)),
      state_(std::make_unique<State>()) {
    SimStruct& S = state_->S;
    for (const auto& parameter : parameters_) state_->parameter_views.push_back(parameter.get());
    S.modelName = library_->name().c_str();
    S.path = name_.c_str();
    S.sfcnParamsCount = static_cast<int_T>(state_->parameter_views.size());
    S.sfcnParams = state_->parameter_views.data();
    state_->self = reinterpret_cast<mxArray*>(&S);

    mxArray* plhs[1] = {state_->self};
    try {
        library_->call(SS_HOST_CALL, plhs, SS_CALL_MDL_INITIALIZE_SIZES, nullptr);
    } catch (const MexCallError& error) {
        fail(Method::initialize_sizes, error.what());
    }
    if (S.errorStatus) fail(Method::initialize_sizes, S.errorStatus);
    if (S.numSFcnParams >= 0 && S.numSFcnParams != S.sfcnParamsCount) {
        throw HostError(label() + ": the S-function expects " + std::to_string(S.numSFcnParams) +
                        " dialog parameter" + (S.numSFcnParams == 1 ? "" : "s") + ", but the block gives " +
                        std::to_string(S.sfcnParamsCount));
    }
    check_declaration();
}

SFunctionInstance::~SFunctionInstance() {
    if (state_->running) {
        try {
            terminate();
        } catch (const std::exception&) {
            // Nothing can be reported from a destructor; the block is going away.
        }
    }
}

std::string SFunctionInstance::label() const { return block_label(name_, sfunction_kind(library_->name())); }
int SFunctionInstance::level() const { return state_->S.level; }
bool SFunctionInstance::provides(Method method) const {
    return provided(state_->S, method);
}
const SimStruct_tag& SFunctionInstance::simstruct() const { return state_->S; }

int SFunctionInstance::num_inputs() const { return state_->S.numInputPorts; }
int SFunctionInstance::num_outputs() const { return state_->S.numOutputPorts; }

PortSpec SFunctionInstance::input(int port) const {
    const auto& record = state_->S.inputs[port];
    return {record.width, record.dataType, record.directFeedThrough != 0};
}

PortSpec SFunctionInstance::output(int port) const {
    const auto& record = state_->S.outputs[port];
    return {record.width, record.dataType, false};
}

int SFunctionInstance::num_cont_states() const { return state_->S.numContStates; }
int SFunctionInstance::num_dworks() const { return state_->S.numDWork; }
DWorkSpec SFunctionInstance::dwork_spec(int index) const {
    const auto& record = state_->S.dwork[index];
    return {record.width, record.dataType, record.name ? record.name : ""};
}
double SFunctionInstance::sample_time() const {
    return state_->S.numSampleTimes > 0 ? state_->S.sampleTimes[0] : INHERITED_SAMPLE_TIME;
}

void SFunctionInstance::check_declaration() const {
    const SimStruct& S = state_->S;
    auto refuse = [&](const std::string& what) { throw HostError(label() + ": " + what); };
    for (int port = 0; port < S.numInputPorts; ++port)
        if (S.inputs[port].width < 1) refuse("input port " + std::to_string(port) + " has no fixed width");
    for (int port = 0; port < S.numOutputPorts; ++port)
        if (S.outputs[port].width < 1) refuse("output port " + std::to_string(port) + " has no fixed width");
    for (int i = 0; i < S.numDWork; ++i) {
        if (S.dwork[i].width < 1) refuse("DWork " + std::to_string(i) + " has no fixed width");
        if (!is_known_data_type(S.dwork[i].dataType))
            refuse("DWork " + std::to_string(i) + " has data type " + data_type_label(S.dwork[i].dataType) +
                   ", which this host does not know");
    }
    if (S.level == 1 && S.numDiscStates > 0) refuse("level-1 blocks with discrete states are not supported");
    if (S.numContStates < 0 || S.numDiscStates < 0 || S.numRWork < 0 || S.numIWork < 0 || S.numPWork < 0 ||
        S.numModes < 0)
        refuse("dynamically sized states or work vectors are not supported");
}

void SFunctionInstance::fail(Method method, const std::string& message) const {
    std::optional<double> time;
    if (runs_at_a_time(method)) time = state_->S.t;
    throw BlockError(name_, library_->name(), method_name(method), time, message);
}

// Inline: outputs, updates and derivatives make this call at every step.
inline void SFunctionInstance::call(Method method, double time) {
    SimStruct& S = state_->S;
    S.t = time;
    S.errorStatus = nullptr;
    mxArray* plhs[1] = {state_->self};
    try {
        library_->entry()(SS_HOST_CALL, plhs, method_table::flag(method), nullptr);
    } catch (const mexrt::MexError& error) {
        fail(method, error.what());
    }
    if (S.errorStatus) fail(method, S.errorStatus);
}

void SFunctionInstance::request(Method method, double time) {
    if (method == Method::initialize_sizes)
        throw HostError(label() + ": mdlInitializeSizes runs once, when the block is created");
    call(method, time);
}

// ---------------------------------------------------------------- set-up

void SFunctionInstance::settle_frames() {
    SimStruct& S = state_->S;
    for (int port = 0; port < S.numInputPorts; ++port) {
        if (provides(Method::set_input_port_frame_data)) {
            S.call.port = port;
            S.call.frameData = FRAME_NO;
            call(Method::set_input_port_frame_data, 0.0);
        } else {
            S.inputs[port].frameData = FRAME_NO;
        }
    }
}

void SFunctionInstance::set_input_width(int port, int width) const {
    const int own = state_->S.inputs[port].width;
    if (width != own)
        throw HostError(label() + " input port " + std::to_string(port) + " has width " + std::to_string(own) +
                        ", but the signal connected to it has width " + std::to_string(width));
}

void SFunctionInstance::offer_input_type(int port, int type) {
    SimStruct& S = state_->S;
    if (S.inputs[port].dataType == DYNAMICALLY_TYPED) {
        if (provides(Method::set_input_port_data_type)) {
            S.call.port = port;
            S.call.dataType = type;
            call(Method::set_input_port_data_type, 0.0);
        } else {
            S.inputs[port].dataType = type;
        }
    }
    if (type != S.inputs[port].dataType)
        throw HostError(label() + " input port " + std::to_string(port) + " takes " +
                        data_type_label(S.inputs[port].dataType) + ", but the signal connected to it is " +
                        data_type_label(type));
}

void SFunctionInstance::settle_types() {
    SimStruct& S = state_->S;
    bool inherited = false;
    for (int port = 0; port < S.numInputPorts; ++port) inherited |= S.inputs[port].dataType == DYNAMICALLY_TYPED;
    for (int port = 0; port < S.numOutputPorts; ++port) inherited |= S.outputs[port].dataType == DYNAMICALLY_TYPED;
    if (inherited && provides(Method::set_default_port_data_types)) call(Method::set_default_port_data_types, 0.0);
    for (int port = 0; port < S.numInputPorts; ++port)
        if (S.inputs[port].dataType == DYNAMICALLY_TYPED) S.inputs[port].dataType = SS_DOUBLE;
    for (int port = 0; port < S.numOutputPorts; ++port)
        if (S.outputs[port].dataType == DYNAMICALLY_TYPED) S.outputs[port].dataType = SS_DOUBLE;
}

void SFunctionInstance::settle_sample_times() { call(Method::initialize_sample_times, 0.0); }

void SFunctionInstance::allocate(double* states, double* derivatives) {
    SimStruct& S = state_->S;
    State& s = *state_;
    auto buffer = [&](std::vector<double>& storage, const char* kind, int index, int width, int type,
                      CSignal_T complex) {
        if (!is_known_data_type(type))
            throw HostError(label() + ": " + kind + " " + std::to_string(index) + " has data type " +
                            data_type_label(type) + ", which this host does not know");
        storage.assign(words_for(width, type, complex == COMPLEX_YES), 0.0);
        return storage.data();
    };
    s.input_storage.assign(count(S.numInputPorts), {});
    for (int port = 0; port < S.numInputPorts; ++port) {
        auto& record = S.inputs[port];
        record.signal = buffer(s.input_storage[port], "input port", port, record.width, record.dataType,
                               record.complexSignal);
    }
    s.output_storage.assign(count(S.numOutputPorts), {});
    for (int port = 0; port < S.numOutputPorts; ++port) {
        auto& record = S.outputs[port];
        record.signal = buffer(s.output_storage[port], "output port", port, record.width, record.dataType,
                               record.complexSignal);
    }
    s.dwork_storage.assign(count(S.numDWork), {});
    for (int i = 0; i < S.numDWork; ++i) {
        auto& record = S.dwork[i];
        record.array = buffer(s.dwork_storage[i], "DWork", i, record.width, record.dataType, record.complexSignal);
    }
    if (states && derivatives) {
        S.contStates = states;
        S.dX = derivatives;
    } else {
        s.own_states.assign(count(S.numContStates), 0.0);
        s.own_derivatives.assign(count(S.numContStates), 0.0);
        S.contStates = first_or_null(s.own_states);
        S.dX = first_or_null(s.own_derivatives);
    }
    s.disc_states.assign(count(S.numDiscStates), 0.0);
    s.rwork.assign(count(S.numRWork), 0.0);
    s.iwork.assign(count(S.numIWork), 0);
    s.pwork.assign(count(S.numPWork), nullptr);
    s.modes.assign(count(S.numModes), 0);
    S.discStates = first_or_null(s.disc_states);
    S.rwork = first_or_null(s.rwork);
    S.iwork = first_or_null(s.iwork);
    S.pwork = first_or_null(s.pwork);
    S.modes = first_or_null(s.modes);
    s.allocated = true;
}

void SFunctionInstance::connect_input(int port, const void* signal) { state_->S.inputs[port].signal = signal; }

void SFunctionInstance::prepare() {
    settle_frames();
    settle_types();
    settle_sample_times();
    allocate();
}

// ---------------------------------------------------------------- methods

void SFunctionInstance::start() {
    if (!state_->allocated) throw HostError(label() + " is started before its buffers are allocated");
    state_->running = true;
    if (provides(Method::start)) call(Method::start, 0.0);
}

void SFunctionInstance::initialize_conditions() {
    if (!state_->allocated) throw HostError(label() + " is initialized before its buffers are allocated");
    state_->running = true;
    if (provides(Method::initialize_conditions)) call(Method::initialize_conditions, 0.0);
}

void SFunctionInstance::outputs(double time, bool major_step) {
    state_->S.majorTimeStep = major_step ? 1 : 0;
    state_->S.call.tid = 0;
    call(Method::outputs, time);
}

void SFunctionInstance::update(double time) {
    if (!provided(state_->S, Method::update)) return;
    state_->S.majorTimeStep = 1;
    state_->S.call.tid = 0;
    call(Method::update, time);
}

void SFunctionInstance::derivatives(double time) {
    if (provided(state_->S, Method::derivatives)) call(Method::derivatives, time);
}

void SFunctionInstance::terminate() {
    state_->running = false;
    call(Method::terminate, state_->S.t);
}

void SFunctionInstance::set_parameter(int index, ArrayPtr value) {
    if (index < 0 || index >= static_cast<int>(parameters_.size()))
        throw HostError(label() + " has no dialog parameter " + std::to_string(index + 1));
    auto& views = state_->parameter_views;
    ArrayPtr previous = std::move(parameters_[index]);
    parameters_[index] = std::move(value);
    views[index] = parameters_[index].get();
    if (!provides(Method::check_parameters)) return;
    try {
        call(Method::check_parameters, state_->S.t);
    } catch (...) {
        parameters_[index] = std::move(previous);
        views[index] = parameters_[index].get();
        throw;
    }
}

// ---------------------------------------------------------------- signals

double* SFunctionInstance::input_buffer(int port) {
    if (state_->S.inputs[port].dataType != SS_DOUBLE)
        throw HostError(label() + " input port " + std::to_string(port) + " is not double");
    return state_->input_storage.at(static_cast<std::size_t>(port)).data();
}

const void* SFunctionInstance::input_signal(int port) const { return state_->S.inputs[port].signal; }
const void* SFunctionInstance::output_signal(int port) const { return state_->S.outputs[port].signal; }

const double* SFunctionInstance::output_doubles(int port) const {
    const auto& record = state_->S.outputs[port];
    if (record.dataType != SS_DOUBLE)
        throw HostError(label() + " output port " + std::to_string(port) + " is " +
                        data_type_label(record.dataType) + ", not double");
    return static_cast<const double*>(record.signal);
}

double SFunctionInstance::output_value(int port, int element) const {
    const auto& record = state_->S.outputs[port];
    return element_as_double(record.signal, record.dataType, static_cast<std::size_t>(element));
}

double* SFunctionInstance::cont_states() { return state_->S.contStates; }
const double* SFunctionInstance::cont_states() const { return state_->S.contStates; }
double* SFunctionInstance::state_derivatives() { return state_->S.dX; }
void* SFunctionInstance::dwork(int index) { return state_->S.dwork[index].array; }

}  // namespace host
