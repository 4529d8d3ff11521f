// A small FMI 3.0 importer for the tests, beside fmu_importer.hpp's FMI 2.0
// one: unpacks an FMU, reads its modelDescription.xml (variables, arrays
// with their Dimension, units), loads binaries/x86_64-linux/ and calls it
// as an FMI 3.0 tool would.
#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "fmi/fmi3.h"
#include "fmu_importer.hpp"

namespace importer3 {

struct Variable {
    std::string type;                               // "Float64", "Int32"
    std::map<std::string, std::string> attributes;  // name, valueReference, causality, start, ...
    std::size_t elements = 1;                       // its Dimension's start, 1 for a scalar
    bool array = false;
    std::string attribute(const std::string& key) const;  // "" when absent
};

struct ModelDescription {
    std::map<std::string, std::string> attributes, model_exchange, co_simulation;
    std::vector<Variable> variables;
    std::map<std::string, std::map<std::string, std::string>> units;
    std::vector<unsigned> outputs, derivatives, initial_unknowns;  // value references
    const Variable& variable(const std::string& name) const;
};

ModelDescription parse_model_description(const std::string& xml);

struct Functions {
    decltype(&fmi3GetVersion) GetVersion;
    decltype(&fmi3InstantiateCoSimulation) InstantiateCoSimulation;
    decltype(&fmi3InstantiateModelExchange) InstantiateModelExchange;
    decltype(&fmi3FreeInstance) FreeInstance;
    decltype(&fmi3EnterInitializationMode) EnterInitializationMode;
    decltype(&fmi3ExitInitializationMode) ExitInitializationMode;
    decltype(&fmi3Terminate) Terminate;
    decltype(&fmi3Reset) Reset;
    decltype(&fmi3GetFloat64) GetFloat64;
    decltype(&fmi3SetFloat64) SetFloat64;
    decltype(&fmi3GetInt32) GetInt32;
    decltype(&fmi3SetInt32) SetInt32;
    decltype(&fmi3GetBoolean) GetBoolean;
    decltype(&fmi3DoStep) DoStep;
    decltype(&fmi3EnterEventMode) EnterEventMode;
    decltype(&fmi3UpdateDiscreteStates) UpdateDiscreteStates;
    decltype(&fmi3EnterContinuousTimeMode) EnterContinuousTimeMode;
    decltype(&fmi3CompletedIntegratorStep) CompletedIntegratorStep;
    decltype(&fmi3SetTime) SetTime;
    decltype(&fmi3SetContinuousStates) SetContinuousStates;
    decltype(&fmi3GetContinuousStates) GetContinuousStates;
    decltype(&fmi3GetContinuousStateDerivatives) GetContinuousStateDerivatives;
    decltype(&fmi3GetNumberOfContinuousStates) GetNumberOfContinuousStates;
    decltype(&fmi3GetFMUState) GetFMUState;
    decltype(&fmi3EnterConfigurationMode) EnterConfigurationMode;
};

class Fmu {
public:
    Fmu(const std::filesystem::path& file, const std::filesystem::path& folder);
    const ModelDescription& description() const { return description_; }
    const Functions& fmi() const { return functions_; }
    const std::filesystem::path& folder() const { return folder_; }

private:
    std::filesystem::path folder_;
    ModelDescription description_;
    Functions functions_{};
};

enum class Interface { co_simulation, model_exchange };

class Instance {
public:
    Instance(const Fmu& fmu, Interface interface, const std::string& token = "");
    ~Instance();
    Instance(const Instance&) = delete;
    Instance& operator=(const Instance&) = delete;

    fmi3Instance instance() const { return instance_; }
    const Functions& fmi() const { return fmu_.fmi(); }
    std::string last_message() const { return log_.empty() ? "" : log_.back(); }
    fmi3Status last_status() const { return last_status_; }

    fmi3Status initialize();  // through initialization, at time 0
    // All elements of a variable, by name.
    fmi3Status set(const std::string& name, const std::vector<double>& values);
    std::vector<double> get(const std::string& name);  // Float64 or Int32, as doubles
    double value(const std::string& name) { return get(name).at(0); }
    fmi3Status step(double time, double h);  // co-simulation

private:
    static void log(fmi3InstanceEnvironment environment, fmi3Status status, fmi3String category, fmi3String message);
    const Fmu& fmu_;
    fmi3Instance instance_ = nullptr;
    std::vector<std::string> log_;
    fmi3Status last_status_ = fmi3OK;
};

}  // namespace importer3
