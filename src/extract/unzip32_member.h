// The song of a ZIP archive, extracted through unzip32.dll. The
// win32 build's ZIP extractor; the code is portable, so that other builds
// can drive it against a stand-in library.
#pragma once

#include "extract/extraction.h"
#include "extract/song_choice.h"
#include "text/text_string.h"

namespace voskel {

// The library loaded by name for each extraction.
inline constexpr const char* unzip32_library_name = "unzip32.dll";

// As extract_zip_member.
Extraction extract_zip_member_unzip32(const TextString& archive, const TextString& own_folder = TextString(),
                                      const SongChoice& choice = SongChoice());

}  // namespace voskel
