// Reading YAML files whose every mistake is reported as "file:line: what":
// the model files and the sweep files share it. yaml-cpp stays inside
// host/model; this header is private to it.
#pragma once

#include <yaml-cpp/yaml.h>

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "host/model/model.hpp"

namespace host {

// The text of a YAML file; a ModelError when it is no regular file, is too
// large (see InputLimits) or cannot be read. `what` names it: "model file".
std::string read_yaml_file(const std::filesystem::path& file, const std::string& what);
// Parses `text`; ModelError "source:line: ..." when it is no YAML.
YAML::Node load_yaml(const std::string& text, const std::string& source);

class YamlReader {
public:
    // `source` names the file in messages; relative paths are taken from `base`.
    YamlReader(std::string source, std::filesystem::path base) : source_(std::move(source)), base_(std::move(base)) {}

    [[noreturn]] void fail(const YAML::Node& node, const std::string& what) const;
    [[noreturn]] void fail_at(int line, const std::string& what) const;
    int line(const YAML::Node& node) const { return node.IsDefined() ? node.Mark().line + 1 : 0; }

    // Every key of `map` is one of `allowed`, and none stands twice.
    void only_keys(const YAML::Node& map, const std::set<std::string>& allowed, const std::string& what) const;
    // yaml-cpp keeps the first of two equal keys: a second is refused.
    void unique_keys(const YAML::Node& map, const std::string& what) const;

    std::string text(const YAML::Node& node, const std::string& what) const;
    double number(const YAML::Node& node, const std::string& what) const;
    std::vector<double> numbers(const YAML::Node& node, const std::string& what) const;
    int integer(const YAML::Node& node, const std::string& what) const;
    // block.port, or block.port[element] where `element_allowed`.
    SignalRef signal(const YAML::Node& node, const std::string& text, bool element_allowed) const;
    std::filesystem::path path(const std::string& name) const;

    const std::string& source() const { return source_; }
    // Counts `count` more values read (a table's cells); past
    // input_limits().most_values the model is refused at `node`'s line.
    void count_values(const YAML::Node& node, std::size_t count) const;

private:
    std::string source_;
    std::filesystem::path base_;
    mutable std::size_t values_read_ = 0;
};

}  // namespace host
