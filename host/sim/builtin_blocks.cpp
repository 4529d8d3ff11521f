#include "host/sim/builtin_blocks.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

#include "host/sfunction/data_types.hpp"

namespace host {

namespace {

// Built-in blocks work on doubles. Input widths may be open (-1) until the
// engine passes the widths of the connected signals; resolve() then sets
// the output widths it can.
class Builtin : public Node {
public:
    Builtin(const std::string& name, std::string type, int inputs, int outputs)
        : Node(name), type_(std::move(type)), in_width_(static_cast<std::size_t>(inputs), -1),
          out_width_(static_cast<std::size_t>(outputs), -1), in_(static_cast<std::size_t>(inputs), nullptr),
          out_(static_cast<std::size_t>(outputs)) {}

    std::string kind() const override { return type_; }
    int num_inputs() const override { return static_cast<int>(in_width_.size()); }
    int num_outputs() const override { return static_cast<int>(out_width_.size()); }
    int input_width(int port) const override { return in_width_[port]; }
    int output_width(int port) const override { return out_width_[port]; }
    int input_type(int) const override { return double_type_id; }
    int output_type(int) const override { return double_type_id; }
    bool direct_feedthrough(int) const override { return true; }
    int num_states() const override { return 0; }

    void set_input_width(int port, int width) override {
        if (in_width_[port] >= 0 && in_width_[port] != width)
            fail("input port " + std::to_string(port) + " has width " + std::to_string(in_width_[port]) +
                 ", but the signal connected to it has width " + std::to_string(width));
        in_width_[port] = width;
        if (std::all_of(in_width_.begin(), in_width_.end(), [](int w) { return w >= 0; })) resolve();
    }

    void offer_input_type(int port, int data_type) override {
        if (data_type != double_type_id)
            fail("input port " + std::to_string(port) + " takes double, but the signal connected to it is " +
                 data_type_label(data_type));
    }

    void allocate(double* states, double* derivatives) override {
        for (std::size_t port = 0; port < out_.size(); ++port)
            out_[port].assign(static_cast<std::size_t>(out_width_[port]), 0.0);
        if (!out_.empty()) {
            y_ = out_[0].data();
            width_ = out_[0].size();
        }
        x_ = states;
        dx_ = derivatives;
    }

    void connect_input(int port, const void* signal) override {
        in_[port] = static_cast<const double*>(signal);
        if (port == 0) u_ = in_[0];
    }

    const void* output_signal(int port) const override { return out_[port].data(); }

protected:
    [[noreturn]] void fail(const std::string& what) const {
        throw HostError(label() + " " + what);
    }
    virtual void resolve() {}
    std::size_t width(int port) const { return static_cast<std::size_t>(in_width_[port]); }

