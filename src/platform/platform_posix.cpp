// POSIX services: dlopen, a sorted folder scan, the link map, unlink.
#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <ftw.h>
#include <link.h>
#include <locale.h>
#include <strings.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace voskel {

namespace {

LibraryHandle load_library(const char* name_or_path) {
    return dlopen(name_or_path, RTLD_NOW | RTLD_LOCAL);
}

void* find_symbol(LibraryHandle library, const char* name) { return dlsym(library, name); }

void unload_library(LibraryHandle library) {
    if (library != nullptr) dlclose(library);
}

bool name_before(const std::string& a, const std::string& b) {
    const int folded = strcasecmp(a.c_str(), b.c_str());
    return folded != 0 ? folded < 0 : a < b;
}

// Names come sorted, case-blind first, so that the order of discovery is the
// same on every file system, as it is on NTFS.
void find_files(const char* pattern, FoundFileVisitor visit, void* context) {
    const char* slash = std::strrchr(pattern, '/');
    const std::string folder = slash ? std::string(pattern, slash == pattern ? 1 : slash - pattern) : ".";
    const char* wildcard = slash ? slash + 1 : pattern;

    DIR* dir = opendir(folder.c_str());
    if (dir == nullptr) return;
    std::vector<std::string> names;
    while (const dirent* entry = readdir(dir)) {
        if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) continue;
        if (fnmatch(wildcard, entry->d_name, FNM_CASEFOLD) == 0) names.emplace_back(entry->d_name);
    }
    const int dir_fd = dirfd(dir);
    std::sort(names.begin(), names.end(), name_before);
    for (const std::string& name : names) {
        struct stat info;
        const bool is_directory = fstatat(dir_fd, name.c_str(), &info, 0) == 0 && S_ISDIR(info.st_mode);
        visit(name.c_str(), is_directory, context);
    }
    closedir(dir);
}

// As GetModuleFileNameA on current Windows: a name cut short keeps its NUL
// and the count returned is the buffer size.
uint32_t module_file_name(LibraryHandle library, char* buffer, uint32_t size) {
    std::string name;
    if (library == nullptr) {
        char program[4096];
        const ssize_t count = readlink("/proc/self/exe", program, sizeof program);
        if (count <= 0) return 0;
        name.assign(program, static_cast<std::size_t>(count));
    } else {
        link_map* map = nullptr;
        if (dlinfo(library, RTLD_DI_LINKMAP, &map) != 0 || map == nullptr || map->l_name == nullptr) return 0;
        name = map->l_name;
    }
    if (size == 0 || name.empty()) return 0;
    if (name.size() < size) {
        std::memcpy(buffer, name.c_str(), name.size() + 1);
        return static_cast<uint32_t>(name.size());
    }
    std::memcpy(buffer, name.data(), size - 1);
    buffer[size - 1] = '\0';
    return size;
}

// Runs remove (unlink or rmdir) on path; where the folder holding it is
// read-only, once more with the folder made writable for the while.
bool remove_in_folder(const char* path, int (*removal)(const char*)) {
    if (removal(path) == 0) return true;
    if (errno != EACCES && errno != EPERM) return false;
    const char* slash = std::strrchr(path, '/');
    const std::string folder = slash == nullptr ? "." : slash == path ? "/" : std::string(path, slash);
    struct stat info;
    if (stat(folder.c_str(), &info) != 0 || chmod(folder.c_str(), info.st_mode | S_IWUSR | S_IXUSR) != 0) return false;
    const bool removed = removal(path) == 0;
    chmod(folder.c_str(), info.st_mode);
    return removed;
}

bool delete_file(const char* path) { return remove_in_folder(path, unlink); }

// There is no window system to speak of; the message goes where a user of a
// command-line host will see it.
void show_message(WindowHandle, const char* text, const char* caption) {
    std::fprintf(stderr, "%s: %s\n", caption, text);
}

const char* get_env(const char* name) { return std::getenv(name); }

// File names here are UTF-8 and wchar_t holds one code point.
constexpr char32_t no_character = 0xFFFFFFFF;

bool is_scalar_value(char32_t c) { return c <= 0x10FFFF && (c < 0xD800 || c > 0xDFFF); }

