// blocksim export: a whole model as one FMI 2.0 or 3.0 FMU, for
// co-simulation and model exchange. The FMU holds the model file, the tables
// it reads and the S-function libraries it loads; its binary runs the model
// with the model's own solver inside DoStep, or hands its equations to the
// importer's integrator.
#include <dlfcn.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <set>
#include <sstream>

#include "commands/command_line.hpp"
#include "commands/commands.hpp"
#include "commands/interrupt.hpp"
#include "commands/search_path.hpp"
#include "commands/text.hpp"
#include "export/zip_writer.hpp"
#include "fmi/model_description.hpp"
#include "fmi/model_export.hpp"
#include "host/model/model_file.hpp"
#include "host/sfunction/library.hpp"
#include "output/output_file.hpp"
#include "output/outputs.hpp"

namespace blocksim {

namespace fs = std::filesystem;

namespace {

// What goes into the FMU: files by their names inside it.
struct Plan {
    host::ModelSpec model;
    fmu::Description description;
    fmu::ModelExport facts;
    std::string model_exchange_refusal;                   // empty: the FMU offers model exchange
    std::vector<std::string> platforms;                   // those the FMU has binaries for
    std::vector<std::string> notes;                       // what the user should know of it
    std::vector<std::pair<std::string, fs::path>> files;  // name in the FMU, file to read
    std::vector<std::pair<std::string, fs::path>> binaries;
};

std::string read_bytes(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) throw host::HostError("cannot read " + file.string());
    std::string bytes((std::istreambuf_iterator<char>(in)), {});
    if (in.bad()) throw host::HostError("cannot read " + file.string());
    return bytes;
}

// The binary's name: the model file's, as a C identifier.
std::string model_identifier(const fs::path& model_file) {
    std::string name = model_file.stem().string();
    for (char& c : name)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_') c = '_';
    if (name.empty() || std::isdigit(static_cast<unsigned char>(name[0]))) name = "model_" + name;
    return name;
}

// 1. The model, checked as a run checks it, with its FMU variables.
void read_and_check(const ExportOptions& options, Plan& plan) {
    plan.model = host::read_model_file(options.model);
    for (const auto& block : plan.model.blocks)
        if (block.fmu)
            throw host::HostError(plan.model.source + ":" + std::to_string(block.line) + ": block '" + block.name +
                                  "' runs an FMU; blocksim exports models of S-function and built-in blocks only, "
                                  "not an FMU within an FMU");
    complete_search_path(plan.model, options.paths);
    const auto parameters = fmu::model_parameters(plan.model, options.parameters);
    const host::Simulation simulation{host::ModelSpec(plan.model)};
    plan.model_exchange_refusal = fmu::model_exchange_refusal(simulation);
    plan.description.model_exchange = plan.model_exchange_refusal.empty();
    plan.description.variables = fmu::model_variables(simulation, plan.model, parameters, plan.description.model_exchange);
    if (plan.description.model_exchange)
        plan.description.continuous_states = static_cast<unsigned>(simulation.state_names().size());
    // A variable-step model takes communication steps of any length; its
    // log interval, when it has one, is the one suggested.
    if (is_variable_step(plan.model.solver.method)) plan.description.step_size = simulation.log_interval();
    else plan.description.step_size = plan.model.solver.step;
    bool outputs = false;
    for (const auto& v : plan.description.variables) outputs |= v.causality == fmu::Causality::output;
    if (!outputs) throw host::HostError(options.model.string() + " has no Outport block and logs no signal: the FMU would have no outputs");
    for (const auto& entry : parameters) plan.facts.parameters.push_back(entry.column());
}

// 2. The model file and its tables, at their places relative to the model.
void gather_model_files(const ExportOptions& options, Plan& plan) {
    const fs::path folder = fs::absolute(options.model).parent_path().lexically_normal();
    for (const auto& read : host::files_read(plan.model)) {
        const fs::path relative = fs::absolute(read.file).lexically_normal().lexically_relative(folder);
        if (relative.empty() || *relative.begin() == "..")
            throw host::HostError(read.role + ", " + read.file.string() + ", is outside the model's folder, " +
                                  folder.string() + ": an FMU holds what is in that folder, so move it there");
        plan.files.emplace_back(std::string("resources/") + fmu::model_folder + "/" + relative.generic_string(), read.file);
    }
    plan.facts.model = fs::path(fmu::model_folder) / fs::path(options.model).filename();
}

// The platforms an FMU can carry binaries for.
struct Platform {
    const char* name;            // on the command line, and FMI 2.0's binaries folder
    const char* fmi3_folder;     // FMI 3.0's binaries folder
    const char* binary_suffix;   // of the binary that runs a model
    const char* library_suffix;  // of the S-function libraries
};
constexpr Platform platforms[] = {
    {"linux64", "x86_64-linux", ".so", ".mexa64"},
    {"win64", "x86_64-windows", ".dll", ".mexw64"},
    {"win32", "x86-windows", ".dll", ".mexw32"},
};

// What one platform adds to the FMU; `missing` says why it cannot.
struct PlatformFiles {
    std::vector<std::pair<std::string, fs::path>> libraries, binaries;
    std::string missing;
    bool found = false;  // its binary that runs a model is there
};

std::string binaries_folder(const ExportOptions& options, const Platform& platform) {
    return std::string("binaries/") + (options.fmi_version == 3 ? platform.fmi3_folder : platform.name) + "/";
}

// Linux: the model's S-function libraries as this blocksim finds them, the
// binary that runs a model from blocksim's library folders and the MEX
// library this blocksim runs with.
PlatformFiles linux_files(const ExportOptions& options, const Plan& plan, const std::set<std::string>& sfunctions) {
    const Platform& platform = platforms[0];
    PlatformFiles files;
    for (const auto& name : sfunctions)
        files.libraries.emplace_back(std::string("resources/") + fmu::libraries_folder + "/" + name + host::library_suffix,
                                     host::find_library(name, plan.model.search_path));
    const std::string binary_name = std::string(fmu::model_binary) + platform.binary_suffix;
    fs::path binary;
    for (const auto& folder : library_search_path(options.paths))
        if (fs::exists(folder / binary_name)) {
            binary = folder / binary_name;
            break;
        }
    if (binary.empty())
        throw host::HostError("cannot find " + binary_name + ", the FMU binary that runs a model, in blocksim's library folders");
    Dl_info mex{};
    if (!dladdr(reinterpret_cast<void*>(&mxCreateDoubleMatrix), &mex) || !mex.dli_fname)
        throw host::HostError("cannot find the MEX library this blocksim runs with");
    const std::string folder = binaries_folder(options, platform);
    files.binaries.emplace_back(folder + plan.description.model_name + platform.binary_suffix, binary);
    files.binaries.emplace_back(folder + fs::path(mex.dli_fname).filename().string(), mex.dli_fname);
    files.found = true;
    return files;
}

// Windows: a folder win64 (win32) beside blocksim's libraries or in a
// --path folder, as make windows leaves it: the binary that runs a model,
// the DLLs it needs and the blocks' libraries for that Windows.
PlatformFiles windows_files(const ExportOptions& options, const Plan& plan, const std::set<std::string>& sfunctions,
                            const Platform& platform) {
    PlatformFiles files;
    const std::string binary_name = std::string(fmu::model_binary) + platform.binary_suffix;
    fs::path folder;
    std::string searched;
    for (const auto& place : library_search_path(options.paths)) {
        searched += (searched.empty() ? "" : ", ") + (place / platform.name).string();
        if (fs::exists(place / platform.name / binary_name)) {
            folder = place / platform.name;
            break;
        }
    }
    if (folder.empty()) {
        files.missing = "no " + binary_name + " in " + searched + " (make windows builds it)";
        return files;
    }
    files.found = true;
    for (const auto& name : sfunctions) {
        const fs::path library = folder / (name + platform.library_suffix);
        if (!fs::exists(library)) {
            files.missing = std::string("no ") + platform.name + " library of S-function '" + name + "' in " + folder.string();
            return files;
        }
        files.libraries.emplace_back(std::string("resources/") + fmu::libraries_folder + "/" + name + platform.library_suffix,
                                     library);
    }
    const std::string binaries = binaries_folder(options, platform);
    for (const auto& entry : fs::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        if (entry.path().extension() == ".dll" && name != binary_name) files.binaries.emplace_back(binaries + name, entry.path());
    }
    files.binaries.emplace_back(binaries + plan.description.model_name + platform.binary_suffix, folder / binary_name);
    return files;
}

// 3. For each platform asked for (without --platforms: each whose binaries
//    are found), the binaries that run the model and the S-function
//    libraries it loads. A platform asked for that cannot be built is
//    refused; one not asked for is left out, with a note where its folder
//    is there but incomplete.
void gather_binaries(const ExportOptions& options, Plan& plan) {
    plan.description.model_name = model_identifier(options.model);
    std::set<std::string> sfunctions;
    for (const auto& block : plan.model.blocks)
        if (block.is_sfunction) sfunctions.insert(block.sfunction);
    for (const Platform& platform : platforms) {
        const bool asked = std::find(options.platforms.begin(), options.platforms.end(), platform.name) !=
                           options.platforms.end();
        if (!asked && !options.platforms.empty()) continue;
        const PlatformFiles files = &platform == &platforms[0] ? linux_files(options, plan, sfunctions)
                                                               : windows_files(options, plan, sfunctions, platform);
        if (!files.missing.empty()) {
            if (asked) throw host::HostError(std::string("cannot export for ") + platform.name + ": " + files.missing);
            if (files.found) plan.notes.push_back(std::string(platform.name) + " left out: " + files.missing);
            continue;
        }
        plan.platforms.push_back(platform.name);
        plan.files.insert(plan.files.end(), files.libraries.begin(), files.libraries.end());
        plan.binaries.insert(plan.binaries.end(), files.binaries.begin(), files.binaries.end());
    }
}

// 4. The description; its GUID is a digest of everything the FMU holds.
void describe(const ExportOptions& options, Plan& plan, const std::vector<std::string>& contents) {
    std::uint64_t a = 0xcbf29ce484222325ull, b = 0x84222325cbf29ce4ull;
    auto mix = [&](const std::string& bytes) {
        for (unsigned char c : bytes) {
            a = (a ^ c) * 0x100000001b3ull;
            b = (b ^ c) * 0x100000001b3ull + 1;
        }
    };
    for (const auto& bytes : contents) mix(bytes);
    for (const auto& name : plan.facts.parameters) mix(name);
    char guid[40];
    std::snprintf(guid, sizeof guid, "{%08x-%04x-%04x-%04x-%012llx}", static_cast<unsigned>(a >> 32),
                  static_cast<unsigned>((a >> 16) & 0xffff), static_cast<unsigned>(a & 0xffff),
                  static_cast<unsigned>(b >> 48), static_cast<unsigned long long>(b & 0xffffffffffffull));
    plan.facts.guid = guid;
    auto& d = plan.description;
    d.description = "blocksim model " + fs::path(options.model).filename().string() +
                    (d.model_exchange ? " for model exchange, and for co-simulation" : " for co-simulation") +
                    " run by its " + host::solver_method_name(plan.model.solver.method) + " solver";
    d.guid = guid;
    d.generation_tool = std::string("blocksim ") + version();
    d.naming = "flat";
    d.stop_time = plan.model.solver.stop;
}

std::string pack(const ExportOptions& options, Plan& plan) {
    std::vector<std::pair<std::string, std::string>> entries;
    std::vector<std::string> contents;
    for (const auto& [name, file] : plan.files) {
        stop_if_requested("reading " + file.string());
        entries.emplace_back(name, read_bytes(file));
        contents.push_back(name + entries.back().second);
    }
    std::vector<std::pair<std::string, std::string>> binaries;
    for (const auto& [name, file] : plan.binaries) binaries.emplace_back(name, read_bytes(file));
    describe(options, plan, contents);
    std::ostringstream xml;
    if (options.fmi_version == 3) fmu::write_model_description_fmi3(xml, plan.description);
    else fmu::write_model_description(xml, plan.description);
    ZipWriter zip;
    zip.add("modelDescription.xml", xml.str());
    for (const auto& [name, bytes] : binaries) zip.add(name, bytes, true);
    for (const auto& [name, bytes] : entries) zip.add(name, bytes);
    zip.add(std::string("resources/") + fmu::export_file, fmu::export_text(plan.facts));
    return zip.finish();
}

}  // namespace

