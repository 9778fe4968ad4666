#include "extract_support.h"

#include <filesystem>

#include "extract/rar_member.h"
#include "extract/zip_member.h"
#include "support/archive_writer.h"

#if defined(_WIN32)
#include <windows.h>
#endif

namespace fs = std::filesystem;

namespace voskel::test {

TempFolder::TempFolder() : outer_("extract"), path_(join(outer_.path(), "temp")) {
    fs::create_directories(path_);
    set_env("TEMP", path_.c_str());
    set_env("TMP", path_.c_str());
}

std::vector<std::string> TempFolder::files() const {
    std::vector<std::string> found;
    for (std::string file : outer_.files()) {
        for (char& c : file) {
            if (c == '\\') c = '/';
        }
        found.push_back(file.rfind("temp/", 0) == 0 ? file.substr(5) : "../" + file);
    }
    std::erase_if(found, is_private_folder_lock);
    return found;
}

LibraryCalls* LibraryCalls::active_ = nullptr;

LibraryCalls::LibraryCalls() : previous_(active_) {
    active_ = this;
    calls_.calls().load_library = load;
    calls_.calls().find_symbol = find;
    calls_.calls().unload_library = unload;
}

LibraryCalls::~LibraryCalls() { active_ = previous_; }

void LibraryCalls::fake_environment(std::map<std::string, std::string> values) {
    environment_ = std::move(values);
    calls_.calls().get_env = get_env;
}

LibraryHandle LibraryCalls::load(const char* name) {
    LibraryCalls& self = *active_;
    self.attempts_.emplace_back(name);
    if (self.fail_loads_) return nullptr;
    const auto redirect = self.redirects_.find(name);
    const std::string path = redirect != self.redirects_.end() ? redirect->second : name;
    LibraryHandle library = platform_system_calls().load_library(path.c_str());
    if (library != nullptr) ++self.loads_;
    return library;
}

void* LibraryCalls::find(LibraryHandle library, const char* name) {
    if (active_->hidden_.count(name) != 0) return nullptr;
    return platform_system_calls().find_symbol(library, name);
}

void LibraryCalls::unload(LibraryHandle library) {
    if (library != nullptr) ++active_->unloads_;
    platform_system_calls().unload_library(library);
}

const char* LibraryCalls::get_env(const char* name) {
    const auto found = active_->environment_.find(name);
    return found != active_->environment_.end() ? found->second.c_str() : nullptr;
}

#if defined(_WIN32)
LibrarySearch::LibrarySearch(const std::string& folder) { SetDllDirectoryA(folder.c_str()); }
LibrarySearch::~LibrarySearch() { SetDllDirectoryA(nullptr); }

std::string windows_library(const std::string& file_name) {
    const std::string path = join(host_path(VOSKEL_WINDOWS_LIBS_DIR), file_name);
    return file_exists(path) ? path : "";
}
#else
LibrarySearch::LibrarySearch(const std::string&) {}
LibrarySearch::~LibrarySearch() {}

std::string windows_library(const std::string&) { return ""; }
#endif

std::string fixture(const std::string& name) { return join(host_path(VOSKEL_FIXTURE_DIR), name); }

std::string beside_the_program(const std::string& file_name) {
    char program[4096];
    const uint32_t length = platform_system_calls().module_file_name(nullptr, program, sizeof program);
    const std::string path(program, length < sizeof program ? length : 0);
    const char* separators = native_path_style() == PathStyle::windows ? "\\:" : "/";
    return join(path.substr(0, path.find_last_of(separators)), file_name);
}

std::string song(const std::string& name) {
    std::string text;
    for (int line = 1; line <= 200; ++line) text += name + " line " + std::to_string(line) + "\n";
    return text;
}

std::string on_disk(const std::string& name) {
    std::string spelled = name;
    if (native_path_style() == PathStyle::windows) {
        for (char& c : spelled) {
            if (c == '/') c = '\\';
        }
    }
    return spelled;
}

namespace {

std::string write_zip(const std::vector<std::pair<std::string, std::string>>& members) {
    std::vector<ZipEntry> entries;
    for (const auto& [name, data] : members) entries.push_back({name, data});
    return zip_archive(entries);
}

std::string write_rar(const std::vector<std::pair<std::string, std::string>>& members) {
    std::vector<RarEntry> entries;
    for (const auto& [name, data] : members) entries.push_back({name, data});
    return rar4_archive(entries);
}

}  // namespace

const ArchiveFormat& zip_format() {
    static const ArchiveFormat format{"ZIP", ".mdz", "unzip32.dll", native_path_style() == PathStyle::windows,
                                      [](const TextString& archive) { return extract_zip_member(archive).file; },
                                      write_zip};
    return format;
}

const ArchiveFormat& rar_format() {
    static const ArchiveFormat format{"RAR", ".mdr", "unrar.dll", true,
                                      [](const TextString& archive) { return extract_rar_member(archive).file; },
                                      write_rar};
    return format;
}

bool library_available(const ArchiveFormat& format) {
    return native_path_style() == PathStyle::posix || !windows_library(format.library).empty();
}

std::vector<std::string> hostile_names(const TempFolder& temp) {
    std::vector<std::string> names = {
        "../escaped.mod",
        "..\\escaped.mod",
        "sub/../../escaped.mod",
        "sub\\..\\..\\escaped.mod",
        "C:escaped.mod",
        // The outer folder by its full name: absolute, or with a drive on Windows.
        join(temp.outer(), "absolute.mod"),
    };
    if (native_path_style() == PathStyle::windows) {
        // Rooted on the current drive, which is Z: for tests under Wine.
        std::string rooted = join(temp.outer(), "rooted.mod").substr(2);
        names.push_back(rooted);
        for (char& c : rooted) {
            if (c == '\\') c = '/';
        }
        names.push_back(rooted);
        // Windows drops the trailing space and climbs.
        names.push_back(".. \\escaped.mod");
    }
    return names;
}

}  // namespace voskel::test
