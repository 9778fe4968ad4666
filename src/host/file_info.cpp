#include "host/file_info.h"

#include <optional>
#include <string>

#include "host/own_copy.h"
#include "host/playback.h"
#include "host/plugin_record.h"
#include "registry/inner_module.h"
#include "registry/plugin_registry.h"

namespace voskel {

namespace {

// The playing file as one look under the lock saw it: its module with a
// hold on its library, and a copy of its path, which Stop may clear meanwhile.
struct PlayingFile {
    PluginRecord plays_it;
    std::string path;
};

// The playing file is named by null, by "", or by exactly the name given to
// Play; the same name in another letter case is another file.
std::optional<PlayingFile> playing_file(const char* file) EXCLUDES(state_mutex) {
    const MutexLock guard(state_mutex);
    const PlaybackState& state = playback_state();
    In_Module* module = state.current_module.load();
    if (module == nullptr || !(file == nullptr || file[0] == '\0' || state.current_name.equals(file))) {
        return std::nullopt;
    }
    return PlayingFile{record_of(*module), state.temp_path.chars()};
}

// Any other archive is extracted afresh into a folder of its own, so that a
// member of the playing one's name neither overwrites nor deletes it.
CopyAttempt copy_of(const char* file) {
    CopyAttempt attempt = make_own_copy(file);
    tell_missing_library(attempt.missing_library, Telling::once_while_missing);
    return attempt;
}

}  // namespace

void GetFileInfo(char* file, char* title, int* length_ms) {
    const Activity activity;
    if (!activity.admitted()) return;
    if (const std::optional<PlayingFile> playing = playing_file(file)) {
        get_module_file_info(*playing->plays_it.module, playing->path.c_str(), title, length_ms);
        return;
    }
    if (file == nullptr || file[0] == '\0') return;
    if (const CopyAttempt attempt = copy_of(file); attempt.copy) {
        get_module_file_info(attempt.copy->module(), attempt.copy->file(), title, length_ms);
    }
}

int InfoBox(char* file, HostWindow parent) {
    const Activity activity;
    if (!activity.admitted()) return 0;
    if (const std::optional<PlayingFile> playing = playing_file(file)) {
        return module_info_box(*playing->plays_it.module, playing->path.c_str(), parent);
    }
    if (file == nullptr || file[0] == '\0') return 0;
    const CopyAttempt attempt = copy_of(file);
    return attempt.copy ? module_info_box(attempt.copy->module(), attempt.copy->file(), parent) : 0;
}

}  // namespace voskel
