#include "host/common/scratch_folders.hpp"

#include <atomic>
#include <cstddef>

#ifdef __linux__
#include <fcntl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstdint>
#endif

namespace host {

namespace {

// A slot is free, being written, or holds a folder. A signal handler reads
// only slots that hold one; the path is written before the slot says so.
enum Slot : int { free_slot, writing, holding };
constexpr std::size_t most_folders = 256;
constexpr std::size_t longest_path = 1024;
std::atomic<int> states[most_folders];
char paths[most_folders][longest_path];

bool same(const char* a, const std::string& b) {
    for (std::size_t i = 0; i < b.size(); ++i)
        if (a[i] != b[i]) return false;
    return a[b.size()] == '\0';
}

#ifdef __linux__
// One entry of getdents64, as the kernel lays it out.
struct DirectoryEntry {
    std::uint64_t inode;
    std::int64_t offset;
    unsigned short length;
    unsigned char type;
    char name[1];
};

bool is_dot_or_dots(const char* name) {
    return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

// `name` in the folder `parent` and, if it is a folder, all in it; deeper
// than 64 levels is left (an archive's entries are not nested so deep).
void remove_tree(int parent, const char* name, int depth) {
    if (::unlinkat(parent, name, 0) == 0 || depth > 64) return;
    const int folder = ::openat(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (folder < 0) return;
    alignas(8) char buffer[2048];
    // A second pass reads again whatever removing entries made the first skip.
    for (int pass = 0; pass < 2; ++pass) {
        ::lseek(folder, 0, SEEK_SET);
        for (;;) {
            const long read = ::syscall(SYS_getdents64, folder, buffer, sizeof buffer);
            if (read <= 0) break;
            for (long at = 0; at < read;) {
                const auto* entry = reinterpret_cast<const DirectoryEntry*>(buffer + at);
                at += entry->length;
                if (!is_dot_or_dots(entry->name)) remove_tree(folder, entry->name, depth + 1);
            }
        }
    }
    ::close(folder);
    ::unlinkat(parent, name, AT_REMOVEDIR);
}
#endif

}  // namespace

bool list_scratch_folder(const std::string& folder) {
    if (folder.size() >= longest_path || folder.empty() || folder[0] != '/') return false;
    for (std::size_t i = 0; i < most_folders; ++i) {
        int expected = free_slot;
        if (!states[i].compare_exchange_strong(expected, writing)) continue;
        folder.copy(paths[i], folder.size());
        paths[i][folder.size()] = '\0';
        states[i].store(holding);
        return true;
    }
    return false;
}

void forget_scratch_folder(const std::string& folder) {
    for (std::size_t i = 0; i < most_folders; ++i) {
        int expected = holding;
        if (states[i].load() == holding && same(paths[i], folder) && states[i].compare_exchange_strong(expected, writing))
            states[i].store(free_slot);
    }
}

void forget_all_scratch_folders() {
    for (auto& state : states) state.store(free_slot);
}

void remove_scratch_folders_now() {
#ifdef __linux__
    for (std::size_t i = 0; i < most_folders; ++i)
        if (states[i].load() == holding) remove_tree(AT_FDCWD, paths[i], 0);
#endif
}

}  // namespace host
