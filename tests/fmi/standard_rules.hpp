// What the FMI 2.0 standard asks of every modelDescription.xml, as checks.
#pragma once

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <set>
#include <string>

#include "commands/text.hpp"

#include "fmu_importer.hpp"

// The combinations of causality, variability and initial the standard allows
// (FMI 2.0, section 2.2.7), with "" for no initial attribute.
inline bool legal_combination(const std::string& causality, const std::string& variability,
                              const std::string& initial) {
    if (causality == "parameter") return (variability == "fixed" || variability == "tunable") && initial == "exact";
    if (causality == "input") return (variability == "discrete" || variability == "continuous") && initial.empty();
    if (causality == "output" || causality == "local") {
        if (variability == "constant") return initial == "exact";
        return (variability == "discrete" || variability == "continuous") &&
               (initial == "exact" || initial == "approx" || initial == "calculated");
    }
    return false;
}

// Unique value references and names, legal combinations, start values
// where (and only where) the standard asks for one, only Reals continuous,
// derivatives of continuous states, every unit defined, every output in ModelStructure/Outputs
// and among the initial unknowns, which are in ascending order.
inline void expect_follows_the_standard(const importer::ModelDescription& d) {
    EXPECT_EQ("2.0", d.attributes.at("fmiVersion"));
    std::set<std::string> references, names;
    std::vector<unsigned> outputs;
    for (std::size_t i = 0; i < d.variables.size(); ++i) {
        const auto& v = d.variables[i];
        const std::string name = v.attribute("name"), causality = v.attribute("causality"),
                          variability = v.attribute("variability"), initial = v.attribute("initial");
        EXPECT_TRUE(references.insert(v.attribute("valueReference")).second) << name << ": value reference twice";
        EXPECT_TRUE(names.insert(name).second) << name << ": name twice";
        EXPECT_TRUE(legal_combination(causality, variability, initial))
            << name << ": " << causality << "/" << variability << "/" << initial;
        if (v.type != "Real") {
            EXPECT_NE("continuous", variability) << name << ": only a Real may be continuous";
        }
        EXPECT_EQ(causality == "input" || initial == "exact" || initial == "approx", v.type_attributes.count("start") > 0)
            << name;
        if (v.type_attributes.count("derivative")) {
            const auto& state = d.variables.at(std::stoul(v.type_attributes.at("derivative")) - 1);
            EXPECT_EQ("der(" + state.attribute("name") + ")", name);
            EXPECT_EQ("continuous", state.attribute("variability"));
        }
        if (v.type_attributes.count("unit")) {
            EXPECT_TRUE(d.units.count(v.type_attributes.at("unit")))
                << name << ": unit " << v.type_attributes.at("unit") << " is not among the UnitDefinitions";
        }
        if (causality == "output") outputs.push_back(static_cast<unsigned>(i + 1));
    }
    EXPECT_EQ(outputs, d.outputs);
    for (unsigned index : d.derivatives) EXPECT_TRUE(d.variables.at(index - 1).type_attributes.count("derivative"));
    EXPECT_TRUE(std::is_sorted(d.initial_unknowns.begin(), d.initial_unknowns.end()));
    for (unsigned index : outputs)
        EXPECT_NE(d.initial_unknowns.end(), std::find(d.initial_unknowns.begin(), d.initial_unknowns.end(), index));
}

// `xml` validates against the standard's schema `schema` (a file of
// FMI_SCHEMA_DIR: "2.0/fmi2ModelDescription.xsd"), as xmllint judges it.
inline void expect_valid_against_schema(const std::filesystem::path& xml, const std::string& schema) {
    const std::string command = "xmllint --noout --schema " +
                                blocksim::shell_word(std::string(FMI_SCHEMA_DIR) + "/" + schema) + " " +
                                blocksim::shell_word(xml.string()) + " 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(nullptr, pipe);
    std::string output;
    char buffer[4096];
    while (std::size_t n = std::fread(buffer, 1, sizeof buffer, pipe)) output.append(buffer, n);
    const int status = pclose(pipe);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
        << xml << " against " << schema << " (xmllint: scripts/install-deps.sh build):\n" << output;
}
