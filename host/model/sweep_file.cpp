#include "host/model/sweep_file.hpp"

#include <cmath>
#include <map>
#include <regex>

#include "host/model/model_file.hpp"
#include "host/model/yaml_reader.hpp"
#include "host/common/suggestions.hpp"
#include "host/common/text.hpp"

namespace host {

namespace {

const std::vector<std::pair<std::string, MetricKind>> metric_kinds = {
    {"final", MetricKind::final}, {"min", MetricKind::min},           {"max", MetricKind::max},
    {"mean", MetricKind::mean},   {"integral", MetricKind::integral},
};

class SweepReader : public YamlReader {
public:
    using YamlReader::YamlReader;

    SweepSpec sweep(const YAML::Node& root, const std::filesystem::path& file) const {
        if (!root.IsMap()) fail_at(1, "a sweep is a map with model, vary, design and metrics");
        only_keys(root, {"model", "vary", "design", "runs", "seed", "metrics", "slurm"}, "the sweep");
        SweepSpec spec;
        spec.file = file;
        if (!root["model"]) fail_at(1, "the sweep needs 'model', the model file it runs");
        try {
            spec.model = read_model_file(path(text(root["model"], "model")));
        } catch (const ModelError& error) {
            fail(root["model"], std::string("cannot read the model: ") + error.what());
        }
        read_design(root, spec);
        const auto vary = root["vary"];
        if (!vary || !vary.IsSequence() || vary.size() == 0)
            fail_at(vary ? line(vary) : 1, "the sweep needs 'vary', a list of the values to vary");
        for (const auto& item : vary) spec.vary.push_back(entry(item, spec));
        check_case_count(spec, vary);
        if (const auto metrics = root["metrics"]) read_metrics(metrics, spec);
        if (const auto slurm = root["slurm"]) spec.slurm = read_slurm(slurm);
        return spec;
    }

private:
    SlurmSpec read_slurm(const YAML::Node& node) const {
        if (!node.IsMap())
            fail(node, "slurm is a map such as {time: \"01:00:00\", account: engines, options: [--mem=4G]}");
        only_keys(node, {"time", "partition", "account", "qos", "options"}, "slurm");
        SlurmSpec slurm;
        const std::pair<const char*, std::string*> settings[] = {
            {"time", &slurm.time}, {"partition", &slurm.partition}, {"account", &slurm.account}, {"qos", &slurm.qos}};
        for (const auto& [key, value] : settings)
            if (const auto item = node[key]) *value = sbatch_word(item, key);
        if (const auto options = node["options"]) {
            if (!options.IsSequence()) fail(options, "slurm options is a list of #SBATCH options, as [--mem=4G]");
            for (const auto& option : options) {
                const std::string word = sbatch_word(option, "a slurm option");
                if (word.rfind("-", 0) != 0)
                    fail(option, "slurm option '" + word + "' is no option: write it as on sbatch's command line, "
                                 "as --mem=4G");
                slurm.options.push_back(word);
            }
        }
        return slurm;
    }

    // One word for an #SBATCH line: sbatch splits those lines at blanks and
    // ends them at a '#'.
    std::string sbatch_word(const YAML::Node& node, const std::string& what) const {
        const std::string word = text(node, what);
        if (word.empty() || word.find_first_of(" #'\"\\") != std::string::npos)
            fail(node, what + " '" + word + "' must be one word without blanks, quotes or '#': sbatch reads an "
                                             "#SBATCH line word by word");
        return word;
    }

    void read_design(const YAML::Node& root, SweepSpec& spec) const {
        if (const auto design = root["design"]) {
            const std::string name = text(design, "design");
            if (name == "lhs") spec.design = SweepDesign::lhs;
            else if (name != "grid")
                fail(design, "design is grid or lhs, not '" + name + "'" + did_you_mean(name, {"grid", "lhs"}));
        }
        if (spec.design == SweepDesign::grid) {
            for (const char* key : {"runs", "seed"})
                if (root[key]) fail(root[key], std::string(key) + " belongs to an lhs design; a grid runs every combination");
            return;
        }
        if (!root["runs"]) fail(root["design"], "an lhs design needs 'runs', the number of cases");
        spec.runs = integer(root["runs"], "runs");
        if (spec.runs < 1) fail(root["runs"], "runs must be at least 1");
        if (const auto seed = root["seed"]) {
            const double value = number(seed, "seed");
            if (!(value >= 0 && value <= 9007199254740992.0) || value != std::floor(value))
                fail(seed, "seed is a whole number from 0 to 2^53");
            spec.seed = static_cast<std::uint64_t>(value);
        }
    }

