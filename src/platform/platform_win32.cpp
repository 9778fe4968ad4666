// Win32 services: the Windows loader, FindFirstFileA, MessageBoxA, code pages.
#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/win32_code_pages.h"

namespace voskel {

namespace {

LibraryHandle load_library(const char* name_or_path) {
    return reinterpret_cast<LibraryHandle>(LoadLibraryA(name_or_path));
}

void* find_symbol(LibraryHandle library, const char* name) {
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
}

void unload_library(LibraryHandle library) {
    if (library != nullptr) FreeLibrary(static_cast<HMODULE>(library));
}

void find_files(const char* pattern, FoundFileVisitor visit, void* context) {
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(pattern, &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        visit(found.cFileName, (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0, context);
    } while (FindNextFileA(search, &found));
    FindClose(search);
}

uint32_t module_file_name(LibraryHandle library, char* buffer, uint32_t size) {
    return GetModuleFileNameA(static_cast<HMODULE>(library), buffer, size);
}

void show_message(WindowHandle owner, const char* text, const char* caption) {
    MessageBoxA(static_cast<HWND>(owner), text, caption, MB_OK);
}

// GB18030: like UTF-8, it encodes every character.
constexpr UINT gb18030_code_page = 54936;

}  // namespace

// A code page with a table of its own is asked to refuse best-fit
// replacements and to say when it put its default character in: either way
// the name would come back different and name another file. UTF-8 and
// GB18030 take neither request (WideCharToMultiByte fails), and need none:
// they encode every character, and WC_ERR_INVALID_CHARS refuses what is no
// character.
bool wide_to_code_page(UINT to, const wchar_t* wide, int wide_count, char* buffer, uint32_t size,
                       WideToMultiByteFunction wide_to_multi_byte) {
    const bool exact_by_nature = to == CP_UTF8 || to == gb18030_code_page;
    BOOL lossy = FALSE;
    const int written = wide_to_multi_byte(to, exact_by_nature ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS, wide,
                                           wide_count, buffer, static_cast<int>(size), nullptr,
                                           exact_by_nature ? nullptr : &lossy);
    return written > 0 && !lossy;
}

namespace {

bool ansi_to_wide(const char* text, wchar_t* buffer, uint32_t size) {
    return size != 0 && MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, text, -1, buffer, static_cast<int>(size)) > 0;
}

// By number, not as CP_ACP, so that UTF-8's rules apply where the system
// runs in it.
bool wide_to_ansi(const wchar_t* text, char* buffer, uint32_t size) {
    return size != 0 && wide_to_code_page(GetACP(), text, -1, buffer, size, WideCharToMultiByte);
}

// The double-byte code pages are the ones Windows offers as ANSI for
// Chinese, Japanese and Korean; UTF-8 needs no stepping, as none of its
// bytes beyond the first looks like ASCII.
uint32_t character_length(const char* text) {
    return text[0] != '\0' && text[1] != '\0' && IsDBCSLeadByteEx(GetACP(), static_cast<BYTE>(text[0])) ? 2 : 1;
}

bool is_exact_text(const char* text) {
    const std::size_t length = std::strlen(text);
    std::vector<wchar_t> wide(length + 1);
    std::vector<char> back(4 * length + 1);
    return ansi_to_wide(text, wide.data(), static_cast<uint32_t>(wide.size())) &&
           wide_to_ansi(wide.data(), back.data(), static_cast<uint32_t>(back.size())) &&
           std::strcmp(back.data(), text) == 0;
}

bool wide_path_to_ansi(const wchar_t* path, char* buffer, uint32_t size) {
    if (wide_to_ansi(path, buffer, size)) return true;
    const DWORD needed = GetShortPathNameW(path, nullptr, 0);
    if (needed == 0) return false;
    std::vector<wchar_t> short_path(needed);
    const DWORD length = GetShortPathNameW(path, short_path.data(), needed);
    return length > 0 && length < needed && wide_to_ansi(short_path.data(), buffer, size);
}

// The runtime's 8-bit copy of the environment says whether a variable is
// set; its wide copy holds the characters that the 8-bit one lost.
const char* get_env(const char* name) {
    const char* value = std::getenv(name);
    if (value == nullptr) return nullptr;
    const std::wstring wide_name(name, name + std::strlen(name));  // the names asked for are ASCII
    const wchar_t* wide = _wgetenv(wide_name.c_str());
    thread_local char path[MAX_PATH];
    if (wide == nullptr || wide_to_ansi(wide, path, sizeof path)) return value;
    return wide_path_to_ansi(wide, path, sizeof path) ? path : value;
}

// One character at a time, so that the text is cut between characters:
// the code pages Windows offers as ANSI carry no state from one to the next.
uint32_t wide_to_ansi_for_display(const wchar_t* text, char* buffer, uint32_t size) {
    const bool utf8 = GetACP() == CP_UTF8;
    uint32_t used = 0;
    for (const wchar_t* p = text; *p != L'\0';) {
        const bool pair = p[0] >= 0xD800 && p[0] <= 0xDBFF && p[1] >= 0xDC00 && p[1] <= 0xDFFF;
        const int units = pair ? 2 : 1;
        char bytes[8];
        BOOL lacking = FALSE;
        int count = utf8 ? WideCharToMultiByte(CP_UTF8, 0, p, units, bytes, sizeof bytes, nullptr, nullptr)
                         : WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, p, units, bytes, sizeof bytes, nullptr,
                                               &lacking);
        // One mark for one character, whether it takes one code unit or two.
        if (count <= 0 || lacking) {
            bytes[0] = '?';
            count = 1;
        }
        if (used + static_cast<uint32_t>(count) + 1 > size) break;
        for (int i = 0; i < count; ++i) buffer[used++] = bytes[i];
        p += units;
    }
    buffer[used] = '\0';
    return used;
}

// Clears the read-only attribute of path; what it was, or none.
DWORD clear_read_only(const char* path) {
    const DWORD attributes = GetFileAttributesA(path);
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_READONLY) == 0) {
        return INVALID_FILE_ATTRIBUTES;
    }
    return SetFileAttributesA(path, attributes & ~FILE_ATTRIBUTE_READONLY) ? attributes : INVALID_FILE_ATTRIBUTES;
}

