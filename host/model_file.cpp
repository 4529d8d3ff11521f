#include "model_file.hpp"

#include <yaml-cpp/depthguard.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>

namespace host {

namespace {

class Reader {
public:
    Reader(std::string source, std::filesystem::path base) : source_(std::move(source)), base_(std::move(base)) {}

    [[noreturn]] void fail(const YAML::Node& node, const std::string& what) const {
        fail_at(node.IsDefined() ? node.Mark().line + 1 : 0, what);
    }
    [[noreturn]] void fail_at(int line, const std::string& what) const {
        throw ModelError(source_ + (line > 0 ? ":" + std::to_string(line) : "") + ": " + what);
    }
    int line(const YAML::Node& node) const { return node.IsDefined() ? node.Mark().line + 1 : 0; }

    void only_keys(const YAML::Node& map, const std::set<std::string>& allowed, const std::string& what) const {
        for (const auto& entry : map) {
            const std::string key = text(entry.first, "a key");
            if (!allowed.count(key)) {
                std::string list;
                for (const auto& name : allowed) list += (list.empty() ? "" : ", ") + name;
                fail(entry.first, "unknown key '" + key + "' in " + what + " (known: " + list + ")");
            }
        }
    }

    std::string text(const YAML::Node& node, const std::string& what) const {
        if (!node.IsScalar()) fail(node, what + " must be a single word or number, not a list or map");
        return node.Scalar();
    }

    double number(const YAML::Node& node, const std::string& what) const {
        if (!node.IsScalar()) fail(node, what + " must be a number");
        try {
            return node.as<double>();
        } catch (const YAML::Exception&) {
            fail(node, what + " must be a number, not '" + node.Scalar() + "'");
        }
    }

    std::vector<double> numbers(const YAML::Node& node, const std::string& what) const {
        if (node.IsScalar()) return {number(node, what)};
        if (!node.IsSequence()) fail(node, what + " must be a number or a list of numbers");
        std::vector<double> values;
        for (const auto& item : node) values.push_back(number(item, what));
        return values;
    }

    int integer(const YAML::Node& node, const std::string& what) const {
        const double value = number(node, what);
        if (value != std::floor(value) || std::fabs(value) > 2147483647.0) fail(node, what + " must be a whole number");
        return static_cast<int>(value);
    }

    ArrayPtr parameter(const YAML::Node& node) const {
        if (node.IsScalar()) {
            if (node.Tag() == "!" || node.Scalar() == "true" || node.Scalar() == "false")
                fail(node, "write text and truth values as {char: ...} and {logical: ...}");
            return make_double({number(node, "a parameter")});
        }
        if (node.IsSequence()) {
            if (node.size() == 0) return make_empty();
            return make_double(numbers(node, "a parameter"));
        }
        if (!node.IsMap() || node.size() != 1)
            fail(node, "a parameter is a number, a list of numbers, [] or a one-key map such as {int32: [1, 2]}");
        const std::string kind = text(node.begin()->first, "a parameter class");
        const YAML::Node value = node.begin()->second;
        if (kind == "double") return value.IsSequence() && value.size() == 0 ? make_empty() : make_double(numbers(value, "a double"));
        if (kind == "single") {
            const auto values = numbers(value, "a single");
            return make_single(std::vector<float>(values.begin(), values.end()));
        }
        if (kind == "int32") {
            std::vector<std::int32_t> values;
            if (value.IsScalar()) values.push_back(integer(value, "an int32"));
            else
                for (const auto& item : value) values.push_back(integer(item, "an int32"));
            return make_int32(values);
        }
        if (kind == "logical") {
            std::vector<bool> values;
            auto truth = [&](const YAML::Node& item) {
                try {
                    return item.as<bool>();
                } catch (const YAML::Exception&) {
                    fail(item, "a logical is true or false");
                }
            };
            if (value.IsScalar()) values.push_back(truth(value));
            else
                for (const auto& item : value) values.push_back(truth(item));
            return make_logical(values);
        }
        if (kind == "complex") {
            std::vector<std::complex<double>> values;
            auto pair = [&](const YAML::Node& item) {
                if (!item.IsSequence() || item.size() != 2) fail(item, "a complex value is [real, imaginary]");
                values.emplace_back(number(item[0], "a real part"), number(item[1], "an imaginary part"));
            };
            if (value.IsSequence() && value.size() > 0 && value[0].IsSequence())
                for (const auto& item : value) pair(item);
            else
                pair(value);
            return make_complex(values);
        }
        if (kind == "sparse") return make_sparse(numbers(value, "a sparse value"));
        if (kind == "char") return make_char(text(value, "a char value"));
        fail(node, "unknown parameter class '" + kind + "' (known: double, single, int32, logical, complex, sparse, char)");
    }

