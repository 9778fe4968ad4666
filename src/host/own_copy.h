// What the host's worker threads need beside playback: one lock, and copies
// of archived songs in folders of their own.
//
// Winamp calls the extended exports from its Media Library, ReplayGain,
// format converter and CD burner threads while its main thread plays, and
// the burner calls Play, GetFileInfo and Stop from a thread of its own. The
// state lock guards what those calls share: the registry, the playing
// file's name, path and module, the pending volume and pan, and the member
// kept for metadata. It is held for short steps alone: never while an
// archive is extracted (each extractor serialises its own library), never
// while an inner module plays, describes or decodes, and never while a
// message box waits for the user.
#pragma once

#include <memory>
#include <mutex>
#include <vector>

#include "registry/module_hold.h"
#include "text/text_string.h"
#include "winamp/input_plugin.h"

namespace voskel {

std::mutex& state_lock();

// An archive's first member, extracted into a folder of its own below the
// temporary folder, the inner module that plays it, and a load of that
// module's library, so that the module can be called until the copy goes,
// also after the host's Quit. The folder goes, with everything in it, when
// the copy does. Its texts are never copied (their buffers' counts are not
// shared between threads); they are read through chars() alone.
class OwnCopy {
public:
    OwnCopy(TextString folder, TextString file, In_Module& module)
        : folder_(std::move(folder)), file_(std::move(file)), module_(module), hold_(module) {}
    ~OwnCopy();
    OwnCopy(const OwnCopy&) = delete;
    OwnCopy& operator=(const OwnCopy&) = delete;

    const char* file() const { return file_.chars(); }
    In_Module& module() const { return module_; }

private:
    TextString folder_;
    TextString file_;
    In_Module& module_;
    ModuleHold hold_;
};

struct CopyAttempt {
    std::unique_ptr<OwnCopy> copy;  // null when nothing was extracted or no module plays it
    const char* missing_library = nullptr;  // as Extraction's
};

// Extracts archive (an MDZ or MDR name) into a new folder and finds its
// module; no copy, and nothing left behind, when either fails. Takes
// state_lock() itself: the caller holds no lock of ours.
CopyAttempt make_own_copy(const char* archive);

// A file name the host gave in UTF-16 as the 8-bit text of the file calls:
// exactly, or else by its short (8.3) form; empty when it has neither.
std::vector<char> narrow_file_name(const wchar_t* file);

}  // namespace voskel
