// The blocks' dialogs (sfun/blocks.records): what blocksim info lists and
// the Xcos dialogs offer as defaults are the example models' values.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
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

// Each port element's record: a name an FMU can carry (dotted identifiers),
// no name twice in a block, a meaning, a unit or '-', and for an input a
// number as its example value.
TEST(BlockDialogs, EverySignalHasANameOfItsOwnAUnitAndAMeaning) {
    const std::regex fmu_name("[A-Za-z_][A-Za-z0-9_]*([.][A-Za-z_][A-Za-z0-9_]*)*");
    for (const auto& block : blocks::manifest) {
        SCOPED_TRACE(block.name);
        EXPECT_GT(block.input_count, 0);
        EXPECT_GT(block.output_count, 0);
        std::vector<std::string> names;
        for (const auto& parameter : block.dialog()) names.emplace_back(parameter.name);
        for (const auto& signals : {block.inputs(), block.outputs()}) {
            for (const auto& signal : signals) {
                EXPECT_TRUE(std::regex_match(signal.name, fmu_name)) << signal.name;
                EXPECT_GT(std::string(signal.meaning).size(), 3u) << signal.name;
                EXPECT_FALSE(std::string(signal.unit).empty()) << signal.name;
                names.emplace_back(signal.name);
            }
        }
        for (const auto& signal : block.inputs()) {
            char* end = nullptr;
            std::strtod(signal.example, &end);
            EXPECT_TRUE(*signal.example && *end == '\0') << signal.name << ": '" << signal.example << "'";
        }
        std::sort(names.begin(), names.end());
        EXPECT_EQ(names.end(), std::adjacent_find(names.begin(), names.end())) << "a name twice";
        // A port's elements follow each other, ports in order from 0.
        for (const auto& signals : {block.inputs(), block.outputs()})
            for (std::size_t i = 0; i < signals.size(); ++i)
                EXPECT_TRUE(signals[i].port == (i == 0 ? 0 : signals[i - 1].port) ||
                            signals[i].port == signals[i - 1].port + 1)
                    << signals[i].name;
    }
}