    SweepEntry entry(const YAML::Node& node, const SweepSpec& spec) const {
        if (!node.IsMap())
            fail(node, "an entry of vary is a map such as {block: fan, parameter: 1, values: [0.6, 0.7]}");
        only_keys(node, {"block", "parameter", "element", "key", "values", "range", "count"}, "an entry of vary");
        SweepEntry entry;
        entry.line = line(node);
        if (!node["block"]) fail(node, "an entry of vary needs 'block'");
        entry.block = text(node["block"], "block");
        const BlockSpec& block = find_block(node["block"], entry.block, spec.model);
        if (const auto element = node["element"]) {
            entry.element = integer(element, "element");
            if (entry.element < 0) fail(element, "elements count from 0");
        }
        if (block.fmu) fmu_target(node, block, entry);
        else if (block.is_sfunction) parameter_target(node, block, entry);
        else key_target(node, block, entry);
        read_values(node, spec, entry);
        for (const auto& earlier : spec.vary)
            if (earlier.column() == entry.column())
                fail(node, entry.column() + " is varied twice (lines " + std::to_string(earlier.line) + " and " +
                               std::to_string(entry.line) + ")");
        return entry;
    }

    const BlockSpec& find_block(const YAML::Node& node, const std::string& name, const ModelSpec& model) const {
        std::vector<std::string> names;
        for (const auto& block : model.blocks) {
            if (block.name == name) return block;
            names.push_back(block.name);
        }
        fail(node, "the model has no block '" + name + "'" + did_you_mean(name, names));
    }

    // An FMU block's parameter by its variable's name; the FMU checks the
    // name and the width when the model is built.
    void fmu_target(const YAML::Node& node, const BlockSpec& block, SweepEntry& entry) const {
        const std::string what = "FMU block '" + block.name + "'";
        if (node["key"]) fail(node["key"], what + " has variables, not keys: write parameter: NAME");
        if (!node["parameter"]) fail(node, "an entry of vary for " + what + " needs 'parameter' (a variable's name)");
        entry.key = text(node["parameter"], "parameter");
        entry.fmu_variable = true;
        if (entry.element > 0) {
            for (const auto& [name, values] : block.fmu->starts)
                if (name == entry.key && static_cast<std::size_t>(entry.element) < values.size()) return;
            fail(node["element"], "element " + std::to_string(entry.element) + " of " + entry.key + ": give " +
                                      entry.key + "'s values in the block's parameters: to vary one beyond the first");
        }
    }

    void parameter_target(const YAML::Node& node, const BlockSpec& block, SweepEntry& entry) const {
        const std::string what = "S-function block '" + block.name + "'";
        if (node["key"]) fail(node["key"], what + " has dialog parameters, not keys: write parameter: N (from 1)");
        if (!node["parameter"]) fail(node, "an entry of vary for " + what + " needs 'parameter' (from 1)");
        entry.parameter = integer(node["parameter"], "parameter");
        const int count = static_cast<int>(block.parameters.size());
        if (entry.parameter < 1 || entry.parameter > count)
            fail(node["parameter"], "parameter " + std::to_string(entry.parameter) + " is out of range: " + what +
                                        " has " + std::to_string(count) +
                                        (count == 1 ? " dialog parameter" : " dialog parameters") +
                                        (count > 0 ? ", 1 to " + std::to_string(count) : ""));
        const mxArray* parameter = block.parameters[static_cast<std::size_t>(entry.parameter - 1)].get();
        if (!mxIsDouble(parameter) || mxIsComplex(parameter) || mxIsSparse(parameter))
            fail(node["parameter"], "parameter " + std::to_string(entry.parameter) + " of " + what + " is " +
                                        describe(parameter) + "; only real double parameters can be varied");
        const auto elements = static_cast<int>(mxGetNumberOfElements(parameter));
        const int element = entry.element < 0 ? 0 : entry.element;
        if (element >= elements)
            fail(node["element"] ? node["element"] : node["parameter"],
                 "element " + std::to_string(element) + " is beyond parameter " + std::to_string(entry.parameter) +
                     " of " + what + ", which has " + std::to_string(elements) +
                     (elements == 1 ? " element" : " elements"));
    }