// The code point at text (advanced past it), or no_character for a byte
// sequence that is not UTF-8 in its one shortest form.
char32_t next_code_point(const char*& text) {
    const auto lead = static_cast<unsigned char>(*text++);
    if (lead < 0x80) return lead;
    int follow = lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC0 ? 1 : -1;
    if (follow < 0 || lead > 0xF4) return no_character;
    char32_t c = lead & (0x3F >> follow);
    for (int i = 0; i < follow; ++i) {
        const auto next = static_cast<unsigned char>(*text);
        if ((next & 0xC0) != 0x80) return no_character;
        c = (c << 6) | (next & 0x3F);
        ++text;
    }
    constexpr char32_t shortest[] = {0, 0x80, 0x800, 0x10000};
    return c >= shortest[follow] && is_scalar_value(c) ? c : no_character;
}

// Writes c's UTF-8 form into bytes; returns its length.
int encode(char32_t c, char* bytes) {
    if (c < 0x80) {
        bytes[0] = static_cast<char>(c);
        return 1;
    }
    const int follow = c < 0x800 ? 1 : c < 0x10000 ? 2 : 3;
    constexpr unsigned char lead_marks[] = {0, 0xC0, 0xE0, 0xF0};
    bytes[0] = static_cast<char>(lead_marks[follow] | (c >> (6 * follow)));
    for (int i = 1; i <= follow; ++i) bytes[i] = static_cast<char>(0x80 | ((c >> (6 * (follow - i))) & 0x3F));
    return follow + 1;
}

bool utf8_to_wide(const char* text, wchar_t* buffer, uint32_t size) {
    uint32_t used = 0;
    while (*text != '\0') {
        const char32_t c = next_code_point(text);
        if (c == no_character || used + 1 >= size) return false;
        buffer[used++] = static_cast<wchar_t>(c);
    }
    if (used >= size) return false;
    buffer[used] = L'\0';
    return true;
}

bool wide_to_utf8(const wchar_t* text, char* buffer, uint32_t size) {
    uint32_t used = 0;
    for (; *text != L'\0'; ++text) {
        const auto c = static_cast<char32_t>(*text);
        char bytes[4];
        if (!is_scalar_value(c)) return false;
        const int count = encode(c, bytes);
        if (used + static_cast<uint32_t>(count) >= size) return false;
        std::memcpy(buffer + used, bytes, static_cast<std::size_t>(count));
        used += static_cast<uint32_t>(count);
    }
    if (used >= size) return false;
    buffer[used] = '\0';
    return true;
}

uint32_t wide_to_utf8_for_display(const wchar_t* text, char* buffer, uint32_t size) {
    uint32_t used = 0;
    for (; *text != L'\0'; ++text) {
        const auto c = static_cast<char32_t>(*text);
        char bytes[4] = {'?'};
        const int count = is_scalar_value(c) ? encode(c, bytes) : 1;
        if (used + static_cast<uint32_t>(count) + 1 > size) break;
        std::memcpy(buffer + used, bytes, static_cast<std::size_t>(count));
        used += static_cast<uint32_t>(count);
    }
    buffer[used] = '\0';
    return used;
}

// UTF-8 has no byte beyond a character's first that looks like ASCII.
uint32_t character_length(const char*) { return 1; }

bool is_exact_text(const char*) { return true; }

bool make_folder(const char* path) { return mkdir(path, 0700) == 0; }

bool remove_empty_folder(const char* path) { return remove_in_folder(path, rmdir); }

int remove_entry(const char* path, const struct stat*, int type, FTW*) {
    if (type == FTW_DP) {
        remove_empty_folder(path);
    } else {
        delete_file(path);
    }
    return 0;
}

// Depth first, and links are removed, never followed.
void remove_folder_tree(const char* path) {
    constexpr int open_folders = 16;
    nftw(path, remove_entry, open_folders, FTW_DEPTH | FTW_PHYS);
}

// An open file description holding an flock: the lock goes with the
// process, however it ends; the file stays until release_lock_file.
void* hold_lock_file(const char* path) {
    constexpr int attempts = 16;
    for (int attempt = 0; attempt < attempts; ++attempt) {
        const int fd = open(path, O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0) return nullptr;
        if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
            close(fd);
            return nullptr;
        }
        // Its last holder may have deleted the file between our open and our
        // lock: a lock on a file without a name guards nothing.
        struct stat held, named;
        if (fstat(fd, &held) == 0 && lstat(path, &named) == 0 && held.st_dev == named.st_dev &&
            held.st_ino == named.st_ino) {
            return reinterpret_cast<void*>(static_cast<intptr_t>(fd) + 1);
        }
        close(fd);
    }
    return nullptr;
}

