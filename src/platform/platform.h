// The operating-system services the plugin uses, behind one table.
//
// Everything outside src/platform/ reaches the system through system_calls(),
// so the rest of the code is the same on every build, and a test can replace
// one entry (make a load fail, capture a message box) without touching the
// others. platform_win32.cpp and platform_posix.cpp each supply the table;
// the build picks one.
#pragma once

#include <cstdint>

namespace voskel {

using LibraryHandle = void*;
using WindowHandle = void*;

// How path text is taken apart and joined. Windows: ':' and '\' separate,
// joins insert '\', '/' is an ordinary character. POSIX: '/' separates and
// joins insert '/'.
enum class PathStyle { windows, posix };

// Called once per directory entry found by find_files.
using FoundFileVisitor = void (*)(const char* name, bool is_directory, void* context);

struct SystemCalls {
    // A library by bare name (the platform's usual search) or by full path.
    // Returns null on failure. Each successful load needs one unload.
    LibraryHandle (*load_library)(const char* name_or_path);

    // An export of a loaded library by name; null if it is missing.
    void* (*find_symbol)(LibraryHandle library, const char* name);

    // Drops one load of the library. A null handle is ignored.
    void (*unload_library)(LibraryHandle library);

    // Visits every entry of one folder whose name matches the last component
    // of pattern ('*' and '?' wildcards, compared without regard to case).
    // Directories are reported as such. A folder that cannot be read, or a
    // pattern that matches nothing, visits nothing.
    void (*find_files)(const char* pattern, FoundFileVisitor visit, void* context);

    // The full file name of a loaded library, written into buffer of size
    // characters. Returns the count written, which equals size when the name
    // was cut short (the text may then lack its NUL), and 0 on failure.
    uint32_t (*module_file_name)(LibraryHandle library, char* buffer, uint32_t size);

    // Deletes a file by path, a read-only one too, and one in a read-only
    // folder (whose attributes are then put back). False when it stays
    // (most callers have nothing better to do than go on).
    bool (*delete_file)(const char* path);

    // A modal message with an OK button, owned by owner (which may be null);
    // returns once the user has closed it.
    void (*show_message)(WindowHandle owner, const char* text, const char* caption);

    // The value of an environment variable, or null when it is not set. On
    // Windows, a value with characters beyond the ANSI code page (which the
    // runtime's 8-bit copy holds as '?') is given as wide_path_to_ansi gives
    // it, where that succeeds; the text then lasts until this thread's next
    // call.
    const char* (*get_env)(const char* name);

    // The length in bytes of the character text begins with, in the code
    // page every other call here uses (ANSI on Windows): 2 for a lead byte of
    // a double-byte code page followed by its trail byte, else 1. A trail
    // byte may look like '\\', '|' or a letter: whoever looks at the
    // characters of a name steps by this.
    uint32_t (*character_length)(const char* text);

    // Whether text is whole text of that code page, which the system's own
    // conversions leave as it is: a file named by text that is not (a
    // lone lead byte at its end, say) may be written under another name.
    // POSIX: file names are bytes, and any bytes are.
    bool (*is_exact_text)(const char* text);

    // Text of that code page as wchar_t text (UTF-16 on Windows; elsewhere
    // the platform's wchar_t, from UTF-8), written into buffer of size
    // characters with its NUL. False when it does not fit or the bytes are
    // not valid text in the code page.
    bool (*ansi_to_wide)(const char* text, wchar_t* buffer, uint32_t size);

    // Back again, exactly: false when it does not fit, or when a character
    // has no exact counterpart (a name that came back different would name
    // another file).
    bool (*wide_to_ansi)(const wchar_t* text, char* buffer, uint32_t size);

    // A path as the text of that code page: exact, as wide_to_ansi, or where
    // that fails (Windows) the exact text of its short (8.3) form, which is
    // plain ASCII where the volume makes short names and exists only for a
    // path that exists. False when neither fits or exists.
    bool (*wide_path_to_ansi)(const wchar_t* path, char* buffer, uint32_t size);

    // For showing, not for naming files: as many whole characters of text as
    // fit into size bytes with the NUL (size is at least 1), a character
    // without counterpart written as '?'. Returns the bytes written before
    // the NUL.
    uint32_t (*wide_to_ansi_for_display)(const wchar_t* text, char* buffer, uint32_t size);

