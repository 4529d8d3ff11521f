// The private folders this process unpacks into (an FMU block's archive),
// listed where a signal handler can reach them: a second Ctrl-C, or a
// sweep worker told to end, removes them before the process dies, which
// no destructor would run for.
#pragma once

#include <string>

namespace host {

// Lists `folder` (an absolute path) until forget_scratch_folder; false when
// the list is full or the path too long, and then only its owner removes it.
bool list_scratch_folder(const std::string& folder);
void forget_scratch_folder(const std::string& folder);
// Empties the list without removing anything: a forked process does not
// own its parent's folders.
void forget_all_scratch_folders();

// Removes every listed folder and all in it, links not followed. Safe in a
// signal handler: system calls only, no allocation and no lock. Nothing on
// systems other than Linux.
void remove_scratch_folders_now();

}  // namespace host