// Deleted while still held, so that no one locks the file on its way out;
// only while the path still names it: its holder may have removed it with
// its folder already, and another may hold a new file of that name.
void release_lock_file(void* lock, const char* path) {
    if (lock == nullptr) return;
    const int fd = static_cast<int>(reinterpret_cast<intptr_t>(lock) - 1);
    struct stat held, named;
    if (fstat(fd, &held) == 0 && lstat(path, &named) == 0 && held.st_dev == named.st_dev &&
        held.st_ino == named.st_ino) {
        unlink(path);
    }
    close(fd);
}

void mark_window(WindowHandle, const char*) {}

void* watch_window(WindowHandle, void (*)(void*), void*) { return nullptr; }

void stop_watching(void*) {}

bool file_identity(const char* path, uint64_t& size, uint64_t& modified) {
    struct stat info;
    if (stat(path, &info) != 0 || !S_ISREG(info.st_mode)) return false;
    size = static_cast<uint64_t>(info.st_size);
    modified = static_cast<uint64_t>(info.st_mtim.tv_sec) * 1000000000u + static_cast<uint64_t>(info.st_mtim.tv_nsec);
    return true;
}

constexpr SystemCalls posix_calls = {
    load_library, find_symbol, unload_library, find_files,
    module_file_name, delete_file, show_message, get_env,
    character_length, is_exact_text, utf8_to_wide, wide_to_utf8, wide_to_utf8, wide_to_utf8_for_display,
    make_folder, remove_empty_folder, remove_folder_tree, hold_lock_file, release_lock_file,
    mark_window, watch_window, stop_watching, file_identity,
};

SystemCalls active_calls = posix_calls;

// Made on first use (it costs tens of microseconds) and freed when the
// plugin is unloaded. Null where the C library has no such locale.
locale_t utf8_locale() {
    struct Made {
        locale_t locale = newlocale(LC_CTYPE_MASK, "C.UTF-8", nullptr);
        ~Made() {
            if (locale != nullptr) freelocale(locale);
        }
    };
    static const Made made;
    return made.locale;
}

}  // namespace

Utf8Conversions::Utf8Conversions() : previous_(utf8_locale() != nullptr ? uselocale(utf8_locale()) : nullptr) {}

Utf8Conversions::~Utf8Conversions() {
    if (previous_ != nullptr) uselocale(static_cast<locale_t>(previous_));
}

SystemCalls& system_calls() { return active_calls; }
const SystemCalls& platform_system_calls() { return posix_calls; }
PathStyle native_path_style() { return PathStyle::posix; }
uint32_t longest_path() { return PATH_MAX - 1; }
const char* plugin_file_pattern() { return "in_*.so"; }
const char* rar_library_name() { return "libunrar.so.5"; }

// The shared object holding this very function, or null when that is the
// program itself.
LibraryHandle own_library() {
    Dl_info info;
    link_map* map = nullptr;
    if (dladdr1(reinterpret_cast<void*>(&own_library), &info, reinterpret_cast<void**>(&map), RTLD_DL_LINKMAP) == 0 ||
        map == nullptr || map->l_name == nullptr || map->l_name[0] == '\0') {
        return nullptr;
    }
    // It is loaded already: this only finds its handle, and the load counted
    // for it is dropped at once.
    LibraryHandle library = dlopen(map->l_name, RTLD_NOLOAD | RTLD_LAZY);
    if (library != nullptr) dlclose(library);
    return library;
}

FileState file_state(const char* path) {
    FileState state;
    struct stat info;
    if (lstat(path, &info) != 0) {
        if (errno == ENOENT || errno == ENOTDIR) state.kind = FileState::Kind::absent;
        return state;
    }
    state.kind = FileState::Kind::present;
    state.size = static_cast<uint64_t>(info.st_size);
    state.marks[0] = static_cast<uint64_t>(info.st_dev);
    state.marks[1] = static_cast<uint64_t>(info.st_ino);
    state.marks[2] = static_cast<uint64_t>(info.st_mtim.tv_sec) * 1000000000u + static_cast<uint64_t>(info.st_mtim.tv_nsec);
    // No call sets the change time: any write moves it, even one that puts the old modification time back.
    state.marks[3] = static_cast<uint64_t>(info.st_ctim.tv_sec) * 1000000000u + static_cast<uint64_t>(info.st_ctim.tv_nsec);
    return state;
}

}  // namespace voskel
