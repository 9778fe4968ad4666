// The host's published input-module interface: the record an input plugin
// hands to Winamp through winampGetInModule2, its version word, and the
// output module record Winamp passes to it. The plugin uses the same records
// towards the input plugins it loads itself, and so do the test hosts and
// the command-line host.
//
// Layout matters: the host reads these records by offset. Every slot is a
// pointer or a 32-bit integer, and every call through a slot uses the
// caller-cleans (cdecl) convention, the compiler's default for these pointers.
// "M" marks a slot the module fills in, "H" one the host (loader) fills in.
#pragma once

#include <cstddef>
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

// The slots are declared as a module of the first interface version (0x100)
// declares them: 8-bit text. A module whose version word says otherwise keeps
// other types in some of them (see below); it is called through those types.
struct In_Module {
    int version;                // M: the version word, below
    char* description;          // M: 8-bit text, or UTF-16 (wchar_t) for number 0x101
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
    // A module whose version has IN_INIT_RET has a 39th slot here, "service",
    // which the host fills with its service registry before Init.
};

// ---- the version word ----------------------------------------------------
//
// The interface number, 0x100 or 0x101, with two flag groups on top. The host
// refuses a module whose number, both groups masked off, is anything else.

constexpr uint32_t IN_VER_OLD = 0x100;  // description is 8-bit text
constexpr uint32_t IN_VER = 0x101;      // description is UTF-16 text
// File names and titles are wchar_t text: the file of GetFileInfo, InfoBox,
// IsOurFile and Play, and GetFileInfo's title buffer.
constexpr uint32_t IN_UNICODE = 0x0F000000;
// Init returns IN_INIT_SUCCESS or IN_INIT_FAILURE, and the record has the
// "service" slot.
constexpr uint32_t IN_INIT_RET = 0xF0000000;

constexpr int IN_INIT_SUCCESS = 0;
constexpr int IN_INIT_FAILURE = 1;

// UsesOutputPlug is a word of flags. The host clears all but the first when
// it loads a module; a module sets the others on its own record while it
// plays, and the host reads them there as the song's samples pass.
constexpr int IN_MODULE_FLAG_USES_OUTPUT_PLUGIN = 1;
constexpr int IN_MODULE_FLAG_EQ = 2;                  // the module does its own equaliser
constexpr int IN_MODULE_FLAG_REPLAYGAIN = 8;          // the module applied replay gain
constexpr int IN_MODULE_FLAG_REPLAYGAIN_PREAMP = 16;  // and the replay-gain preamp
// What the host clears at load: the flags above, and 4, which has no
// published meaning.
constexpr int IN_MODULE_FLAGS_SET_WHILE_PLAYING =
    IN_MODULE_FLAG_EQ | 4 | IN_MODULE_FLAG_REPLAYGAIN | IN_MODULE_FLAG_REPLAYGAIN_PREAMP;

constexpr uint32_t version_number(int version) {
    return static_cast<uint32_t>(version) & ~(IN_UNICODE | IN_INIT_RET);
}
constexpr bool is_known_version(int version) {
    return version_number(version) == IN_VER_OLD || version_number(version) == IN_VER;
}
constexpr bool has_unicode_names(int version) {
    return (static_cast<uint32_t>(version) & IN_UNICODE) == IN_UNICODE;
}
constexpr bool has_wide_description(int version) { return version_number(version) == IN_VER; }
constexpr bool init_returns_result(int version) {
    return (static_cast<uint32_t>(version) & IN_INIT_RET) == IN_INIT_RET;
}

// The slots of a module with IN_UNICODE, as it declares them. They stand in
// the record where the 8-bit ones are; a caller converts the slot to this
// type and calls it through that.
using WideGetFileInfo = void (*)(const wchar_t* file, wchar_t* title, int* length_ms);
using WideInfoBox = int (*)(const wchar_t* file, HostWindow parent);
using WideIsOurFile = int (*)(const wchar_t* file);
using WidePlay = int (*)(const wchar_t* file);
// Init of a module with IN_INIT_RET.
using InitWithResult = int (*)();

template <typename Slot, typename Function>
Slot slot_as(Function* function) {
    return reinterpret_cast<Slot>(function);
}

// Characters of GetFileInfo's title buffer, its NUL included, in the module's
// own width: 2048 bytes for an 8-bit module, 2048 wchar_t for a Unicode one.
constexpr int GETFILEINFO_TITLE_LENGTH = 2048;

// What InfoBox returns: the file's tags were edited (the host reads them
// again), or not.
constexpr int INFOBOX_EDITED = 0;
constexpr int INFOBOX_UNCHANGED = 1;

