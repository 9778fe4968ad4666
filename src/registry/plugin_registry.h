// The other input plugins beside ours: found, loaded and set up on first
// need, kept in order, chosen by extension, released at Quit. The registry
// is guarded by the state lock (identity/state_lock.h), and no plugin code
// and no loader call runs under it.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "identity/state_lock.h"
#include "platform/platform.h"
#include "text/text_string.h"
#include "winamp/input_plugin.h"

namespace voskel {

// A load of an inner module's library that this plugin made. The library
// is unloaded when the last holder lets go: the registry, until Quit, and
// every copy whose module is still called (a read open across Quit, a
// question in progress). Taking a hold is copying a pointer, under the
// state lock; the loader runs only when the library goes, outside it.
class PluginLibrary {
public:
    explicit PluginLibrary(LibraryHandle handle) : handle_(handle) {}
    ~PluginLibrary() { system_calls().unload_library(handle_); }
    PluginLibrary(const PluginLibrary&) = delete;
    PluginLibrary& operator=(const PluginLibrary&) = delete;
    LibraryHandle handle() const { return handle_; }

private:
    LibraryHandle handle_;
};

struct PluginRecord {
    In_Module* module = nullptr;
    // The load this plugin made for the module, or null when someone else had
    // already set the module up (then its Init and Quit are not ours to call,
    // nor its library ours to unload). A copy of the record holds the library.
    std::shared_ptr<const PluginLibrary> library;

    LibraryHandle library_handle() const { return library ? library->handle() : nullptr; }
};

// Other makers' modules first, the host maker's ("Nullsoft...") last; the
// first module whose extension list matches wins.
using PluginRegistry = std::vector<PluginRecord>;

// The registry itself, for tests that look at it.
PluginRegistry& plugin_registry() REQUIRES(state_mutex);

// own is our plugin's record as the host filled it: its hDllInstance names
// the folder searched, and its host slots are what modules are set up with.

// Loads every plugin library in our own folder and sets up each module of
// an interface version the host accepts (0x100 or 0x101, with or without
// either flag group) that sets up, in the registry's order. Runs plugin
// code: never under the state lock.
PluginRegistry scan_plugins(const In_Module& own) EXCLUDES(state_mutex);

// Sets up a freshly loaded module as the host would, unless it already is set
// up; in that case drops the extra load and clears record.library. False
// when the module's Init reports failure: it must not be used, and the
// caller lets its library go.
bool prepare_module(PluginRecord& record, const In_Module& own) EXCLUDES(state_mutex);

// Scans the folder while the registry is empty, outside the state lock, and
// publishes what it found under it: two threads that look up at once scan
// once, the second waiting for the first. A module's Init that calls back
// into the plugin on the scanning thread finds the registry empty.
void ensure_plugins_scanned(const In_Module& own) EXCLUDES(state_mutex);

// The record's Quit: every record is taken out of the registry, so that the
// next lookup after reopen_plugins scans the folder afresh; then, outside
// the lock, every module this plugin set up itself gets its Quit, and its
// library is unloaded once no copy holds it any more. Until reopen_plugins,
// lookups find nothing and scan nothing: the host's worker threads may still
// ask after its Quit, and a module loaded then would never get its Quit.
void unload_plugins() EXCLUDES(state_mutex);

// Lets lookups scan the folder again after unload_plugins (the host's Init).
void reopen_plugins() REQUIRES(state_mutex);

// The record of the module that plays files with this path's extension, or
// null; a copy of it holds the module's library. Never our own module, and
// none at all for an MDZ or MDR file: an archive inside an archive is not
// played. Scans nothing: see ensure_plugins_scanned.
const PluginRecord* record_for(const TextString& path, const In_Module& own) REQUIRES(state_mutex);

// A copy of the record of a registered module, which holds its library; a
// record without a library when the registry does not hold the module.
PluginRecord record_of(In_Module& module) REQUIRES(state_mutex);

// ensure_plugins_scanned, then record_for's module, or null.
In_Module* find_module_for(const TextString& path, const In_Module& own) EXCLUDES(state_mutex);

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

// The registered modules' extensions (our own aside); none after
// unload_plugins. Scans nothing: see ensure_plugins_scanned.
PlayedExtensions played_extensions(const In_Module& own) REQUIRES(state_mutex);

// Whether an extension list (pairs of group and description, ended by an
// empty string) names ext as a whole ';'-separated token, letter case aside.
bool extension_list_matches(const char* list, const TextString& ext);

}  // namespace voskel
