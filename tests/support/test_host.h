// A stand-in for the player. It behaves as Winamp does towards an input
// plugin: loads in_voskel from a plugin folder of its own, fills the host's
// slots of the record with working stand-ins, calls Init, calls the entry
// points one at a time (Stop before another Play and before Quit), and at
// the end calls Quit and unloads the library. What inner plugins do with the
// host's services and output is written down in the host's journal.
//
// It also reaches the recording test plugins (tests/plugins) that the
// system loads beside itself, through their plain-C exports.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "winamp/input_plugin.h"
#include "platform/platform.h"
#include "support/scratch.h"

namespace voskel::test {

// "in_alpha" -> "in_alpha.dll" or "in_alpha.so".
std::string library_file_name(const std::string& base);

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
    void set_output(bool on) const;

private:
    LibraryHandle library_ = nullptr;
};

struct HostOptions {
    // Leave our SAVSAInit slot null, as a careless host might. The other ten
    // services are filled all the same.
    bool leave_savsainit_null = false;
};

class TestHost {
public:
    explicit TestHost(const std::string& label = "host");
    ~TestHost();
    TestHost(const TestHost&) = delete;
    TestHost& operator=(const TestHost&) = delete;

    // The plugin folder: in_voskel and the inner plugins copied for this host.
    const ScratchFolder& folder() const { return folder_; }
    // The temporary folder TEMP and TMP name while the host is alive.
    const ScratchFolder& temp_folder() const { return temp_; }
    // A library's path in the plugin folder: path_of("in_alpha").
    std::string path_of(const std::string& base) const;
    // Copies the built test plugin into the plugin folder.
    void install(const std::string& base);
    Recorder recorder(const std::string& base) const { return Recorder(path_of(base)); }

    // Loads in_voskel from the plugin folder, fills its host slots and calls
    // Init. Records a test failure and returns false if that is not possible.
    bool start(const HostOptions& options = {});

    // Loads an inner plugin from the plugin folder and sets it up as Winamp
    // does with every in_* library it finds, before or after start(). Such
    // plugins get Quit and are unloaded by release_inner_plugins().
    In_Module* set_up_inner(const std::string& base);

    // in_voskel's record and library, once started.
    In_Module& plugin() { return *plugin_; }
    LibraryHandle plugin_library() const { return library_; }
    std::string plugin_path() const { return path_of("in_voskel"); }
    bool started() const { return plugin_ != nullptr; }

    // The host's calls. play() stops a playing file first.
    int is_our_file(const std::string& file);
    int play(const std::string& file);
    void stop();
    bool playing() const { return playing_; }

    struct FileInfo {
        std::string title;
        int length_ms;
    };
    // Asks GetFileInfo with a title buffer and a length that start out as
    // given (to see whether they were written); a null file is passed as null.
    FileInfo get_file_info(const char* file, const FileInfo& before = {"(untouched)", -2});
    int info_box(const char* file);

    // Stops a playing file, calls Quit and unloads in_voskel. Inner plugins
    // the host set up itself stay loaded until release_inner_plugins().
    void quit();
    // Calls Quit and unloads every inner plugin the host set up itself.
    void release_inner_plugins();

    // The values the host put in the record's slots.
    HostWindow main_window() const;
    void* set_info_address() const;
    Out_Module* output();
    // The services and output calls that reached the host, one line each
    // ("Open 44100 2 16 -1 -1", "SAVSAInit 100 44100").
    const std::vector<std::string>& journal() const { return journal_; }
    void clear_journal() { journal_.clear(); }
    void note(std::string line) { journal_.push_back(std::move(line)); }

private:
    struct InnerPlugin {
        LibraryHandle library;
        In_Module* module;
    };

    void fill_host_slots(In_Module& module, bool with_savsainit);

    ScratchFolder folder_;
    ScratchFolder temp_;
    SavedTempVariables saved_temp_;
    LibraryHandle library_ = nullptr;
    In_Module* plugin_ = nullptr;
    bool playing_ = false;
    std::vector<InnerPlugin> inner_;
    std::vector<std::string> journal_;
};

}  // namespace voskel::test
