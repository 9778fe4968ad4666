#include "host_system.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "platform/platform.h"

#if defined(_WIN32)
#include <io.h>
#include <windows.h>
#else
#include <dlfcn.h>
#include <unistd.h>
#endif

namespace voskel::play {

namespace fs = std::filesystem;

namespace {

#if defined(_WIN32)
constexpr const char* separators = "\\/:";
constexpr char separator = '\\';
#else
constexpr const char* separators = "/";
constexpr char separator = '/';
#endif

}  // namespace

std::string program_folder() {
    char name[4096];
    const uint32_t count = system_calls().module_file_name(nullptr, name, sizeof name);
    if (count == 0 || count >= sizeof name) return ".";
    const std::string path(name, count);
    const std::size_t end = path.find_last_of(separators);
    return end == std::string::npos ? "." : path.substr(0, end);
}

std::string join_path(const std::string& folder, const std::string& name) {
    if (folder.empty()) return name;
    const char last = folder.back();
    return std::string(separators).find(last) != std::string::npos ? folder + name : folder + separator + name;
}

std::string full_path(const std::string& path) {
#if defined(_WIN32)
    char buffer[MAX_PATH * 4];
    const DWORD count = GetFullPathNameA(path.c_str(), sizeof buffer, buffer, nullptr);
    return count > 0 && count < sizeof buffer ? std::string(buffer, count) : path;
#else
    if (!path.empty() && path[0] == '/') return path;
    std::error_code error;
    const fs::path current = fs::current_path(error);
    return error ? path : join_path(current.string(), path);
#endif
}

bool same_file_name(const std::string& a, const std::string& b) {
#if defined(_WIN32)
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
#else
    return a == b;
#endif
}

std::string extension_of(const std::string& path) {
    const std::size_t name_start = path.find_last_of(separators);
    const std::size_t dot = path.rfind('.');
    if (dot == std::string::npos || (name_start != std::string::npos && dot < name_start)) return "";
    return path.substr(dot + 1);
}

std::string folder_problem(const std::string& folder) {
    std::error_code error;
    const fs::file_status status = fs::status(folder, error);
    if (!fs::exists(status)) return "no such folder";
    if (!fs::is_directory(status)) return "not a folder";
    fs::directory_iterator listing(folder, error);
    if (error) return "cannot be read: " + error.message();
    return "";
}

std::string file_problem(const std::string& path) {
    std::error_code error;
    const fs::file_status status = fs::status(path, error);
    if (!fs::exists(status)) return "no such file";
    if (fs::is_directory(status)) return "is a folder, not a file";
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return "cannot be read";
    std::fclose(file);
    return "";
}

std::string last_load_error() {
#if defined(_WIN32)
    const DWORD code = GetLastError();
    char text[512] = {};
    const DWORD count = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
                                       text, sizeof text, nullptr);
    std::string reason(text, count);
    while (!reason.empty() && (reason.back() == '\n' || reason.back() == '\r' || reason.back() == ' ')) {
        reason.pop_back();
    }
    return (reason.empty() ? "system error" : reason) + " (error " + std::to_string(code) + ")";
#else
    const char* reason = dlerror();
    return reason != nullptr ? reason : "unknown reason";
#endif
}

bool stderr_is_terminal() {
#if defined(_WIN32)
    return _isatty(_fileno(stderr)) != 0;
#else
    return isatty(STDERR_FILENO) != 0;
#endif
}

void provide_temp_variables() {
#if !defined(_WIN32)
    const char* temp = std::getenv("TEMP");
    const char* tmp = std::getenv("TMP");
    if (temp != nullptr && tmp != nullptr) return;
    const char* tmpdir = std::getenv("TMPDIR");
    const std::string folder = tmp != nullptr ? tmp : temp != nullptr ? temp : tmpdir != nullptr ? tmpdir : "/tmp";
    setenv("TEMP", folder.c_str(), 0);
    setenv("TMP", folder.c_str(), 0);
#endif
}

}  // namespace voskel::play
