// The song of a ZIP archive (*.MDZ, song_choice.h), extracted into the temporary folder.
#pragma once

#include "extract/extraction.h"
#include "extract/song_choice.h"
#include "text/text_string.h"

namespace voskel {

// The extracted song's full path, or empty. Nothing is written when the
// member is declared larger than largest_member_size, or its name is
// refused (member_path.h); a failure removes only what it wrote. A
// non-empty own_folder is written into instead of the temporary folder.
Extraction extract_zip_member(const TextString& archive, const TextString& own_folder = TextString(),
                              const SongChoice& choice = SongChoice());

}  // namespace voskel