// The host's message that a song has played to its end, posted by the input
// plugin to hMainWindow.
constexpr unsigned wm_user = 0x400;
constexpr unsigned wm_wa_mpeg_eof = wm_user + 2;

// The export every input plugin provides.
using GetInModuleFunction = In_Module* (*)();
constexpr const char* get_in_module_export = "winampGetInModule2";

// ---- optional exports beside winampGetInModule2 ---------------------------
//
// The Media Library and the title formatter read metadata through the
// extended file information exports; the format converter, the ReplayGain
// scanner and the CD burner decode through the extended read exports. The
// host looks each up in the plugin's library, and calls them from worker
// threads as well as from its main one.

// Writes the value of the metadata key ("title", "artist", "length" in ms,
// "family", ...) about file into dest of destlen characters; 1 when
// answered, 0 when not.
using GetExtendedFileInfoFunction = int (*)(const char* file, const char* key, char* dest, int destlen);
using GetExtendedFileInfoWFunction = int (*)(const wchar_t* file, const char* key, wchar_t* dest, int destlen);
constexpr const char* get_extended_file_info_export = "winampGetExtendedFileInfo";
constexpr const char* get_extended_file_info_w_export = "winampGetExtendedFileInfoW";

// Opens file for decoding to PCM: writes the size of the decoded data in
// bytes (-1 when not known), bits per sample, channels and sample rate;
// returns a handle, or 0.
using ExtendedReadOpenFunction = intptr_t (*)(const char* file, int* size, int* bits, int* channels, int* rate);
using ExtendedReadOpenWFunction = intptr_t (*)(const wchar_t* file, int* size, int* bits, int* channels, int* rate);
// Up to len bytes of PCM into dest; 0 at the end. The host sets *kill to
// make a long call return early.
using ExtendedReadGetDataFunction = intptr_t (*)(intptr_t handle, char* dest, int len, int* kill);
// Continues decoding from ms; non-zero on success.
using ExtendedReadSetTimeFunction = int (*)(intptr_t handle, int ms);
using ExtendedReadCloseFunction = void (*)(intptr_t handle);
constexpr const char* extended_read_open_export = "winampGetExtendedRead_open";
constexpr const char* extended_read_open_w_export = "winampGetExtendedRead_openW";
// The same arguments; the data are 32-bit float samples (bits 32).
constexpr const char* extended_read_open_float_export = "winampGetExtendedRead_open_float";
constexpr const char* extended_read_open_w_float_export = "winampGetExtendedRead_openW_float";
constexpr const char* extended_read_get_data_export = "winampGetExtendedRead_getData";
constexpr const char* extended_read_set_time_export = "winampGetExtendedRead_setTime";
constexpr const char* extended_read_close_export = "winampGetExtendedRead_close";

// Alt+3: whether the host shows its own tabbed information dialog for file
// (1, or 2 for its stream form) or calls the module's InfoBox (0). The
// dialog's fields come from winampGetExtendedFileInfoW; its extra tabs from
// winampAddUnifiedFileInfoPane, asked for n = 0, 1, ... until it returns
// null, file staying valid for the life of the pane's window. The host
// writes the fields back on OK unless the dialog window (the panes'
// parent) carries the property INBUILT_NOWRITEINFO. Wide in every width.
using UseUnifiedFileInfoDlgFunction = int (*)(const wchar_t* file);
using AddUnifiedFileInfoPaneFunction = HostWindow (*)(int n, const wchar_t* file, HostWindow parent, wchar_t* name,
                                                      std::size_t namelen);
constexpr const char* use_unified_file_info_dlg_export = "winampUseUnifiedFileInfoDlg";
constexpr const char* add_unified_file_info_pane_export = "winampAddUnifiedFileInfoPane";
constexpr const char* no_write_info_property = "INBUILT_NOWRITEINFO";

// Called when the user removes the plugin from the host's preferences
// (Winamp 5.5 and later). Answering IN_PLUGIN_UNINSTALL_NOW lets the host
// call Quit, free the library and delete its file at once; otherwise it
// deletes the file at its next start. Helper files are the plugin's to remove.
using UninstallPluginFunction = int (*)(void* dll_instance, void* parent_window, int param);
constexpr int IN_PLUGIN_UNINSTALL_NOW = 0x1;
constexpr int IN_PLUGIN_UNINSTALL_REBOOT = 0x0;
constexpr const char* uninstall_plugin_export = "winampUninstallPlugin";

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
