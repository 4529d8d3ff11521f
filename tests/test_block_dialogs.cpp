// The blocks' dialogs (sfun/blocks.dialogs): what blocksim info lists and
// the Xcos dialogs offer as defaults are the example models' values.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <regex>
#include <string>
#include <vector>

#include "block_manifest.hpp"
#include "host/model/model_file.hpp"
#include "matrix.h"

namespace {

std::vector<double> numbers_in(const std::string& dialog_value) {
    static const std::regex number(R"([-+]?[0-9.]+(e[-+]?[0-9]+)?)");
    std::vector<double> values;
    for (auto it = std::sregex_iterator(dialog_value.begin(), dialog_value.end(), number);
         it != std::sregex_iterator(); ++it)
        values.push_back(std::stod(it->str()));
    return values;
}

std::vector<double> numbers_in(const mxArray* parameter) {
    const double* values = mxGetPr(parameter);
    return std::vector<double>(values, values + mxGetNumberOfElements(parameter));
}

std::string lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

}  // namespace

TEST(BlockDialogs, TheDefaultsAreTheExampleModelsValues) {
    for (const auto& block : blocks::manifest) {
        SCOPED_TRACE(block.name);
        const host::ModelSpec model = host::read_model_file(std::string(EXAMPLES_DIR) + "/" + lower(block.name) + ".yaml");
        int blocks_checked = 0;
        for (const auto& spec : model.blocks) {
            if (!spec.is_sfunction || spec.sfunction != block.name) continue;
            ASSERT_EQ(static_cast<std::size_t>(block.parameters), spec.parameters.size());
            for (std::size_t i = 0; i < block.dialog().size(); ++i)
                EXPECT_EQ(numbers_in(block.dialog()[i].default_value), numbers_in(spec.parameters[i].get()))
                    << block.dialog()[i].name;
            ++blocks_checked;
        }
        EXPECT_GT(blocks_checked, 0) << "the example model has no " << block.name << " block";
    }
}

TEST(BlockDialogs, EveryParameterHasANameOfItsOwnAndAMeaning) {
    for (const auto& block : blocks::manifest) {
        std::vector<std::string> names;
        for (const auto& parameter : block.dialog()) {
            EXPECT_TRUE(std::regex_match(parameter.name, std::regex("[a-z_]+"))) << parameter.name;
            EXPECT_GT(std::string(parameter.meaning).size(), 10u) << parameter.name;
            names.emplace_back(parameter.name);
        }
        std::sort(names.begin(), names.end());
        EXPECT_EQ(names.end(), std::adjacent_find(names.begin(), names.end())) << block.name;
        EXPECT_NE(std::string::npos, std::string(block.title).find(block.name == std::string("blower") ? "Blower"
                                                                                                      : block.name));
    }
}
