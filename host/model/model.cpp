#include "host/model/model.hpp"

#include <cmath>
#include <system_error>
#include <sstream>
#include <variant>

#include "host/common/text.hpp"

namespace host {

BlockSpec::BlockSpec(const BlockSpec& other)
    : name(other.name), is_sfunction(other.is_sfunction), sfunction(other.sfunction), builtin(other.builtin),
      fmu(other.fmu), line(other.line) {
    for (const auto& parameter : other.parameters) parameters.push_back(duplicate(parameter.get()));
}

BlockSpec& BlockSpec::operator=(const BlockSpec& other) {
    if (this != &other) *this = BlockSpec(other);
    return *this;
}

bool is_variable_step(SolverMethod method) {
    for (const auto& entry : solver_methods)
        if (entry.method == method) return entry.variable_step;
    return false;
}

const char* solver_method_name(SolverMethod method) {
    for (const auto& entry : solver_methods)
        if (entry.method == method) return entry.name;
    return "unknown";
}

std::optional<SolverMethod> solver_method_named(const std::string& name) {
    for (const auto& entry : solver_methods)
        if (name == entry.name) return entry.method;
    return std::nullopt;
}

std::vector<std::string> solver_method_names() {
    std::vector<std::string> names;
    for (const auto& entry : solver_methods) names.emplace_back(entry.name);
    return names;
}

std::string known_solver_methods() {
    std::string list;
    for (const auto& entry : solver_methods) list += (list.empty() ? "" : ", ") + std::string(entry.name);
    return list;
}

std::string solver_problem(const SolverSpec& solver) {
    std::ostringstream text;
    const bool variable = is_variable_step(solver.method);
    auto positive = [](const std::optional<double>& value) { return !value || (*value > 0.0 && std::isfinite(*value)); };
    if (!variable && solver.step == 0.0) {
        text << "the step must be positive: a step of 0 s never reaches the stop time";
    } else if (!variable && (!(solver.step > 0.0) || !std::isfinite(solver.step))) {
        text << "the step must be a positive number of seconds, not " << solver.step;
    } else if (std::isinf(solver.stop)) {
        text << "the stop time must be finite, not " << solver.stop;
    } else if (!(solver.stop >= 0.0)) {
        text << "the stop time must not be negative, not " << solver.stop;
    } else if (!variable && solver.stop / solver.step > most_steps) {
        text << "a stop time of " << solver.stop << " s with a step of " << solver.step << " s makes more than "
             << "1e" << std::lround(std::log10(most_steps)) << " steps";
    } else if (variable && !(solver.rtol > 0.0 && solver.rtol < 1.0)) {
        text << "rtol must lie between 0 and 1, not " << solver.rtol;
    } else if (variable && !(solver.atol > 0.0 && std::isfinite(solver.atol))) {
        text << "atol must be positive, not " << solver.atol;
    } else if (variable && (!positive(solver.max_step) || !positive(solver.initial_step))) {
        text << "max_step and initial_step must be positive numbers of seconds";
    } else if (variable && solver.stop > 0.0 && solver.stop / solver.max_step_or_default() > most_steps) {
        text << "a stop time of " << solver.stop << " s with a max_step of " << solver.max_step_or_default()
             << " s makes more than 1e" << std::lround(std::log10(most_steps)) << " steps";
    }
    return text.str();
}

InputLimits& input_limits() {
    static InputLimits limits;
    return limits;
}

void check_input_file(const std::filesystem::path& file, const std::string& what) {
    std::error_code error;
    const auto status = std::filesystem::status(file, error);
    if (!std::filesystem::exists(status))
        throw ModelError("cannot open the " + what + " " + file.string() + ": " +
                         (error ? error.message() : std::string("No such file or directory")));
    if (std::filesystem::is_directory(status)) throw ModelError(file.string() + " is a directory, not a " + what);
    if (!std::filesystem::is_regular_file(status))
        throw ModelError(file.string() + " is not a regular file (a device or a pipe), so it is no " + what);
    const auto size = std::filesystem::file_size(file, error);
    if (!error && size > input_limits().largest_file)
        throw ModelError(file.string() + " is " + format_number(std::round(static_cast<double>(size) / 1e6)) +
                         " MB, more than the " + format_number(static_cast<double>(input_limits().largest_file) / 1e6) +
                         " MB a " + what + " may be without --force");
}

std::vector<FileRead> files_read(const ModelSpec& model) {
    std::vector<FileRead> files;
    if (!model.file.empty()) files.push_back({model.file, "the model file"});
    for (const auto& block : model.blocks)
        if (const auto* table = std::get_if<builtin::Table>(&block.builtin); table && !block.is_sfunction)
            files.push_back({table->file, "the table file of block '" + block.name + "'"});
    return files;
}

}  // namespace host
