#include "host/playback.h"

#include "extract/rar_member.h"
#include "extract/zip_member.h"
#include "host/plugin_record.h"
#include "platform/platform.h"
#include "registry/inner_module.h"
#include "registry/plugin_registry.h"

namespace voskel {

namespace {

constinit PlaybackState playback;

void delete_temp_file(TextString& path) {
    system_calls().delete_file(path.chars());
    path.clear();
}

}  // namespace

PlaybackState& playback_state() { return playback; }

TextString extract_to_temp(const TextString& archive, const TextString& keep_intact) {
    const TextString kind = archive.extension();
    if (kind.equals(zip_song_extension)) return extract_zip_member(archive, keep_intact);
    if (kind.equals(rar_song_extension)) return extract_rar_member(archive, keep_intact);
    return TextString();
}

void Init() { playback.current_module = nullptr; }

int Play(char* file) {
    playback.current_name = file;
    playback.temp_path = extract_to_temp(playback.current_name);
    playback.current_module = find_module_for(playback.temp_path, plugin_record());

    int result = 1;
    if (In_Module* module = playback.current_module) {
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
    if (result != 0 && !playback.temp_path.empty()) delete_temp_file(playback.temp_path);
    return result;
}

void Stop() {
    if (playback.current_module != nullptr) {
        playback.current_module->Stop();
        playback.current_module = nullptr;
    }
    if (!playback.temp_path.empty()) delete_temp_file(playback.temp_path);
}

void Pause() {
    if (playback.current_module != nullptr) playback.current_module->Pause();
}

void UnPause() {
    if (playback.current_module != nullptr) playback.current_module->UnPause();
}

int IsPaused() { return playback.current_module != nullptr ? playback.current_module->IsPaused() : 0; }

int GetLength() { return playback.current_module != nullptr ? playback.current_module->GetLength() : -1; }

int GetOutputTime() {
    return playback.current_module != nullptr ? playback.current_module->GetOutputTime() : -1;
}

void SetOutputTime(int time_ms) {
    if (playback.current_module != nullptr) playback.current_module->SetOutputTime(time_ms);
}

void SetVolume(int volume) {
    if (playback.current_module != nullptr) {
        playback.current_module->SetVolume(volume);
    } else {
        playback.pending_volume = volume;
    }
}

void SetPan(int pan) {
    if (playback.current_module != nullptr) {
        playback.current_module->SetPan(pan);
    } else {
        playback.pending_pan = pan;
    }
}

// Equaliser settings made while idle are not remembered.
void EQSet(int on, char bands[10], int preamp) {
    if (playback.current_module != nullptr) playback.current_module->EQSet(on, bands, preamp);
}

}  // namespace voskel
