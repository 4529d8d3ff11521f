#include "output/output_file.hpp"

#include "host/common/errors.hpp"
#include "output/system_files.hpp"

namespace blocksim {

OutputFile::OutputFile(std::filesystem::path target) : target_(std::move(target)) {
    buffer_.reserve(buffer_bytes);
    std::error_code error;
    if (std::filesystem::is_directory(target_, error)) fail("it is a folder");
    in_place_ = system_files::is_device(target_);
    if (in_place_) {
        path_ = target_;
        const std::string reason = system_files::open_in_place(target_, descriptor_);
        if (!reason.empty()) fail(reason);
        return;
    }
    const auto folder = target_.has_parent_path() ? target_.parent_path() : std::filesystem::path(".");
    std::filesystem::create_directories(folder, error);
    if (error) fail(error.message());
    const std::string reason = system_files::open_temporary(target_, descriptor_, path_);
    if (!reason.empty()) fail(reason);
}

OutputFile::~OutputFile() {
    if (done_) return;
    if (descriptor_ >= 0) system_files::close(descriptor_);
    if (!in_place_ && !path_.empty()) system_files::remove(path_);
}

void OutputFile::fail(const std::string& reason) {
    if (descriptor_ >= 0) system_files::close(descriptor_);
    descriptor_ = -1;
    if (!in_place_ && !path_.empty()) system_files::remove(path_);
    done_ = failed_ = true;
    throw host::HostError("cannot write " + target_.string() + ": " + reason);
}

void OutputFile::write(std::string_view bytes) {
    if (buffer_.size() + bytes.size() > buffer_bytes) flush();
    if (bytes.size() > buffer_bytes) {
        buffer_.assign(bytes);
        flush();
        return;
    }
    buffer_.append(bytes);
}

void OutputFile::flush() {
    std::size_t done = 0;
    while (done < buffer_.size()) {
        std::size_t wrote = 0;
        const std::string reason = system_files::write_some(descriptor_, buffer_.data() + done, buffer_.size() - done, wrote);
        if (!reason.empty()) fail(reason);
        if (wrote == 0) fail("the system took no bytes");
        done += wrote;
    }
    buffer_.clear();
}

void OutputFile::close_checked() {
    flush();
    if (!in_place_) {
        const std::string reason = system_files::sync(descriptor_);
        if (!reason.empty()) fail(reason);
    }
    const std::string reason = system_files::close(descriptor_);
    descriptor_ = -1;
    if (!reason.empty()) fail(reason);
}

void OutputFile::commit() { commit_as(target_); }

std::filesystem::path OutputFile::commit_as(const std::filesystem::path& name) {
    close_checked();
    done_ = true;
    if (in_place_) return target_;
    const std::string reason = system_files::replace(path_, name);
    if (!reason.empty()) {
        system_files::remove(path_);
        throw host::HostError("cannot write " + name.string() + ": " + reason);
    }
    return name;
}

namespace system_files {

std::filesystem::path lock_file(const std::filesystem::path& output) {
    return output.parent_path() / ("." + output.filename().string() + ".lock");
}

host::HostError lock_held(const std::filesystem::path& output, const std::string& owner) {
    const std::string pid = owner.empty() ? std::string("unknown") : owner.substr(0, owner.find_first_of("\r\n "));
    return host::HostError("another blocksim (process " + pid + ") is writing " + output.string() +
                           "; wait for it to end, or choose another folder with --out");
}

}  // namespace system_files

std::filesystem::path tagged_name(const std::filesystem::path& file, const std::string& tag) {
    auto tagged = file;
    return tagged.replace_filename(file.stem().string() + "." + tag + file.extension().string());
}

void write_whole_file(const std::filesystem::path& file, std::string_view bytes) {
    OutputFile out(file);
    out.write(bytes);
    out.commit();
}

}  // namespace blocksim
