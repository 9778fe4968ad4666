// A stand-in for the player. It behaves as Winamp 5 does towards input
// plugins: it loads in_voskel (and any inner plugin a test asks it to set up
// itself) from a plugin folder of its own, refuses a module of an interface
// version it does not know, fills the host's slots with working stand-ins
// (SetInfo only after Init, outMod before every Play, the flag bits of
// UsesOutputPlug cleared), calls Init, calls every module in its own width,
// gives SetVolume and SetPan before every Play, calls Stop only after a Play
// that succeeded, names the playing file to an 8-bit module as "", and at
// exit calls Quit on every module in reverse load order. What inner plugins
// do with the host's services and output is written down in its journal.
//
// It also reaches the recording test plugins (tests/plugins) that the
// system loads beside itself, through their plain-C exports.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "winamp/input_plugin.h"
#include "platform/platform.h"
#include "support/scratch.h"

namespace voskel::test {

// "in_alpha" -> "in_alpha.dll" or "in_alpha.so".
std::string library_file_name(const std::string& base);

// The width of the recording plugins a test installs: every one is built as
// an 8-bit module and as a Unicode twin (with a wide description). Tests run
// against both through this parameter.
enum class PluginWidth { narrow, unicode };

// The built library of a recording plugin in that width.
std::string built_test_plugin(const std::string& base, PluginWidth width);

// For the names of parameterised tests: "Narrow", "Unicode".
std::string width_name(const ::testing::TestParamInfo<PluginWidth>& info);

// The handle of a library already loaded from this path, obtained without
// adding a load; null if it is not loaded.
LibraryHandle loaded_library(const std::string& path);

bool is_library_loaded(const std::string& path);

// One call written down by a recording plugin: the call's name, then its
// fields (arguments, then name=value pairs) in order.
struct JournalEntry {
    std::string call;
    std::vector<std::string> fields;

    // The value of the field "key=value", or nullopt if there is none.
    std::optional<std::string> value(const std::string& key) const;
    // value(key) read as an unsigned number (handles and pointers are
    // written that way); 0 if the field is missing.
    std::uintptr_t number(const std::string& key) const;
};

std::vector<JournalEntry> parse_journal(const std::string& text);

// A recording plugin that is loaded, reached through its exports. Valid only
// while the library stays loaded; it adds no load of its own.
class Recorder {
public:
    // The recorder loaded from path; ok() is false if no such library is loaded.
    explicit Recorder(const std::string& path);

    bool ok() const { return library_ != nullptr; }
    LibraryHandle library() const { return library_; }

    std::string journal() const;
    std::vector<JournalEntry> entries() const;
    // The entries of one call, in order.
    std::vector<JournalEntry> calls(const std::string& call) const;
    int count(const std::string& call) const;
    // The names of all calls, in order.
    std::vector<std::string> call_names() const;

    void reset() const;
    // See recorder_set_result in the plugin; false for an unknown call.
    bool set_result(const std::string& call, int value) const;
    void set_file_info(const std::string& title, int length_ms) const;
    // A Unicode recorder's title as code units; more than the buffer's 2048
    // units are cut to them, and then no NUL follows.
    void set_wide_title(const std::wstring& title, int length_ms) const;
    void set_output(bool on) const;
    int version() const;

private:
    LibraryHandle library_ = nullptr;
};

struct HostOptions {
    // Leave our SAVSAInit slot null, as a careless host might. The other ten
    // services are filled all the same.
    bool leave_savsainit_null = false;
};

// The player's title buffer: GETFILEINFO_TITLE_LENGTH bytes, followed by a
// guard that nothing may write.
constexpr std::size_t title_guard_size = 64;

class TestHost {
public:
    // inner_width: which build of the recording plugins install() copies.
    explicit TestHost(const std::string& label = "host", PluginWidth inner_width = PluginWidth::narrow);
    ~TestHost();
    TestHost(const TestHost&) = delete;
    TestHost& operator=(const TestHost&) = delete;