void setup_export_command(CLI::App& command, ExportOptions& options) {
    command.description(
        "Writes MODEL as one FMI 2.0 or 3.0 FMU: the model, its tables and the S-function libraries it loads, run "
        "by the model's own solver inside DoStep (co-simulation) or by the importer's (model exchange, unless a "
        "block's outputs lag one evaluation). Inport and Outport blocks are the FMU's inputs and "
        "outputs, named after their blocks; without an Outport, every logged signal is an output, named after its "
        "label and with its unit.");
    command.add_option_function<std::string>(
               "MODEL", [&options](const std::string& word) { options.model = checked_path("the model file", as_typed(word)); },
               "the model file")
        ->required();
    command.add_option_function<std::string>(
               "--fmu", [&options](const std::string& word) { options.fmu = checked_path("--fmu", as_typed(word)); },
               "the FMU to write (NAME.fmu)")
        ->required()
        ->type_name("FILE");
    command.add_option_function<std::vector<std::string>>(
               "--parameter",
               [&options](const std::vector<std::string>& words) {
                   for (const auto& word : words) options.parameters.push_back(as_typed(word));
               },
               "a value the importer may set before initialization, named as a sweep names it: fan.parameter1, "
               "fan.parameter2[1], scavenge.time_constant (repeatable)")
        ->type_name("NAME")
        ->allow_extra_args(false);
    command.add_option("--platforms", options.platforms,
                       "the platforms to add binaries for, of linux64, win64 and win32 (the Windows ones from a "
                       "folder win64, win32 that make windows leaves beside blocksim's libraries); without it, every "
                       "platform whose binaries are found")
        ->check(CLI::IsMember({"linux64", "win64", "win32"}))
        ->delimiter(',')
        ->type_name("LIST");
    command.add_option("--fmi", options.fmi_version, "the FMI version of the FMU: 2 (FMI 2.0) or 3 (FMI 3.0)")
        ->check(CLI::IsMember({2, 3}))
        ->type_name("VERSION")
        ->capture_default_str();
    add_path_list_option(command, "--path", options.paths, "a folder of S-function libraries, searched first");
}

