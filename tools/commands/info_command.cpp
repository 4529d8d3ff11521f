// blocksim info: what a block library declares for given dialog parameters;
// without them, the dialog parameters a block of this set takes. A block of
// this set's ports list their elements by name, with units.
#include <cctype>
#include <cstdio>
#include <iostream>
#include <regex>

#include "block_manifest.hpp"
#include "commands/command_line.hpp"
#include "commands/commands.hpp"
#ifdef BLOCKSIM_FMU_IMPORT
#include "host/fmu/archive.hpp"
#include "host/fmu/description.hpp"
#endif
#include "commands/options.hpp"
#include "commands/search_path.hpp"
#include "commands/text.hpp"
#include "host/model/model_file.hpp"
#include "host/sfunction/data_types.hpp"
#include "host/sfunction/instance.hpp"
#include "host/sfunction/sizes.hpp"

namespace blocksim {

namespace {

// A dialog's value as a YAML word for the command line: "[2 0.5 0.1]" -> "[2, 0.5, 0.1]".
std::string yaml_word(const std::string& dialog_value) {
    const std::string listed = std::regex_replace(dialog_value, std::regex("\\s+"), ", ");
    return listed.find(' ') == std::string::npos ? listed : shell_word(listed);
}

// " [Pa]" after a name or meaning; nothing where the unit is the user's.
std::string unit_suffix(const char* unit) { return std::string(unit) == "-" ? "" : std::string(" [") + unit + "]"; }

// The elements of a port of a block of this set, as its record names them:
// "      inlet.p [Pa]  inlet pressure p_in", when the record has that many.
void print_port_elements(const blocks::ManifestEntry* block, bool input, int port, int width) {
    if (!block) return;
    const auto signals = blocks::port_signals(*block, input, port);
    if (signals.size() != static_cast<std::size_t>(width)) return;
    std::size_t column = 0;
    for (const auto& signal : signals)
        column = std::max(column, std::string(signal.name).size() + unit_suffix(signal.unit).size());
    for (const auto& signal : signals)
        std::printf("       %-*s  %s\n", static_cast<int>(column),
                    (signal.name + unit_suffix(signal.unit)).c_str(), signal.meaning);
}

void print_dialog(const blocks::ManifestEntry& block) {
    std::cout << block.name << " takes " << count_of(block.parameters, "dialog parameter")
              << "; give them after its name to see what it declares with them:\n";
    std::size_t width = 0;
    for (const auto& parameter : block.dialog()) width = std::max(width, std::string(parameter.name).size());
    int number = 1;
    std::string example = std::string("blocksim info ") + block.name;
    for (const auto& parameter : block.dialog()) {
        std::printf("  %d  %-*s  %s%s (the examples: %s)\n", number++, static_cast<int>(width), parameter.name,
                    parameter.meaning, unit_suffix(parameter.unit).c_str(), parameter.default_value);
        example += " " + yaml_word(parameter.default_value);
    }
    std::cout << "for example:\n  " << example << "\n";
}

void print_declaration(const std::string& name, const std::string& file, const host::BlockSizes& sizes,
                       const std::vector<host::ArrayPtr>& parameters) {
    auto type = [](int id) { return host::data_type_label(id); };
    const blocks::ManifestEntry* entry = blocks::manifest_entry(name.c_str());
    std::printf("%s: level-%d S-function, %s\n", name.c_str(), sizes.level, file.c_str());
    std::printf("  dialog parameters  %d\n", sizes.dialog_parameters);
    for (std::size_t i = 0; i < parameters.size(); ++i) {
        const bool named = entry && i < static_cast<std::size_t>(entry->parameters);
        std::printf("    %zu: %s%s%s\n", i + 1, named ? entry->dialog()[i].name : "", named ? " = " : "",
                    host::describe(parameters[i].get()).c_str());
    }
    std::printf("  input ports        %d\n", sizes.input_ports);
    for (std::size_t port = 0; port < sizes.inputs.size(); ++port) {
        std::printf("    %zu: width %d, %s%s\n", port, sizes.inputs[port].width,
                    type(sizes.inputs[port].data_type).c_str(),
                    sizes.inputs[port].direct_feedthrough ? ", direct feedthrough" : "");
        print_port_elements(entry, true, static_cast<int>(port), sizes.inputs[port].width);
    }
    std::printf("  output ports       %d\n", sizes.output_ports);
    for (std::size_t port = 0; port < sizes.outputs.size(); ++port) {
        std::printf("    %zu: width %d, %s\n", port, sizes.outputs[port].width,
                    type(sizes.outputs[port].data_type).c_str());
        print_port_elements(entry, false, static_cast<int>(port), sizes.outputs[port].width);
    }
    std::printf("  states             %d continuous, %d discrete\n", sizes.continuous_states, sizes.discrete_states);
    const double period = sizes.sample_time;
    std::printf("  sample time        %s, offset %s\n",
                period < 0 ? "inherited (-1)" : period == 0 ? "continuous (0)" : format_number(period).c_str(),
                format_number(sizes.offset_time).c_str());
    std::printf("  work vectors       RWork %d, IWork %d, PWork %d, modes %d, nonsampled zero crossings %d\n",
                sizes.rwork, sizes.iwork, sizes.pwork, sizes.modes, sizes.nonsampled_zero_crossings);
    std::printf("  DWork              %d", sizes.dworks);
    if (sizes.dworks > 0)
        std::printf(" (DWork 0: width %d, %s)", sizes.dwork0.width, type(sizes.dwork0.data_type).c_str());
    std::printf("\n  options            0x%08x\n", sizes.options);
    std::printf("  sim state          %d%s\n", sizes.sim_state_compliance,
                sizes.sim_state_compliance == 1 ? " (host default)" : "");
    if (sizes.uses_registered_type)
        std::printf("  data type ids      0 to %d are the host's built-in types (6: int32); id %d is the 32-bit\n"
                    "                     integer type registered with the host, stored as an int32\n",
                    host::built_in_data_types() - 1, host::int32_status_type_id);
}

bool names_an_fmu(const std::string& name) {
    std::string suffix = name.size() > 4 ? name.substr(name.size() - 4) : "";
    for (char& c : suffix) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return suffix == ".fmu";
}

#ifdef BLOCKSIM_FMU_IMPORT
// An FMU's version, interfaces and variables, as its description gives them.
void print_fmu(const std::string& file) {
    const host::UnpackedFmu unpacked(file);
    const host::FmuDescription d = host::read_description(unpacked.folder(), file);
    std::string interfaces;
    if (d.model_exchange) interfaces = "model exchange (" + d.model_exchange->model_identifier + ")";
    if (d.model_exchange && d.co_simulation) interfaces += " and ";
    if (d.co_simulation) interfaces += "co-simulation (" + d.co_simulation->model_identifier + ")";
    std::printf("%s: FMI %s FMU of model %s for %s\n", file.c_str(), d.fmi_version.c_str(), d.model_name.c_str(),
                interfaces.c_str());
    if (!d.description.empty()) std::printf("  %s\n", d.description.c_str());
    if (!d.generation_tool.empty()) std::printf("  generated by %s\n", d.generation_tool.c_str());
    std::printf("  %s, %s\n", count_of(static_cast<long long>(d.state_count()), "continuous state").c_str(),
                count_of(static_cast<long long>(d.event_indicators), "event indicator").c_str());
    const std::vector<std::string> heading = {"name", "causality", "variability", "type", "unit", "start",
                                              "description"};
    std::vector<std::vector<std::string>> rows = {heading};
    for (const auto& v : d.variables) {
        std::string name = v.name;
        for (std::uint64_t extent : v.dimensions) name += "[" + std::to_string(extent) + "]";
        rows.push_back({name, v.causality, v.variability, v.type, v.unit, v.start.value_or(""), v.description});
    }
    std::vector<std::size_t> widths(heading.size(), 0);
    for (const auto& row : rows)
        for (std::size_t c = 0; c < row.size(); ++c) widths[c] = std::max(widths[c], row[c].size());
    std::printf("  %s:\n", count_of(static_cast<long long>(d.variables.size()), "variable").c_str());
    for (const auto& row : rows) {
        std::string line = "   ";
        for (std::size_t c = 0; c < row.size(); ++c)
            line += " " + (c + 1 < row.size() ? row[c] + std::string(widths[c] - row[c].size(), ' ') : row[c]);
        while (!line.empty() && line.back() == ' ') line.pop_back();
        std::printf("%s\n", line.c_str());
    }
}
#endif

}  // namespace

void setup_info_command(CLI::App& command, InfoOptions& options) {
    command.description(
        "Loads S-function NAME and prints its declaration for the given dialog parameters; without them, a "
        "block of this set lists the parameters it takes. NAME ending in .fmu: the FMU's version, interfaces and "
        "variables.");
    command.add_option_function<std::string>(
               "NAME", [&options](const std::string& word) { options.name = as_typed(word); },
               "the S-function, or an FMU's file")
        ->required();
    command.add_option_function<std::vector<std::string>>(
        "PARAMS",
        [&options](const std::vector<std::string>& words) {
            for (const auto& word : words) options.parameters.push_back(as_typed(word));
        },
        "its dialog parameters as YAML values: 0.7, \"[2, 0.5, 0.1]\", \"{int32: 3}\"");
    command.add_flag("--raw", options.raw, "print the size fields as the command-line call returns them");
    add_path_list_option(command, "--path", options.paths, "a folder of S-function libraries, searched first");
}

int info_command(const InfoOptions& options) {
    if (names_an_fmu(options.name)) {
        if (!options.parameters.empty() || options.raw)
            throw host::HostError("an FMU takes no dialog parameters and has no size fields: blocksim info " +
                                  shell_word(options.name));
#ifdef BLOCKSIM_FMU_IMPORT
        print_fmu(options.name);
        return 0;
#else
        throw host::HostError("this blocksim was built without FMU import: " + options.name);
#endif
    }
    const blocks::ManifestEntry* entry = blocks::manifest_entry(options.name.c_str());
    if (entry && entry->parameters > 0 && options.parameters.empty() && !options.raw) {
        print_dialog(*entry);
        return 0;
    }
    std::vector<host::ArrayPtr> parameters;
    for (const auto& text : options.parameters)
        parameters.push_back(host::parameter_from_text(text, "parameter " + std::to_string(parameters.size() + 1)));
    const auto library = host::Library::load(options.name, library_search_path(options.paths));
    std::vector<const mxArray*> views;
    for (const auto& parameter : parameters) views.push_back(parameter.get());
    const host::DeclaredSizes declared = host::declared_sizes(*library, views);
    // A block made of it takes these parameters, or says why not, as in a run.
    std::vector<host::ArrayPtr> copies;
    for (const auto& parameter : parameters) copies.push_back(host::duplicate(parameter.get()));
    host::SFunctionInstance(options.name, library, std::move(copies));

    if (options.raw) {
        for (std::size_t i = 0; i < declared.fields.size(); ++i)
            std::printf("%2zu  %-14s  %s\n", i, format_number(declared.fields[i].value).c_str(),
                        declared.fields[i].meaning);
        return 0;
    }
    print_declaration(options.name, library->file().string(), declared.sizes, parameters);
    return 0;
}

}  // namespace blocksim
