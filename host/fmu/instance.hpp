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

    // Many Real (2.0) or Float64 (3.0) variables in one call: `values`
    // holds their elements in order, `count` of them.
    void set_reals(const std::vector<std::uint32_t>& references, const double* values, std::size_t count);
    void get_reals(const std::vector<std::uint32_t>& references, double* values, std::size_t count);

    void enter_initialization(double start_time);
    void exit_initialization();
    void do_step(double time, double step);
    void terminate();

    // What the FMU logged since the last call began: its last message of
    // a status Warning or worse, else its last one ("" when none), for
    // messages. log() takes each, from the FMU's logger.
    const std::string& last_message() const { return important_.empty() ? latest_ : important_; }
    void log(const char* message, bool important) noexcept;

private:
    struct Functions;
    void begin_call();  // forgets what the FMU logged before
    std::string call_name(const char* verb, const FmuVariable& v) const;
    [[noreturn]] void fail(const std::string& call, int status, double time = -1);
    void check(const char* call, int status, double time = -1);

    struct LibraryCloser {
        void operator()(void* library) const;
    };
    std::string label_;
    FmiVersion version_;
    std::unique_ptr<void, LibraryCloser> library_;
    std::unique_ptr<Functions> functions_;  // and FMI 2.0's callbacks, alive as long as the instance
    void* instance_ = nullptr;
    // After an Error status the instance may only be freed; after a Fatal
    // one not even that, and the library stays loaded.
    bool initialized_ = false, terminated_ = false, failed_ = false, fatal_ = false;
    std::string important_, latest_;
};

}  // namespace host
