// Metadata of archived songs for the Media Library and the title formatter:
// winampGetExtendedFileInfo(W), answered by the inner module that plays the
// archive's song, about a copy of it.
//
// The host asks many keys of one file in a row, so the last member
// extracted is kept for the next question about the same archive (same
// name, size and time of change). It goes when another archive is asked
// about, when a song plays, at Quit and when the library unloads; there is
// never more than one.
#pragma once

#include "winamp/input_plugin.h"

namespace voskel {

// 1 when answered, into dest of destlen characters: "family" of any MDZ or
// MDR name, and "type" of one that is no file (or of ""), from the name
// alone; every other key by the inner module. 0 for a file that is no MDZ
// or MDR, one that cannot be extracted or played, or a module without the
// export or an answer.
int get_extended_file_info(const char* file, const char* key, char* dest, int destlen);
int get_extended_file_info_wide(const wchar_t* file, const char* key, wchar_t* dest, int destlen);

// Deletes the kept member (once no question in progress still reads it).
void drop_kept_member();

}  // namespace voskel
