// The host's published input-module interface (version 0x100): the record an
// input plugin hands to Winamp through winampGetInModule2, and the output
// module record Winamp passes to it. The plugin uses the same records towards
// the input plugins it loads itself.
//
// Layout matters: the host reads these records by offset. Every slot is a
// pointer or a 32-bit integer, and every call through a slot uses the
// caller-cleans (cdecl) convention, the compiler's default for these pointers.
// "M" marks a slot the module fills in, "H" one the host (loader) fills in.
#pragma once

#include <cstdint>

namespace voskel {

using HostWindow = void*;
using HostInstance = void*;

struct Out_Module {
    int version;                // M: 0x10
    char* description;          // M
    intptr_t id;                // M
    HostWindow hMainWindow;     // H
    HostInstance hDllInstance;  // H
    void (*Config)(HostWindow parent);
    void (*About)(HostWindow parent);
    void (*Init)();
    void (*Quit)();
    // Returns the maximum latency in ms, or < 0 on failure.
    int (*Open)(int sample_rate, int channels, int bits_per_sample, int buffer_length_ms, int prebuffer_ms);
    void (*Close)();
    // 0 on success. Called only after CanWrite() reported room for len bytes.
    int (*Write)(char* buffer, int len);
    int (*CanWrite)();   // bytes that Write may take now
    int (*IsPlaying)();  // non-zero while buffered audio is still playing
    int (*Pause)(int pause);  // returns the previous pause state
    void (*SetVolume)(int volume);  // 0..255
    void (*SetPan)(int pan);        // -128..128
    void (*Flush)(int position_ms);
    int (*GetOutputTime)();
    int (*GetWrittenTime)();
};

struct In_Module {
    int version;                // M: 0x100
    char* description;          // M
    HostWindow hMainWindow;     // H: the player's main window
    HostInstance hDllInstance;  // H: the module's own library handle
    // M: pairs of NUL-terminated strings, an extension group ("MOD;S3M") and
    // its description; an empty string ends the list.
    char* FileExtensions;
    int is_seekable;            // M
    int UsesOutputPlug;         // M

    // M: entry points the host calls.
    void (*Config)(HostWindow parent);
    void (*About)(HostWindow parent);
    void (*Init)();
    void (*Quit)();
    // Null or empty file means the playing file.
    void (*GetFileInfo)(char* file, char* title, int* length_ms);
    int (*InfoBox)(char* file, HostWindow parent);
    int (*IsOurFile)(char* file);  // non-zero claims the file
    int (*Play)(char* file);       // 0 on success
    void (*Pause)();
    void (*UnPause)();
    int (*IsPaused)();
    void (*Stop)();
    int (*GetLength)();      // ms, or -1
    int (*GetOutputTime)();  // ms
    void (*SetOutputTime)(int time_ms);
    void (*SetVolume)(int volume);
    void (*SetPan)(int pan);

    // H: visualisation and DSP services of the host.
    void (*SAVSAInit)(int max_latency_ms, int sample_rate);
    void (*SAVSADeInit)();
    void (*SAAddPCMData)(void* pcm, int channels, int bits_per_sample, int timestamp);
    int (*SAGetMode)();
    int (*SAAdd)(void* data, int timestamp, int csa);
    void (*VSAAddPCMData)(void* pcm, int channels, int bits_per_sample, int timestamp);
    int (*VSAGetMode)(int* spectrum_channels, int* wave_channels);
    int (*VSAAdd)(void* data, int timestamp);
    void (*VSASetInfo)(int sample_rate, int channels);
    int (*dsp_isactive)();
    int (*dsp_dosamples)(short* samples, int sample_count, int bits_per_sample, int channels, int sample_rate);

    void (*EQSet)(int on, char bands[10], int preamp);  // M
    void (*SetInfo)(int bitrate, int sample_rate, int stereo, int synched);  // H
    Out_Module* outMod;  // H
};

// The host's message that a song has played to its end, posted by the input
// plugin to hMainWindow.
constexpr unsigned wm_user = 0x400;
constexpr unsigned wm_wa_mpeg_eof = wm_user + 2;

// The export every input plugin provides.
using GetInModuleFunction = In_Module* (*)();
constexpr const char* get_in_module_export = "winampGetInModule2";

#if defined(_WIN32) && !defined(_WIN64)
static_assert(sizeof(In_Module) == 152, "the host reads the record by offset");
static_assert(__builtin_offsetof(In_Module, FileExtensions) == 16);
static_assert(__builtin_offsetof(In_Module, SAVSAInit) == 96);
static_assert(__builtin_offsetof(In_Module, EQSet) == 140);
static_assert(__builtin_offsetof(In_Module, SetInfo) == 144);
static_assert(__builtin_offsetof(In_Module, outMod) == 148);
static_assert(sizeof(Out_Module) == 80);
#endif

}  // namespace voskel
