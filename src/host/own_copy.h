// What the host's worker threads need beside playback: a count of the calls
// in progress, and copies of archived songs in folders of their own.
//
// Winamp calls the extended exports from its Media Library, ReplayGain,
// format converter and CD burner threads while its main thread plays, and
// the burner calls Play, GetFileInfo and Stop from a thread of its own. What
// those calls share is guarded by the state lock (identity/state_lock.h).
#pragma once

#include <memory>
#include <vector>

#include "extract/extraction.h"
#include "extract/private_folder.h"
#include "identity/state_lock.h"
#include "registry/plugin_registry.h"
#include "text/text_string.h"
#include "winamp/input_plugin.h"

namespace voskel {

// A call of the host's in progress that reaches an inner module or a copy:
// a question about a file, or the opening of an extended read. While one
// lasts, the plugin may not be freed (see release_for_unload). It is not
// admitted, and the call answers no, once the plugin has been released.
class Activity {
public:
    Activity() EXCLUDES(state_mutex);
    ~Activity() EXCLUDES(state_mutex);
    Activity(const Activity&) = delete;
    Activity& operator=(const Activity&) = delete;
    bool admitted() const { return admitted_; }

private:
    bool admitted_;
};

// For the host's Uninstall button, which frees the plugin at once without
// a Stop. True when nothing of the plugin is in use (no song current, no
// extended read open, no information dialog open, no call in progress):
// then no call is admitted afterwards, until Init. False, and nothing
// changes, otherwise.
bool release_for_unload() EXCLUDES(state_mutex);

// Lets calls in again after release_for_unload (the host's Init).
void admit_calls() EXCLUDES(state_mutex);

// An archive's song, extracted into a private folder, the inner module that
// plays it, and a hold on that module's library, so that the module can be
// called until the copy goes, also after the host's Quit. The copy's file
// and folders go with it, and the folder is kept for the next. Its texts are never
// copied (their buffers' counts are not shared between threads); they are
// read through chars() alone. A copy goes outside the state lock: the last
// hold on a library unloads it.
class OwnCopy {
public:
    OwnCopy(LentFolder folder, Extraction extraction, PluginRecord plays_it)
        : folder_(std::move(folder)), extraction_(std::move(extraction)), plays_it_(std::move(plays_it)) {}
    ~OwnCopy() { folder_->clear_out(extraction_.file, extraction_.made_folder); }
    OwnCopy(const OwnCopy&) = delete;
    OwnCopy& operator=(const OwnCopy&) = delete;

    const char* file() const { return extraction_.file.chars(); }
    In_Module& module() const { return *plays_it_.module; }

private:
    LentFolder folder_;
    Extraction extraction_;
    PluginRecord plays_it_;
};

struct CopyAttempt {
    std::unique_ptr<OwnCopy> copy;  // null when nothing was extracted or no module plays it
    const char* missing_library = nullptr;  // as Extraction's
};

// Extracts archive (an MDZ or MDR name) into a private folder and finds its
// module; no copy, and nothing left behind, when either fails.
CopyAttempt make_own_copy(const char* archive) EXCLUDES(state_mutex);

// A file name the host gave in UTF-16 as the 8-bit text of the file calls:
// exactly, or else by its short (8.3) form; empty when it has neither.
std::vector<char> narrow_file_name(const wchar_t* file);

}  // namespace voskel
