// What the hostile-archive tests share: archives extracted as the plugin
// extracts them, and the one check every outcome must pass.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "extract_support.h"
#include "text/text_string.h"

namespace voskel::test {

// A temporary folder (TEMP and TMP name it) inside an outer folder. Files
// that nothing may touch sit in both: three beside the temporary folder,
// where climbing names would land, and a song being played inside it.
class HostileSandbox {
public:
    HostileSandbox();

    const TempFolder& temp() const { return temp_; }

    // Writes bytes as the archive `name` (its extension picks the format)
    // in a folder of its own, and returns its path.
    std::string write_archive(const std::string& name, const std::string& bytes) const;

    // extract_to_temp, as Play and GetFileInfo call it; expect_clean removes
    // the folders it made, as they do.
    TextString extract(const std::string& archive_path) const;
    TextString extract(const std::string& name, const std::string& bytes) const {
        return extract(write_archive(name, bytes));
    }

    // The outcome must be an empty result or one file: the returned path,
    // inside the temporary folder, holding `content` when that is given.
    // Nothing else may have been written, changed or deleted, inside the
    // temporary folder or beside it, and no empty folder made. The returned
    // file is then deleted, as the plugin's callers delete it, and nothing
    // may be left after it.
    void expect_clean(const TextString& result, const std::string& label,
                      const std::optional<std::string>& content = std::nullopt) const;

    // Every file below the outer folder, relative to the temporary folder
    // with '/' between components ("../x" beside it), and every empty folder
    // with a '/' after it, in the platform's own code page.
    std::vector<std::string> files() const;

private:
    void put_back_untouchables() const;

    mutable TextString made_folder_;  // of the last extraction

    LibrarySearch search_;
    ScratchFolder archives_;
    TempFolder temp_;
};

// Whether the build can extract this format here (on Windows: whether the
// set-up script built its library). Records why when not.
bool can_extract(const ArchiveFormat& format);

// The formats this build can extract.
std::vector<const ArchiveFormat*> usable_formats();

// The content of a member: 'length' bytes of text that any change shows.
std::string member_text(const std::string& seed, std::size_t length);

}  // namespace voskel::test