    SignalRef signal(const YAML::Node& node, const std::string& text, bool element_allowed) const {
        static const std::regex pattern(R"(^\s*([A-Za-z_][A-Za-z0-9_]*)\.(\d+)(?:\[(\d+)\])?\s*$)");
        std::smatch match;
        if (!std::regex_match(text, match, pattern) || (match[3].matched && !element_allowed))
            fail(node, "'" + text + "' is not a signal; write block.port" +
                           std::string(element_allowed ? " or block.port[element]" : "") + ", ports from 0");
        // Nine digits always fit an int; more is no port or element any block has.
        auto number = [&](const std::string& digits, const std::string& what) {
            if (digits.size() > 9) fail(node, "'" + text + "': the " + what + " number is too large");
            return std::stoi(digits);
        };
        SignalRef ref;
        ref.block = match[1];
        ref.port = number(match[2], "port");
        ref.element = match[3].matched ? number(match[3], "element") : -1;
        ref.line = line(node);
        return ref;
    }

    std::filesystem::path path(const std::string& name) const {
        const std::filesystem::path p(name);
        return p.is_absolute() ? p : base_ / p;
    }

    void table(const YAML::Node& node, BuiltinSpec& spec) const {
        const auto file = path(text(node, "file"));
        std::ifstream in(file);
        if (!in) fail(node, "cannot read table file " + file.string());
        std::string text;
        int row = 0;
        while (std::getline(in, text)) {
            ++row;
            const auto first = text.find_first_not_of(" \t\r");
            if (first == std::string::npos || text[first] == '#') continue;
            std::vector<double> values;
            std::stringstream cells(text);
            std::string cell;
            bool numeric = true;
            while (std::getline(cells, cell, ',')) {
                try {
                    std::size_t used = 0;
                    values.push_back(std::stod(cell, &used));
                    if (cell.find_first_not_of(" \t\r", used) != std::string::npos) numeric = false;
                } catch (const std::exception&) {
                    numeric = false;
                }
            }
            auto where = file.string() + ":" + std::to_string(row) + ": ";
            if (!numeric) {
                if (spec.table_times.empty() && spec.table_columns.empty()) continue;  // a header line
                fail(node, where + "not a row of numbers");
            }
            if (values.size() < 2) fail(node, where + "a row holds a time and at least one value");
            if (spec.table_columns.empty()) spec.table_columns.resize(values.size() - 1);
            if (values.size() - 1 != spec.table_columns.size())
                fail(node, where + "has " + std::to_string(values.size() - 1) + " values, earlier rows " +
                               std::to_string(spec.table_columns.size()));
            if (!spec.table_times.empty() && !(values[0] > spec.table_times.back()))
                fail(node, where + "times must rise from row to row");
            spec.table_times.push_back(values[0]);
            for (std::size_t i = 1; i < values.size(); ++i) spec.table_columns[i - 1].push_back(values[i]);
        }
        if (spec.table_times.empty()) fail(node, "table file " + file.string() + " holds no rows");
    }

