#include "host/model/yaml_reader.hpp"

#include <cctype>

#include <yaml-cpp/depthguard.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <cmath>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <vector>

#include "host/common/suggestions.hpp"
#include "host/common/text.hpp"

namespace host {

namespace {

// What YAML would take for something else: a binary file, or tabs in the
// indentation (which YAML does not allow, with a message that does not say so).
void check_text(const std::string& text, const std::string& source) {
    if (text.find('\0') != std::string::npos) throw ModelError(source + ": not a text file");
    int line = 1;
    for (std::size_t start = 0; start < text.size(); ++line) {
        const std::size_t end = std::min(text.find('\n', start), text.size());
        const std::size_t indent_end = std::min(text.find_first_not_of(" \t", start), end);
        // Within this line's indentation only: a search to the end of the text at every line is quadratic.
        if (std::find(text.begin() + static_cast<std::ptrdiff_t>(start),
                      text.begin() + static_cast<std::ptrdiff_t>(indent_end), '\t') !=
            text.begin() + static_cast<std::ptrdiff_t>(indent_end))
            throw ModelError(source + ":" + std::to_string(line) + ": tabs are not allowed for indentation");
        start = end + 1;
    }
}

// The innermost [ or { still open at `end`, outside quotes and comments,
// with its line (0 when none is) and that line's text.
struct OpenBracket {
    int line = 0;
    char bracket = 0;
    std::string text;
};

OpenBracket unclosed_bracket(const std::string& text, std::size_t end) {
    struct Open {
        int line;
        char bracket;
        std::size_t line_start;
    };
    std::vector<Open> open;
    int line = 1;
    std::size_t line_start = 0;
    char quote = 0;
    for (std::size_t i = 0; i < std::min(end, text.size()); ++i) {
        const char c = text[i];
        if (c == '\n') {
            ++line;
            line_start = i + 1;
            if (quote == 0) continue;
        }
        if (quote != 0) {
            if (c == quote) quote = 0;
            continue;
        }
        if (c == '"' || c == '\'') quote = c;
        else if (c == '#' && (i == 0 || text[i - 1] == ' ' || text[i - 1] == '\n')) i = std::min(text.find('\n', i), end) - 1;
        else if (c == '[' || c == '{') open.push_back({line, c, line_start});
        else if ((c == ']' || c == '}') && !open.empty()) open.pop_back();
    }
    if (open.empty()) return {};
    const Open& last = open.back();
    const std::size_t stop = std::min(text.find('\n', last.line_start), text.size());
    return {last.line, last.bracket, text.substr(last.line_start, stop - last.line_start)};
}

std::string line_text(const std::string& text, int line) {
    std::size_t start = 0;
    for (int at = 1; at < line && start != std::string::npos; ++at) {
        start = text.find('\n', start);
        if (start != std::string::npos) ++start;
    }
    if (start == std::string::npos) return "";
    return text.substr(start, std::min(text.find('\n', start), text.size()) - start);
}

}  // namespace

std::string read_yaml_file(const std::filesystem::path& file, const std::string& what) {
    check_input_file(file, what);
    std::ifstream in(file, std::ios::binary);
    if (!in) throw ModelError("cannot open the " + what + " " + file.string() + ": " + std::strerror(errno));
    try {
        std::stringstream text;
        text << in.rdbuf();
        if (in.bad()) throw ModelError("cannot read the " + what + " " + file.string() + ": " + std::strerror(errno));
        return text.str();
    } catch (const std::bad_alloc&) {
        throw ModelError("not enough memory to read the " + what + " " + file.string());
    }
}

YAML::Node load_yaml(const std::string& text, const std::string& source) {
    check_text(text, source);
    try {
        return YAML::Load(text);
    } catch (const YAML::DeepRecursion& error) {
        // The parser's own message for this is "bad file".
        throw ModelError(source + ":" + std::to_string(error.mark.line + 1) + ": lists or maps nested too deeply");
    } catch (const YAML::ParserException& error) {
        const int line = error.mark.line + 1;
        if (error.msg.find("flow") == std::string::npos)
            throw ModelError(source + ":" + std::to_string(line) + ": " + error.msg);
        // A common slip: block.port[element] inside a [ ] list reads as a nested list.
        static const std::regex element_in_list(R"([A-Za-z_]\w*\.\d+\[)");
        const std::string hint = "inside [ ], write block.port[element] in quotes: \"fan.0[1]\"";
        // The parser notices a missing ] or } only where the text goes on
        // without it, lines later: point at the bracket.
        const auto open = unclosed_bracket(text, error.mark.pos);
        if (open.line > 0 && open.line < line)
            throw ModelError(source + ":" + std::to_string(open.line) + ": this '" + open.bracket +
                             "' is never closed (" + error.msg + " at line " + std::to_string(line) + ")" +
                             (std::regex_search(open.text, element_in_list) ? "; " + hint : ""));
        throw ModelError(source + ":" + std::to_string(line) + ": " + error.msg +
                         (std::regex_search(line_text(text, line), element_in_list) ? " (" + hint + ")" : ""));
    }
}

void YamlReader::fail(const YAML::Node& node, const std::string& what) const {
    fail_at(node.IsDefined() ? node.Mark().line + 1 : 0, what);
}

void YamlReader::fail_at(int line, const std::string& what) const {
    throw ModelError(source_ + (line > 0 ? ":" + std::to_string(line) : "") + ": " + what);
}

void YamlReader::only_keys(const YAML::Node& map, const std::set<std::string>& allowed,
                           const std::string& what) const {
    unique_keys(map, what);
    for (const auto& entry : map) {
        const std::string key = text(entry.first, "a key");
        if (!allowed.count(key)) {
            std::string list;
            for (const auto& name : allowed) list += (list.empty() ? "" : ", ") + name;
            fail(entry.first, "unknown key '" + key + "' in " + what +
                                  did_you_mean(key, {allowed.begin(), allowed.end()}) + " (known: " + list + ")");
        }
    }
}

void YamlReader::unique_keys(const YAML::Node& map, const std::string& what) const {
    std::map<std::string, int> lines;
    for (const auto& entry : map) {
        if (!entry.first.IsScalar()) continue;
        const auto [it, inserted] = lines.emplace(entry.first.Scalar(), line(entry.first));
        if (!inserted)
            fail(entry.first, "'" + it->first + "' stands twice in " + what +
                                  (it->second == line(entry.first)
                                       ? " (both on line " + std::to_string(it->second) + ")"
                                       : " (lines " + std::to_string(it->second) + " and " +
                                             std::to_string(line(entry.first)) + ")"));
    }
}

void YamlReader::count_values(const YAML::Node& node, std::size_t count) const {
    values_read_ += count;
    if (values_read_ > input_limits().most_values)
        fail(node, "the model holds more than " + std::to_string(input_limits().most_values) +
                       " numbers and words (each use of an alias counts)");
}

std::string YamlReader::text(const YAML::Node& node, const std::string& what) const {
    count_values(node, 1);
    if (!node.IsScalar()) fail(node, what + " must be a single word or number, not a list or map");
    const std::string control = control_character(node.Scalar());
    if (!control.empty())
        fail(node, what + " holds a control character (" + control +
                       "); names, paths and words here take no line breaks, tabs or other control characters");
    return node.Scalar();
}

double YamlReader::number(const YAML::Node& node, const std::string& what) const {
    count_values(node, 1);
    if (!node.IsScalar()) fail(node, what + " must be a number");
    try {
        return node.as<double>();
    } catch (const YAML::Exception&) {
        fail(node, what + " must be a number, not '" + node.Scalar() + "'");
    }
}

std::vector<double> YamlReader::numbers(const YAML::Node& node, const std::string& what) const {
    if (node.IsScalar()) return {number(node, what)};
    if (!node.IsSequence()) fail(node, what + " must be a number or a list of numbers");
    std::vector<double> values;
    for (const auto& item : node) values.push_back(number(item, what));
    return values;
}

int YamlReader::integer(const YAML::Node& node, const std::string& what) const {
    const double value = number(node, what);
    if (value != std::floor(value)) fail(node, what + " must be a whole number, not " + node.Scalar());
    if (!(value >= -2147483648.0 && value <= 2147483647.0))
        fail(node, what + " is out of range: " + node.Scalar() + " is not within -2147483648 .. 2147483647");
    return static_cast<int>(value);
}

SignalRef YamlReader::signal(const YAML::Node& node, const std::string& text, bool element_allowed) const {
    static const std::regex pattern(R"(^\s*([A-Za-z_][A-Za-z0-9_]*)\.(\d+)(?:\[(\d+)\])?\s*$)");
    // An FMU block's port by name: anything after the block's name that is no number.
    static const std::regex named(R"(^\s*([A-Za-z_][A-Za-z0-9_]*)\.(\S.*?)\s*$)");
    std::smatch match;
    if (!std::regex_match(text, match, pattern) && std::regex_match(text, match, named) &&
        !std::isdigit(static_cast<unsigned char>(match[2].str()[0]))) {
        SignalRef ref;
        ref.block = match[1];
        ref.port_name = match[2];
        ref.line = line(node);
        return ref;
    }
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

std::filesystem::path YamlReader::path(const std::string& name) const {
    const std::filesystem::path p(name);
    return p.is_absolute() ? p : base_ / p;
}

}  // namespace host
