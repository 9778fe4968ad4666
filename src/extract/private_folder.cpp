#include "extract/private_folder.h"

#include <atomic>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <set>
#include <vector>

#include "extract/temp_dir.h"
#include "platform/thread_annotations.h"
#include "text/path_characters.h"

namespace voskel {

namespace {

// Inside the folder, under a name the name guard refuses to every member.
constexpr const char* lock_name = "in_voskel-lock";

struct FolderNames {
    TextString folder;
    TextString lock;
};

FolderNames names_of(const TextString& temp, unsigned number) {
    char name[32];
    std::snprintf(name, sizeof name, "%s%u", private_folder_prefix, number);
    FolderNames names{temp, TextString()};
    names.folder.join_path(TextString(name));
    names.lock = names.folder;
    names.lock.join_path(TextString(lock_name));
    return names;
}

// The number of a folder named "in_voskel-N", or 0 for anything else.
unsigned number_in(const char* name) {
    const std::size_t prefix_length = std::strlen(private_folder_prefix);
    if (std::strncmp(name, private_folder_prefix, prefix_length) != 0) return 0;
    const char* digits = name + prefix_length;
    unsigned number = 0;
    std::size_t count = 0;
    for (; digits[count] >= '0' && digits[count] <= '9'; ++count) {
        if (count == 9) return 0;
        number = number * 10 + static_cast<unsigned>(digits[count] - '0');
    }
    return count > 0 && digits[count] == '\0' ? number : 0;
}

// Everything in the folder but the held lock goes first, then the lock,
// then the folder: one who makes the folder anew meanwhile holds a lock of
// its own in it, and the folder stays for it.
void empty_and_release(const FolderNames& names, void* lock) {
    system_calls().remove_folder_tree(names.folder.chars());
    system_calls().release_lock_file(lock, names.lock.chars());
    system_calls().remove_empty_folder(names.folder.chars());
}

void collect_number(const char* name, bool is_directory, void* context) {
    const unsigned number = is_directory ? number_in(name) : 0;
    if (number != 0) static_cast<std::set<unsigned>*>(context)->insert(number);
}

bool begins_with_prefix(const char* text, std::size_t length, PathStyle style) {
    const std::size_t prefix_length = std::strlen(private_folder_prefix);
    if (length < prefix_length) return false;
    for (std::size_t i = 0; i < prefix_length; ++i) {
        char c = text[i];
        // File names are case-blind on Windows; the prefix is ASCII.
        if (style == PathStyle::windows && c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != private_folder_prefix[i]) return false;
    }
    return true;
}

}  // namespace

std::unique_ptr<PrivateFolder> PrivateFolder::make() {
    TextString temp;
    if (!find_temp_dir(temp)) return nullptr;
    // Each thread of this process tries a number of its own; other
    // processes count from 1 too. A folder that exists is another's, or
    // was left by a process that ended, for the sweep.
    static std::atomic<unsigned> next{1};
    constexpr int attempts = 1000;
    for (int i = 0; i < attempts; ++i) {
        FolderNames names = names_of(temp, next.fetch_add(1));
        if (!system_calls().make_folder(names.folder.chars())) continue;
        if (void* lock = system_calls().hold_lock_file(names.lock.chars())) {
            return std::unique_ptr<PrivateFolder>(new PrivateFolder(std::move(names.folder), std::move(names.lock), lock));
        }
        // A sweep took it between the two steps; it goes, unless the sweep
        // is still emptying it.
        system_calls().remove_empty_folder(names.folder.chars());
    }
    return nullptr;
}

PrivateFolder::~PrivateFolder() { empty_and_release({folder_, lock_path_}, lock_); }

void PrivateFolder::clear_out(const TextString& file, const TextString& made_folder) {
    if (!remove_extracted(file, made_folder)) reusable_ = false;
}

namespace {

// Whether the pool below is there: when the library unloads, copies kept
// in other globals may go after it, and their folders then go at once. A
// plain flag, which nothing destroys.
bool pool_open = false;

// The folders given back and not lent again. Its lock is taken for the
// moment of taking one out or putting one in, and nothing else.
struct Pool {
    Mutex mutex;
    std::vector<std::unique_ptr<PrivateFolder>> idle GUARDED_BY(mutex);
    bool closed GUARDED_BY(mutex) = false;  // from Quit to the next Init

    Pool() { pool_open = true; }
    ~Pool() { pool_open = false; }
} pool;

}  // namespace

void GiveBack::operator()(PrivateFolder* folder) const {
    std::unique_ptr<PrivateFolder> given(folder);
    // One that could not be emptied (a player kept a file of it open) goes.
    if (!pool_open || !given->reusable_) return;
    const MutexLock guard(pool.mutex);
    if (!pool.closed) pool.idle.push_back(std::move(given));
}

LentFolder lend_private_folder() {
    TextString temp;
    if (!find_temp_dir(temp)) return nullptr;
    std::unique_ptr<PrivateFolder> idle;
    {
        const MutexLock guard(pool.mutex);
        if (!pool.idle.empty()) {
            idle = std::move(pool.idle.back());
            pool.idle.pop_back();
        }
    }
    // The temporary folder the environment names may have changed.
    const TextString own_prefix = TextString(temp).join_path(TextString(private_folder_prefix));
    if (idle && idle->path().substring(0, own_prefix.length()).equals(own_prefix.chars())) {
        return LentFolder(idle.release());
    }
    idle.reset();
    return LentFolder(PrivateFolder::make().release());
}

void close_private_folders() {
    std::vector<std::unique_ptr<PrivateFolder>> idle;
    const MutexLock guard(pool.mutex);
    idle.swap(pool.idle);
    pool.closed = true;
}

void reopen_private_folders() {
    const MutexLock guard(pool.mutex);
    pool.closed = false;
}

void sweep_private_folders() {
    TextString temp;
    if (!find_temp_dir(temp)) return;
    TextString pattern = temp;
    pattern.join_path(TextString(private_folder_prefix)).append("*");
    std::set<unsigned> numbers;
    system_calls().find_files(pattern.chars(), collect_number, &numbers);
    for (const unsigned number : numbers) {
        const FolderNames names = names_of(temp, number);
        void* lock = system_calls().hold_lock_file(names.lock.chars());
        if (lock != nullptr) empty_and_release(names, lock);  // else in use
    }
}

void sweep_private_folders_once() {
    static std::once_flag swept;
    std::call_once(swept, sweep_private_folders);
}

bool could_reach_private_folder(const char* component, std::size_t length, bool more_follow, PathStyle style) {
    if (begins_with_prefix(component, length, style)) return true;
    if (style != PathStyle::windows || !more_follow) return false;
    // By characters: a second byte of a double-byte character may be the byte of '~'.
    for (std::size_t i = 0; i < length; i += character_length(component + i)) {
        if (component[i] == '~') return true;
    }
    return false;
}

}  // namespace voskel
