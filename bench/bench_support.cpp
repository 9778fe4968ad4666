#include "bench_support.h"

#include <cstdlib>
#include <filesystem>
#include <vector>

#if defined(_WIN32)
#include <windows.h>

#include "extract/unzip32_api.h"
#else
#include <archive.h>
#include <archive_entry.h>
#include <fcntl.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace voskel::bench {

namespace {

// The build hands over POSIX paths; under Wine the same folders are on Z:.
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

std::string library_file(const std::string& base) {
    return base + (native_path_style() == PathStyle::windows ? ".dll" : ".so");
}

}  // namespace

std::string join(const std::string& folder, const std::string& name) {
    const char separator = native_path_style() == PathStyle::windows ? '\\' : '/';
    if (folder.empty() || folder.back() == separator) return folder + name;
    return folder + separator + name;
}

std::string fresh_folder(const std::string& name) {
    const std::string path = join(host_path(VOSKEL_BENCH_SCRATCH_DIR), name);
    std::error_code error;
    fs::remove_all(path, error);
    fs::create_directories(path);
    return path;
}

std::string data_file(const std::string& name) { return join(host_path(VOSKEL_BENCH_DATA_DIR), name); }

void use_temp_folder(const std::string& folder) {
#if defined(_WIN32)
    _putenv_s("TEMP", folder.c_str());
    _putenv_s("TMP", folder.c_str());
#else
    setenv("TEMP", folder.c_str(), 1);
    setenv("TMP", folder.c_str(), 1);
#endif
}

void fill_plugin_folder(const std::string& folder, int null_plugins) {
    fs::copy_file(join(host_path(VOSKEL_PLUGIN_DIR), library_file("in_voskel")), join(folder, library_file("in_voskel")),
                  fs::copy_options::overwrite_existing);
    const std::string null_plugin = host_path(VOSKEL_NULL_PLUGIN);
    for (int n = 0; n < null_plugins; ++n) {
        const std::string number = std::to_string(1000 + n).substr(1);
        fs::copy_file(null_plugin, join(folder, library_file("in_null" + number)), fs::copy_options::overwrite_existing);
    }
}

Host::Host(const std::string& plugin_folder) {
    const SystemCalls& system = platform_system_calls();
    library_ = system.load_library(join(plugin_folder, library_file("in_voskel")).c_str());
    if (library_ == nullptr) return;
    auto get_module = reinterpret_cast<GetInModuleFunction>(system.find_symbol(library_, get_in_module_export));
    plugin_ = get_module != nullptr ? get_module() : nullptr;
    if (plugin_ == nullptr) return;
    // No visualisation, DSP or output services: the null plugin uses none.
    plugin_->hDllInstance = library_;
    plugin_->Init();
}

Host::~Host() {
    if (plugin_ != nullptr) plugin_->Quit();
    platform_system_calls().unload_library(library_);
}

int Host::play(const std::string& file) {
    std::vector<char> text(file.begin(), file.end() + 1);
    return plugin_->Play(text.data());
}

int Host::file_info(const std::string& file) {
    std::vector<char> text(file.begin(), file.end() + 1);
    char title[2048] = {};
    int length_ms = -1;
    plugin_->GetFileInfo(text.data(), title, &length_ms);
    return length_ms;
}

#if defined(_WIN32)

namespace {

int VOSKEL_WINAPI swallow(char*, unsigned long size) { return static_cast<int>(size); }
int VOSKEL_WINAPI replace(char*, unsigned) { return 1; }
int VOSKEL_WINAPI no_password(char*, int, const char*, const char*) { return 1; }
// A listing hands each member's name and size here, as the plugin needs them.
void VOSKEL_WINAPI listed(unsigned long long, unsigned long long, unsigned, unsigned, unsigned, unsigned, unsigned,
                          unsigned, char, const char*, const char*, unsigned long, char) {}

}  // namespace

// UnZip 6.0, as the set-up script builds it: one extraction pass for a
// named member, the library loaded once.
DirectExtractor::DirectExtractor(Extra extra) : extra_(extra) { load(); }

DirectExtractor::~DirectExtractor() { platform_system_calls().unload_library(library_); }

bool DirectExtractor::load() {
    library_ = platform_system_calls().load_library("unzip32.dll");
    entry_ = library_ != nullptr ? platform_system_calls().find_symbol(library_, "Wiz_SingleEntryUnzip") : nullptr;
    return entry_ != nullptr;
}

bool DirectExtractor::ok() const { return entry_ != nullptr; }

bool DirectExtractor::extract_and_delete(const std::string& archive, const std::string& member,
                                         const std::string& folder) {
    if (extra_.load_each) {
        platform_system_calls().unload_library(library_);
        if (!load()) return false;
    }
    unzip6::USERFUNCTIONS callbacks{};
    callbacks.print = swallow;
    callbacks.replace = replace;
    callbacks.password = no_password;
    callbacks.SendApplicationMessage = listed;
    unzip6::DCL options{};
    options.StructVersID = unzip6::UZ_DCL_STRUCTVER;
    options.fQuiet = 2;
    options.ndflag = 1;
    options.noflag = 1;
    options.lpszZipFN = const_cast<char*>(archive.c_str());
    options.lpszExtractDir = const_cast<char*>(folder.c_str());
    const auto run = reinterpret_cast<unzip6::SingleEntryUnzip>(entry_);
    if (extra_.list_first) {
        options.nvflag = 1;
        if (run(0, nullptr, 0, nullptr, &options, &callbacks) != 0) return false;
        options.nvflag = 0;
    }
    char* include[] = {const_cast<char*>(member.c_str())};
    const int result = run(1, include, 0, nullptr, &options, &callbacks);
    DeleteFileA(join(folder, member).c_str());
    return result == 0;
}

#else

DirectExtractor::DirectExtractor(Extra extra) : extra_(extra) {}
DirectExtractor::~DirectExtractor() {}
bool DirectExtractor::ok() const { return true; }

// libarchive's first header, its data written to the file: what a program
// that knows the member's name does.
bool DirectExtractor::extract_and_delete(const std::string& archive, const std::string& member,
                                         const std::string& folder) {
    struct archive* reader = archive_read_new();
    archive_read_support_format_zip(reader);
    bool done = false;
    archive_entry* entry = nullptr;
    if (archive_read_open_filename(reader, archive.c_str(), 65536) == ARCHIVE_OK &&
        archive_read_next_header(reader, &entry) == ARCHIVE_OK) {
        const std::string path = join(folder, member);
        const int out = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
        if (out >= 0) {
            char buffer[16384];
            la_ssize_t count = 0;
            done = true;
            while ((count = archive_read_data(reader, buffer, sizeof buffer)) > 0) {
                done = write(out, buffer, static_cast<std::size_t>(count)) == count && done;
            }
            const bool closed = close(out) == 0;
            done = done && count == 0 && closed;
            unlink(path.c_str());
        }
    }
    archive_read_free(reader);
    return done;
}

#endif

}  // namespace voskel::bench
