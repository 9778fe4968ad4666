#include "decoder_plugin.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>
#include <vector>

#include "host_message.h"

#if defined(_WIN32)
#include <windows.h>
#endif

namespace voskel::examples {

namespace {

constexpr auto idle_wait = std::chrono::milliseconds(10);

const DecoderKind* kind = nullptr;
In_Module record{};

#if defined(VOSKEL_UNICODE_PLUGIN)
using FileName = const wchar_t*;
using Title = wchar_t*;
constexpr int version_word = static_cast<int>(IN_VER | IN_UNICODE);
SongPath path_of(FileName file) { return path_from_wide(file); }
void write_title(const std::string& utf8, Title title) { write_wide_title(utf8, title, title_capacity); }
#else
using FileName = char*;
using Title = char*;
constexpr int version_word = static_cast<int>(IN_VER_OLD);
SongPath path_of(FileName file) { return path_from_narrow(file); }
void write_title(const std::string& utf8, Title title) { write_narrow_title(utf8, title, title_capacity); }
#endif

// The host names the playing song by null (a Unicode module) or "".
template <typename Char>
bool names_playing_song(const Char* file) {
    return file == nullptr || file[0] == 0;
}

struct Playback {
    std::unique_ptr<Decoder> decoder;
    SongPath path;
    std::thread thread;
    std::atomic<bool> stop_requested{false};
    std::atomic<int> seek_to{-1};
    bool paused = false;
};

Playback playback;

void show_text(HostWindow parent, const std::string& text) {
#if defined(_WIN32)
    MessageBoxA(static_cast<HWND>(parent), text.c_str(), kind->description, MB_OK);
#else
    (void)parent;
    std::fprintf(stderr, "%s: %s\n", kind->description, text.c_str());
#endif
}

void post_end_of_song(HostWindow window) {
#if defined(_WIN32)
    PostMessageA(static_cast<HWND>(window), wm_wa_mpeg_eof, 0, 0);
#else
    auto* sink = static_cast<HostMessageSink*>(window);
    if (sink != nullptr && sink->magic == HostMessageSink::expected_magic && sink->post_message != nullptr) {
        sink->post_message(sink, wm_wa_mpeg_eof, 0, 0);
    }
#endif
}

bool dsp_active() { return record.dsp_isactive != nullptr && record.dsp_isactive() != 0; }

// Runs until the song has been played out (then tells the host) or Stop asks it to end.
void decode_loop() {
    Decoder& decoder = *playback.decoder;
    Out_Module& out = *record.outMod;
    const int channels = decoder.channels();
    const int bits = decoder.bits_per_sample();
    const int frame_bytes = channels * bits / 8;
    const int block_bytes = frames_per_block * frame_bytes;
    // Twice the block: a DSP may return up to twice the samples it was given.
    std::vector<char> buffer(static_cast<std::size_t>(block_bytes) * 2);
    bool decoded_all = false;

    while (!playback.stop_requested.load()) {
        const int seek = playback.seek_to.exchange(-1);
        if (seek >= 0) {
            decoder.seek(seek);
            out.Flush(seek);
            decoded_all = false;
        }
        if (decoded_all) {
            out.CanWrite();  // some outputs only notice the drained buffer when asked
            if (!out.IsPlaying()) {
                post_end_of_song(record.hMainWindow);
                return;
            }
            std::this_thread::sleep_for(idle_wait);
            continue;
        }
        const bool dsp = dsp_active();
        if (out.CanWrite() < (dsp ? block_bytes * 2 : block_bytes)) {
            std::this_thread::sleep_for(idle_wait);
            continue;
        }
        const std::size_t got = decoder.read(buffer.data(), static_cast<std::size_t>(block_bytes));
        if (got == 0) {
            decoded_all = true;
            continue;
        }
        int frames = static_cast<int>(got) / frame_bytes;
        const int timestamp = out.GetWrittenTime();
        if (record.SAAddPCMData != nullptr) record.SAAddPCMData(buffer.data(), channels, bits, timestamp);
        if (record.VSAAddPCMData != nullptr) record.VSAAddPCMData(buffer.data(), channels, bits, timestamp);
        if (dsp) {
            frames = record.dsp_dosamples(reinterpret_cast<short*>(buffer.data()), frames, bits, channels,
                                          decoder.sample_rate());
        }
        out.Write(buffer.data(), frames * frame_bytes);
    }
}

void Config(HostWindow parent) { show_text(parent, "There is nothing to set up."); }
void About(HostWindow parent) { show_text(parent, std::string(kind->description) + "\nAn example decoder plugin."); }
void Init() {}

void Stop() {
    if (!playback.decoder) return;
    playback.stop_requested = true;
    if (playback.thread.joinable()) playback.thread.join();
    if (record.outMod != nullptr) record.outMod->Close();
    if (record.SAVSADeInit != nullptr) record.SAVSADeInit();
    playback.decoder.reset();
    playback.path.clear();
    playback.paused = false;
}

void Quit() { Stop(); }

void GetFileInfo(FileName file, Title title, int* length_ms) {
    if (names_playing_song(file) && !playback.decoder) return;
    const SongPath path = names_playing_song(file) ? playback.path : path_of(file);
    SongInfo info;
    if (!kind->describe(path, info)) return;
    write_title(info.title, title);
    if (length_ms != nullptr) *length_ms = info.length_ms;
}

int InfoBox(FileName file, HostWindow parent) {
    const SongPath path = names_playing_song(file) ? playback.path : path_of(file);
    SongInfo info;
    if (!kind->describe(path, info)) {
        show_text(parent, "Not a song this plugin plays: " + stem_of(path));
        return INFOBOX_UNCHANGED;
    }
    show_text(parent, "Title: " + info.title + "\nLength: " + std::to_string(info.length_ms) + " ms");
    return INFOBOX_UNCHANGED;
}

// Files are chosen by the extension list alone.
int IsOurFile(FileName) { return 0; }

int Play(FileName file) {
    Stop();
    if (record.outMod == nullptr) return 1;
    const SongPath path = path_of(file);
    if (std::FILE* probe = open_song_file(path)) {
        std::fclose(probe);
    } else {
        return -1;  // the host's "file not found"
    }
    std::unique_ptr<Decoder> decoder = kind->open(path);
    if (!decoder) return 1;

    const int rate = decoder->sample_rate();
    const int channels = decoder->channels();
    const int bits = decoder->bits_per_sample();
    const int latency = record.outMod->Open(rate, channels, bits, -1, -1);
    if (latency < 0) return 1;
    if (record.SAVSAInit != nullptr) record.SAVSAInit(latency, rate);
    if (record.VSASetInfo != nullptr) record.VSASetInfo(rate, channels);
    if (record.SetInfo != nullptr) record.SetInfo(rate * channels * bits / 1000, rate / 1000, channels, 1);
    record.outMod->SetVolume(-666);  // the output's own volume setting

    playback.decoder = std::move(decoder);
    playback.path = path;
    playback.stop_requested = false;
    playback.seek_to = -1;
    playback.paused = false;
    playback.thread = std::thread(decode_loop);
    return 0;
}

void Pause() {
    playback.paused = true;
    if (record.outMod != nullptr) record.outMod->Pause(1);
}

void UnPause() {
    playback.paused = false;
    if (record.outMod != nullptr) record.outMod->Pause(0);
}

int IsPaused() { return playback.paused ? 1 : 0; }

int GetLength() { return playback.decoder ? playback.decoder->length_ms() : -1; }

int GetOutputTime() { return playback.decoder && record.outMod != nullptr ? record.outMod->GetOutputTime() : 0; }

void SetOutputTime(int time_ms) {
    if (playback.decoder) playback.seek_to = time_ms < 0 ? 0 : time_ms;
}

void SetVolume(int volume) {
    if (record.outMod != nullptr) record.outMod->SetVolume(volume);
}

void SetPan(int pan) {
    if (record.outMod != nullptr) record.outMod->SetPan(pan);
}

// There is no equaliser in the decoders.
void EQSet(int, char[10], int) {}

}  // namespace

In_Module& decoder_plugin_record(const DecoderKind& decoder_kind) {
    if (kind == nullptr) {
        kind = &decoder_kind;
        record.version = version_word;
#if defined(VOSKEL_UNICODE_PLUGIN)
        static const std::wstring wide_description = wide_from_utf8(decoder_kind.description);
        record.description = reinterpret_cast<char*>(const_cast<wchar_t*>(wide_description.c_str()));
#else
        record.description = const_cast<char*>(decoder_kind.description);
#endif
        record.FileExtensions = const_cast<char*>(decoder_kind.file_extensions);
        record.is_seekable = 1;
        record.UsesOutputPlug = 1;
        record.Config = Config;
        record.About = About;
        record.Init = Init;
        record.Quit = Quit;
        // The slots hold the entry points as this width declares them.
        record.GetFileInfo = reinterpret_cast<decltype(record.GetFileInfo)>(GetFileInfo);
        record.InfoBox = reinterpret_cast<decltype(record.InfoBox)>(InfoBox);
        record.IsOurFile = reinterpret_cast<decltype(record.IsOurFile)>(IsOurFile);
        record.Play = reinterpret_cast<decltype(record.Play)>(Play);
        record.Pause = Pause;
        record.UnPause = UnPause;
        record.IsPaused = IsPaused;
        record.Stop = Stop;
        record.GetLength = GetLength;
        record.GetOutputTime = GetOutputTime;
        record.SetOutputTime = SetOutputTime;
        record.SetVolume = SetVolume;
        record.SetPan = SetPan;
        record.EQSet = EQSet;
    }
    return record;
}

const DecoderKind* decoder_kind() { return kind; }

std::string title_from_path(const SongPath& path) { return stem_of(path); }

}  // namespace voskel::examples
