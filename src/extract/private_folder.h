// Folders of the plugin's own below the temporary folder, where every copy
// of an archived song other than the playing one is extracted:
// TMP\in_voskel-N, each held through a lock file inside it,
// TMP\in_voskel-N\in_voskel-lock.
//
// The rules that keep them apart:
// - No archive member reaches one. Play extracts into TMP itself, where a
//   member stored as "in_voskel-1/song.mod" would write into a copy in use,
//   and deleting it would empty that folder: the name guard (member_path.h)
//   refuses every member whose first component begins with the folders'
//   prefix (letter case aside on Windows) and, on Windows, one whose first
//   folder holds '~', as a short 8.3 alias such as IN_VOS~1 may name one.
//   The same rule keeps a member from taking the lock file's name.
// - Whoever holds a folder's lock owns the folder. A folder is made by
//   the one who then holds its lock, used while the lock is held, and
//   emptied under the lock before it goes. A process lets go of its locks
//   when it ends, however it ends.
// - What a process left when it ended is swept: sweep_private_folders
//   removes every folder whose lock no one holds.
//
// Making and removing a folder would cost as much as extracting a small
// song does, for every playlist title: a folder once made is lent out
// again, emptied in between, one for each copy in use at once, and removed
// at Quit and unload (close_private_folders). An idle one keeps its lock,
// so no sweep takes it, and no member reaches it any more than one in use.
#pragma once

#include <cstddef>
#include <memory>

#include "platform/platform.h"
#include "text/text_string.h"

namespace voskel {

inline constexpr const char* private_folder_prefix = "in_voskel-";

class PrivateFolder {
public:
    // A folder of this process's own, made afresh below the temporary
    // folder; null when there is no temporary folder or none can be made.
    static std::unique_ptr<PrivateFolder> make();

    // The folder goes with everything in it, then its lock.
    ~PrivateFolder();

    // Deletes a file extracted into the folder and the folders made for it
    // (temp_dir.h), so that the folder can be lent again; one whose file
    // stays (a player kept it open) is not.
    void clear_out(const TextString& file, const TextString& made_folder);
    PrivateFolder(const PrivateFolder&) = delete;
    PrivateFolder& operator=(const PrivateFolder&) = delete;

    // Never copied by other threads: read through chars().
    const TextString& path() const { return folder_; }

private:
    friend struct GiveBack;

    PrivateFolder(TextString folder, TextString lock_path, void* lock)
        : folder_(std::move(folder)), lock_path_(std::move(lock_path)), lock_(lock) {}

    TextString folder_;
    TextString lock_path_;
    void* lock_;
    bool reusable_ = true;
};

// A private folder lent to one copy; it goes back to the pool when the copy
// lets go of it, once the copy has cleared out what it put there.
struct GiveBack {
    void operator()(PrivateFolder* folder) const;
};
using LentFolder = std::unique_ptr<PrivateFolder, GiveBack>;

// A folder given back before, below the temporary folder as it is now, or
// a new one; null when none can be made.
LentFolder lend_private_folder();

// Removes the folders given back and not lent again, and until
// reopen_private_folders removes those given back later (Quit; the unload
// removes them too).
void close_private_folders();
void reopen_private_folders();

// Removes the private folders below the temporary folder, and their lock
// files, that no process holds: what processes that ended left. The ones in
// use, by this process or another, stay.
void sweep_private_folders();

// sweep_private_folders, the first time it is called in this process.
void sweep_private_folders_once();

// Whether a member name whose first component is the first length bytes of
// component (more_follow: folders of that name lie below it) could write
// into a private folder or onto a lock file.
bool could_reach_private_folder(const char* component, std::size_t length, bool more_follow, PathStyle style);

}  // namespace voskel
