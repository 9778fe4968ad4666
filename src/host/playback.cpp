#include "host/playback.h"

#include "extract/rar_member.h"
#include "extract/temp_dir.h"
#include "extract/zip_member.h"
#include "host/extended_info.h"
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

}  // namespace

PlaybackState& playback_state() { return playback; }

Extraction extract_to_temp(const TextString& archive, const TextString& keep_intact, const TextString& own_folder) {
    const TextString kind = archive.extension();
    if (kind.equals(zip_song_extension)) return extract_zip_member(archive, keep_intact, own_folder);
    if (kind.equals(rar_song_extension)) return extract_rar_member(archive, keep_intact, own_folder);
    return {};
}

void Init() { playback.current_module = nullptr; }

int Play(char* file) {
    // The member kept for metadata goes when a song plays.
    drop_kept_member();
    In_Module* module = nullptr;
    Extraction extraction;
    {
        const std::lock_guard<std::mutex> guard(shared_lock());
        playback.current_name = file;
        extraction = extract_to_temp(playback.current_name);
        playback.temp_path = extraction.file;
        playback.temp_made_folder = extraction.made_folder;
        module = find_module_for(playback.temp_path, plugin_record());
        playback.current_module = module;
    }
    tell_missing_library(extraction);

    int result = 1;
    if (module != nullptr) {
        const In_Module& own = plugin_record();
        module->SetInfo = own.SetInfo;
        module->outMod = own.outMod;
        if (playback.pending_volume >= 0) {
            module->SetVolume(playback.pending_volume);
            playback.pending_volume = -1;
        }
        if (playback.pending_pan.has_value()) {
            module->SetPan(*playback.pending_pan);
            playback.pending_pan.reset();
        }
        result = play_module(*module, playback.temp_path.chars());
    }
    // The module keeps its place after a failed Play: the host's next Stop still reaches it.
    if (result != 0 && !playback.temp_path.empty()) {
        const std::lock_guard<std::mutex> guard(shared_lock());
        delete_temp_file(playback.temp_path, playback.temp_made_folder);
    }
    return result;
}

void Stop() {
    if (In_Module* module = playback.current_module.exchange(nullptr)) module->Stop();
    if (!playback.temp_path.empty()) {
        const std::lock_guard<std::mutex> guard(shared_lock());
        delete_temp_file(playback.temp_path, playback.temp_made_folder);
    }
}

void Quit() {
    drop_kept_member();
    const std::lock_guard<std::mutex> guard(shared_lock());
    unload_plugins();
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

int GetLength() {
    In_Module* module = playback.current_module.load();
    return module != nullptr ? module->GetLength() : -1;
}

int GetOutputTime() {
    In_Module* module = playback.current_module.load();
    return module != nullptr ? module->GetOutputTime() : -1;
}

void SetOutputTime(int time_ms) {
    if (In_Module* module = playback.current_module.load()) module->SetOutputTime(time_ms);
}

void SetVolume(int volume) {
    if (In_Module* module = playback.current_module.load()) {
        module->SetVolume(volume);
    } else {
        playback.pending_volume = volume;
    }
}

void SetPan(int pan) {
    if (In_Module* module = playback.current_module.load()) {
        module->SetPan(pan);
    } else {
        playback.pending_pan = pan;
    }
}

// Equaliser settings made while idle are not remembered.
void EQSet(int on, char bands[10], int preamp) {
    if (In_Module* module = playback.current_module.load()) module->EQSet(on, bands, preamp);
}

}  // namespace voskel
