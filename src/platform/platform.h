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

    // Deletes a file by path. Failure is ignored: there is nothing better to do.
    void (*delete_file)(const char* path);

    // A modal message with an OK button, owned by owner (which may be null);
    // returns once the user has closed it.
    void (*show_message)(WindowHandle owner, const char* text, const char* caption);

    // The value of an environment variable, or null when it is not set.
    const char* (*get_env)(const char* name);
};

// The table every caller goes through. Tests may overwrite its entries and
// restore them from platform_system_calls().
SystemCalls& system_calls();

// The platform's own services, never modified.
const SystemCalls& platform_system_calls();

// The build's own path style.
PathStyle native_path_style();

// The wildcard that names input plugin libraries beside ours: "in_*.dll" or "in_*.so".
const char* plugin_file_pattern();

// The name under which the RAR library is loaded: "unrar.dll" or "libunrar.so.5".
const char* rar_library_name();

}  // namespace voskel
