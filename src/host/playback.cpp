#include "host/playback.h"

#include <string>
#include <utility>

#include "extract/private_folder.h"
#include "extract/rar_member.h"
#include "extract/temp_dir.h"
#include "extract/zip_member.h"
#include "host/extended_info.h"
#include "host/info_dialog.h"
#include "host/own_copy.h"
#include "host/plugin_record.h"
#include "platform/platform.h"
#include "registry/inner_module.h"
#include "registry/plugin_registry.h"

namespace voskel {

namespace {

constinit PlaybackState playback;

void delete_temp_file(TextString& path, TextString& made_folder) {
    remove_extracted(path, made_folder);
    path.clear();
    made_folder.clear();
}

// Orders the writes of our record's flag word: a poll that read the
// current module just before Stop cleared it writes before Stop's own
// write, or not at all.
Mutex flags_mutex;

// Our record shows what the playing module says of itself on its own: that
// it does its own equaliser, or applied replay gain and its preamp, so that
// the host does not do them again. With no module, the plain 1. The host
// reads the word unguarded as the song's samples pass, and modules write
// theirs so.
void show_module_flags(In_Module* module) {
    constexpr int shown = IN_MODULE_FLAG_EQ | IN_MODULE_FLAG_REPLAYGAIN | IN_MODULE_FLAG_REPLAYGAIN_PREAMP;
    int flags = IN_MODULE_FLAG_USES_OUTPUT_PLUGIN;
    const MutexLock guard(flags_mutex);
    if (module != nullptr) {
        // A module that is no longer current shows nothing any more.
        if (playback.current_module.load() != module) return;
        flags |= std::atomic_ref<int>(module->UsesOutputPlug).load(std::memory_order_relaxed) & shown;
    }
    std::atomic_ref<int>(plugin_record().UsesOutputPlug).store(flags, std::memory_order_relaxed);
}

}  // namespace

PlaybackState& playback_state() { return playback; }

Extraction extract_to_temp(const TextString& archive, const TextString& own_folder, const SongChoice& choice) {
    const TextString kind = archive.extension();
    if (kind.equals(zip_song_extension)) return extract_zip_member(archive, own_folder, choice);
    if (kind.equals(rar_song_extension)) return extract_rar_member(archive, own_folder, choice);
    return {};
}

SongChoice song_choice() {
    ensure_plugins_scanned(plugin_record());
    PlayedExtensions played;
    {
        const MutexLock guard(state_mutex);
        played = played_extensions(plugin_record());
    }
    return SongChoice([played = std::move(played)](const TextString& name) { return played.plays(name); });
}

void Init() {
    admit_calls();
    reopen_private_folders();
    // The plugin's first Init clears what processes that ended left.
    sweep_private_folders_once();
    const MutexLock guard(state_mutex);
    playback.current_module = nullptr;
    reopen_plugins();
}

int Play(char* file) {
    const Activity activity;
    if (!activity.admitted()) return 1;
    {
        const MutexLock guard(state_mutex);
        if (playback.owner.has_value() && *playback.owner != std::this_thread::get_id()) return 1;
        playback.owner = std::this_thread::get_id();
    }
    // The member kept for metadata goes when a song plays.
    drop_kept_member();
    const TextString archive(file);
    Extraction extraction =
        is_archive_extension(archive.extension()) ? extract_to_temp(archive, TextString(), song_choice())
                                                  : Extraction{};
    // Whatever was extracted, the lookup scans a folder not scanned yet.
    ensure_plugins_scanned(plugin_record());

    In_Module* module = nullptr;
    std::string path;  // what the module is given; Stop may clear temp_path meanwhile
    int32_t volume = -1;
    std::optional<int32_t> pan;
    {
        const MutexLock guard(state_mutex);
        playback.current_name = file;
        playback.temp_path = std::move(extraction.file);
        playback.temp_made_folder = std::move(extraction.made_folder);
        const PluginRecord* record = record_for(playback.temp_path, plugin_record());
        module = record != nullptr ? record->module : nullptr;
        playback.current_module = module;
        path = playback.temp_path.chars();
        if (module != nullptr) {
            volume = std::exchange(playback.pending_volume, -1);
            pan = std::exchange(playback.pending_pan, std::nullopt);
        }
    }
    library_found(extraction.found_library);
    tell_missing_library(extraction.missing_library, Telling::every_time);

    int result = 1;
    if (module != nullptr) {
        const In_Module& own = plugin_record();
        module->SetInfo = own.SetInfo;
        module->outMod = own.outMod;
        if (volume >= 0) module->SetVolume(volume);
        if (pan.has_value()) module->SetPan(*pan);
        result = play_module(*module, path.c_str());
    }
    if (result == 0) {
        show_module_flags(module);
        return 0;
    }
    // The host calls no Stop after a failed Play, so nothing of it stays:
    // its file goes, no module is current, and the volume and pan it took
    // wait for the next song, unless the host has set others since.
    {
        const MutexLock guard(state_mutex);
        playback.current_module = nullptr;
        if (!playback.temp_path.empty()) delete_temp_file(playback.temp_path, playback.temp_made_folder);
        if (playback.pending_volume < 0) playback.pending_volume = volume;
        if (!playback.pending_pan.has_value()) playback.pending_pan = pan;
        playback.owner.reset();
    }
    show_module_flags(nullptr);
    return result;
}

void Stop() {
    In_Module* module = nullptr;
    {
        const MutexLock guard(state_mutex);
        module = playback.current_module.exchange(nullptr);
    }
    if (module != nullptr) module->Stop();
    show_module_flags(nullptr);
    // The song stays its thread's until its file is gone: no other Play can
    // extract a member of that name meanwhile, only to lose it here.
    const MutexLock guard(state_mutex);
    if (!playback.temp_path.empty()) delete_temp_file(playback.temp_path, playback.temp_made_folder);
    playback.owner.reset();
}

void Quit() {
    // The host stops its song before Quit, but frees the plugin at once
    // after it: a song still current is stopped while its module is there.
    if (playback.current_module.load() != nullptr) Stop();
    drop_kept_member();
    close_info_dialog();
    unload_plugins();
    close_private_folders();
}

// Each forwarder reads the current module once: GetOutputTime also comes
// from the host's visualisation threads, while Play or Stop may run.

void Pause() {
    if (In_Module* module = playback.current_module.load()) module->Pause();
}

void UnPause() {
    if (In_Module* module = playback.current_module.load()) module->UnPause();
}

int IsPaused() {
    In_Module* module = playback.current_module.load();
    return module != nullptr ? module->IsPaused() : 0;
}

// The host polls these while a song plays, and reads our flags meanwhile.

int GetLength() {
    In_Module* module = playback.current_module.load();
    if (module == nullptr) return -1;
    show_module_flags(module);
    return module->GetLength();
}

int GetOutputTime() {
    In_Module* module = playback.current_module.load();
    if (module == nullptr) return -1;
    show_module_flags(module);
    return module->GetOutputTime();
}

void SetOutputTime(int time_ms) {
    if (In_Module* module = playback.current_module.load()) module->SetOutputTime(time_ms);
}

void SetVolume(int volume) {
    if (In_Module* module = playback.current_module.load()) {
        module->SetVolume(volume);
        return;
    }
    const MutexLock guard(state_mutex);
    playback.pending_volume = volume;
}

void SetPan(int pan) {
    if (In_Module* module = playback.current_module.load()) {
        module->SetPan(pan);
        return;
    }
    const MutexLock guard(state_mutex);
    playback.pending_pan = pan;
}

// Equaliser settings made while idle are not remembered.
void EQSet(int on, char bands[10], int preamp) {
    if (In_Module* module = playback.current_module.load()) module->EQSet(on, bands, preamp);
}

}  // namespace voskel