    BlockSpec block(const std::string& name, const YAML::Node& node) const {
        BlockSpec spec;
        spec.name = name;
        spec.line = line(node);
        if (!node.IsMap()) fail(node, "block '" + name + "' must be a map such as {type: Gain, gain: 2}");
        if (node["sfunction"]) {
            only_keys(node, {"sfunction", "parameters"}, "S-function block '" + name + "'");
            spec.is_sfunction = true;
            spec.sfunction = text(node["sfunction"], "sfunction");
            if (const auto parameters = node["parameters"]) {
                if (!parameters.IsSequence()) fail(parameters, "parameters must be a list, one entry per dialog parameter");
                for (const auto& parameter : parameters) spec.parameters.push_back(this->parameter(parameter));
            }
            return spec;
        }
        if (!node["type"]) fail(node, "block '" + name + "' needs a type or an sfunction");
        BuiltinSpec& b = spec.builtin;
        b.type = text(node["type"], "type");
        const auto& types = builtin_types();
        if (std::find(types.begin(), types.end(), b.type) == types.end()) {
            std::string list;
            for (const auto& type : types) list += (list.empty() ? "" : ", ") + type;
            fail(node["type"], "unknown block type '" + b.type + "' (built-in types: " + list +
                                   "; an S-function block has sfunction: NAME)");
        }
        const std::string what = b.type + " block '" + name + "'";
        auto need = [&](const char* key) {
            if (!node[key]) fail(node, what + " needs '" + key + "'");
            return node[key];
        };
        auto optional_number = [&](const char* key, double fallback) {
            return node[key] ? number(node[key], key) : fallback;
        };
        if (b.type == "Constant") {
            only_keys(node, {"type", "value"}, what);
            b.values = numbers(need("value"), "value");
            if (b.values.empty()) fail(node, what + " needs at least one value");
        } else if (b.type == "Clock") {
            only_keys(node, {"type"}, what);
        } else if (b.type == "Step") {
            only_keys(node, {"type", "time", "before", "after"}, what);
            b.time = optional_number("time", 0.0);
            b.before = optional_number("before", 0.0);
            b.after = optional_number("after", 1.0);
        } else if (b.type == "Ramp") {
            only_keys(node, {"type", "slope", "start", "initial"}, what);
            b.slope = number(need("slope"), "slope");
            b.time = optional_number("start", 0.0);
            b.initial = optional_number("initial", 0.0);
        } else if (b.type == "Sine") {
            only_keys(node, {"type", "amplitude", "frequency", "phase", "bias"}, what);
            b.amplitude = optional_number("amplitude", 1.0);
            b.frequency = optional_number("frequency", 1.0);
            b.phase = optional_number("phase", 0.0);
            b.bias = optional_number("bias", 0.0);
        } else if (b.type == "Table") {
            only_keys(node, {"type", "file"}, what);
            table(need("file"), b);
        } else if (b.type == "Gain") {
            only_keys(node, {"type", "gain"}, what);
            b.values = numbers(need("gain"), "gain");
            if (b.values.empty()) fail(node, what + " needs at least one gain");
        } else if (b.type == "Sum") {
            only_keys(node, {"type", "signs"}, what);
            b.signs = node["signs"] ? text(node["signs"], "signs") : "++";
            if (b.signs.empty() || b.signs.find_first_not_of("+-") != std::string::npos)
                fail(node["signs"], what + ": signs is a string of + and -, one per input, such as \"+-\"");
        } else if (b.type == "Product" || b.type == "Mux") {
            only_keys(node, {"type", "inputs"}, what);
            b.inputs = node["inputs"] ? integer(node["inputs"], "inputs") : 2;
            if (b.inputs < 1 || b.inputs > 256) fail(node["inputs"], what + " takes 1 to 256 inputs");
        } else if (b.type == "Selector") {
            only_keys(node, {"type", "elements"}, what);
            const YAML::Node elements = need("elements");
            for (const auto& item : elements.IsSequence() ? elements : YAML::Node(std::vector<YAML::Node>{elements})) {
                const int index = integer(item, "an element");
                if (index < 0) fail(item, what + ": elements count from 0");
                b.indices.push_back(index);
            }
            if (b.indices.empty()) fail(node, what + " selects no elements");
        } else if (b.type == "Integrator") {
            only_keys(node, {"type", "initial"}, what);
            b.values = node["initial"] ? numbers(node["initial"], "initial") : std::vector<double>{0.0};
            if (b.values.empty()) fail(node, what + ": initial needs at least one value");
        } else if (b.type == "Lag") {
            only_keys(node, {"type", "time_constant", "initial"}, what);
            b.time_constant = number(need("time_constant"), "time_constant");
            if (!(b.time_constant > 0.0)) fail(node["time_constant"], what + ": time_constant must be positive");
            b.values = node["initial"] ? numbers(node["initial"], "initial") : std::vector<double>{0.0};
            if (b.values.empty()) fail(node, what + ": initial needs at least one value");
        }
        return spec;
    }

