// The file an archive library is about to write, looked at first, so that a
// failed extraction removes only what it wrote. A file of the member's name
// may already stand in the temporary folder: one the library then fails
// before touching must stay as it was.
#pragma once

#include <cstdint>

#include "platform/platform.h"
#include "text/text_string.h"

namespace voskel {

class TargetGuard {
public:
    // Notes what is at target now; call it just before the library's pass.
    explicit TargetGuard(const TextString& target);

    // What the pass left: the target when the library succeeded and the file
    // holds the declared size, else empty. A file this pass created or
    // changed is removed then; one it left untouched stays.
    TextString outcome(bool library_succeeded, uint64_t declared_size) const;

private:
    TextString target_;
    FileState before_;
};

}  // namespace voskel
