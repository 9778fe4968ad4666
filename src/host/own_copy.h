// What the host's worker threads need beside playback: one lock, a count of
// the calls in progress, and copies of archived songs in folders of their own.
//
// Winamp calls the extended exports from its Media Library, ReplayGain,
// format converter and CD burner threads while its main thread plays, and
// the burner calls Play, GetFileInfo and Stop from a thread of its own. The
// state lock guards what those calls share: the registry, the playing
// file's name, path and module, the pending volume and pan, the member kept
// for metadata, the open extended reads and the calls in progress. It is
// held for short steps alone: never while an archive is extracted (each
// extractor serialises its own library), never while an inner module plays,
// describes or decodes, and never while a message box waits for the user.
#pragma once

#include <memory>
#include <mutex>
#include <vector>

#include "extract/private_folder.h"
#include "registry/module_hold.h"
#include "text/text_string.h"
#include "winamp/input_plugin.h"

namespace voskel {

std::mutex& state_lock();

// A call of the host's in progress that reaches an inner module or a copy:
// a question about a file, or the opening of an extended read. While one
// lasts, the plugin may not be freed (see release_for_unload). It is not
// admitted, and the call answers no, once the plugin has been released.
class Activity {
public:
    Activity();
    ~Activity();
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
bool release_for_unload();

// Lets calls in again after release_for_unload (the host's Init).
void admit_calls();

// An archive's first member, extracted into a private folder, the inner
// module that plays it, and a load of that module's library, so that the
// module can be called until the copy goes, also after the host's Quit.
// The folder goes, with everything in it, when the copy does. Its texts are
// never copied (their buffers' counts are not shared between threads); they
// are read through chars() alone.
class OwnCopy {
public:
    OwnCopy(std::unique_ptr<PrivateFolder> folder, TextString file, In_Module& module)
        : folder_(std::move(folder)), file_(std::move(file)), module_(module), hold_(module) {}
    OwnCopy(const OwnCopy&) = delete;
    OwnCopy& operator=(const OwnCopy&) = delete;

    const char* file() const { return file_.chars(); }
    In_Module& module() const { return module_; }

private:
    std::unique_ptr<PrivateFolder> folder_;
    TextString file_;
    In_Module& module_;
    ModuleHold hold_;
};

struct CopyAttempt {
    std::unique_ptr<OwnCopy> copy;  // null when nothing was extracted or no module plays it
    const char* missing_library = nullptr;  // as Extraction's
};

// Extracts archive (an MDZ or MDR name) into a new private folder and finds
// its module; no copy, and nothing left behind, when either fails. Takes
// state_lock() itself: the caller holds no lock of ours.
CopyAttempt make_own_copy(const char* archive);

// A file name the host gave in UTF-16 as the 8-bit text of the file calls:
// exactly, or else by its short (8.3) form; empty when it has neither.
std::vector<char> narrow_file_name(const wchar_t* file);

}  // namespace voskel
