// The built-in block types a model may use beside S-function blocks, one
// struct each: its keys in the model file, with their defaults as member
// initialisers. `keys` lists them, in the order the manual's table gives
// them, to whatever visits them: the model-file reader fills the struct
// from a block's map, the manual's check reads the names and defaults. The
// engine builds one node per alternative of BuiltinSpec.
//
// A key visitor K has, for a key `name` and the member it fills:
//   number(name, double&, Need)            one number
//   numbers(name, std::vector<double>&, Need)   a number or a non-empty list
//   whole(name, int&, int low, int high)   a whole number in [low, high], optional
//   signs(name, std::string&)              '+' and '-', one per input, optional
//   elements(name, std::vector<int>&)      a non-empty list of elements from 0, required
//   table_file(name, BuiltinTable&)        a CSV file of a time column and value columns, required
//   positive(name, double&)                a number > 0, required
//   choice(name, std::string&, choices)    one of the words in `choices`, optional
#pragma once

#include <filesystem>
#include <initializer_list>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace host {

enum class Need { optional, required };

namespace builtin {

struct Constant {
    static constexpr const char* type = "Constant";
    std::vector<double> value;
    template <typename K> void keys(K& k) { k.numbers("value", value, Need::required); }
};

struct Clock {  // y = t
    static constexpr const char* type = "Clock";
    template <typename K> void keys(K&) {}
};

struct Step {  // before until `time`, then after
    static constexpr const char* type = "Step";
    double time = 0.0, before = 0.0, after = 1.0;
    template <typename K> void keys(K& k) {
        k.number("time", time, Need::optional);
        k.number("before", before, Need::optional);
        k.number("after", after, Need::optional);
    }
};

struct Ramp {  // initial + slope * max(0, t - start)
    static constexpr const char* type = "Ramp";
    double slope = 0.0, start = 0.0, initial = 0.0;
    template <typename K> void keys(K& k) {
        k.number("slope", slope, Need::required);
        k.number("start", start, Need::optional);
        k.number("initial", initial, Need::optional);
    }
};

struct Sine {  // bias + amplitude * sin(frequency * t + phase), frequency in rad/s
    static constexpr const char* type = "Sine";
    double amplitude = 1.0, frequency = 1.0, phase = 0.0, bias = 0.0;
    template <typename K> void keys(K& k) {
        k.number("amplitude", amplitude, Need::optional);
        k.number("frequency", frequency, Need::optional);
        k.number("phase", phase, Need::optional);
        k.number("bias", bias, Need::optional);
    }
};

struct Table {  // linear interpolation over time; the first and last rows held
    static constexpr const char* type = "Table";
    std::filesystem::path file;
    std::vector<double> times;                 // rising
    std::vector<std::vector<double>> columns;  // one per output element, one value per time
    template <typename K> void keys(K& k) { k.table_file("file", *this); }
};

struct Gain {  // element-wise product with one gain, or one per element
    static constexpr const char* type = "Gain";
    std::vector<double> gain;
    template <typename K> void keys(K& k) { k.numbers("gain", gain, Need::required); }
};

struct Sum {  // one input per sign, element-wise; scalar inputs expand
    static constexpr const char* type = "Sum";
    std::string signs = "++";
    template <typename K> void keys(K& k) { k.signs("signs", signs); }
};

struct Product {  // element-wise product; scalar inputs expand
    static constexpr const char* type = "Product";
    int inputs = 2;
    template <typename K> void keys(K& k) { k.whole("inputs", inputs, 1, 256); }
};

struct Mux {  // concatenates its inputs
    static constexpr const char* type = "Mux";
    int inputs = 2;
    template <typename K> void keys(K& k) { k.whole("inputs", inputs, 1, 256); }
};

struct Selector {  // picks elements of its input
    static constexpr const char* type = "Selector";
    std::vector<int> elements;
    template <typename K> void keys(K& k) { k.elements("elements", elements); }
};

struct Convert {  // any signal to double, or to int32 rounded to nearest (ties away from 0) and saturated
    static constexpr const char* type = "Convert";
    std::string to = "double";
    template <typename K> void keys(K& k) { k.choice("to", to, {"double", "int32"}); }
};

struct Integrator {  // y = x, x' = u
    static constexpr const char* type = "Integrator";
    std::vector<double> initial{0.0};
    template <typename K> void keys(K& k) { k.numbers("initial", initial, Need::optional); }
};

struct Lag {  // y = x, x' = (u - x) / time_constant
    static constexpr const char* type = "Lag";
    double time_constant = 1.0;
    std::vector<double> initial{0.0};
    template <typename K> void keys(K& k) {
        k.positive("time_constant", time_constant);
        k.numbers("initial", initial, Need::optional);
    }
};

// The model's inputs and outputs as an FMU: the importer writes an Inport's
// signal and reads what an Outport receives, each numbered by `index`. In a
// blocksim run an Inport gives `value` (one number for every element, or
// one per element) and an Outport passes nothing on.
struct Inport {
    static constexpr const char* type = "Inport";
    int index = 1, width = 1;
    std::vector<double> value{0.0};
    template <typename K> void keys(K& k) {
        k.whole("index", index, 1, 100000);
        k.whole("width", width, 1, 100000);
        k.numbers("value", value, Need::optional);
    }
};

struct Outport {
    static constexpr const char* type = "Outport";
    int index = 1, width = 1;
    template <typename K> void keys(K& k) {
        k.whole("index", index, 1, 100000);
        k.whole("width", width, 1, 100000);
    }
};

}  // namespace builtin

using BuiltinTable = builtin::Table;
using BuiltinSpec = std::variant<builtin::Constant, builtin::Clock, builtin::Step, builtin::Ramp, builtin::Sine,
                                 builtin::Table, builtin::Gain, builtin::Sum, builtin::Product, builtin::Mux,
                                 builtin::Selector, builtin::Convert, builtin::Integrator, builtin::Lag,
                                 builtin::Inport, builtin::Outport>;

// A key as a block's struct lists it, with its default as the manual writes
// it ("0", "\"++\""; empty for a required key).
struct BuiltinKey {
    std::string name;
    bool required;
    std::string default_value;
};
std::vector<BuiltinKey> builtin_keys(const BuiltinSpec& spec);

// The number behind key `key` of a built-in block (element `element` of a
// list; -1 or 0 for a single number), which a sweep sets; `positive` when the
// key takes positive numbers only. Empty, with `problem` saying why (or ""
// when the block has no such key), when there is none to set.
struct BuiltinNumber {
    double* value;
    bool positive;
};
std::optional<BuiltinNumber> builtin_number(BuiltinSpec& spec, const std::string& key, int element,
                                           std::string& problem);

// The built-in type names, in the order above.
const std::vector<std::string>& builtin_types();
// A built-in block of that type with every key at its default.
std::optional<BuiltinSpec> builtin_named(const std::string& type);
const char* builtin_type(const BuiltinSpec& spec);

}  // namespace host
