// A block of a running model, S-function or built-in, behind the one
// interface that the engine drives. The set-up steps carry the names of the
// S-function instance's steps and run in the same order.
#pragma once

#include <limits>
#include <string>
#include <vector>

#include "host/sfunction/errors.hpp"

namespace host {

class Node {
public:
    explicit Node(std::string name) : name_(std::move(name)) {}
    virtual ~Node() = default;
    Node(const Node&) = delete;
    Node& operator=(const Node&) = delete;

    const std::string& name() const { return name_; }
    virtual std::string kind() const = 0;  // "S-function 'blower'", "Gain", ...
    std::string label() const { return block_label(name_, kind()); }

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
    // A port by name (an FMU's variable), or -1; the names, for "did you mean".
    virtual int port_named(const std::string& /*name*/, bool /*input*/) const { return -1; }
    virtual std::vector<std::string> port_names(bool /*input*/) const { return {}; }

    // ---- Set-up, in this order (each step for every block before the next)
    virtual void settle_frames() {}
    // The width of the signal on an input port; the block may then know its
    // outputs' widths. Throws HostError on a width it cannot take.
    virtual void set_input_width(int port, int width) = 0;
    // The data type of the signal on an input port. Throws HostError on a
    // type it cannot take.
    virtual void offer_input_type(int port, int data_type) = 0;
    // Settles any data type still open; runs once all known types are offered.
    virtual void settle_types() {}
    virtual void settle_sample_times() {}
    virtual void allocate(double* states, double* derivatives) = 0;
    // Reads the input from `signal`, of the width and type set above.
    virtual void connect_input(int port, const void* signal) = 0;
    virtual const void* output_signal(int port) const = 0;

    // ---- Run
    virtual void start() {}
    virtual void initialize_conditions() {}
    virtual void outputs(double time, bool major_step) = 0;
    // True when outputs() does nothing: the outputs are set once, at start,
    // or by update(). Unobserved runs skip such blocks at every step.
    virtual bool outputs_held() const { return false; }
    virtual bool has_update() const { return false; }
    virtual void update(double /*time*/) {}
    virtual bool has_derivatives() const { return num_states() > 0; }
    virtual void derivatives(double /*time*/) {}
    virtual void terminate() {}
    // Times at which the block's output jumps, known before the run; a
    // variable-step integrator stops and starts again at each.
    virtual std::vector<double> switching_times() const { return {}; }

    // ---- Events: blocks with discrete changes of their own, found while
    // the model runs (an FMU for model exchange). A state event is where
    // one of the block's event indicators changes sign between z > 0 and
    // z <= 0; a time event at next_event_time(); a step event when the
    // block's update asked for one (event_due).
    virtual bool has_events() const { return false; }
    virtual int num_event_indicators() const { return 0; }
    // The indicators at the time and states of the last outputs() call.
    virtual void event_indicators(double* /*z*/) {}
    // The time of the block's next time event; infinity: none.
    virtual double next_event_time() const;
    // Whether the block asks for an event at major step `time` other than
    // its time events: a step event its last update asked for.
    virtual bool event_due(double /*time*/) const { return false; }
    // Handles an event at `time` (after outputs() there) until the block's
    // discrete states settle; its continuous states may be set anew.
    virtual void handle_event(double /*time*/) {}

private:
    std::string name_;
};

inline double Node::next_event_time() const { return std::numeric_limits<double>::infinity(); }

}  // namespace host
