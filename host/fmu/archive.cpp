#include "host/fmu/archive.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zip.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <system_error>
#include <vector>

#include "host/common/scratch_folders.hpp"

namespace host {

namespace fs = std::filesystem;

namespace {

struct ZipCloser {
    void operator()(zip_t* zip) const { zip_discard(zip); }
};
struct ZipFileCloser {
    void operator()(zip_file_t* file) const { zip_fclose(file); }
};

std::string quoted(const std::string& name) { return "'" + name + "'"; }

std::string open_failure(int code) {
    zip_error_t error;
    zip_error_init_with_code(&error, code);
    std::string text = zip_error_strerror(&error);
    zip_error_fini(&error);
    return text;
}

// A folder of this user's alone under the temporary folder.
fs::path make_private_folder() {
    std::error_code ec;
    fs::path base = fs::temp_directory_path(ec);
    if (ec) base = "/tmp";
    std::string pattern = (base / "blocksim-fmu-XXXXXX").string();
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (!mkdtemp(buffer.data())) {
        const int error = errno;
        throw FmuError("cannot make a temporary folder in " + base.string() + ": " + std::strerror(error));
    }
    // Absolute, so that neither the FMU's resource location nor the removal
    // depends on the working folder.
    return fs::absolute(fs::path(buffer.data()));
}

bool is_link(zip_t* zip, zip_uint64_t index) {
    zip_uint8_t system = 0;
    zip_uint32_t attributes = 0;
    // Unreadable attributes count as a link: refused rather than trusted.
    if (zip_file_get_external_attributes(zip, index, 0, &system, &attributes) < 0) return true;
    // Unix systems keep the file's mode in the upper half.
    return system == ZIP_OPSYS_UNIX && ((attributes >> 16) & S_IFMT) == S_IFLNK;
}

struct Entry {
    zip_uint64_t index;
    std::string name;
    zip_uint64_t size;  // as the archive declares it
    bool folder;
};

// Every entry's name and size, checked before anything is written.
std::vector<Entry> checked_entries(zip_t* zip, const std::string& archive, const ArchiveLimits& limits) {
    const zip_int64_t count = zip_get_num_entries(zip, 0);
    if (count < 0) throw FmuError(archive + ": cannot list its entries");
    if (static_cast<std::uint64_t>(count) > limits.most_entries)
        throw FmuError(archive + ": holds " + std::to_string(count) + " entries, more than the " +
                       std::to_string(limits.most_entries) + " an FMU may hold; refused");
    std::vector<Entry> entries;
    std::uint64_t total = 0;
    for (zip_uint64_t i = 0; i < static_cast<zip_uint64_t>(count); ++i) {
        zip_stat_t stat;
        zip_stat_init(&stat);
        if (zip_stat_index(zip, i, 0, &stat) < 0 || !(stat.valid & ZIP_STAT_NAME) || !(stat.valid & ZIP_STAT_SIZE))
            throw FmuError(archive + ": cannot read entry " + std::to_string(i) + ": " + zip_strerror(zip));
        const std::string name = stat.name;
        if (const std::string problem = entry_name_problem(name); !problem.empty())
            throw FmuError(archive + ": entry " + quoted(name) + " " + problem + "; refused");
        if (is_link(zip, i)) throw FmuError(archive + ": entry " + quoted(name) + " is a symbolic link; refused");
        if (stat.size > limits.most_bytes - total)
            throw FmuError(archive + ": unpacks to more than " + std::to_string(limits.most_bytes) +
                           " bytes, more than an FMU may; refused");
        total += stat.size;
        entries.push_back({i, name, stat.size, name.back() == '/'});
    }
    return entries;
}

// Writes one entry's bytes to `target`, no more than it declares.
void unpack_entry(zip_t* zip, const Entry& entry, const fs::path& target, const std::string& archive) {
    std::unique_ptr<zip_file_t, ZipFileCloser> in(zip_fopen_index(zip, entry.index, 0));
    if (!in) throw FmuError(archive + ": cannot read entry " + quoted(entry.name) + ": " + zip_strerror(zip));
    const int out = ::open(target.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (out < 0) {
        const int error = errno;
        throw FmuError(archive + ": cannot unpack entry " + quoted(entry.name) + ": " +
                       (error == EEXIST ? std::string("the archive holds it twice") : std::strerror(error)));
    }
    std::string failure;
    std::vector<char> buffer(1 << 16);
    zip_uint64_t written = 0;
    while (failure.empty()) {
        const zip_int64_t got = zip_fread(in.get(), buffer.data(), buffer.size());
        if (got < 0) {
            failure = std::string("cannot read entry ") + quoted(entry.name) + ": " + zip_file_strerror(in.get());
            break;
        }
        if (got == 0) break;
        written += static_cast<zip_uint64_t>(got);
        if (written > entry.size) {
            failure = "entry " + quoted(entry.name) + " holds more bytes than it declares; refused";
            break;
        }
        for (zip_int64_t done = 0; done < got;) {
            const ssize_t put = ::write(out, buffer.data() + done, static_cast<std::size_t>(got - done));
            if (put < 0 && errno == EINTR) continue;
            if (put <= 0) {
                const int error = errno;
                failure = "cannot write " + target.string() + ": " + std::strerror(error);
                break;
            }
            done += put;
        }
    }
    if (failure.empty() && written != entry.size)
        failure = "entry " + quoted(entry.name) + " ends after " + std::to_string(written) + " of its " +
                  std::to_string(entry.size) + " bytes";
    if (::close(out) != 0 && failure.empty()) {
        const int error = errno;
        failure = "cannot write " + target.string() + ": " + std::strerror(error);
    }
    if (!failure.empty()) throw FmuError(archive + ": " + failure);
}

}  // namespace

std::string entry_name_problem(const std::string& name) {
    if (name.empty()) return "has no name";
    if (name.front() == '/' || name.front() == '\\') return "is an absolute path";
    if (name.size() >= 2 && name[1] == ':') return "is an absolute path";
    std::size_t start = 0;
    while (start <= name.size()) {
        std::size_t end = name.find_first_of("/\\", start);
        if (end == std::string::npos) end = name.size();
        if (name.compare(start, end - start, "..") == 0)
            return "climbs out of the archive's folder with \"..\"";
        start = end + 1;
    }
    return "";
}

UnpackedFmu::UnpackedFmu(const fs::path& archive, const ArchiveLimits& limits) : archive_(archive) {
    const std::string label = archive.string();
    std::error_code ec;
    if (!fs::is_regular_file(archive, ec))
        throw FmuError(label + ": " + (fs::exists(archive, ec) ? "is not a file" : "no such file"));
    int code = 0;
    std::unique_ptr<zip_t, ZipCloser> zip(zip_open(archive.c_str(), ZIP_RDONLY, &code));
    if (!zip) throw FmuError(label + ": cannot be read as a zip archive: " + open_failure(code));
    const std::vector<Entry> entries = checked_entries(zip.get(), label, limits);
    folder_ = make_private_folder();
    list_scratch_folder(folder_.string());
    try {
        for (const Entry& entry : entries) {
            const fs::path target = folder_ / fs::path(entry.name).relative_path();
            const fs::path parent = entry.folder ? target : target.parent_path();
            fs::create_directories(parent, ec);
            if (ec)
                throw FmuError(label + ": cannot unpack entry " + quoted(entry.name) + ": " + ec.message());
            if (!entry.folder) unpack_entry(zip.get(), entry, target, label);
        }
    } catch (...) {
        fs::remove_all(folder_, ec);
        forget_scratch_folder(folder_.string());
        throw;
    }
}

UnpackedFmu::~UnpackedFmu() {
    std::error_code ec;
    fs::remove_all(folder_, ec);
    forget_scratch_folder(folder_.string());
}

}  // namespace host
