#include "host/own_copy.h"

#include <atomic>
#include <cstdio>

#include "extract/temp_dir.h"
#include "host/playback.h"
#include "host/plugin_record.h"
#include "platform/platform.h"
#include "registry/plugin_registry.h"

namespace voskel {

namespace {

// A folder no other copy, and no other process, has: names are tried in
// turn until one can be made.
TextString make_folder_of_own() {
    TextString temp;
    if (!find_temp_dir(temp)) return TextString();
    static std::atomic<unsigned> next{1};
    constexpr int attempts = 1000;
    for (int i = 0; i < attempts; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "in_voskel-%u", next.fetch_add(1));
        TextString folder = TextString(temp.chars());
        folder.join_path(TextString(name));
        if (system_calls().make_folder(folder.chars())) return folder;
    }
    return TextString();
}

}  // namespace

std::mutex& state_lock() {
    static std::mutex lock;
    return lock;
}

std::vector<char> narrow_file_name(const wchar_t* file) {
    if (file == nullptr) return {};
    std::size_t length = 0;
    while (file[length] != L'\0') ++length;
    // At most four bytes a character in any code page Windows offers as
    // ANSI; a short form may take more, but never more than a path reaches.
    const std::size_t size = 4 * length > longest_path() ? 4 * length : longest_path();
    std::vector<char> name(size + 1);
    // A name without an exact counterpart goes by its short form, as the
    // host hands such a name to an 8-bit plugin's Play.
    if (!system_calls().wide_path_to_ansi(file, name.data(), static_cast<uint32_t>(name.size()))) return {};
    return name;
}

OwnCopy::~OwnCopy() { system_calls().remove_folder_tree(folder_.chars()); }

CopyAttempt make_own_copy(const char* archive) {
    const TextString name(archive);
    if (!is_archive_extension(name.extension())) return {};
    TextString folder = make_folder_of_own();
    if (folder.empty()) return {};
    Extraction extraction = extract_to_temp(name, TextString(), folder);
    In_Module* module = nullptr;
    std::unique_ptr<OwnCopy> copy;
    if (!extraction.file.empty()) {
        const std::lock_guard<std::mutex> guard(state_lock());
        module = find_module_for(extraction.file, plugin_record());
        // The hold is taken while the registry cannot unload the module.
        if (module != nullptr) copy = std::make_unique<OwnCopy>(std::move(folder), std::move(extraction.file), *module);
    }
    if (!copy) system_calls().remove_folder_tree(folder.chars());
    return {std::move(copy), extraction.missing_library};
}

}  // namespace voskel
