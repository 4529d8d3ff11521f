#include "host/model/model_file.hpp"

#include <yaml-cpp/depthguard.h>
#include <yaml-cpp/yaml.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>

#include "host/model/table_file.hpp"
#include "host/model/yaml_reader.hpp"
#include "host/common/suggestions.hpp"

namespace host {

namespace {

class Reader : public YamlReader {
public:
    using YamlReader::YamlReader;

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
        if (node["fmu"]) {
            only_keys(node, {"fmu", "interface", "parameters", "step"}, "FMU block '" + name + "'");
            FmuBlockSpec fmu;
            fmu.file = path(text(node["fmu"], "fmu"));
            if (const auto asked = node["interface"]) {
                fmu.fmi_interface = text(asked, "interface");
                if (fmu.fmi_interface != "cs" && fmu.fmi_interface != "me")
                    fail(asked, "interface is cs (co-simulation) or me (model exchange), not '" + fmu.fmi_interface + "'");
            }
            if (const auto parameters = node["parameters"]) {
                if (!parameters.IsMap())
                    fail(parameters, "an FMU block's parameters are a map of start values by variable name");
                for (const auto& item : parameters) {
                    const std::string variable = text(item.first, "a variable's name");
                    fmu.starts.emplace_back(variable, item.second.IsSequence()
                                                          ? numbers(item.second, "the start of " + variable)
                                                          : std::vector<double>{number(item.second, "the start of " + variable)});
                }
            }
            if (const auto step = node["step"]) {
                fmu.step = number(step, "step");
                if (!(*fmu.step > 0)) fail(step, "an FMU block's step must be positive");
            }
            spec.fmu = std::move(fmu);
            return spec;
        }
        if (!node["type"]) fail(node, "block '" + name + "' needs a type, an sfunction or an fmu");
        const std::string type = text(node["type"], "type");
        const auto builtin = builtin_named(type);
        if (!builtin) {
            std::string list;
            for (const auto& known : builtin_types()) list += (list.empty() ? "" : ", ") + known;
            fail(node["type"], "unknown block type '" + type + "'" + did_you_mean(type, builtin_types()) +
                                   " (built-in types: " + list + "; an S-function block has sfunction: NAME)");
        }
        spec.builtin = *builtin;
        std::visit([&](auto& keys) { read_keys(node, type + " block '" + name + "'", keys); }, spec.builtin);
        return spec;
    }

    template <typename Keys>
    void read_keys(const YAML::Node& node, const std::string& what, Keys& keys) const;

    ModelSpec model(const YAML::Node& root) const {
        ModelSpec spec;
        spec.source = source();
        if (!root.IsMap()) fail_at(1, "a model is a map with blocks, connections, solver and log");
        only_keys(root, {"blocks", "connections", "solver", "log", "search_path"}, "the model");
        if (const auto solver = root["solver"]) spec.solver = this->solver(solver);
        spec.blocks = blocks(root);
        if (const auto connections = root["connections"]) spec.connections = this->connections(connections);
        if (const auto log = root["log"]) read_log(log, spec);
        if (const auto paths = root["search_path"]) {
            if (!paths.IsSequence()) fail(paths, "search_path is a list of folders");
            for (const auto& item : paths) spec.search_path.push_back(path(text(item, "a folder")));
        }
        return spec;
    }

    SolverSpec solver(const YAML::Node& node) const {
        SolverSpec solver;
        if (!node.IsMap()) fail(node, "solver must be a map such as {method: ode4, step: 0.001, stop: 10}");
        struct KeyReader {
            const Reader& reader;
            const YAML::Node& node;
            std::set<std::string> names{"method"};
            void number(const char* key, double& value, SolverUse, const char*) {
                names.insert(key);
                if (node[key]) value = reader.number(node[key], key);
            }
            void optional_number(const char* key, std::optional<double>& value, SolverUse, const char*) {
                names.insert(key);
                if (node[key]) value = reader.number(node[key], key);
            }
        };
        KeyReader keys{*this, node};
        solver.keys(keys);
        only_keys(node, keys.names, "solver");
        if (node["method"]) {
            const std::string name = text(node["method"], "method");
            const auto method = solver_method_named(name);
            if (!method)
                fail(node["method"], "unknown solver '" + name + "' (known: " + known_solver_methods() + ")" +
                                         did_you_mean(name, solver_method_names()));
            solver.method = *method;
        }
        const std::string problem = solver_problem(solver);
        if (!problem.empty()) fail(node, problem);
        return solver;
    }

