// A small FMI 2.0 importer for the tests: unpacks an FMU with libzip, reads
// its modelDescription.xml, loads its binary and calls it as an FMI tool
// would. Its errors say which file and what is wrong.
#pragma once

#include <filesystem>
#include <map>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "fmi/fmi2.h"

namespace importer {

class ImportError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct ScalarVariable {
    std::map<std::string, std::string> attributes;  // of <ScalarVariable>: name, causality, ...
    std::string type;                                // "Real", "Integer", ...
    std::map<std::string, std::string> type_attributes;  // start, derivative, ...
    std::string attribute(const std::string& key) const;  // "" when absent
};

struct ModelDescription {
    std::map<std::string, std::string> attributes;  // of <fmiModelDescription>
    std::map<std::string, std::string> model_exchange, co_simulation;  // empty when absent
    std::vector<ScalarVariable> variables;
    // UnitDefinitions: each unit's name and the attributes of its BaseUnit.
    std::map<std::string, std::map<std::string, std::string>> units;
    // The ModelStructure's unknowns, as variable indices from 1.
    std::vector<unsigned> outputs, derivatives, initial_unknowns;

    const ScalarVariable& variable(const std::string& name) const;
    fmi2ValueReference value_reference(const std::string& name) const;
    std::size_t states() const { return derivatives.size(); }
};

ModelDescription parse_model_description(const std::string& xml);

// The functions of a loaded FMU binary.
struct Functions {
    decltype(&fmi2GetVersion) GetVersion;
    decltype(&fmi2Instantiate) Instantiate;
    decltype(&fmi2FreeInstance) FreeInstance;
    decltype(&fmi2SetupExperiment) SetupExperiment;
    decltype(&fmi2EnterInitializationMode) EnterInitializationMode;
    decltype(&fmi2ExitInitializationMode) ExitInitializationMode;
    decltype(&fmi2Terminate) Terminate;
    decltype(&fmi2Reset) Reset;
    decltype(&fmi2GetReal) GetReal;
    decltype(&fmi2GetInteger) GetInteger;
    decltype(&fmi2SetReal) SetReal;
    decltype(&fmi2SetInteger) SetInteger;
    decltype(&fmi2GetFMUstate) GetFMUstate;
    decltype(&fmi2GetDirectionalDerivative) GetDirectionalDerivative;
    decltype(&fmi2DoStep) DoStep;
    decltype(&fmi2GetRealStatus) GetRealStatus;
    decltype(&fmi2EnterEventMode) EnterEventMode;
    decltype(&fmi2NewDiscreteStates) NewDiscreteStates;
    decltype(&fmi2EnterContinuousTimeMode) EnterContinuousTimeMode;
    decltype(&fmi2CompletedIntegratorStep) CompletedIntegratorStep;
    decltype(&fmi2SetTime) SetTime;
    decltype(&fmi2SetContinuousStates) SetContinuousStates;
    decltype(&fmi2GetContinuousStates) GetContinuousStates;
    decltype(&fmi2GetDerivatives) GetDerivatives;
};

class Fmu {
public:
    // Unpacks `file` into `folder` (made new) and loads its binary.
    Fmu(const std::filesystem::path& file, const std::filesystem::path& folder);
    const ModelDescription& description() const { return description_; }
    const Functions& fmi() const { return functions_; }
    std::string resource_uri() const;  // file:// URI of the resources folder
    const std::filesystem::path& folder() const { return folder_; }

private:
    std::filesystem::path folder_;
    ModelDescription description_;
    Functions functions_{};
};

// Unpacks a zip archive; refuses entries that would land outside `folder`.
void unpack(const std::filesystem::path& archive, const std::filesystem::path& folder);

// Packs the files below `folder` into a zip archive, as an FMU.
void pack(const std::filesystem::path& folder, const std::filesystem::path& archive);

// One instance, freed with the object; what the FMU logged is kept.
class Instance {
public:
    Instance(const Fmu& fmu, fmi2Type type, const std::string& name = "instance", const std::string& guid = "");
    ~Instance();
    Instance(const Instance&) = delete;
    Instance& operator=(const Instance&) = delete;

    fmi2Component component() const { return component_; }
    const Functions& fmi() const { return fmu_.fmi(); }
    const Fmu& fmu() const { return fmu_; }
    const std::vector<std::string>& log() const { return log_; }
    std::string last_message() const { return log_.empty() ? "" : log_.back(); }

    // Instantiated through initialization, at time 0.
    fmi2Status initialize();
    fmi2Status set_real(const std::string& name, double value);
    double real(const std::string& name);
    int integer(const std::string& name);
    // The status of the last real()/integer().
    fmi2Status last_status() const { return last_status_; }

private:
    static void logger(fmi2ComponentEnvironment environment, fmi2String instance, fmi2Status status,
                       fmi2String category, fmi2String message, ...);
    const Fmu& fmu_;
    fmi2Component component_ = nullptr;
    std::vector<std::string> log_;
    fmi2CallbackFunctions callbacks_;
    fmi2Status last_status_ = fmi2OK;
};

// One FMI call chosen by `random`, in whatever state the instance is, with
// values of every kind (NaN, 1e300, subnormal, a wrong value reference);
// returns its status. The tests' random importer.
fmi2Status random_call(Instance& instance, std::mt19937& random);

}  // namespace importer
