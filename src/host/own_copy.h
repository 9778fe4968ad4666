// What the host's worker threads need beside playback: one lock, and copies
// of archived songs in folders of their own.
//
// Winamp calls the extended exports from its Media Library, ReplayGain,
// format converter and CD burner threads while its main thread plays. The
// lock guards what those calls share with playback: the archive libraries
// and the extractors' globals, the registry, the playing file's name and
// the cached member. It is held while archives are extracted and modules
// looked up, never while an inner module plays, describes or decodes.
#pragma once

#include <memory>
#include <mutex>
#include <vector>

#include "text/text_string.h"
#include "winamp/input_plugin.h"

namespace voskel {

std::mutex& shared_lock();

// An archive's first member, extracted into a folder of its own below the
// temporary folder, and the inner module that plays it. The folder goes,
// with everything in it, when the copy does. Its texts are never copied
// (their buffers' counts are not shared between threads); they are read
// through chars() alone.
class OwnCopy {
public:
    OwnCopy(TextString folder, TextString file, In_Module* module)
        : folder_(std::move(folder)), file_(std::move(file)), module_(module) {}
    ~OwnCopy();
    OwnCopy(const OwnCopy&) = delete;
    OwnCopy& operator=(const OwnCopy&) = delete;

    const char* file() const { return file_.chars(); }
    In_Module& module() const { return *module_; }

private:
    TextString folder_;
    TextString file_;
    In_Module* module_;
};

// Extracts archive (an MDZ or MDR name) into a new folder and finds its
// module; null, leaving nothing behind, when either fails. The caller holds
// shared_lock().
std::unique_ptr<OwnCopy> make_own_copy(const char* archive);

// A file name the host gave in UTF-16 as the 8-bit text of the file calls;
// empty when it has no exact counterpart there.
std::vector<char> narrow_file_name(const wchar_t* file);

}  // namespace voskel
