// The other input plugins beside ours: found, loaded and set up on first
// need, kept in order, chosen by extension, released at Quit.
#pragma once

#include <string>
#include <vector>

#include "platform/platform.h"
#include "text/text_string.h"
#include "winamp/input_plugin.h"

namespace voskel {

struct PluginRecord {
    In_Module* module = nullptr;
    // The load this plugin made for the module, or null when someone else had
    // already set the module up (then its Init and Quit are not ours to call).
    LibraryHandle library = nullptr;
};

// Other makers' modules first, the host maker's ("Nullsoft...") last; the
// first module whose extension list matches wins.
using PluginRegistry = std::vector<PluginRecord>;

PluginRegistry& plugin_registry();

// own is our plugin's record as the host filled it: its hDllInstance names
// the folder searched, and its host slots are what modules are set up with.

// Loads every plugin library in our own folder and registers each module of
// an interface version the host accepts (0x100 or 0x101, with or without
// either flag group) that sets up.
void scan_plugins(const In_Module& own);

// Sets up a freshly loaded module as the host would, unless it already is set
// up; in that case drops the extra load and clears record.library. False
// when the module's Init reports failure: it must not be used, and the
// caller unloads its library.
bool prepare_module(PluginRecord& record, const In_Module& own);

// The record's Quit: Quit and unload every module this plugin set up itself,
// and forget every record, so that the next lookup after reopen_plugins
// scans the folder afresh. Until reopen_plugins,
// lookups find nothing and scan nothing: the host's worker threads may still
// ask after its Quit, and a module loaded then would never get its Quit.
void unload_plugins();

// Lets lookups scan the folder again after unload_plugins (the host's Init).
void reopen_plugins();

// The module that plays files with this path's extension, or null. Scans the
// folder while the registry is empty. Never our own module, and none at all
// for an MDZ or MDR file: an archive inside an archive is not played.
In_Module* find_module_for(const TextString& path, const In_Module& own);

// What the registered modules play, their extension lists copied: it can
// be asked without the lock, and after Quit.
class PlayedExtensions {
public:
    // Whether a module's extension list names the file's extension. Never
    // for an MDZ or MDR file, as find_module_for.
    bool plays(const TextString& file) const;

private:
    friend PlayedExtensions played_extensions(const In_Module& own);
    std::vector<std::string> lists_;
};

// The registered modules' extensions (our own aside), scanning the folder
// while the registry is empty, as find_module_for does; none after
// unload_plugins.
PlayedExtensions played_extensions(const In_Module& own);

// Whether an extension list (pairs of group and description, ended by an
// empty string) names ext as a whole ';'-separated token, letter case aside.
bool extension_list_matches(const char* list, const TextString& ext);

}  // namespace voskel