// The folder holding path: up to its last '\' or '/', read by characters.
std::string folder_of(const char* path) {
    std::size_t last = std::string::npos;
    for (std::size_t i = 0; path[i] != '\0'; i += character_length(path + i)) {
        if (path[i] == '\\' || path[i] == '/') last = i;
    }
    return last == std::string::npos ? std::string(".") : std::string(path, last);
}

// Runs removal (DeleteFileA or RemoveDirectoryA) on path. A read-only file
// or folder refuses it: its attribute is cleared. Wine also refuses it in
// a read-only folder: that one's is cleared for the while.
bool remove_read_only_too(const char* path, BOOL(WINAPI* removal)(LPCSTR)) {
    if (removal(path)) return true;
    if (clear_read_only(path) != INVALID_FILE_ATTRIBUTES && removal(path)) return true;
    const std::string folder = folder_of(path);
    const DWORD folder_attributes = clear_read_only(folder.c_str());
    if (folder_attributes == INVALID_FILE_ATTRIBUTES) return false;
    const bool removed = removal(path) != 0;
    SetFileAttributesA(folder.c_str(), folder_attributes);
    return removed;
}

bool delete_file(const char* path) { return remove_read_only_too(path, DeleteFileA); }

bool make_folder(const char* path) { return CreateDirectoryA(path, nullptr) != 0; }

bool remove_empty_folder(const char* path) { return remove_read_only_too(path, RemoveDirectoryA); }

void remove_folder_tree(const char* path) {
    const std::string folder = path;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const std::string name = found.cFileName;
            if (name == "." || name == "..") continue;
            const std::string entry = folder + "\\" + name;
            const DWORD attributes = found.dwFileAttributes;
            if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
                remove_folder_tree(entry.c_str());
            } else if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
                remove_empty_folder(entry.c_str());  // a junction: only the link goes
            } else {
                delete_file(entry.c_str());
            }
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    remove_empty_folder(path);
}

