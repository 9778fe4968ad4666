// Where an archive member may be written, and whether it may be at all,
// decided from its stored name and declared size before anything is written.
#pragma once

#include <cstdint>

#include "text/text_string.h"

namespace voskel {

// The largest declared size of a member that is extracted: more than any
// song needs (an hour of CD audio is about 600 MiB), so that an archive of
// a megabyte cannot fill the disk, again for every playlist query.
inline constexpr uint64_t largest_member_size = uint64_t{1} << 30;

// Whether a stored name may be written below the temporary folder as it
// stands. Refused: an empty name, a folder entry (ends in a separator), an
// absolute name, a drive or any ':', and every component that is empty, "."
// or "..", and every name that could reach one of the plugin's private
// folders (private_folder.h). '/' and '\' both separate components here, on
// every build. On the Windows style also refused: control characters,
// <>"|?* and components ending in '.' or ' ', which Windows would strip or
// refuse. Whatever passes is the one spelling of its path, so that texts
// can be compared, and is whole text of the code page, which no library
// writes under another name. The name is read by characters of its code
// page (path_characters.h): the second byte of a double-byte character is
// never taken for a separator, a refused character or a letter.
bool is_safe_member_name(const char* name, PathStyle style = native_path_style());

// Whether a stored name is a folder's: it ends in '/' or '\\' (read by
// characters, as a double-byte character may end in the byte of '\\').
bool names_a_folder(const TextString& name);

// What every extractor checks once it knows the stored name and the size
// the archive declares: target becomes the folder joined with the name,
// whose folders are parted by '\\' alone on Windows.
// Returns false, and nothing may be written, when the name is not safe, the
// size is above largest_member_size, or the target is longer than the
// platform's file calls reach (a library may still write it, but neither
// its player nor its deletion could reach it).
bool accept_member(const TextString& folder, const TextString& name, uint64_t declared_size, TextString& target);

}  // namespace voskel
