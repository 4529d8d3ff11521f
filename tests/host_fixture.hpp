// Helpers for tests that load the block libraries through the host.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "host/sfunction/arrays.hpp"
#include "host/sfunction/instance.hpp"
#include "host/sfunction/library.hpp"
#include "host/sfunction/data_types.hpp"
#include "simstruc.h"

namespace testing_host {

inline std::vector<std::filesystem::path> search_path() { return {BLOCKS_LIBRARY_DIR}; }

inline std::shared_ptr<const host::Library> load(const std::string& name) {
    return host::Library::load(name, search_path());
}

template <typename... Arrays>
std::vector<host::ArrayPtr> params(Arrays... arrays) {
    std::vector<host::ArrayPtr> list;
    (list.push_back(std::move(arrays)), ...);
    return list;
}

// A block created, prepared and ready to run on its own.
inline std::unique_ptr<host::SFunctionInstance> make_block(const std::string& sfunction, std::vector<host::ArrayPtr> parameters,
                                               const std::string& name = "block") {
    auto block = std::make_unique<host::SFunctionInstance>(name, load(sfunction), std::move(parameters));
    block->prepare();
    return block;
}

// The error status the glue sets for a raw call flag, sent past the
// instance (whose requests name methods, so it cannot send an unknown flag).
inline std::string glue_status_for_flag(host::SFunctionInstance& block, int flag) {
    auto& S = const_cast<SimStruct&>(block.simstruct());
    S.errorStatus = nullptr;
    mxArray* plhs[1] = {reinterpret_cast<mxArray*>(&S)};
    block.library().entry()(SS_HOST_CALL, plhs, flag, nullptr);
    return S.errorStatus ? S.errorStatus : "";
}

// The message of the BlockError that `action` throws, or a failure.
template <typename Action>
std::string block_error_of(Action&& action) {
    try {
        action();
    } catch (const host::BlockError& error) {
        return error.message();
    }
    ADD_FAILURE() << "expected a block error";
    return {};
}

// The message of any exception that `action` throws, or a failure.
template <typename Action>
std::string error_of(Action&& action) {
    try {
        action();
    } catch (const std::exception& error) {
        return error.what();
    }
    ADD_FAILURE() << "expected an error";
    return {};
}

// The message for a dialog parameter that fails the double test.
inline std::string parameter_type_message(int index) {
    return "The data type and or complexity of parameter  " + std::to_string(index) +
           " does not match the information specified in the S-function Builder dialog. For non-double parameters "
           "you will need to cast them using int8, int16, int32, uint8, uint16, uint32 or boolean.";
}

// Calls NAME(args...) as from the command line and returns the MEX error text.
inline std::string command_line_error(const std::string& sfunction, int nlhs,
                                      const std::vector<const mxArray*>& rhs) {
    try {
        host::call_command_line(*load(sfunction), nlhs, rhs);
    } catch (const host::MexCallError& error) {
        return error.what();
    }
    ADD_FAILURE() << "expected a MEX error";
    return {};
}

}  // namespace testing_host