    // The plugin folder: in_voskel and the inner plugins copied for this host.
    const ScratchFolder& folder() const { return folder_; }
    // The temporary folder TEMP and TMP name while the host is alive.
    const ScratchFolder& temp_folder() const { return temp_; }
    // Every file below it but the lock files of the plugin's private
    // folders, which it keeps, emptied, from one copy to the next: what is
    // left of songs.
    std::vector<std::string> temp_files() const;
    // A library's path in the plugin folder: path_of("in_alpha").
    std::string path_of(const std::string& base) const;
    // Copies the built test plugin, in the host's width, into the plugin
    // folder under its base name.
    void install(const std::string& base);
    // Copies one of the example decoders (in_wave, in_wave_unicode, ...).
    void install_example(const std::string& base);
    PluginWidth inner_width() const { return inner_width_; }
    Recorder recorder(const std::string& base) const { return Recorder(path_of(base)); }

    // Loads in_voskel from the plugin folder, fills its host slots and calls
    // Init. Records a test failure and returns false if that is not possible.
    bool start(const HostOptions& options = {});

    // Loads an inner plugin from the plugin folder and sets it up as Winamp
    // does with every in_* library it finds, before or after start(). Null,
    // with the library unloaded again, when the host refuses the module (an
    // interface version it does not know, or an Init that reports failure).
    In_Module* set_up_inner(const std::string& base);

    // An export of in_voskel's library, or null.
    template <typename Function>
    Function plugin_export(const char* name) const {
        return reinterpret_cast<Function>(platform_system_calls().find_symbol(library_, name));
    }

    // in_voskel's record and library, once started.
    In_Module& plugin() { return *plugin_; }
    LibraryHandle plugin_library() const { return library_; }
    std::string plugin_path() const { return path_of("in_voskel"); }
    bool started() const { return plugin_ != nullptr; }

    // The host's calls. play() stops a playing file first and gives the
    // plugin the host's volume and pan before its Play; stop() calls Stop
    // only while a Play that succeeded is playing.
    int is_our_file(const std::string& file);
    int play(const std::string& file);
    void stop();
    bool playing() const { return playing_; }

    // The player's volume (0 to 255) and pan (-127 to 127) controls: given to
    // the playing plugin at once, and to the plugin before every Play.
    void set_volume(int volume);
    void set_pan(int pan);
    int volume() const { return volume_; }
    int pan() const { return pan_; }

    // The module the player would choose for a file among every module it
    // set up, ours included: the first whose IsOurFile claims it, else the
    // first whose extension list names its extension, in load order.
    In_Module* claim(const std::string& file);

    struct FileInfo {
        std::string title;
        int length_ms;
    };
    // Asks GetFileInfo with the player's title buffer and a length that
    // start out as given (to see whether they were written); a null file is
    // the playing file, which reaches in_voskel as "". Records a test failure
    // if anything was written past the buffer's 2048 bytes.
    FileInfo get_file_info(const char* file, const FileInfo& before = {"(untouched)", -2});
    int info_box(const char* file);

    // What the player does at exit: stops a playing file, then calls Quit on
    // every module it set up, in reverse load order. Libraries stay loaded,
    // as the player never frees them, until unload_libraries() or the end
    // of the host.
    void quit();
    // quit_first false: unloads as a host that ends without Quit would.
    void unload_libraries(bool quit_first = true);

    // The values the host put in the record's slots.
    HostWindow main_window() const;
    void* set_info_address() const;
    Out_Module* output();
    // The services and output calls that reached the host, one line each
    // ("Open 44100 2 16 -1 -1", "SAVSAInit 100 44100").
    // Plugins' own threads write into it too.
    std::vector<std::string> journal() const;
    void clear_journal();
    void note(std::string line);

private:
    struct LoadedModule {
        LibraryHandle library;
        In_Module* module;
    };

    // Loads a library of the plugin folder and sets its module up; null when
    // that is not possible or the host refuses it.
    In_Module* load_and_set_up(const std::string& base, bool with_savsainit, LibraryHandle& library);

    ScratchFolder folder_;
    ScratchFolder temp_;
    SavedTempVariables saved_temp_;
    PluginWidth inner_width_;
    LibraryHandle library_ = nullptr;
    In_Module* plugin_ = nullptr;
    bool playing_ = false;
    bool quit_ = false;
    int volume_ = 255;
    int pan_ = 0;
    std::vector<LoadedModule> loaded_;  // in load order, ours included
    mutable std::mutex journal_lock_;
    std::vector<std::string> journal_;
};

}  // namespace voskel::test
