// blocksim info: what a block library declares for given dialog parameters.
#include <cstdio>
#include <optional>

#include "commands.hpp"
#include "host/model/model_file.hpp"
#include "host/sfunction/data_types.hpp"
#include "host/sfunction/instance.hpp"
#include "host/sfunction/library.hpp"
#include "search_path.hpp"
#include "simstruc.h"
#include "text.hpp"

namespace blocksim {

namespace {

const char* const field_names[SS_NUM_SIZE_FIELDS] = {
    "continuous states", "discrete states", "outputs (total width)", "inputs (total width)", "reserved",
    "direct feedthrough", "sample times", "dialog parameters", "RWork", "IWork", "PWork", "modes",
    "nonsampled zero crossings", "DWork", "input ports", "output ports", "input 0 width", "input 0 data type",
    "input 0 direct feedthrough", "input 1 width", "input 1 data type", "input 1 direct feedthrough",
    "input 2 width", "input 2 data type", "input 2 direct feedthrough", "output 0 width", "output 0 data type",
    "output 1 width", "output 1 data type", "output 2 width", "output 2 data type", "sample time",
    "offset time", "options", "simulation state compliance", "DWork 0 width", "DWork 0 data type", "level"};

}  // namespace

int info_command(const std::vector<std::string>& args) {
    std::optional<std::string> name;
    bool raw = false;
    std::vector<std::filesystem::path> extra_path;
    std::vector<host::ArrayPtr> parameters;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--raw") raw = true;
        else if (args[i] == "--path") {
            if (i + 1 >= args.size()) throw UsageError("--path needs a folder");
            extra_path.emplace_back(args[++i]);
        } else if (!name) name = args[i];
        else {
            const std::string source = "parameter " + std::to_string(parameters.size() + 1);
            parameters.push_back(host::parameter_from_text(args[i], source));
        }
    }
    if (!name) throw UsageError("info needs an S-function name");
    const auto library = host::Library::load(*name, library_search_path(extra_path));
    std::vector<const mxArray*> views;
    for (const auto& parameter : parameters) views.push_back(parameter.get());
    const std::vector<double> f = host::size_fields(*library, views);
    // A block made of it takes these parameters, or says why not, as in a run.
    std::vector<host::ArrayPtr> copies;
    for (const auto& parameter : parameters) copies.push_back(host::duplicate(parameter.get()));
    host::SFunctionInstance(*name, library, std::move(copies));
    if (f.size() != SS_NUM_SIZE_FIELDS) throw host::HostError(*name + " returned " + std::to_string(f.size()) + " size fields");

    if (raw) {
        for (int i = 0; i < SS_NUM_SIZE_FIELDS; ++i)
            std::printf("%2d  %-14s  %s\n", i, format_number(f[i]).c_str(), field_names[i]);
        return 0;
    }
    auto count = [&](int field) { return static_cast<int>(f[field]); };
    auto type = [&](double id) { return host::data_type_label(static_cast<int>(id)); };
    std::printf("%s: level-%d S-function, %s\n", name->c_str(), count(SS_SIZES_LEVEL), library->file().c_str());
    std::printf("  dialog parameters  %d\n", count(SS_SIZES_NUM_PARAMS));
    for (std::size_t i = 0; i < parameters.size(); ++i)
        std::printf("    %zu: %s\n", i + 1, host::describe(parameters[i].get()).c_str());
    std::printf("  input ports        %d\n", count(SS_SIZES_NUM_INPUT_PORTS));
    for (int port = 0; port < count(SS_SIZES_NUM_INPUT_PORTS) && port < SS_SIZES_LISTED_PORTS; ++port) {
        const int base = SS_SIZES_INPUT_PORTS + 3 * port;
        std::printf("    %d: width %d, %s%s\n", port, count(base), type(f[base + 1]).c_str(),
                    f[base + 2] ? ", direct feedthrough" : "");
    }
    std::printf("  output ports       %d\n", count(SS_SIZES_NUM_OUTPUT_PORTS));
    for (int port = 0; port < count(SS_SIZES_NUM_OUTPUT_PORTS) && port < SS_SIZES_LISTED_PORTS; ++port) {
        const int base = SS_SIZES_OUTPUT_PORTS + 2 * port;
        std::printf("    %d: width %d, %s\n", port, count(base), type(f[base + 1]).c_str());
    }
    std::printf("  states             %d continuous, %d discrete\n", count(SS_SIZES_NUM_CONT_STATES),
                count(SS_SIZES_NUM_DISC_STATES));
    const double period = f[SS_SIZES_SAMPLE_TIME];
    std::printf("  sample time        %s, offset %s\n",
                period < 0 ? "inherited (-1)" : period == 0 ? "continuous (0)" : format_number(period).c_str(),
                format_number(f[SS_SIZES_OFFSET_TIME]).c_str());
    std::printf("  work vectors       RWork %d, IWork %d, PWork %d, modes %d, nonsampled zero crossings %d\n",
                count(SS_SIZES_NUM_RWORK), count(SS_SIZES_NUM_IWORK), count(SS_SIZES_NUM_PWORK),
                count(SS_SIZES_NUM_MODES), count(SS_SIZES_NUM_NONSAMPLED_ZCS));
    std::printf("  DWork              %d", count(SS_SIZES_NUM_DWORK));
    if (count(SS_SIZES_NUM_DWORK) > 0)
        std::printf(" (DWork 0: width %d, %s)", count(SS_SIZES_DWORK_WIDTH), type(f[SS_SIZES_DWORK_DATA_TYPE]).c_str());
    std::printf("\n  options            0x%08x\n", static_cast<unsigned>(f[SS_SIZES_OPTIONS]));
    std::printf("  sim state          %d%s\n", count(SS_SIZES_SIM_STATE_COMPLIANCE),
                count(SS_SIZES_SIM_STATE_COMPLIANCE) == 1 ? " (host default)" : "");
    bool registered_type = false;
    for (int field : {static_cast<int>(SS_SIZES_DWORK_DATA_TYPE), SS_SIZES_INPUT_PORTS + 1, SS_SIZES_INPUT_PORTS + 4,
                      SS_SIZES_INPUT_PORTS + 7, SS_SIZES_OUTPUT_PORTS + 1, SS_SIZES_OUTPUT_PORTS + 3,
                      SS_SIZES_OUTPUT_PORTS + 5})
        registered_type |= f[field] >= SS_NUM_BUILT_IN_DTYPE;
    if (registered_type)
        std::printf("  data type ids      0 to %d are the host's built-in types (6: int32); id %d is the 32-bit\n"
                    "                     integer type registered with the host, stored as an int32\n",
                    SS_NUM_BUILT_IN_DTYPE - 1, host::int32_status_type_id);
    return 0;
}

}  // namespace blocksim
