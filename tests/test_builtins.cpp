// The built-in block types: the manual's table against their definitions.
#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <string>
#include <vector>

#include "host/model/builtins.hpp"

namespace {

struct PageRow {
    std::string type;
    std::vector<std::string> keys;
    std::vector<std::string> defaults;  // the text in parentheses after a key up to , ; or ), or ""
};

// The rows of the table under "Built-in blocks" in the manual (docs/running.md).
std::vector<PageRow> manual_builtin_rows() {
    std::ifstream in(BUILTINS_PAGE);
    std::string line;
    while (std::getline(in, line) && line.rfind("Built-in blocks", 0) != 0) {
    }
    std::vector<PageRow> rows;
    static const std::regex row_pattern(R"(^\| `(\w+)` \|([^|]*)\|)");
    static const std::regex key_pattern(R"(`(\w+)`( \(([^,;)]*))?)");
    while (std::getline(in, line) && (rows.empty() || !line.empty())) {
        std::smatch row;
        if (!std::regex_search(line, row, row_pattern)) continue;
        PageRow entry{row[1], {}, {}};
        const std::string keys = row[2];
        for (auto it = std::sregex_iterator(keys.begin(), keys.end(), key_pattern); it != std::sregex_iterator(); ++it) {
            entry.keys.push_back((*it)[1]);
            entry.defaults.push_back((*it)[3]);
        }
        rows.push_back(entry);
    }
    return rows;
}

TEST(Builtins, TheReadmeTableGivesEveryTypeWithItsKeysAndDefaults) {
    const auto rows = manual_builtin_rows();
    std::vector<std::string> types;
    for (const auto& row : rows) types.push_back(row.type);
    ASSERT_EQ(host::builtin_types(), types);
    for (const auto& row : rows) {
        SCOPED_TRACE(row.type);
        const auto keys = host::builtin_keys(*host::builtin_named(row.type));
        ASSERT_EQ(keys.size(), row.keys.size());
        for (std::size_t i = 0; i < keys.size(); ++i) {
            EXPECT_EQ(keys[i].name, row.keys[i]);
            if (!keys[i].required) {
                EXPECT_EQ(keys[i].default_value, row.defaults[i]) << keys[i].name;
            }
        }
    }
}

TEST(Builtins, EachTypeIsFoundByItsNameAndNoOther) {
    for (const auto& type : host::builtin_types()) {
        const auto spec = host::builtin_named(type);
        ASSERT_TRUE(spec.has_value()) << type;
        EXPECT_EQ(type, host::builtin_type(*spec));
    }
    EXPECT_FALSE(host::builtin_named("gain").has_value());
    EXPECT_FALSE(host::builtin_named("").has_value());
}

}  // namespace