    std::string type_;
    std::vector<int> in_width_, out_width_;
    std::vector<const double*> in_;
    std::vector<std::vector<double>> out_;
    // Output 0 and input 0 as the methods that run each step read them: the
    // buffers do not move once allocated and connected.
    double* y_ = nullptr;
    std::size_t width_ = 0;  // of output 0
    const double* u_ = nullptr;
    double* x_ = nullptr;
    double* dx_ = nullptr;
};

class Constant : public Builtin {
public:
    Constant(const std::string& name, std::vector<double> value) : Builtin(name, "Constant", 0, 1), value_(std::move(value)) {
        out_width_[0] = static_cast<int>(value_.size());
    }
    void start() override { out_[0] = value_; }
    void outputs(double, bool) override {}
    bool outputs_held() const override { return true; }

private:
    std::vector<double> value_;
};

// A scalar source y = f(t).
template <typename F>
class TimeSource : public Builtin {
public:
    TimeSource(const std::string& name, const std::string& type, F f) : Builtin(name, type, 0, 1), f_(f) {
        out_width_[0] = 1;
    }
    void outputs(double t, bool) override { out_[0][0] = f_(t); }

private:
    F f_;
};

// Before until its time, then after; it switches at the first major step at
// or after its time, so that no Runge-Kutta stage of the step before sees
// the new value.
class Step : public Builtin {
public:
    Step(const std::string& name, const builtin::Step& spec) : Builtin(name, spec.type, 0, 1), spec_(spec) {
        out_width_[0] = 1;
    }
    void outputs(double t, bool major_step) override {
        if (major_step) out_[0][0] = t < spec_.time ? spec_.before : spec_.after;
    }
    std::vector<double> switching_times() const override { return {spec_.time}; }

private:
    builtin::Step spec_;
};

// double, or int32 rounded to nearest with ties away from zero and saturated
// (NaN gives 0), from a signal of any type the host knows.
class Convert : public Builtin {
public:
    Convert(const std::string& name, const std::string& to)
        : Builtin(name, "Convert", 1, 1), to_int32_(to == "int32") {}
    int input_type(int) const override { return input_type_; }
    int output_type(int) const override { return to_int32_ ? int32_type_id : double_type_id; }
    void offer_input_type(int port, int data_type) override {
        if (!is_known_data_type(data_type))
            fail("input port " + std::to_string(port) + " takes any known data type, not " + data_type_label(data_type));
        input_type_ = data_type;
    }
    void allocate(double* states, double* derivatives) override {
        Builtin::allocate(states, derivatives);
        integers_.assign(static_cast<std::size_t>(out_width_[0]), 0);
    }
    const void* output_signal(int port) const override {
        return to_int32_ ? static_cast<const void*>(integers_.data()) : Builtin::output_signal(port);
    }
    void outputs(double, bool) override {
        for (std::size_t i = 0; i < width(0); ++i) {
            const double value = element_as_double(input_, input_type_, i);
            if (to_int32_) integers_[i] = saturated_int32(value);
            else out_[0][i] = value;
        }
    }
    void connect_input(int, const void* signal) override { input_ = signal; }

private:
    void resolve() override { out_width_[0] = in_width_[0]; }
    static std::int32_t saturated_int32(double value) {
        if (std::isnan(value)) return 0;
        const double rounded = std::round(value);
        if (rounded >= 2147483647.0) return INT32_MAX;
        if (rounded <= -2147483648.0) return INT32_MIN;
        return static_cast<std::int32_t>(rounded);
    }
    bool to_int32_;
    int input_type_ = double_type_id;
    const void* input_ = nullptr;
    std::vector<std::int32_t> integers_;
};

template <typename F>
std::unique_ptr<Node> time_source(const std::string& name, const std::string& type, F f) {
    return std::make_unique<TimeSource<F>>(name, type, f);
}

// Linear interpolation in a time series; the first and last rows are held.
// Two rows of one time are a step, taken as a Step block's: the first row's
// value up to that time, the second's from the first major step at it on
// (no Runge-Kutta stage of the step before sees the new value).
class Table : public Builtin {
public:
    Table(const std::string& name, std::vector<double> times, std::vector<std::vector<double>> columns)
        : Builtin(name, "Table", 0, 1), times_(std::move(times)), columns_(std::move(columns)) {
        out_width_[0] = static_cast<int>(columns_.size());
    }
    // A variable-step integrator stops at each step, as at a Step block's.
    std::vector<double> switching_times() const override {
        std::vector<double> steps;
        for (std::size_t i = 1; i < times_.size(); ++i)
            if (times_[i] == times_[i - 1]) steps.push_back(times_[i]);
        return steps;
    }
    void outputs(double t, bool major_step) override {
        if (major_step) last_major_ = t;
        const std::size_t n = times_.size();
        if (t <= times_.front() || n == 1) return hold(stepped(0, t));
        if (t >= times_.back()) return hold(t == times_.back() ? stepped(n - 1, t) : n - 1);
        // Time mostly moves forward: start from the last segment used.
        if (t < times_[segment_]) segment_ = 0;
        while (t >= times_[segment_ + 1]) ++segment_;
        if (t == times_[segment_]) return hold(stepped(segment_, t));  // not 0 * the step to the next row, which may be NaN
        const double fraction = (t - times_[segment_]) / (times_[segment_ + 1] - times_[segment_]);
        for (std::size_t i = 0; i < columns_.size(); ++i)
            out_[0][i] = columns_[i][segment_] + fraction * (columns_[i][segment_ + 1] - columns_[i][segment_]);
    }

private:
    // The row held at t = times_[row]: of a step's two rows, the first until
    // a major step at that time has been taken, the second from then on.
    std::size_t stepped(std::size_t row, double t) const {
        const bool first_of_step = row + 1 < times_.size() && times_[row + 1] == times_[row];
        const bool second_of_step = row > 0 && times_[row - 1] == times_[row];
        const bool switched = last_major_ >= t;
        if (first_of_step && switched) return row + 1;
        if (second_of_step && !switched) return row - 1;
        return row;
    }
    void hold(std::size_t row) {
        for (std::size_t i = 0; i < columns_.size(); ++i) out_[0][i] = columns_[i][row];
    }
    std::vector<double> times_;
    std::vector<std::vector<double>> columns_;
    std::size_t segment_ = 0;
    double last_major_ = -std::numeric_limits<double>::infinity();
};

class Gain : public Builtin {
public:
    Gain(const std::string& name, std::vector<double> gain) : Builtin(name, "Gain", 1, 1), gain_(std::move(gain)) {}
    void outputs(double, bool) override {
        if (scalar_gain_) {
            for (std::size_t i = 0; i < width_; ++i) y_[i] = gain_[0] * u_[i];
        } else {
            for (std::size_t i = 0; i < width_; ++i) y_[i] = gain_[i] * u_[i];
        }
    }

private:
    void resolve() override {
        if (gain_.size() != 1 && gain_.size() != width(0))
            fail("has " + std::to_string(gain_.size()) + " gains for an input of width " + std::to_string(width(0)));
        out_width_[0] = in_width_[0];
        scalar_gain_ = gain_.size() == 1;
    }
    std::vector<double> gain_;
    bool scalar_gain_ = true;
};

// Element-wise over inputs of one width; scalar inputs are expanded.
class ElementWise : public Builtin {
public:
    ElementWise(const std::string& name, const std::string& type, int inputs) : Builtin(name, type, inputs, 1) {}

protected:
    void resolve() override {
        const int wide = *std::max_element(in_width_.begin(), in_width_.end());
        for (std::size_t port = 0; port < in_width_.size(); ++port)
            if (in_width_[port] != 1 && in_width_[port] != wide)
                fail("input port " + std::to_string(port) + " has width " + std::to_string(in_width_[port]) +
                     ", but the widest input has width " + std::to_string(wide));
        out_width_[0] = wide;
    }
    double element(std::size_t port, std::size_t i) const { return in_[port][in_width_[port] == 1 ? 0 : i]; }
};

class Sum : public ElementWise {
public:
    Sum(const std::string& name, std::string signs)
        : ElementWise(name, "Sum", static_cast<int>(signs.size())), signs_(std::move(signs)) {}
    void outputs(double, bool) override {
        const std::size_t ports = signs_.size();
        for (std::size_t i = 0; i < width_; ++i) {
            double sum = 0.0;
            for (std::size_t port = 0; port < ports; ++port) {
                const double u = element(port, i);
                sum = signs_[port] == '-' ? sum - u : sum + u;
            }
            y_[i] = sum;
        }
    }

private:
    std::string signs_;
};

class Product : public ElementWise {
public:
    Product(const std::string& name, int inputs) : ElementWise(name, "Product", inputs) {}
    void outputs(double, bool) override {
        const std::size_t n = static_cast<std::size_t>(out_width_[0]);
        for (std::size_t i = 0; i < n; ++i) {
            double product = 1.0;
            for (int port = 0; port < num_inputs(); ++port) product *= element(static_cast<std::size_t>(port), i);
            out_[0][i] = product;
        }
    }
};

class Mux : public Builtin {
public:
    Mux(const std::string& name, int inputs) : Builtin(name, "Mux", inputs, 1) {}
    void outputs(double, bool) override {
        // Loops, not std::copy: the inputs are a few elements wide.
        double* y = y_;
        for (std::size_t port = 0; port < in_.size(); ++port) {
            const double* u = in_[port];
            for (int i = 0; i < in_width_[port]; ++i) *y++ = u[i];
        }
    }

private:
    void resolve() override {
        int total = 0;
        for (int w : in_width_) total += w;
        out_width_[0] = total;
    }
};

class Selector : public Builtin {
public:
    Selector(const std::string& name, std::vector<int> indices)
        : Builtin(name, "Selector", 1, 1), indices_(std::move(indices)) {
        out_width_[0] = static_cast<int>(indices_.size());
    }
    void outputs(double, bool) override {
        for (std::size_t i = 0; i < indices_.size(); ++i) y_[i] = u_[indices_[i]];
    }

private:
    void resolve() override {
        for (int index : indices_)
            if (index < 0 || index >= in_width_[0])
                fail("selects element " + std::to_string(index) + " of an input of width " +
                     std::to_string(in_width_[0]) + " (elements count from 0)");
    }
    std::vector<int> indices_;
};

// dx = u (Integrator) or dx = (u - x) / T (Lag); y = x. No direct feedthrough.
class StateBlock : public Builtin {
public:
    StateBlock(const std::string& name, const std::string& type, std::vector<double> initial, double time_constant)
        : Builtin(name, type, 1, 1), initial_(std::move(initial)), time_constant_(time_constant) {
        in_width_[0] = out_width_[0] = static_cast<int>(initial_.size());
    }
    bool direct_feedthrough(int) const override { return false; }
    int num_states() const override { return static_cast<int>(initial_.size()); }
    void initialize_conditions() override { std::copy(initial_.begin(), initial_.end(), x_); }
    void outputs(double, bool) override {
        for (std::size_t i = 0; i < width_; ++i) y_[i] = x_[i];
    }
    void derivatives(double) override {
        for (std::size_t i = 0; i < initial_.size(); ++i)
            dx_[i] = time_constant_ > 0.0 ? (in_[0][i] - x_[i]) / time_constant_ : in_[0][i];
    }

private:
    std::vector<double> initial_;
    double time_constant_;  // 0 for an integrator
};

// An input of the model's FMU: its signal is written from outside between
// steps; in a run it holds `value`.
class Inport : public Builtin {
public:
    Inport(const std::string& name, const builtin::Inport& spec) : Builtin(name, spec.type, 0, 1), spec_(spec) {
        const auto width = static_cast<std::size_t>(spec.width);
        if (spec_.value.size() == 1) spec_.value.assign(width, spec_.value[0]);
        if (spec_.value.size() != width)
            fail("has width " + std::to_string(width) + ", but its value has " + std::to_string(spec_.value.size()) +
                 " elements (give one number, or one per element)");
        out_width_[0] = spec.width;
    }
    void start() override { out_[0] = spec_.value; }
    void outputs(double, bool) override {}
    bool outputs_held() const override { return true; }
    double* buffer() { return out_[0].data(); }
    int index() const { return spec_.index; }

private:
    builtin::Inport spec_;
};

// An output of the model's FMU: the signal on its one input, of any type the
// host stores as a double or an int32.
class Outport : public Builtin {
public:
    Outport(const std::string& name, const builtin::Outport& spec) : Builtin(name, spec.type, 1, 0), index_(spec.index) {
        in_width_[0] = spec.width;
    }
    void offer_input_type(int port, int data_type) override {
        const Storage storage = host::data_type(data_type).storage;
        if (storage != Storage::float64 && storage != Storage::int32)
            fail("input port " + std::to_string(port) + " takes double or int32, but the signal connected to it is " +
                 data_type_label(data_type));
        type_id_ = data_type;
    }
    int input_type(int) const override { return type_id_; }
    void connect_input(int, const void* signal) override { signal_ = signal; }
    void outputs(double, bool) override {}
    bool outputs_held() const override { return true; }
    const void* signal() const { return signal_; }
    int index() const { return index_; }

private:
    int index_;
    int type_id_ = double_type_id;
    const void* signal_ = nullptr;
};

template <typename... F>
struct Overloaded : F... {
    using F::operator()...;
};
template <typename... F>
Overloaded(F...) -> Overloaded<F...>;

}  // namespace

std::unique_ptr<Node> make_builtin(const std::string& name, const BuiltinSpec& spec) {
    // One case per alternative of BuiltinSpec: a type without one does not compile.
    return std::visit(
        Overloaded{
            [&](const builtin::Constant& s) -> std::unique_ptr<Node> { return std::make_unique<Constant>(name, s.value); },
            [&](const builtin::Clock& s) { return time_source(name, s.type, [](double t) { return t; }); },
            [&](const builtin::Step& s) -> std::unique_ptr<Node> { return std::make_unique<Step>(name, s); },
            [&](const builtin::Ramp& s) {
                return time_source(name, s.type,
                                   [s](double t) { return s.initial + s.slope * std::max(0.0, t - s.start); });
            },
            [&](const builtin::Sine& s) {
                return time_source(name, s.type,
                                   [s](double t) { return s.bias + s.amplitude * std::sin(s.frequency * t + s.phase); });
            },
            [&](const builtin::Table& s) -> std::unique_ptr<Node> {
                return std::make_unique<Table>(name, s.times, s.columns);
            },
            [&](const builtin::Gain& s) -> std::unique_ptr<Node> { return std::make_unique<Gain>(name, s.gain); },
            [&](const builtin::Sum& s) -> std::unique_ptr<Node> { return std::make_unique<Sum>(name, s.signs); },
            [&](const builtin::Product& s) -> std::unique_ptr<Node> {
                return std::make_unique<Product>(name, s.inputs);
            },
            [&](const builtin::Mux& s) -> std::unique_ptr<Node> { return std::make_unique<Mux>(name, s.inputs); },
            [&](const builtin::Selector& s) -> std::unique_ptr<Node> {
                return std::make_unique<Selector>(name, s.elements);
            },
            [&](const builtin::Convert& s) -> std::unique_ptr<Node> { return std::make_unique<Convert>(name, s.to); },
            [&](const builtin::Integrator& s) -> std::unique_ptr<Node> {
                return std::make_unique<StateBlock>(name, s.type, s.initial, 0.0);
            },
            [&](const builtin::Lag& s) -> std::unique_ptr<Node> {
                return std::make_unique<StateBlock>(name, s.type, s.initial, s.time_constant);
            },
            [&](const builtin::Inport& s) -> std::unique_ptr<Node> { return std::make_unique<Inport>(name, s); },
            [&](const builtin::Outport& s) -> std::unique_ptr<Node> { return std::make_unique<Outport>(name, s); },
        },
        spec);
}

std::optional<ExternalPort> external_port(Node& node) {
    if (auto* inport = dynamic_cast<Inport*>(&node))
        return ExternalPort{node.name(), inport->index(), inport->output_width(0), double_type_id, inport->buffer(),
                            nullptr};
    if (auto* outport = dynamic_cast<Outport*>(&node))
        return ExternalPort{node.name(), outport->index(), outport->input_width(0), outport->input_type(0), nullptr,
                            outport->signal()};
    return std::nullopt;
}

}  // namespace host
