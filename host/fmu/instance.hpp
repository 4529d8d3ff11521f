// One instance of an FMU's binary for this platform, FMI 2.0 or 3.0, behind
// the calls a co-simulation host makes. Every call is checked: a status
// other than OK or Warning throws FmuError naming the FMU, the call and the
// time, with the last message the FMU logged.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "host/fmu/archive.hpp"
#include "host/fmu/description.hpp"

namespace host {

// The binary's platform folder and file for this machine: "linux64" and
// "binaries/linux64/ID.so" (2.0), "x86_64-linux" (3.0).
std::string fmu_platform(FmiVersion version);
std::filesystem::path fmu_binary(const FmuDescription& description, const std::string& model_identifier);

// What blocksim reads and writes through a variable of this type: "" when
// it takes the type, else why not.
std::string unsupported_type(const FmuVariable& variable);

class FmuCoSimulation {
public:
    // Loads the co-simulation binary of `description` from the unpacked
    // `folder` and instantiates it as `instance_name`. `label` starts every
    // message ("block 'cyl' (cylinder.fmu)").
    FmuCoSimulation(const std::filesystem::path& folder, const FmuDescription& description,
                    const std::string& instance_name, std::string label);
    ~FmuCoSimulation();  // terminates an initialized instance and frees it
    FmuCoSimulation(const FmuCoSimulation&) = delete;
    FmuCoSimulation& operator=(const FmuCoSimulation&) = delete;

    // A variable's elements as doubles, converted from and to its type.
    void set(const FmuVariable& variable, const double* values);
    void get(const FmuVariable& variable, double* values);

    void enter_initialization(double start_time);
    void exit_initialization();
    void do_step(double time, double step);
    void terminate();

    // What the FMU logged last ("" before it logs), for messages.
    const std::string& last_message() const { return last_message_; }
    void log(const std::string& message) { last_message_ = message; }

private:
    struct Functions;
    [[noreturn]] void fail(const std::string& call, int status, double time = -1);
    void check(const char* call, int status, double time = -1);

    std::string label_;
    FmiVersion version_;
    void* library_ = nullptr;
    std::unique_ptr<Functions> functions_;  // and FMI 2.0's callbacks, alive as long as the instance
    void* instance_ = nullptr;
    bool initialized_ = false, terminated_ = false, fatal_ = false;
    std::string last_message_;
};

}  // namespace host
