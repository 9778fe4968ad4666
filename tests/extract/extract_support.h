// What the extraction tests share: a temporary folder named by TEMP and
// TMP, control over library loads, the songs of the ZIP fixtures, and the
// stored names that must never be written.
#pragma once

#include <map>
#include <set>
#include <utility>
#include <string>
#include <vector>

#include "support/scratch.h"
#include "text/text_string.h"

namespace voskel::test {

// The build's own spelling of a stored name written to disk: '/' becomes '\' on Windows.
std::string on_disk(const std::string& name);

// A fresh folder, with TEMP and TMP both naming it while the test runs.
// The folder sits inside an outer one, so that a name that climbs out of
// it still lands somewhere the test can see.
class TempFolder {
public:
    TempFolder();
    const std::string& path() const { return path_; }
    const std::string& outer() const { return outer_.path(); }
    // Files below the outer folder, relative to the temporary folder and
    // with '/' between components ("../x" for one beside it), but for the
    // lock files of idle private folders.
    std::vector<std::string> files() const;
    // The folder joined with a stored name, as the plugin joins it: with '\\'
    // alone between folders on Windows.
    std::string joined(const std::string& name) const { return join(path_, on_disk(name)); }

private:
    SavedTempVariables saved_;
    ScratchFolder outer_;
    std::string path_;
};

// Counts and steers library loads made through system_calls(), and fakes
// environment lookups, while alive.
class LibraryCalls {
public:
    LibraryCalls();
    ~LibraryCalls();
    LibraryCalls(const LibraryCalls&) = delete;
    LibraryCalls& operator=(const LibraryCalls&) = delete;

    // A load of `name` loads `path` instead.
    void redirect(const std::string& name, const std::string& path) { redirects_[name] = path; }
    // Every load fails.
    void fail_loads() { fail_loads_ = true; }
    // find_symbol reports this export missing.
    void hide_symbol(const std::string& name) { hidden_.insert(name); }
    // get_env answers from this table instead of the environment; a missing
    // key is an unset variable.
    void fake_environment(std::map<std::string, std::string> values);

    int load_attempts() const { return static_cast<int>(attempts_.size()); }
    // What each load asked for, a name or a path, in order.
    const std::vector<std::string>& attempts() const { return attempts_; }
    int loads() const { return loads_; }
    int unloads() const { return unloads_; }

private:
    static LibraryHandle load(const char* name);
    static void* find(LibraryHandle library, const char* name);
    static void unload(LibraryHandle library);
    static const char* get_env(const char* name);
    static LibraryCalls* active_;

    LibraryCalls* previous_;
    ScopedSystemCalls calls_;
    std::map<std::string, std::string> redirects_;
    std::set<std::string> hidden_;
    std::map<std::string, std::string> environment_;
    bool fail_loads_ = false;
    std::vector<std::string> attempts_;
    int loads_ = 0, unloads_ = 0;
};

// On Windows, unzip32.dll and unrar.dll are looked for in the folder the
// set-up script builds them into, while alive; elsewhere nothing happens.
// An empty folder makes them missing.
class LibrarySearch {
public:
    explicit LibrarySearch(const std::string& folder);
    ~LibrarySearch();
    LibrarySearch(const LibrarySearch&) = delete;
    LibrarySearch& operator=(const LibrarySearch&) = delete;
};

// The Windows libraries built by the set-up script, or "" where they are
// not in use or not built.
std::string windows_library(const std::string& file_name);

std::string fixture(const std::string& name);

// The file of that name in the folder of the running test program, which
// the extractors linked into it take for the plugin's own folder.
std::string beside_the_program(const std::string& file_name);

// The content of every song in the ZIP fixtures: 200 lines "<name> line <n>".
std::string song(const std::string& name);


// ZIP or RAR, as the tests that treat both alike see them.
struct ArchiveFormat {
    const char* label;
    const char* extension;  // ".mdz" or ".mdr"
    const char* library;    // the Windows library file that reads it
    bool run_time_library;  // whether this build loads a library for it
    TextString (*extract)(const TextString& archive);
    // An archive of stored members, in order: (name, content) pairs.
    std::string (*write)(const std::vector<std::pair<std::string, std::string>>& members);
};
const ArchiveFormat& zip_format();
const ArchiveFormat& rar_format();

// Whether the format's library can be used: on Windows, whether the set-up
// script has built it.
bool library_available(const ArchiveFormat& format);

// Stored names that would write outside the temporary folder: beside it
// ("../escaped.mod"), or at "absolute.mod" and "rooted.mod" in the outer
// folder by a full name, or on another drive.
std::vector<std::string> hostile_names(const TempFolder& temp);

}  // namespace voskel::test
