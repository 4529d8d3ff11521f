// Each block's FMU built again from its own sources, as a user on another
// platform would: unpacked, binaries/ deleted, the files of
// sources/buildDescription.xml compiled into one shared library with only
// the folders, definitions and options it names, and that library run.
#include <gtest/gtest.h>

#include <fstream>
#include <regex>

#include "../blocksim_fixture.hpp"
#include "block_examples.hpp"
#include "block_manifest.hpp"
#include "fmu_importer.hpp"
#include "standard_rules.hpp"

namespace {

using importer::Fmu;
using importer::Instance;

// What a buildDescription.xml asks to compile.
struct BuildDescription {
    std::string model_identifier, language, compiler_options;
    std::vector<std::string> files, definitions, include_folders;
};

std::string read_text(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + file.string());
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::vector<std::string> names_of(const std::string& xml, const std::string& element) {
    std::vector<std::string> names;
    const std::regex tag("<" + element + "\\s+name=\"([^\"]*)\"");
    for (auto it = std::sregex_iterator(xml.begin(), xml.end(), tag); it != std::sregex_iterator(); ++it)
        names.push_back((*it)[1]);
    return names;
}

std::string attribute(const std::string& xml, const std::string& name) {
    std::smatch match;
    return std::regex_search(xml, match, std::regex("\\b" + name + "=\"([^\"]*)\"")) ? match[1].str() : "";
}

BuildDescription read_build_description(const fs::path& file) {
    const std::string xml = read_text(file);
    return {attribute(xml, "modelIdentifier"), attribute(xml, "language"), attribute(xml, "compilerOptions"),
            names_of(xml, "SourceFile"),       names_of(xml, "PreprocessorDefinition"),
            names_of(xml, "IncludeDirectory")};
}

// The modelDescription.xml's SourceFiles of `element`, in order.
std::vector<std::string> source_files_of(const std::string& xml, const std::string& element) {
    const std::size_t start = xml.find("<" + element + " "), end = xml.find("</" + element + ">");
    if (start == std::string::npos || end == std::string::npos) return {};
    return names_of(xml.substr(start, end - start), "File");
}

class SourceFmus : public Blocksim {
protected:
    // Block `block`'s FMU unpacked, its binaries deleted, built with
    // `compiler` from its sources alone and packed again; "" when the
    // compile failed (the test has failed then).
    fs::path rebuilt(const std::string& block, const std::string& compiler) {
        const fs::path folder = directory_ / (block + "_" + compiler);
        importer::unpack(fs::path(FMU_DIR) / (block + ".fmu"), folder);
        fs::remove_all(folder / "binaries");
        const BuildDescription build = read_build_description(folder / "sources" / "buildDescription.xml");
        EXPECT_EQ(block, build.model_identifier);
        EXPECT_EQ("C++17", build.language);
        fs::create_directories(folder / "binaries" / "linux64");
        std::string command = "cd " + shell_word((folder / "sources").string()) + " && " + compiler +
                              " -std=c++17 -O2 -fPIC -shared " + build.compiler_options;
        for (const auto& definition : build.definitions) command += " -D" + shell_word(definition);
        for (const auto& include : build.include_folders) command += " -I" + shell_word(include);
        for (const auto& source : build.files) command += " " + shell_word(source);
        command += " -o ../binaries/linux64/" + shell_word(build.model_identifier + ".so") + " 2>&1";
        FILE* pipe = popen(command.c_str(), "r");
        std::string output;
        char buffer[4096];
        while (std::size_t n = std::fread(buffer, 1, sizeof buffer, pipe)) output.append(buffer, n);
        if (pclose(pipe) != 0) {
            ADD_FAILURE() << compiler << " could not build " << block << " from its sources:\n" << command << "\n" << output;
            return {};
        }
        const fs::path fmu = directory_ / (block + "_" + compiler + ".fmu");
        importer::pack(folder, fmu);
        return fmu;
    }
};

// The two lists agree, and every listed file is there.
TEST_F(SourceFmus, TheFmuListsItsSourcesInBothInterfacesAndItsBuildDescription) {
    for (const auto& block : blocks::manifest) {
        SCOPED_TRACE(block.name);
        const fs::path folder = directory_ / block.name;
        importer::unpack(fs::path(FMU_DIR) / (std::string(block.name) + ".fmu"), folder);
        const std::string description = read_text(folder / "modelDescription.xml");
        const BuildDescription build = read_build_description(folder / "sources" / "buildDescription.xml");
        EXPECT_EQ(build.files, source_files_of(description, "CoSimulation"));
        EXPECT_EQ(build.files, source_files_of(description, "ModelExchange"));
        EXPECT_EQ("sfun/" + std::string(block.name) + ".cpp", build.files.at(0));
        for (const auto& file : build.files) EXPECT_TRUE(fs::is_regular_file(folder / "sources" / file)) << file;
        for (const auto& include : build.include_folders) EXPECT_TRUE(fs::is_directory(folder / "sources" / include)) << include;
        expect_valid_against_schema(folder / "sources" / "buildDescription.xml", "3.0/fmi3BuildDescription.xsd");
        expect_valid_against_schema(folder / "modelDescription.xml", "2.0/fmi2ModelDescription.xsd");
    }
}

// Built by g++ and by clang from the unpacked FMU alone, each block's
// library gives its worked example in both interfaces.
class SourceFmusBuiltBy : public SourceFmus, public ::testing::WithParamInterface<const char*> {};

TEST_P(SourceFmusBuiltBy, EachFmuGivesItsWorkedExample) {
    const std::string compiler = GetParam();
    if (std::system(("command -v " + compiler + " >/dev/null 2>&1").c_str()) != 0)
        GTEST_SKIP() << compiler << " is not installed (scripts/install-deps.sh clang)";
    for (const auto& block : blocks::manifest) {
        SCOPED_TRACE(compiler + " " + block.name);
        const fs::path file = rebuilt(block.name, compiler);
        if (file.empty()) continue;
        Fmu fmu(file, directory_ / ("unpacked_" + std::string(block.name) + "_" + compiler));
        for (fmi2Type type : {fmi2CoSimulation, fmi2ModelExchange}) {
            Instance instance(fmu, type);
            ASSERT_EQ(fmi2OK, instance.initialize()) << instance.last_message();
            expect_worked_example(instance, block.name);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Compilers, SourceFmusBuiltBy, ::testing::Values("g++", "clang++"),
                         [](const auto& info) { return std::string(info.param) == "g++" ? "gcc" : "clang"; });

}  // namespace
