#include "host/sfunction/library.hpp"

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#include <map>
#include <mutex>

#include "host/common/suggestions.hpp"
#include "mex_runtime.hpp"

namespace host {

#if defined(_WIN64)
const char* const library_suffix = ".mexw64";
#elif defined(_WIN32)
const char* const library_suffix = ".mexw32";
#else
const char* const library_suffix = ".mexa64";
#endif

namespace {

// The system's loader: a handle, or null with the reason in `error`.
#ifdef _WIN32
void* open_library(const std::filesystem::path& file, std::string& error) {
    HMODULE module = LoadLibraryW(file.wstring().c_str());
    if (!module) {
        char text[512] = "";
        FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, GetLastError(), 0, text,
                       sizeof text, nullptr);
        error = text;
        while (!error.empty() && (error.back() == '\n' || error.back() == '\r')) error.pop_back();
    }
    return reinterpret_cast<void*>(module);
}
void* library_symbol(void* handle, const char* name) {
    return reinterpret_cast<void*>(GetProcAddress(reinterpret_cast<HMODULE>(handle), name));
}
void close_library(void* handle) { FreeLibrary(reinterpret_cast<HMODULE>(handle)); }
constexpr const char* path_separators = "/\\";
#else
void* open_library(const std::filesystem::path& file, std::string& error) {
    void* handle = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) error = dlerror();
    return handle;
}
void* library_symbol(void* handle, const char* name) { return dlsym(handle, name); }
void close_library(void* handle) { dlclose(handle); }
constexpr const char* path_separators = "/";
#endif

}  // namespace

std::vector<std::string> libraries_in(const std::vector<std::filesystem::path>& search_path) {
    std::vector<std::string> names;
    for (const auto& directory : search_path) {
        std::error_code error;
        for (std::filesystem::directory_iterator it(directory, error), end; !error && it != end; it.increment(error))
            if (it->path().extension() == library_suffix) names.push_back(it->path().stem().string());
    }
    return names;
}

Library::Library(std::string name, std::filesystem::path file, void* handle, MexFunction entry)
    : name_(std::move(name)), file_(std::move(file)), handle_(handle), entry_(entry) {}

Library::~Library() {
    if (handle_) close_library(handle_);
}

std::filesystem::path find_library(const std::string& name, const std::vector<std::filesystem::path>& search_path) {
    if (name.empty() || name.find_first_of(path_separators) != std::string::npos)
        throw HostError("invalid S-function name '" + name + "'");
    std::filesystem::path file;
    for (const auto& directory : search_path) {
        std::error_code ignored;
        const auto candidate = directory / (name + library_suffix);
        if (std::filesystem::is_regular_file(candidate, ignored)) {
            file = std::filesystem::absolute(candidate, ignored);
            break;
        }
    }
    if (file.empty()) {
        std::string searched;
        for (const auto& directory : search_path) searched += (searched.empty() ? "" : ", ") + directory.string();
        throw HostError("S-function '" + name + "' not found" + did_you_mean(name, libraries_in(search_path)) +
                        ": no " + name + library_suffix + " in " +
                        (searched.empty() ? "an empty search path" : searched));
    }
    return file;
}

std::shared_ptr<const Library> Library::load(const std::string& name,
                                             const std::vector<std::filesystem::path>& search_path) {
    static std::mutex mutex;
    static std::map<std::filesystem::path, std::weak_ptr<const Library>> loaded;

    const std::filesystem::path file = find_library(name, search_path);
    std::lock_guard<std::mutex> lock(mutex);
    if (auto existing = loaded[file].lock()) return existing;
    std::string error;
    void* handle = open_library(file, error);
    if (!handle) throw HostError("cannot load " + file.string() + ": " + error);
    auto entry = reinterpret_cast<MexFunction>(library_symbol(handle, "mexFunction"));
    if (!entry) {
        close_library(handle);
        throw HostError(file.string() + " does not export mexFunction");
    }
    std::shared_ptr<const Library> library(new Library(name, file, handle, entry));
    loaded[file] = library;
    return library;
}

std::shared_ptr<const Library> Library::linked(const std::string& name, MexFunction entry) {
    return std::shared_ptr<const Library>(new Library(name, name, nullptr, entry));
}

void Library::call(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]) const {
    mexrt::FunctionNameScope scope(name_);
    try {
        entry_(nlhs, plhs, nrhs, prhs);
    } catch (const mexrt::MexError& error) {
        throw MexCallError(error.what());
    }
}

std::vector<ArrayPtr> call_command_line(const Library& library, int nlhs, const std::vector<const mxArray*>& rhs) {
    std::vector<mxArray*> plhs(static_cast<std::size_t>(nlhs > 0 ? nlhs : 1), nullptr);
    try {
        library.call(nlhs, plhs.data(), static_cast<int>(rhs.size()), const_cast<const mxArray**>(rhs.data()));
    } catch (...) {
        for (mxArray* result : plhs) mxDestroyArray(result);
        throw;
    }
    std::vector<ArrayPtr> results;
    for (mxArray* result : plhs) results.emplace_back(result);
    return results;
}

std::vector<double> size_fields(const Library& library, const std::vector<const mxArray*>& parameters) {
    const ArrayPtr t = make_double_scalar(0.0), x = make_empty(), u = make_empty(), flag = make_double_scalar(0.0);
    std::vector<const mxArray*> rhs = {t.get(), x.get(), u.get(), flag.get()};
    rhs.insert(rhs.end(), parameters.begin(), parameters.end());
    const auto results = call_command_line(library, 1, rhs);
    const mxArray* sizes = results.at(0).get();
    if (!sizes || !mxIsDouble(sizes)) throw HostError(library.name() + " returned no size fields");
    const double* values = mxGetPr(sizes);
    return std::vector<double>(values, values + mxGetNumberOfElements(sizes));
}

}  // namespace host
