#include "hostile_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>

#include "extract/temp_dir.h"
#include "host/playback.h"
#include "platform/platform.h"

namespace fs = std::filesystem;

namespace voskel::test {

namespace {

constexpr const char* untouchable_content = "must stay as it is";
// Beside the temporary folder, as TempFolder::files() names them, then inside it.
const std::vector<std::string> untouchables = {"../absolute.mod", "../escaped.mod", "../victim.mod", "playing.mod"};

std::vector<std::string> sorted(std::vector<std::string> names) {
    std::sort(names.begin(), names.end());
    return names;
}

std::string on_disk_path(const TempFolder& temp, const std::string& relative) {
    return relative.rfind("../", 0) == 0 ? join(temp.outer(), relative.substr(3)) : temp.joined(relative);
}

struct Found {
    std::string name;
    bool is_directory;
};

void collect(const char* name, bool is_directory, void* context) {
    if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) return;
    static_cast<std::vector<Found>*>(context)->push_back({name, is_directory});
}

// Files below folder as "prefix/relative/path", and empty folders as
// "prefix/relative/path/", listed through the platform's own search, so
// that names come in the code page the plugin and the libraries use
// (std::filesystem gives UTF-8 on Windows).
void list_files(const std::string& folder, const std::string& prefix, std::vector<std::string>& files) {
    std::vector<Found> found;
    platform_system_calls().find_files(join(folder, "*").c_str(), collect, &found);
    if (found.empty() && !prefix.empty()) files.push_back(prefix);
    for (const Found& entry : found) {
        if (entry.is_directory) {
            list_files(join(folder, entry.name), prefix + entry.name + "/", files);
        } else {
            files.push_back(prefix + entry.name);
        }
    }
}

}  // namespace

HostileSandbox::HostileSandbox() : search_(host_path(VOSKEL_WINDOWS_LIBS_DIR)), archives_("hostile-archives") {
    put_back_untouchables();
}

void HostileSandbox::put_back_untouchables() const {
    std::error_code error;
    fs::remove_all(temp_.path(), error);
    fs::create_directories(temp_.path());
    for (const std::string& name : untouchables) write_file(on_disk_path(temp_, name), untouchable_content);
}

std::string HostileSandbox::write_archive(const std::string& name, const std::string& bytes) const {
    const std::string path = archives_.file(name);
    write_file(path, bytes);
    return path;
}

TextString HostileSandbox::extract(const std::string& archive_path) const {
    const Extraction extraction = extract_to_temp(TextString(archive_path.c_str()));
    made_folder_ = extraction.made_folder;
    return extraction.file;
}

void HostileSandbox::expect_clean(const TextString& result, const std::string& label,
                                  const std::optional<std::string>& content) const {
    SCOPED_TRACE(label);
    std::vector<std::string> expected = untouchables;
    const std::vector<std::string> before_delete = files();
    if (!result.empty()) {
        const std::string path = result.chars();
        const std::string inside = join(temp_.path(), "");
        EXPECT_EQ(path.rfind(inside, 0), 0u) << "returned outside the temporary folder: " << path;
        std::string relative = path.substr(std::min(inside.size(), path.size()));
        if (native_path_style() == PathStyle::windows) std::replace(relative.begin(), relative.end(), '\\', '/');
        expected.push_back(relative);
        EXPECT_NE(std::find(before_delete.begin(), before_delete.end(), relative), before_delete.end())
            << "the returned path names no file: " << path;
        if (content) {
            EXPECT_EQ(read_file(path), *content) << path;
        }
    }
    EXPECT_EQ(sorted(before_delete), sorted(expected));
    for (const std::string& name : untouchables) {
        EXPECT_EQ(read_file(on_disk_path(temp_, name)), untouchable_content) << name;
    }
    if (!result.empty()) remove_extracted(result, made_folder_);
    EXPECT_EQ(sorted(files()), sorted(untouchables)) << "left behind after deleting the result";
    put_back_untouchables();
}

std::vector<std::string> HostileSandbox::files() const {
    std::vector<std::string> found;
    std::vector<Found> beside;
    platform_system_calls().find_files(join(temp_.outer(), "*").c_str(), collect, &beside);
    for (const Found& entry : beside) {
        const std::string path = join(temp_.outer(), entry.name);
        if (path == temp_.path()) {
            list_files(path, "", found);
        } else if (entry.is_directory) {
            list_files(path, "../" + entry.name + "/", found);
        } else {
            found.push_back("../" + entry.name);
        }
    }
    return found;
}

bool can_extract(const ArchiveFormat& format) {
    if (library_available(format)) return true;
    ::testing::Test::RecordProperty(std::string("skipped_") + format.label, "its library has not been built");
    return false;
}

std::vector<const ArchiveFormat*> usable_formats() {
    std::vector<const ArchiveFormat*> formats;
    for (const ArchiveFormat* format : {&zip_format(), &rar_format()}) {
        if (can_extract(*format)) formats.push_back(format);
    }
    return formats;
}

std::string member_text(const std::string& seed, std::size_t length) {
    std::string text;
    for (int line = 1; text.size() < length; ++line) text += seed + " " + std::to_string(line * 7919 % 10007) + "\n";
    text.resize(length);
    return text;
}

}  // namespace voskel::test
