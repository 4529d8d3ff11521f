#include "host/model/builtins.hpp"

#include <utility>

#include "host/common/text.hpp"

namespace host {

namespace {

template <std::size_t... I>
std::vector<std::string> names_of(std::index_sequence<I...>) {
    return {std::variant_alternative_t<I, BuiltinSpec>::type...};
}

template <std::size_t... I>
std::optional<BuiltinSpec> named(const std::string& type, std::index_sequence<I...>) {
    std::optional<BuiltinSpec> spec;
    ((type == std::variant_alternative_t<I, BuiltinSpec>::type
          ? void(spec.emplace(std::in_place_index<I>))
          : void()),
     ...);
    return spec;
}

// Lists the keys with the defaults the struct starts from.
class KeyLister {
public:
    void number(const char* key, double& field, Need need) { add(key, need, format_number(field)); }
    void numbers(const char* key, std::vector<double>& field, Need need) {
        add(key, need, field.size() == 1 ? format_number(field[0]) : "");
    }
    void positive(const char* key, double&) { add(key, Need::required, ""); }
    void whole(const char* key, int& field, int, int) { add(key, Need::optional, std::to_string(field)); }
    void signs(const char* key, std::string& field) { add(key, Need::optional, "\"" + field + "\""); }
    void elements(const char* key, std::vector<int>&) { add(key, Need::required, ""); }
    void table_file(const char* key, BuiltinTable&) { add(key, Need::required, ""); }
    void choice(const char* key, std::string& field, std::initializer_list<const char*>) {
        add(key, Need::optional, "\"" + field + "\"");
    }

    std::vector<BuiltinKey> keys;

private:
    void add(const char* key, Need need, std::string fallback) {
        const bool required = need == Need::required;
        keys.push_back({key, required, required ? "" : std::move(fallback)});
    }
};

// Finds the number behind one key, for a sweep to set.
class NumberFinder {
public:
    NumberFinder(std::string key, int element) : key_(std::move(key)), element_(element) {}

    void number(const char* key, double& field, Need) { scalar(key, field, false); }
    void positive(const char* key, double& field) { scalar(key, field, true); }
    void numbers(const char* key, std::vector<double>& field, Need) {
        if (key_ != key) return;
        const int element = element_ < 0 ? 0 : element_;
        if (static_cast<std::size_t>(element) < field.size()) found = {&field[element], false};
        else problem = "element " + std::to_string(element) + " is beyond '" + key_ + "', which has " +
                       std::to_string(field.size()) + (field.size() == 1 ? " element" : " elements");
    }
    void whole(const char* key, int&, int, int) { not_a_number(key, "a whole number that shapes the block"); }
    void signs(const char* key, std::string&) { not_a_number(key, "text"); }
    void elements(const char* key, std::vector<int>&) { not_a_number(key, "a list of elements"); }
    void table_file(const char* key, BuiltinTable&) { not_a_number(key, "a file"); }
    void choice(const char* key, std::string&, std::initializer_list<const char*>) { not_a_number(key, "a word"); }

    std::optional<BuiltinNumber> found;
    std::string problem;

private:
    void scalar(const char* key, double& field, bool positive) {
        if (key_ != key) return;
        if (element_ > 0) problem = "'" + key_ + "' is one number: it has no element " + std::to_string(element_);
        else found = {&field, positive};
    }
    void not_a_number(const char* key, const char* what) {
        if (key_ == key) problem = "'" + key_ + "' is " + std::string(what) + ", not a number that can be varied";
    }

    std::string key_;
    int element_;
};

constexpr auto alternatives = std::make_index_sequence<std::variant_size_v<BuiltinSpec>>{};

}  // namespace

const std::vector<std::string>& builtin_types() {
    static const std::vector<std::string> types = names_of(alternatives);
    return types;
}

std::optional<BuiltinSpec> builtin_named(const std::string& type) { return named(type, alternatives); }

std::vector<BuiltinKey> builtin_keys(const BuiltinSpec& spec) {
    BuiltinSpec copy = spec;
    KeyLister lister;
    std::visit([&](auto& alternative) { alternative.keys(lister); }, copy);
    return lister.keys;
}

std::optional<BuiltinNumber> builtin_number(BuiltinSpec& spec, const std::string& key, int element,
                                           std::string& problem) {
    NumberFinder finder(key, element);
    std::visit([&](auto& alternative) { alternative.keys(finder); }, spec);
    problem = finder.problem;
    return finder.found;
}

const char* builtin_type(const BuiltinSpec& spec) {
    return std::visit([](const auto& alternative) { return alternative.type; }, spec);
}

}  // namespace host