    ModelSpec model(const YAML::Node& root) const {
        ModelSpec spec;
        spec.source = source_;
        if (!root.IsMap()) fail_at(1, "a model is a map with blocks, connections, solver and log");
        only_keys(root, {"blocks", "connections", "solver", "log", "search_path"}, "the model");

        if (const auto solver = root["solver"]) {
            if (!solver.IsMap()) fail(solver, "solver must be a map such as {method: ode4, step: 0.001, stop: 10}");
            only_keys(solver, {"method", "step", "stop"}, "solver");
            if (solver["method"]) spec.solver.method = text(solver["method"], "method");
            const auto& methods = solver_methods();
            if (std::find(methods.begin(), methods.end(), spec.solver.method) == methods.end())
                fail(solver["method"], "unknown solver '" + spec.solver.method + "' (known: ode1, ode2, ode3, ode4)");
            if (solver["step"]) spec.solver.step = number(solver["step"], "step");
            if (solver["stop"]) spec.solver.stop = number(solver["stop"], "stop");
            if (!(spec.solver.step > 0.0)) fail(solver["step"], "step must be positive");
            if (!(spec.solver.stop >= 0.0) || !std::isfinite(spec.solver.stop))
                fail(solver["stop"], "stop must be a finite time, not negative");
        }

        const auto blocks = root["blocks"];
        if (!blocks || !blocks.IsMap() || blocks.size() == 0) fail_at(line(root), "the model needs a map of blocks");
        std::set<std::string> names;
        for (const auto& entry : blocks) {
            const std::string name = text(entry.first, "a block name");
            if (!std::regex_match(name, std::regex("[A-Za-z_][A-Za-z0-9_]*")))
                fail(entry.first, "block name '" + name + "' must be letters, digits and _");
            if (!names.insert(name).second) fail(entry.first, "block '" + name + "' is defined twice");
            spec.blocks.push_back(block(name, entry.second));
        }

        if (const auto connections = root["connections"]) {
            if (!connections.IsSequence()) fail(connections, "connections is a list of 'block.port -> block.port'");
            for (const auto& item : connections) {
                if (!item.IsScalar()) fail(item, "a connection is written 'block.port -> block.port[, block.port...]'");
                const std::string text = item.Scalar();
                const auto arrow = text.find("->");
                if (arrow == std::string::npos) fail(item, "a connection needs '->': '" + text + "'");
                const SignalRef from = signal(item, text.substr(0, arrow), false);
                std::stringstream targets(text.substr(arrow + 2));
                std::string target;
                while (std::getline(targets, target, ',')) spec.connections.push_back({from, signal(item, target, false)});
            }
        }

        if (const auto log = root["log"]) {
            if (!log.IsMap()) fail(log, "log is a map with every and groups (or signals)");
            only_keys(log, {"every", "groups", "signals"}, "log");
            if (log["every"]) {
                spec.log_every = integer(log["every"], "every");
                if (spec.log_every < 1) fail(log["every"], "every must be at least 1");
            }
            auto refs = [&](const YAML::Node& list) {
                std::vector<SignalRef> signals;
                if (!list.IsSequence()) fail(list, "a log group is a list of signals");
                for (const auto& item : list) signals.push_back(signal(item, text(item, "a logged signal"), true));
                return signals;
            };
            if (const auto groups = log["groups"]) {
                if (!groups.IsMap()) fail(groups, "groups maps a panel name to a list of signals");
                for (const auto& entry : groups)
                    spec.log.push_back({text(entry.first, "a group name"), refs(entry.second)});
            }
            if (const auto signals = log["signals"])
                for (const auto& ref : refs(signals))
                    spec.log.push_back({ref.block + "." + std::to_string(ref.port), {ref}});
        }

        if (const auto paths = root["search_path"]) {
            if (!paths.IsSequence()) fail(paths, "search_path is a list of folders");
            for (const auto& item : paths) spec.search_path.push_back(path(text(item, "a folder")));
        }
        return spec;
    }

private:
    std::string source_;
    std::filesystem::path base_;
};

ModelSpec parse(const std::string& text, const std::string& source, const std::filesystem::path& base) {
    YAML::Node root;
    try {
        root = YAML::Load(text);
    } catch (const YAML::DeepRecursion& error) {
        // The parser's own message for this is "bad file".
        throw ModelError(source + ":" + std::to_string(error.mark.line + 1) + ": lists or maps nested too deeply");
    } catch (const YAML::ParserException& error) {
        // A common slip: block.port[element] inside a [ ] list reads as a nested list.
        const std::string hint = error.msg.find("flow") != std::string::npos
                                     ? " (inside [ ], write block.port[element] in quotes: \"fan.0[1]\")"
                                     : "";
        throw ModelError(source + ":" + std::to_string(error.mark.line + 1) + ": " + error.msg + hint);
    }
    try {
        return Reader(source, base).model(root);
    } catch (const YAML::Exception& error) {
        throw ModelError(source + ":" + std::to_string(error.mark.line + 1) + ": " + error.msg);
    }
}

}  // namespace

ModelSpec read_model_file(const std::filesystem::path& file) {
    std::ifstream in(file);
    if (!in) throw ModelError(file.string() + ": cannot open the model file");
    std::stringstream text;
    text << in.rdbuf();
    return parse(text.str(), file.string(), file.parent_path());
}

ModelSpec read_model_text(const std::string& text, const std::string& source,
                          const std::filesystem::path& base_directory) {
    return parse(text, source, base_directory);
}

ArrayPtr parameter_from_yaml(const YAML::Node& node, const std::string& source) {
    try {
        return Reader(source, ".").parameter(node);
    } catch (const YAML::Exception& error) {
        throw ModelError(source + ": " + error.msg);
    }
}

}  // namespace host
