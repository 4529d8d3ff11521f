// S-function libraries, loaded by S-function name from a search path.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "host/sfunction/arrays.hpp"
#include "host/sfunction/errors.hpp"

namespace host {

using MexFunction = void (*)(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]);

extern const char* const library_suffix;  // ".mexa64"

// The S-function names of the libraries in the folders of a search path.
std::vector<std::string> libraries_in(const std::vector<std::filesystem::path>& search_path);

// The file of NAME.mexa64 in the first directory of `search_path` that
// holds it; throws HostError, naming the folders searched, when none does.
std::filesystem::path find_library(const std::string& name, const std::vector<std::filesystem::path>& search_path);

class Library {
public:
    // Finds NAME.mexa64 in the first directory of `search_path` that holds
    // it and loads it. A library is loaded once per process and path.
    static std::shared_ptr<const Library> load(const std::string& name,
                                               const std::vector<std::filesystem::path>& search_path);

    // A block whose code is linked into this binary (an FMU's one library):
    // `entry` is its mexFunction; nothing is loaded.
    static std::shared_ptr<const Library> linked(const std::string& name, MexFunction entry);

    const std::string& name() const { return name_; }
    const std::filesystem::path& file() const { return file_; }  // the name alone for a linked block

    // Calls mexFunction with mexFunctionName() returning name(). A failure
    // raised with mexErrMsgTxt comes back as MexCallError.
    void call(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]) const;
    // The same without setting the name, for the host's per-step calls.
    MexFunction entry() const { return entry_; }

    Library(const Library&) = delete;
    Library& operator=(const Library&) = delete;
    ~Library();

private:
    Library(std::string name, std::filesystem::path file, void* handle, MexFunction entry);
    std::string name_;
    std::filesystem::path file_;
    void* handle_;
    MexFunction entry_;
};

// sizes = NAME(t, x, u, flag, params...) from the command line. Returns the
// nlhs results (at least one slot is always offered, as MEX callers do).
std::vector<ArrayPtr> call_command_line(const Library& library, int nlhs, const std::vector<const mxArray*>& rhs);

// The size fields of flag 0 with t = 0 and empty x and u.
std::vector<double> size_fields(const Library& library, const std::vector<const mxArray*>& parameters);

}  // namespace host
