// POSIX services: dlopen, a sorted folder scan, the link map, unlink.
#include <dirent.h>
#include <dlfcn.h>
#include <fnmatch.h>
#include <link.h>
#include <strings.h>
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

void delete_file(const char* path) { unlink(path); }

// There is no window system to speak of; the message goes where a user of a
// command-line host will see it.
void show_message(WindowHandle, const char* text, const char* caption) {
    std::fprintf(stderr, "%s: %s\n", caption, text);
}

const char* get_env(const char* name) { return std::getenv(name); }

bool copy_text(const char* text, char* buffer, uint32_t size) {
    const std::size_t length = std::strlen(text);
    if (length >= size) return false;
    std::memcpy(buffer, text, length + 1);
    return true;
}

constexpr SystemCalls posix_calls = {
    load_library, find_symbol, unload_library, find_files,
    module_file_name, delete_file, show_message, get_env,
    copy_text, copy_text,
};

SystemCalls active_calls = posix_calls;

}  // namespace

SystemCalls& system_calls() { return active_calls; }
const SystemCalls& platform_system_calls() { return posix_calls; }
PathStyle native_path_style() { return PathStyle::posix; }
uint32_t longest_path() { return PATH_MAX - 1; }
const char* plugin_file_pattern() { return "in_*.so"; }
const char* rar_library_name() { return "libunrar.so.5"; }

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
