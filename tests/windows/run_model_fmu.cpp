// Runs a model's FMU, exported by the Linux blocksim and unpacked in
// FOLDER, as a Windows importer does (here under Wine): loads
// binaries/win64 (win32)/NAME.dll, instantiates it for co-simulation with
// its resources folder and steps it to each time of the Linux blocksim's CSV
// of the model. It writes the FMU's outputs at those times to OUT.csv under
// the CSV's header, for run_against_linux --csv to compare value by value:
// a model without Outports has its logged signals as outputs, value
// references 1, 2, ... in the CSV's column order.
//
//   run_model_fmu FOLDER NAME LINUX.csv OUT.csv
#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "fmi/fmi2.h"

namespace {

template <typename F>
F function(HMODULE module, const char* name) {
    auto pointer = reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name)));
    if (!pointer) throw std::runtime_error(std::string("the binary does not export ") + name);
    return pointer;
}

void logger(fmi2ComponentEnvironment, fmi2String, fmi2Status, fmi2String, fmi2String message, ...) {
    va_list arguments;
    va_start(arguments, message);
    std::vfprintf(stderr, message, arguments);
    va_end(arguments);
    std::fputc('\n', stderr);
}

std::string read_file(const std::string& name) {
    std::ifstream in(name, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + name);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string guid_of(const std::string& description) {
    const auto start = description.find("guid=\"");
    const auto end = start == std::string::npos ? start : description.find('"', start + 6);
    if (end == std::string::npos) throw std::runtime_error("the modelDescription.xml has no guid");
    return description.substr(start + 6, end - start - 6);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 5) {
        std::fprintf(stderr, "usage: run_model_fmu FOLDER NAME LINUX.csv OUT.csv\n");
        return 2;
    }
    try {
        const std::string folder = argv[1], name = argv[2];
        const std::string binary = folder + "/binaries/" + FMU_PLATFORM + "/" + name + ".dll";
        HMODULE module = LoadLibraryA(binary.c_str());
        if (!module) throw std::runtime_error("cannot load " + binary + ": error " + std::to_string(GetLastError()));

        std::ifstream linux_csv(argv[3]);
        std::string header, line;
        if (!std::getline(linux_csv, header)) throw std::runtime_error(std::string("cannot read ") + argv[3]);
        std::vector<std::string> times;
        while (std::getline(linux_csv, line)) times.push_back(line.substr(0, line.find(',')));
        std::vector<fmi2ValueReference> references;
        for (char c : header)
            if (c == ',') references.push_back(static_cast<fmi2ValueReference>(references.size() + 1));

        const fmi2CallbackFunctions callbacks{logger, calloc, free, nullptr, nullptr};
        const std::string guid = guid_of(read_file(folder + "/modelDescription.xml"));
        const std::string resources = "file://" + folder + "/resources";
        fmi2Component c = function<decltype(&fmi2Instantiate)>(module, "fmi2Instantiate")(
            name.c_str(), fmi2CoSimulation, guid.c_str(), resources.c_str(), &callbacks, fmi2False, fmi2False);
        if (!c) throw std::runtime_error("fmi2Instantiate failed");
        auto check = [](fmi2Status status, const char* call) {
            if (status != fmi2OK) throw std::runtime_error(std::string(call) + " failed");
        };
        check(function<decltype(&fmi2SetupExperiment)>(module, "fmi2SetupExperiment")(c, fmi2False, 0, 0, fmi2False, 0),
              "fmi2SetupExperiment");
        check(function<decltype(&fmi2EnterInitializationMode)>(module, "fmi2EnterInitializationMode")(c),
              "fmi2EnterInitializationMode");
        check(function<decltype(&fmi2ExitInitializationMode)>(module, "fmi2ExitInitializationMode")(c),
              "fmi2ExitInitializationMode");
        const auto get_real = function<decltype(&fmi2GetReal)>(module, "fmi2GetReal");
        const auto do_step = function<decltype(&fmi2DoStep)>(module, "fmi2DoStep");

        std::ofstream out(argv[4], std::ios::binary);  // "\n" lines, as blocksim writes them
        out << header << "\n";
        std::vector<double> values(references.size());
        char number[32];
        for (std::size_t row = 0; row < times.size(); ++row) {
            check(get_real(c, references.data(), references.size(), values.data()), "fmi2GetReal");
            out << times[row];
            for (double value : values) {
                std::snprintf(number, sizeof number, "%.17g", value);
                out << "," << number;
            }
            out << "\n";
            if (row + 1 < times.size()) {
                const double t = std::stod(times[row]), next = std::stod(times[row + 1]);
                check(do_step(c, t, next - t, fmi2True), "fmi2DoStep");
            }
        }
        out.close();
        if (!out) throw std::runtime_error(std::string("cannot write ") + argv[4]);
        function<decltype(&fmi2Terminate)>(module, "fmi2Terminate")(c);
        function<decltype(&fmi2FreeInstance)>(module, "fmi2FreeInstance")(c);
        std::printf("stepped the FMU through %zu rows\n", times.size());
    } catch (const std::exception& error) {
        std::fprintf(stderr, "run_model_fmu: %s\n", error.what());
        return 1;
    }
    return 0;
}
