// The first member of a ZIP archive (*.MDZ), extracted into the temporary folder.
#pragma once

#include "text/text_string.h"

namespace voskel {

// Returns the full path of the extracted member, or empty. Nothing is written
// when the member would land on keep_intact or is declared larger than
// largest_member_size (member_path.h); a failure removes only what it wrote.
TextString extract_zip_member(const TextString& archive, const TextString& keep_intact);

}  // namespace voskel