    std::vector<BlockSpec> blocks(const YAML::Node& root) const {
        const auto blocks = root["blocks"];
        if (!blocks || !blocks.IsMap() || blocks.size() == 0) fail_at(line(root), "the model needs a map of blocks");
        static const std::regex block_name("[A-Za-z_][A-Za-z0-9_]*");
        std::vector<BlockSpec> specs;
        std::map<std::string, int> lines;
        for (const auto& entry : blocks) {
            const std::string name = text(entry.first, "a block name");
            if (!std::regex_match(name, block_name))
                fail(entry.first, "block name '" + name + "' must be letters, digits and _");
            const auto [it, inserted] = lines.emplace(name, line(entry.first));
            if (!inserted)
                fail(entry.first, "block '" + name + "' is defined twice (lines " + std::to_string(it->second) +
                                      " and " + std::to_string(line(entry.first)) + ")");
            specs.push_back(block(name, entry.second));
        }
        return specs;
    }

    std::vector<ConnectionSpec> connections(const YAML::Node& node) const {
        if (!node.IsSequence()) fail(node, "connections is a list of 'block.port -> block.port'");
        std::vector<ConnectionSpec> connections;
        for (const auto& item : node) {
            if (!item.IsScalar()) fail(item, "a connection is written 'block.port -> block.port[, block.port...]'");
            const std::string text = item.Scalar();
            const auto arrow = text.find("->");
            if (arrow == std::string::npos) fail(item, "a connection needs '->': '" + text + "'");
            const SignalRef from = signal(item, text.substr(0, arrow), false);
            std::stringstream targets(text.substr(arrow + 2));
            std::string target;
            while (std::getline(targets, target, ',')) connections.push_back({from, signal(item, target, false)});
        }
        return connections;
    }

    void read_log(const YAML::Node& log, ModelSpec& spec) const {
        if (!log.IsMap()) fail(log, "log is a map with every or interval, and groups or signals");
        only_keys(log, {"every", "interval", "groups", "signals"}, "log");
        spec.log_line = line(log["interval"] ? log["interval"] : log["every"] ? log["every"] : log);
        if (log["every"]) {
            spec.log_every = integer(log["every"], "every");
            if (*spec.log_every < 1) fail(log["every"], "every must be at least 1");
        }
        if (const auto interval = log["interval"]) {
            if (log["every"]) fail(interval, "log takes every or interval, not both");
            spec.log_interval = number(interval, "interval");
            if (!(*spec.log_interval > 0.0) || !std::isfinite(*spec.log_interval))
                fail(interval, "interval must be a positive number of seconds");
        }
        if (const auto groups = log["groups"]) {
            if (!groups.IsMap()) fail(groups, "groups maps a panel name to a list of signals");
            unique_keys(groups, "log groups");
            for (const auto& entry : groups) spec.log.push_back(group(text(entry.first, "a group name"), entry.second));
        }
        if (const auto signals = log["signals"])
            for (const auto& ref : signal_list(signals, "log signals"))
                spec.log.push_back({ref.label.empty() ? ref.block + "." + std::to_string(ref.port) : ref.label,
                                    {ref},
                                    {},
                                    {},
                                    ref.line,
                                    {},
                                    ref.unit});
    }

    // A list of signals, or a map with them and the x axis to plot them over.
    LogGroup group(const std::string& name, const YAML::Node& node) const {
        LogGroup group{name, {}, {}, {}, line(node), {}, {}};
        const std::string what = "log group '" + name + "'";
        if (!node.IsMap()) {
            group.signals = signal_list(node, what);
            return group;
        }
        only_keys(node, {"signals", "x", "x_range", "label", "unit"}, what);
        if (!node["signals"]) fail(node, what + " needs 'signals'");
        group.signals = signal_list(node["signals"], what);
        if (const auto label = node["label"]) group.label = text(label, "label");
        if (const auto unit = node["unit"]) group.unit = text(unit, "unit");
        if (const auto x = node["x"]) group.x = logged_signal(x);
        if (const auto range = node["x_range"]) {
            const auto bounds = numbers(range, "x_range");
            if (bounds.size() != 2 || !(bounds[0] < bounds[1]) || !std::isfinite(bounds[0]) || !std::isfinite(bounds[1]))
                fail(range, what + ": x_range is [from, to], finite, with from < to");
            group.x_range = std::make_pair(bounds[0], bounds[1]);
        }
        return group;
    }

    std::vector<SignalRef> signal_list(const YAML::Node& list, const std::string& what) const {
        if (!list.IsSequence()) fail(list, what + " is a list of signals such as [fan.2, \"fan.0[1]\"]");
        if (list.size() == 0) fail(list, what + " names no signals");
        std::vector<SignalRef> signals;
        for (const auto& item : list) signals.push_back(logged_signal(item));
        return signals;
    }

    // "fan.2", or {signal: fan.2, label: shaft power, unit: W}.
    SignalRef logged_signal(const YAML::Node& item) const {
        if (!item.IsMap()) return signal(item, text(item, "a logged signal"), true);
        only_keys(item, {"signal", "label", "unit"}, "a logged signal");
        if (!item["signal"]) fail(item, "a logged signal's map needs 'signal', as {signal: fan.2, label: power}");
        SignalRef ref = signal(item["signal"], text(item["signal"], "a logged signal"), true);
        if (const auto label = item["label"]) ref.label = text(label, "label");
        if (const auto unit = item["unit"]) ref.unit = text(unit, "unit");
        return ref;
    }

};

// Reads the keys of one built-in block, as its struct lists them, from the
// block's map; the struct's initial values are the defaults.
class KeyReader {
public:
    KeyReader(const Reader& reader, const YAML::Node& node, std::string what)
        : r_(reader), node_(node), what_(std::move(what)) {}

