// One instance of an FMU's binary for this platform, FMI 2.0 or 3.0, for
// co-simulation or model exchange, behind the calls an importer makes. Every call is checked: a status
// other than OK or Warning throws FmuError naming the FMU, the call and the
// time, with the last message the FMU logged.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
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

enum class FmuKind { co_simulation, model_exchange };

// What an FMU says when an event's discrete updates are done.
struct FmuEventResult {
    bool states_changed = false;  // its continuous states were set anew
    std::optional<double> next_event_time;
};

class FmuInstance {
public:
    // Loads the binary of `description`'s interface `kind` from the unpacked
    // `folder` and instantiates it as `instance_name`. `label` starts every
    // message ("block 'cyl' (cylinder.fmu)").
    FmuInstance(const std::filesystem::path& folder, const FmuDescription& description,
                const std::string& instance_name, std::string label, FmuKind kind = FmuKind::co_simulation);
    ~FmuInstance();  // terminates an initialized instance and frees it
    FmuInstance(const FmuInstance&) = delete;
    FmuInstance& operator=(const FmuInstance&) = delete;

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

    // ---- Model exchange. After exit_initialization() the FMU is in event
    // mode: settle_event() runs its discrete updates until it needs no more
    // and returns it to continuous time. An event later is enter_event() and
    // settle_event() again, at the time last set.
    void set_time(double time);
    void set_states(const double* x, std::size_t count);
    void get_states(double* x, std::size_t count);
    void get_derivatives(double* dx, std::size_t count);
    void get_event_indicators(double* z, std::size_t count);
    void enter_event();
    FmuEventResult settle_event();
    // Whether the FMU asks for an event after an accepted integrator step.
    bool completed_integrator_step();

    // What the FMU logged since the last call began: its last message of
    // a status Warning or worse, else its last one ("" when none), for
    // messages. log() takes each, from the FMU's logger.
    const std::string& last_message() const { return important_.empty() ? latest_ : important_; }
    void log(const char* message, bool important) noexcept;

private:
    struct Functions;
    // Forgets what the FMU logged before; inline, as it comes at every call.
    void begin_call() {
        important_.clear();
        latest_.clear();
    }
    std::string call_name(const char* verb, const FmuVariable& v) const;
    [[noreturn]] void fail(const std::string& call, int status, double time = -1);
    void check(const char* call, int status, double time = -1);

    struct LibraryCloser {
        void operator()(void* library) const;
    };
    [[noreturn]] void asked_to_end(const char* call);
    std::string label_;
    FmiVersion version_;
    double time_ = 0;  // the last time set, for messages
    std::unique_ptr<void, LibraryCloser> library_;
    std::unique_ptr<Functions> functions_;  // and FMI 2.0's callbacks, alive as long as the instance
    void* instance_ = nullptr;
    // After an Error status the instance may only be freed; after a Fatal
    // one not even that, and the library stays loaded.
    bool initialized_ = false, terminated_ = false, failed_ = false, fatal_ = false;
    std::string important_, latest_;
};

}  // namespace host