    void key_target(const YAML::Node& node, const BlockSpec& block, SweepEntry& entry) const {
        const std::string what = std::string(builtin_type(block.builtin)) + " block '" + block.name + "'";
        if (node["parameter"]) fail(node["parameter"], what + " is a built-in block: vary one of its keys (key: NAME)");
        if (!node["key"]) fail(node, "an entry of vary for " + what + " needs 'key'");
        entry.key = text(node["key"], "key");
        BuiltinSpec copy = block.builtin;
        std::string problem;
        if (builtin_number(copy, entry.key, entry.element, problem)) return;
        if (problem.empty()) {
            std::vector<std::string> names;
            std::string list;
            for (const auto& key : builtin_keys(block.builtin)) {
                names.push_back(key.name);
                list += (list.empty() ? "" : ", ") + key.name;
            }
            problem = "has no key '" + entry.key + "'" + did_you_mean(entry.key, names) +
                      (list.empty() ? " (it has none)" : " (keys: " + list + ")");
            fail(node["key"], what + " " + problem);
        }
        fail(node["element"] && entry.element > 0 ? node["element"] : node["key"], what + ": " + problem);
    }

    void read_values(const YAML::Node& node, const SweepSpec& spec, SweepEntry& entry) const {
        const auto values = node["values"];
        const auto range = node["range"];
        if (values && range) fail(node, "an entry of vary takes values or range, not both");
        const bool lhs = spec.design == SweepDesign::lhs;
        if (values) {
            if (lhs) fail(values, "an lhs design varies ranges only: give range: [low, high]");
            if (node["count"]) fail(node["count"], "count goes with range; values lists every value");
            entry.values = numbers(values, "values");
            if (entry.values.empty()) fail(values, "values lists no values");
            for (const double value : entry.values) check_value(values, entry, spec.model, value);
            return;
        }
        if (!range) fail(node, "an entry of vary needs values: [...] or range: [low, high]");
        const auto bounds = numbers(range, "range");
        if (bounds.size() != 2 || !(bounds[0] < bounds[1]) || !std::isfinite(bounds[0]) || !std::isfinite(bounds[1]))
            fail(range, "range is [low, high], finite, with low < high");
        entry.range = std::make_pair(bounds[0], bounds[1]);
        check_value(range, entry, spec.model, bounds[0]);
        if (lhs) {
            if (node["count"]) fail(node["count"], "count has no place in an lhs design: runs sets the number of cases");
            return;
        }
        if (!node["count"]) fail(range, "a range in a grid needs count, the number of points from low to high");
        entry.count = integer(node["count"], "count");
        if (entry.count < 2) fail(node["count"], "count must be at least 2: the points include both ends of the range");
    }

    void check_value(const YAML::Node& node, const SweepEntry& entry, const ModelSpec& model, double value) const {
        // S-function values are the block's own to check, case by case.
        if (find_block(node, entry.block, model).is_sfunction) return;
        ModelSpec scratch;
        scratch.blocks.push_back(find_block(node, entry.block, model));
        try {
            set_sweep_value(scratch, entry, value);
        } catch (const ModelError& error) {
            fail(node, error.what());
        }
    }