    // Creates one folder, readable and writable by this user alone where
    // the system has such rights. False when it exists already or cannot be
    // made.
    bool (*make_folder)(const char* path);

    // Removes a folder that holds nothing, a read-only one too. False when
    // it is not empty, is not there, or cannot be removed.
    bool (*remove_empty_folder)(const char* path);

    // Removes a folder with everything below it, following no link and no
    // junction out of it; read-only files and folders go too, each deleted
    // as delete_file and remove_empty_folder delete them. What cannot be
    // removed stays; there is nothing better to do.
    void (*remove_folder_tree)(const char* path);

    // Holds the file at path (made if missing) as a lock: null when another
    // holder has it, in this process or another, or it cannot be made. A
    // process lets go of what it holds when it ends, however it ends.
    void* (*hold_lock_file)(const char* path);

    // Lets go of a held lock and deletes its file, unless it is gone
    // already (then a file of that name is another's).
    void (*release_lock_file)(void* lock, const char* path);

    // Sets a window property (its name ASCII) to 1. Where there are no
    // windows, nothing.
    void (*mark_window)(WindowHandle window, const char* property);

    // Calls gone(context) once, on this thread, some time after the
    // window no longer exists; it needs this thread's messages pumped, as
    // the host's main thread pumps them. Null where there are no windows
    // (gone is then never called).
    void* (*watch_window)(WindowHandle window, void (*gone)(void* context), void* context);

    // Ends a watch before it called gone; null is ignored. Call it on the
    // thread that began the watch.
    void (*stop_watching)(void* watch);

    // The size in bytes and the time of last change of a file, in the
    // system's own units; false when there is no such file.
    bool (*file_identity)(const char* path, uint64_t& size, uint64_t& modified);
};

// The table every caller goes through. Tests may overwrite its entries and
// restore them from platform_system_calls().
SystemCalls& system_calls();

// The platform's own services, never modified.
const SystemCalls& platform_system_calls();

// While one is alive, the C library's conversions between wchar_t and
// multibyte text speak UTF-8 on the calling thread: libraries that take
// names as wchar_t (the UnRAR library) or convert them (libarchive) go
// through them. POSIX: a locale of this thread alone, as the process's is
// the host's; without a UTF-8 locale in the C library nothing changes.
// Windows: nothing changes, as the libraries speak UTF-16 to the system.
class Utf8Conversions {
public:
    Utf8Conversions();
    ~Utf8Conversions();
    Utf8Conversions(const Utf8Conversions&) = delete;
    Utf8Conversions& operator=(const Utf8Conversions&) = delete;

private:
    void* previous_ = nullptr;
};

// The build's own path style.
PathStyle native_path_style();

// The longest full path the file calls above, and the host's and inner
// plugins' own, reach: MAX_PATH less its NUL on Windows.
uint32_t longest_path();

// The wildcard that names input plugin libraries beside ours: "in_*.dll" or "in_*.so".
const char* plugin_file_pattern();

// The name under which the RAR library is loaded: "unrar.dll" or "libunrar.so.5".
const char* rar_library_name();

// The library this code is linked into: the plugin's own, or the program
// that links the code directly (on POSIX null then, as module_file_name takes it).
LibraryHandle own_library();

// What one look at a path tells, so that a second look shows whether the
// file was written in between: its size, and what changes when it is
// written or made anew (POSIX: device, inode, modification and change
// time; Windows: creation, last-write and change time).
struct FileState {
    enum class Kind { absent, present, unknown } kind = Kind::unknown;  // unknown: it could not be read
    uint64_t size = 0;
    uint64_t marks[4] = {};
};

// The state of whatever is at path, not following a last symbolic link.
FileState file_state(const char* path);

// Whether two looks saw the same: both absent, or the same file unchanged.
// Unknown is never the same as anything.
inline bool same_file_state(const FileState& before, const FileState& after) {
    if (before.kind == FileState::Kind::unknown || before.kind != after.kind || before.size != after.size) return false;
    for (int i = 0; i < 4; ++i) {
        if (before.marks[i] != after.marks[i]) return false;
    }
    return true;
}

}  // namespace voskel
