#include "host/model/builtins.hpp"

#include <charconv>
#include <utility>

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

std::string shortest(double value) {
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

// Lists the keys with the defaults the struct starts from.
class KeyLister {
public:
    void number(const char* key, double& field, Need need) { add(key, need, shortest(field)); }
    void numbers(const char* key, std::vector<double>& field, Need need) {
        add(key, need, field.size() == 1 ? shortest(field[0]) : "");
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

const char* builtin_type(const BuiltinSpec& spec) {
    return std::visit([](const auto& alternative) { return alternative.type; }, spec);
}

}  // namespace host
