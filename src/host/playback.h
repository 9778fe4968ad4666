// The one current playback, and the entry points that forward the host's
// playback calls to the inner module playing the extracted song.
#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <thread>

#include "extract/extraction.h"
#include "extract/song_choice.h"
#include "identity/state_lock.h"
#include "text/text_string.h"
#include "winamp/input_plugin.h"

namespace voskel {

// Every field is guarded by the state lock (identity/state_lock.h) but
// current_module, which is written under it and which the forwarders read
// alone: the host's visualisation threads poll GetOutputTime while Play and
// Stop run. Other threads never copy the texts; they read them under the lock.
struct PlaybackState {
    // The inner module now playing, or none: set by a Play that succeeds,
    // cleared by Stop, by a Play that fails, by Quit and by Init.
    std::atomic<In_Module*> current_module = nullptr;
    // The file as the host passed it to the last Play.
    TextString current_name GUARDED_BY(state_mutex);
    // The extracted file the current module plays, or empty.
    TextString temp_path GUARDED_BY(state_mutex);
    // The folder its extraction made for it, or empty.
    TextString temp_made_folder GUARDED_BY(state_mutex);
    // Set by the host while no module was current; delivered by the next Play.
    // A negative volume is not delivered (-1 means none is pending). A pan
    // runs from -127 (left) to 127 (right), so every value is one: whether
    // one is pending is kept apart.
    int32_t pending_volume GUARDED_BY(state_mutex) = -1;
    std::optional<int32_t> pending_pan GUARDED_BY(state_mutex);
    // The thread whose Play the song belongs to, from that Play until its
    // Stop, or until it fails. Another thread's Play meanwhile is refused.
    std::optional<std::thread::id> owner GUARDED_BY(state_mutex);
};

PlaybackState& playback_state();

// Extracts the song of an MDZ or MDR archive (song_choice.h), the archive
// kind chosen by the name's extension alone, into the temporary folder (or
// into own_folder, when not empty).
Extraction extract_to_temp(const TextString& archive, const TextString& own_folder = TextString(),
                           const SongChoice& choice = SongChoice());

// An archive's song as the plugins beside ours see it: its first file member
// whose extension one of them plays. Scans the plugin folder while the
// registry is empty.
SongChoice song_choice() EXCLUDES(state_mutex);

void Init() EXCLUDES(state_mutex);
// Refused (1) while a song another thread played is current: the CD burner
// plays from a thread of its own, and one playback state cannot serve two.
// A Play that fails leaves nothing behind: no module is current, its file
// is gone, and a volume or pan it took waits for the next song.
int Play(char* file) EXCLUDES(state_mutex);
void Stop() EXCLUDES(state_mutex);
// The record's Quit: a song still current is stopped, the kept member goes,
// and every module this plugin set up gets its Quit and is unloaded.
void Quit() EXCLUDES(state_mutex);
void Pause();
void UnPause();
int IsPaused();
int GetLength();
int GetOutputTime();
void SetOutputTime(int time_ms);
void SetVolume(int volume);
void SetPan(int pan);
void EQSet(int on, char bands[10], int preamp);

}  // namespace voskel
