// The file an archive library is about to write, looked at first, so that a
// failed extraction removes only what it wrote. A file of the member's name
// may already stand in the temporary folder: one the library then fails
// before touching must stay as it was. So may the folders of its name: the
// ones missing before are the ones the library makes.
#pragma once

#include <cstdint>

#include "extract/extraction.h"
#include "platform/platform.h"
#include "text/text_string.h"

namespace voskel {

class TargetGuard {
public:
    // Notes what is at target (folder joined with a stored name) now; call
    // it just before the library's pass.
    TargetGuard(const TextString& folder, const TextString& target);

    // What the pass left: the target and the folders made for it when the
    // library succeeded and the file holds the declared size, else nothing.
    // A file this pass created or changed is removed then, and the folders
    // it made; a file it left untouched stays.
    Extraction outcome(bool library_succeeded, uint64_t declared_size) const;

private:
    TextString target_;
    FileState before_;
    TextString missing_folder_;
};

}  // namespace voskel