    void number(const char* key, double& field, Need need) {
        if (const auto value = find(key, need)) field = r_.number(value, key);
    }
    void numbers(const char* key, std::vector<double>& field, Need need) {
        const auto value = find(key, need);
        if (!value) return;
        field = r_.numbers(value, key);
        if (field.empty()) r_.fail(value, what_ + ": " + key + " needs at least one value");
    }
    void positive(const char* key, double& field) {
        number(key, field, Need::required);
        if (!(field > 0.0)) r_.fail(node_[key], what_ + ": " + key + " must be positive");
    }
    void whole(const char* key, int& field, int low, int high) {
        const auto value = find(key, Need::optional);
        if (!value) return;
        field = r_.integer(value, key);
        if (field < low || field > high)
            r_.fail(value, what_ + " takes " + std::to_string(low) + " to " + std::to_string(high) + " " + key);
    }
    void signs(const char* key, std::string& field) {
        const auto value = find(key, Need::optional);
        if (!value) return;
        field = r_.text(value, key);
        if (field.empty() || field.find_first_not_of("+-") != std::string::npos)
            r_.fail(value, what_ + ": " + key + " is a string of + and -, one per input, such as \"+-\"");
    }
    void elements(const char* key, std::vector<int>& field) {
        const auto value = find(key, Need::required);
        for (const auto& item : value.IsSequence() ? value : YAML::Node(std::vector<YAML::Node>{value})) {
            const int index = r_.integer(item, "an element");
            if (index < 0) r_.fail(item, what_ + ": elements count from 0");
            field.push_back(index);
        }
        if (field.empty()) r_.fail(node_, what_ + " selects no elements");
    }
    void choice(const char* key, std::string& field, std::initializer_list<const char*> choices) {
        const auto value = find(key, Need::optional);
        if (!value) return;
        field = r_.text(value, key);
        std::vector<std::string> known(choices.begin(), choices.end());
        if (std::find(known.begin(), known.end(), field) == known.end()) {
            std::string list;
            for (const auto& choice : known) list += (list.empty() ? "" : " or ") + choice;
            r_.fail(value, what_ + ": " + key + " is " + list + ", not '" + field + "'" + did_you_mean(field, known));
        }
    }
    void table_file(const char* key, BuiltinTable& table) {
        const auto value = find(key, Need::required);
        table.file = r_.path(r_.text(value, key));
        try {
            read_table_file(table);
        } catch (const ModelError& error) {
            r_.fail(value, error.what());
        }
        r_.count_values(value, table.times.size() * (table.columns.size() + 1));
    }

private:
    YAML::Node find(const char* key, Need need) {
        const YAML::Node value = node_[key];
        if (!value && need == Need::required) r_.fail(node_, what_ + " needs '" + key + "'");
        return value;
    }

    const Reader& r_;
    const YAML::Node& node_;
    std::string what_;
};

template <typename Keys>
void Reader::read_keys(const YAML::Node& node, const std::string& what, Keys& keys) const {
    std::set<std::string> known = {"type"};
    for (const auto& key : builtin_keys(keys)) known.insert(key.name);
    only_keys(node, known, what);
    KeyReader reader(*this, node, what);
    keys.keys(reader);
}

ModelSpec parse(const std::string& text, const std::string& source, const std::filesystem::path& base) {
    const YAML::Node root = load_yaml(text, source);
    try {
        return Reader(source, base).model(root);
    } catch (const YAML::Exception& error) {
        throw ModelError(source + ":" + std::to_string(error.mark.line + 1) + ": " + error.msg);
    }
}

}  // namespace

ModelSpec read_model_file(const std::filesystem::path& file) {
    try {
        ModelSpec spec = parse(read_yaml_file(file, "model file"), file.string(), file.parent_path());
        spec.file = file;
        return spec;
    } catch (const std::bad_alloc&) {
        throw ModelError("not enough memory to read the model file " + file.string());
    }
}

ModelSpec read_model_text(const std::string& text, const std::string& source,
                          const std::filesystem::path& base_directory) {
    return parse(text, source, base_directory);
}

ArrayPtr parameter_from_text(const std::string& text, const std::string& source) {
    YAML::Node node;
    try {
        node = YAML::Load(text);
    } catch (const YAML::Exception& error) {
        throw ModelError(source + " '" + text + "' is not a YAML value: " + error.msg);
    }
    try {
        return Reader(source, ".").parameter(node);
    } catch (const YAML::Exception& error) {
        throw ModelError(source + ": " + error.msg);
    }
}

}  // namespace host