    void check_case_count(const SweepSpec& spec, const YAML::Node& vary) const {
        double cases = spec.design == SweepDesign::lhs ? spec.runs : 1.0;
        if (spec.design == SweepDesign::grid)
            for (const auto& entry : spec.vary)
                cases *= entry.range ? entry.count : static_cast<double>(entry.values.size());
        if (cases > most_sweep_cases)
            fail(vary, "the design has " + std::to_string(static_cast<long long>(std::min(cases, 1e18))) +
                           " cases, more than the " + std::to_string(static_cast<long long>(most_sweep_cases)) +
                           " a sweep may run");
    }

    void read_metrics(const YAML::Node& metrics, SweepSpec& spec) const {
        if (!metrics.IsMap()) fail(metrics, "metrics maps a name to {signal: block.port, of: final}");
        unique_keys(metrics, "metrics");
        static const std::regex name_pattern("[A-Za-z_][A-Za-z0-9_]*");
        std::vector<std::string> kinds;
        for (const auto& [name, kind] : metric_kinds) kinds.push_back(name);
        for (const auto& item : metrics) {
            MetricSpec metric;
            metric.name = text(item.first, "a metric name");
            metric.line = line(item.first);
            if (!std::regex_match(metric.name, name_pattern))
                fail(item.first, "metric name '" + metric.name + "' must be letters, digits and _");
            if (metric.name == "case" || metric.name == "status")
                fail(item.first, "'" + metric.name + "' names a column of the summary already");
            const auto& node = item.second;
            const std::string what = "metric '" + metric.name + "'";
            if (!node.IsMap()) fail(node, what + " is a map such as {signal: fan.2, of: final}");
            only_keys(node, {"signal", "of"}, what);
            if (!node["signal"]) fail(node, what + " needs 'signal'");
            metric.signal = signal(node["signal"], text(node["signal"], "signal"), true);
            if (!node["of"]) fail(node, what + " needs 'of': one of final, min, max, mean, integral");
            const std::string kind = text(node["of"], "of");
            const auto found = std::find_if(metric_kinds.begin(), metric_kinds.end(),
                                            [&](const auto& known) { return known.first == kind; });
            if (found == metric_kinds.end())
                fail(node["of"], what + ": of is final, min, max, mean or integral, not '" + kind + "'" +
                                     did_you_mean(kind, kinds));
            metric.of = found->second;
            spec.metrics.push_back(metric);
        }
    }
};

}  // namespace

std::string SweepEntry::column() const {
    if (parameter == 0) return block + "." + key + (element > 0 ? "[" + std::to_string(element) + "]" : "");
    return block + ".parameter" + std::to_string(parameter) + (element >= 0 ? "[" + std::to_string(element) + "]" : "");
}

std::string SweepSpec::at(int line) const { return file.string() + ":" + std::to_string(line) + ": "; }

SweepSpec read_sweep_file(const std::filesystem::path& file) {
    const std::string source = file.string();
    try {
        const YAML::Node root = load_yaml(read_yaml_file(file, "sweep file"), source);
        return SweepReader(source, file.parent_path()).sweep(root, file);
    } catch (const YAML::Exception& error) {
        throw ModelError(source + ":" + std::to_string(error.mark.line + 1) + ": " + error.msg);
    } catch (const std::bad_alloc&) {
        throw ModelError("not enough memory to read the sweep file " + file.string());
    }
}

void set_sweep_value(ModelSpec& model, const SweepEntry& entry, double value) {
    for (auto& block : model.blocks) {
        if (block.name != entry.block) continue;
        const int element = entry.element < 0 ? 0 : entry.element;
        if (block.fmu) {
            for (auto& [name, values] : block.fmu->starts)
                if (name == entry.key) {
                    values.at(static_cast<std::size_t>(element)) = value;
                    return;
                }
            block.fmu->starts.push_back({entry.key, {value}});
            return;
        }
        if (block.is_sfunction) {
            auto& parameter = block.parameters.at(static_cast<std::size_t>(entry.parameter - 1));
            mxGetPr(parameter.get())[element] = value;
            return;
        }
        std::string problem;
        const auto number = builtin_number(block.builtin, entry.key, entry.element, problem);
        if (!number) throw ModelError(entry.column() + ": " + problem);
        if (number->positive && !(value > 0.0))
            throw ModelError(entry.column() + " must be positive, not " + format_number(value));
        *number->value = value;
        return;
    }
    throw ModelError("the model has no block '" + entry.block + "'");
}

std::vector<std::string> SlurmSpec::sbatch_options() const {
    std::vector<std::string> lines;
    const std::pair<const char*, const std::string*> settings[] = {
        {"--time=", &time}, {"--partition=", &partition}, {"--account=", &account}, {"--qos=", &qos}};
    for (const auto& [option, value] : settings)
        if (!value->empty()) lines.push_back(option + *value);
    lines.insert(lines.end(), options.begin(), options.end());
    return lines;
}

double sweep_value(const ModelSpec& model, const SweepEntry& entry) {
    for (const auto& block : model.blocks) {
        if (block.name != entry.block) continue;
        const int element = entry.element < 0 ? 0 : entry.element;
        if (block.is_sfunction) return mxGetPr(block.parameters.at(static_cast<std::size_t>(entry.parameter - 1)).get())[element];
        BuiltinSpec keys = block.builtin;
        std::string problem;
        const auto number = builtin_number(keys, entry.key, entry.element, problem);
        if (!number) throw ModelError(entry.column() + ": " + problem);
        return *number->value;
    }
    throw ModelError("the model has no block '" + entry.block + "'");
}

SweepEntry sweep_entry_named(const ModelSpec& model, const std::string& name) {
    // Numbers of up to six digits: more name no parameter or element a model can have.
    static const std::regex pattern(
        R"(([A-Za-z_][A-Za-z0-9_]*)\.(parameter([0-9]{1,6})|([A-Za-z_][A-Za-z0-9_]*))(\[([0-9]{1,6})\])?)");
    std::smatch match;
    if (!std::regex_match(name, match, pattern))
        throw ModelError("'" + name + "' names no parameter: write BLOCK.parameterN[ELEMENT] (N from 1, ELEMENT from 0) "
                         "for an S-function block, BLOCK.KEY[ELEMENT] for a built-in block");
    SweepEntry entry;
    entry.block = match[1];
    if (match[6].matched) entry.element = std::stoi(match[6]);
    const BlockSpec* block = nullptr;
    std::vector<std::string> names;
    for (const auto& candidate : model.blocks) {
        if (candidate.name == entry.block) block = &candidate;
        names.push_back(candidate.name);
    }
    if (!block) throw ModelError(name + ": the model has no block '" + entry.block + "'" + did_you_mean(entry.block, names));
    if (block->is_sfunction) {
        if (!match[3].matched)
            throw ModelError(name + ": S-function block '" + entry.block + "' has dialog parameters, not keys: write " +
                             entry.block + ".parameterN (N from 1)");
        entry.parameter = std::stoi(match[3]);
        const int count = static_cast<int>(block->parameters.size());
        if (entry.parameter < 1 || entry.parameter > count)
            throw ModelError(name + ": S-function block '" + entry.block + "' has " + count_of(count, "dialog parameter"));
        const mxArray* parameter = block->parameters[static_cast<std::size_t>(entry.parameter - 1)].get();
        if (!mxIsDouble(parameter) || mxIsComplex(parameter) || mxIsSparse(parameter))
            throw ModelError(name + " is " + describe(parameter) + "; only real double parameters can be varied");
        const auto elements = static_cast<int>(mxGetNumberOfElements(parameter));
        if ((entry.element < 0 ? 0 : entry.element) >= elements)
            throw ModelError(name + ": parameter " + std::to_string(entry.parameter) + " of block '" + entry.block +
                             "' has " + count_of(elements, "element"));
        return entry;
    }
    entry.key = match[2];
    BuiltinSpec keys = block->builtin;
    std::string problem;
    if (!builtin_number(keys, entry.key, entry.element, problem))
        throw ModelError(name + ": " + builtin_type(block->builtin) + " block '" + entry.block + "' " +
                         (problem.empty() ? "has no numeric key '" + entry.key + "'" : problem));
    return entry;
}

}  // namespace host
