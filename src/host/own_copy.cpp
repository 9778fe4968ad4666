#include "host/own_copy.h"

#include "extract/private_folder.h"
#include "host/extended_read.h"
#include "host/info_dialog.h"
#include "host/playback.h"
#include "host/plugin_record.h"
#include "platform/platform.h"
#include "registry/plugin_registry.h"

namespace voskel {

namespace {

int calls_in_progress GUARDED_BY(state_mutex) = 0;
bool released GUARDED_BY(state_mutex) = false;  // by release_for_unload, until admit_calls

}  // namespace

Activity::Activity() {
    const MutexLock guard(state_mutex);
    admitted_ = !released;
    if (admitted_) ++calls_in_progress;
}

Activity::~Activity() {
    if (!admitted_) return;
    const MutexLock guard(state_mutex);
    --calls_in_progress;
}

bool release_for_unload() {
    const MutexLock guard(state_mutex);
    const PlaybackState& playback = playback_state();
    const bool in_use = calls_in_progress > 0 || playback.owner.has_value() ||
                        playback.current_module.load() != nullptr || extended_reads_open() || info_dialog_open();
    if (!in_use) released = true;
    return !in_use;
}

void admit_calls() {
    const MutexLock guard(state_mutex);
    released = false;
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

CopyAttempt make_own_copy(const char* archive) {
    const TextString name(archive);
    if (!is_archive_extension(name.extension())) return {};
    // The first question of a process clears what processes that ended left.
    sweep_private_folders_once();
    LentFolder folder = lend_private_folder();
    if (!folder) return {};
    Extraction extraction = extract_to_temp(name, folder->path(), song_choice());
    library_found(extraction.found_library);
    if (extraction.file.empty()) return {nullptr, extraction.missing_library};
    PluginRecord plays_it;
    {
        const MutexLock guard(state_mutex);
        if (const PluginRecord* record = record_for(extraction.file, plugin_record())) plays_it = *record;
    }
    if (plays_it.module == nullptr) {
        folder->clear_out(extraction.file, extraction.made_folder);
        return {};
    }
    return {std::make_unique<OwnCopy>(std::move(folder), std::move(extraction), std::move(plays_it)), nullptr};
}

}  // namespace voskel