int export_command(const ExportOptions& options) {
    if (options.fmu.extension() != ".fmu")
        throw UsageError("--fmu names the FMU to write, which ends in .fmu, not '" + options.fmu.string() + "'");
    // A signal at any moment ends the export, with an FMU of an earlier
    // export at that name as it was.
    const StopOnSignals signals;
    Plan plan;
    read_and_check(options, plan);
    gather_model_files(options, plan);
    refuse_output_over_inputs(options.fmu, "FMU", "--fmu", host::files_read(plan.model));
    gather_binaries(options, plan);
    const bool earlier = fs::exists(options.fmu);
    try {
        OutputFile fmu(options.fmu);
        const std::string archive = pack(options, plan);
        stop_if_requested("packing " + options.fmu.string());
        fmu.write(archive);
        stop_if_requested("writing " + options.fmu.string());
        fmu.commit();
    } catch (const Interrupted& stopped) {
        std::cerr << "blocksim: " << stopped.what() << "; "
                  << (earlier ? options.fmu.string() + " is as it was" : "no FMU was written") << "\n";
        return 128 + stop_signal;
    }
#ifdef MODEL_FMU_NEEDS_SHARED_YAML_CPP
    std::cerr << "blocksim: warning: this blocksim was built with the system's shared yaml-cpp, and the FMU's binary "
                 "needs it on every machine that runs the FMU (scripts/build-static-libs.sh linux, then build again)\n";
#endif
    std::size_t inputs = 0, outputs = 0;
    for (const auto& v : plan.description.variables) {
        inputs += v.causality == fmu::Causality::input;
        outputs += v.causality == fmu::Causality::output;
    }
    if (!plan.model_exchange_refusal.empty())
        std::cerr << "blocksim: the FMU is for co-simulation only: " << plan.model_exchange_refusal << "\n";
    for (const auto& note : plan.notes) std::cerr << "blocksim: " << note << "\n";
    std::cout << options.fmu.string() << ": FMI " << options.fmi_version << ".0 FMU " << plan.description.model_name
              << (plan.description.model_exchange ? " for model exchange and co-simulation, " : " for co-simulation, ")
              << count_of(static_cast<long long>(inputs), "input") << ", "
              << count_of(static_cast<long long>(outputs), "output") << ", "
              << count_of(static_cast<long long>(plan.facts.parameters.size()), "parameter") << ", ";
    std::cout << host::solver_method_name(plan.model.solver.method) << " solver";
    if (!is_variable_step(plan.model.solver.method)) std::cout << ", step " << format_number(plan.model.solver.step) << " s";
    std::cout << "; binaries for";
    for (std::size_t i = 0; i < plan.platforms.size(); ++i) std::cout << (i ? ", " : " ") << plan.platforms[i];
    std::cout << "\n";
    return 0;
}

}  // namespace blocksim
