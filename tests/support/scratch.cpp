#include "support/scratch.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#if defined(_WIN32)
#include <process.h>
#define voskel_getpid _getpid
#else
#include <unistd.h>
#define voskel_getpid getpid
#endif

namespace fs = std::filesystem;

namespace voskel::test {

std::string host_path(const std::string& build_path) {
#if defined(_WIN32)
    std::string converted = build_path;
    for (char& c : converted) {
        if (c == '/') c = '\\';
    }
    return (!converted.empty() && converted[0] == '\\') ? "Z:" + converted : converted;
#else
    return build_path;
#endif
}

std::string join(const std::string& folder, const std::string& name) {
#if defined(_WIN32)
    constexpr char separator = '\\';
#else
    constexpr char separator = '/';
#endif
    if (folder.empty()) return name;
    return folder.back() == separator ? folder + name : folder + separator + name;
}

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void write_file(const std::string& path, const std::string& bytes) {
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

bool file_exists(const std::string& path) {
    std::error_code error;
    return fs::is_regular_file(path, error);
}

bool is_directory(const std::string& path) {
    std::error_code error;
    return fs::is_directory(path, error);
}

ScratchFolder::ScratchFolder(const std::string& label) {
    static int counter = 0;
    std::ostringstream name;
    name << label << '-' << voskel_getpid() << '-' << ++counter;
    path_ = join(host_path(VOSKEL_TEST_SCRATCH_DIR), name.str());
    std::error_code error;
    fs::remove_all(path_, error);
    fs::create_directories(path_);
}

ScratchFolder::~ScratchFolder() {
    std::error_code error;
    fs::remove_all(path_, error);
}

std::vector<std::string> ScratchFolder::files() const {
    std::vector<std::string> found;
    std::error_code error;
    for (auto it = fs::recursive_directory_iterator(path_, error); it != fs::recursive_directory_iterator();
         it.increment(error)) {
        if (it->is_regular_file()) found.push_back(fs::relative(it->path(), path_).string());
    }
    std::sort(found.begin(), found.end());
    return found;
}

bool is_private_folder_lock(const std::string& relative) {
    return relative.starts_with("in_voskel-") &&
           (relative.ends_with("/in_voskel-lock") || relative.ends_with("\\in_voskel-lock"));
}

uint32_t shift_jis_character_length(const char* text) {
    const auto lead = static_cast<unsigned char>(text[0]);
    const bool is_lead = (lead >= 0x81 && lead <= 0x9F) || (lead >= 0xE0 && lead <= 0xFC);
    return is_lead && text[1] != '\0' ? 2 : 1;
}

void set_env(const char* name, const char* value) {
#if defined(_WIN32)
    // The C runtime keeps its own copy of the environment, which getenv reads.
    _putenv_s(name, value ? value : "");
#else
    if (value) {
        setenv(name, value, 1);
    } else {
        unsetenv(name);
    }
#endif
}

SavedTempVariables::SavedTempVariables() {
    const char* temp = std::getenv("TEMP");
    const char* tmp = std::getenv("TMP");
    had_temp_ = temp != nullptr;
    had_tmp_ = tmp != nullptr;
    if (temp) temp_ = temp;
    if (tmp) tmp_ = tmp;
}

SavedTempVariables::~SavedTempVariables() {
    set_env("TEMP", had_temp_ ? temp_.c_str() : nullptr);
    set_env("TMP", had_tmp_ ? tmp_.c_str() : nullptr);
}

}  // namespace voskel::test
