// fmu_describe VERSION NAME GUID FOLDER OUTPUT [SOURCES]: writes the FMI
// VERSION (2 or 3) modelDescription.xml of block NAME's FMU from what its
// library in FOLDER declares with the example parameters of its record;
// FMI 2.0's lists the source files named in file SOURCES, one per line.
// OUTPUT is replaced only by a whole file.
#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iostream>

#include "block_manifest.hpp"
#include "fmi/block_variables.hpp"
#include "fmi/model_description.hpp"

int main(int argc, char** argv) {
    if ((argc != 6 && argc != 7) || (std::string(argv[1]) != "2" && std::string(argv[1]) != "3")) {
        std::cerr << "usage: fmu_describe 2|3 NAME GUID FOLDER OUTPUT [SOURCES]\n";
        return 2;
    }
    const bool fmi3 = std::string(argv[1]) == "3";
    ++argv;
    --argc;
    const std::string name = argv[1];
    const std::filesystem::path output = argv[4];
    try {
        const blocks::ManifestEntry* block = blocks::manifest_entry(name.c_str());
        if (!block) throw std::runtime_error("block " + name + " is not in the block records");
        const auto parameters = fmu::example_parameters(*block);
        host::SFunctionInstance instance(name, host::Library::load(name, {argv[3]}), fmu::parameter_arrays(parameters));
        instance.prepare();

        fmu::Description description;
        description.model_name = name;
        description.description = block->title;
        description.guid = argv[2];
        description.generation_tool = "engine blocks fmu_describe";
        description.model_exchange = true;
        description.continuous_states = static_cast<unsigned>(instance.num_cont_states());
        description.variables = fmu::block_variables(instance, *block, parameters);
        if (argc == 6) {
            std::ifstream sources(argv[5]);
            for (std::string file; std::getline(sources, file);)
                if (!file.empty()) description.source_files.push_back(file);
            if (!sources.eof() || description.source_files.empty())
                throw std::runtime_error(std::string("cannot read the source list ") + argv[5]);
        }

        const std::filesystem::path temporary = output.string() + ".partial";
        {
            std::ofstream out(temporary, std::ios::binary);
            if (fmi3) fmu::write_model_description_fmi3(out, description);
            else fmu::write_model_description(out, description);
            out.close();
            if (!out) throw std::runtime_error("cannot write " + temporary.string());
        }
        std::filesystem::rename(temporary, output);
    } catch (const std::exception& error) {
        std::cerr << "fmu_describe: " << error.what() << "\n";
        return 1;
    }
    return 0;
}
