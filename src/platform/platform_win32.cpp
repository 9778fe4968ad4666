// Win32 services: the Windows loader, FindFirstFileA, MessageBoxA, code pages.
#include <windows.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "platform/platform.h"

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

void delete_file(const char* path) { DeleteFileA(path); }

void show_message(WindowHandle owner, const char* text, const char* caption) {
    MessageBoxA(static_cast<HWND>(owner), text, caption, MB_OK);
}

const char* get_env(const char* name) { return std::getenv(name); }

// Through UTF-16, refusing best-fit replacements: a name that comes back
// different would name another file.
bool convert(UINT from, UINT to, const char* text, char* buffer, uint32_t size) {
    const int wide_count = MultiByteToWideChar(from, MB_ERR_INVALID_CHARS, text, -1, nullptr, 0);
    if (wide_count <= 0) return false;
    std::vector<wchar_t> wide(static_cast<std::size_t>(wide_count));
    if (MultiByteToWideChar(from, MB_ERR_INVALID_CHARS, text, -1, wide.data(), wide_count) != wide_count) return false;
    BOOL lossy = FALSE;
    const int written = WideCharToMultiByte(to, WC_NO_BEST_FIT_CHARS, wide.data(), wide_count, buffer,
                                            static_cast<int>(size), nullptr, &lossy);
    return written > 0 && !lossy;
}

bool ansi_to_oem(const char* text, char* buffer, uint32_t size) { return convert(CP_ACP, CP_OEMCP, text, buffer, size); }
bool oem_to_ansi(const char* text, char* buffer, uint32_t size) { return convert(CP_OEMCP, CP_ACP, text, buffer, size); }

bool ansi_to_wide(const char* text, wchar_t* buffer, uint32_t size) {
    return size != 0 && MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, text, -1, buffer, static_cast<int>(size)) > 0;
}

// UTF-8 (a system code page since Windows 10) takes neither flags nor the
// default-character pointers; it has a counterpart for every valid UTF-16
// text, and WC_ERR_INVALID_CHARS refuses the rest.
bool wide_to_ansi(const wchar_t* text, char* buffer, uint32_t size) {
    if (size == 0) return false;
    if (GetACP() == CP_UTF8) {
        return WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, text, -1, buffer, static_cast<int>(size), nullptr,
                                   nullptr) > 0;
    }
    BOOL lossy = FALSE;
    const int written =
        WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text, -1, buffer, static_cast<int>(size), nullptr, &lossy);
    return written > 0 && !lossy;
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

bool make_folder(const char* path) { return CreateDirectoryA(path, nullptr) != 0; }

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
                RemoveDirectoryA(entry.c_str());  // a junction: only the link goes
            } else {
                SetFileAttributesA(entry.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileA(entry.c_str());
            }
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    RemoveDirectoryA(path);
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
    ansi_to_oem, oem_to_ansi, ansi_to_wide, wide_to_ansi, wide_to_ansi_for_display,
    make_folder, remove_folder_tree, file_identity,
};

SystemCalls active_calls = win32_calls;

}  // namespace

SystemCalls& system_calls() { return active_calls; }
const SystemCalls& platform_system_calls() { return win32_calls; }
PathStyle native_path_style() { return PathStyle::windows; }
uint32_t longest_path() { return MAX_PATH - 1; }
const char* plugin_file_pattern() { return "in_*.dll"; }
const char* rar_library_name() { return "unrar.dll"; }

}  // namespace voskel