// Shared with no one, and deleted by the system when its last handle
// closes: when the process ends, however it ends, the file goes with it.
void* hold_lock_file(const char* path) {
    HANDLE lock = CreateFileA(path, GENERIC_READ | GENERIC_WRITE | DELETE, 0, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    return lock == INVALID_HANDLE_VALUE ? nullptr : lock;
}

void release_lock_file(void* lock, const char*) {
    if (lock != nullptr) CloseHandle(static_cast<HANDLE>(lock));
}

void mark_window(WindowHandle window, const char* property) {
    const std::wstring name(property, property + std::strlen(property));  // ASCII
    SetPropW(static_cast<HWND>(window), name.c_str(), reinterpret_cast<HANDLE>(1));
}

// A thread timer looks for the window now and then. The window's own
// destruction is no moment to act: its children, another library's panes
// among them, are still being destroyed then.
struct WindowWatch {
    HWND window;
    void (*gone)(void*);
    void* context;
    UINT_PTR timer;
};
std::vector<WindowWatch*> watches;  // this thread's, the host's main thread

void CALLBACK look_for_windows(HWND, UINT, UINT_PTR timer, DWORD) {
    for (auto it = watches.begin(); it != watches.end(); ++it) {
        WindowWatch* watch = *it;
        if (watch->timer != timer || IsWindow(watch->window)) continue;
        KillTimer(nullptr, timer);
        watches.erase(it);
        watch->gone(watch->context);
        delete watch;
        return;
    }
}

void* watch_window(WindowHandle window, void (*gone)(void*), void* context) {
    constexpr UINT every_ms = 250;
    auto* watch = new WindowWatch{static_cast<HWND>(window), gone, context, 0};
    watch->timer = SetTimer(nullptr, 0, every_ms, look_for_windows);
    if (watch->timer == 0) {
        delete watch;
        return nullptr;
    }
    watches.push_back(watch);
    return watch;
}

void stop_watching(void* handle) {
    auto* watch = static_cast<WindowWatch*>(handle);
    const auto found = std::find(watches.begin(), watches.end(), watch);
    if (found == watches.end()) return;
    KillTimer(nullptr, watch->timer);
    watches.erase(found);
    delete watch;
}

bool file_identity(const char* path, uint64_t& size, uint64_t& modified) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path, GetFileExInfoStandard, &data)) return false;
    if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return false;
    size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    modified = (static_cast<uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) | data.ftLastWriteTime.dwLowDateTime;
    return true;
}

constexpr SystemCalls win32_calls = {
    load_library, find_symbol, unload_library, find_files,
    module_file_name, delete_file, show_message, get_env,
    character_length, is_exact_text, ansi_to_wide, wide_to_ansi, wide_path_to_ansi, wide_to_ansi_for_display,
    make_folder, remove_empty_folder, remove_folder_tree, hold_lock_file, release_lock_file,
    mark_window, watch_window, stop_watching, file_identity,
};

SystemCalls active_calls = win32_calls;

}  // namespace

Utf8Conversions::Utf8Conversions() = default;
Utf8Conversions::~Utf8Conversions() = default;

SystemCalls& system_calls() { return active_calls; }
const SystemCalls& platform_system_calls() { return win32_calls; }
PathStyle native_path_style() { return PathStyle::windows; }
uint32_t longest_path() { return MAX_PATH - 1; }
const char* plugin_file_pattern() { return "in_*.dll"; }
const char* rar_library_name() { return "unrar.dll"; }

// The module holding this very function; its load count is left as it is.
LibraryHandle own_library() {
    HMODULE module = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCSTR>(&own_library), &module);
    return module;
}

FileState file_state(const char* path) {
    FileState state;
    // Most looks find nothing, and asking for attributes tells that without
    // opening anything.
    if (GetFileAttributesA(path) == INVALID_FILE_ATTRIBUTES) {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) state.kind = FileState::Kind::absent;
        return state;
    }
    // Attributes alone: no share mode of another opener stands in the way.
    HANDLE file = CreateFileA(path, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                              nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) state.kind = FileState::Kind::absent;
        return state;
    }
    // Not GetFileInformationByHandle: its volume serial number asks for the
    // volume itself, which Wine reports on standard error where it cannot.
    FILE_STANDARD_INFO standard;
    FILE_BASIC_INFO basic;
    if (GetFileInformationByHandleEx(file, FileStandardInfo, &standard, sizeof standard) &&
        GetFileInformationByHandleEx(file, FileBasicInfo, &basic, sizeof basic)) {
        state.kind = FileState::Kind::present;
        state.size = static_cast<uint64_t>(standard.EndOfFile.QuadPart);
        state.marks[0] = static_cast<uint64_t>(basic.CreationTime.QuadPart);
        state.marks[1] = static_cast<uint64_t>(basic.LastWriteTime.QuadPart);
        // The libraries set the last-write time to the member's; the change
        // time moves with every write all the same.
        state.marks[2] = static_cast<uint64_t>(basic.ChangeTime.QuadPart);
    }
    CloseHandle(file);
    return state;
}

}  // namespace voskel
