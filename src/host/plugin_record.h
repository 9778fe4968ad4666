// The plugin's face to the host: the one static In_Module record, and the
// entry points that need nothing but the record itself.
#pragma once

#include "identity/plugin_identity.h"
#include "text/text_string.h"
#include "winamp/input_plugin.h"

namespace voskel {

// The static record handed to the host; the same object for the library's life.
In_Module& plugin_record();

// The About box text: name, version and the library's compile date, then
// who made it and under which licence.
const char* about_text();

void About(HostWindow parent);

// The description our record's extension list gives the group of an
// upper-cased extension ("ZIP Compressed Song (*.MDZ)"), or null.
const char* archive_description(const TextString& extension);

// Who is told that an archive library could not be found: the user's own
// Play every time; the questions (GetFileInfo, InfoBox), which the playlist
// asks of every entry, once while that library stays missing, so that a
// folder of 500 archives does not bring 500 boxes.
enum class Telling { every_time, once_while_missing };

// Tells the user that an archive library ("unzip32.dll") could not be
// found; nothing for null. Call it holding no lock of ours: the box waits
// for the user while the host's messages are pumped, and a call into the
// plugin may arrive meanwhile.
void tell_missing_library(const char* library, Telling telling);

// An extraction found the library (nothing for null): the next question
// that misses it tells the user again.
void library_found(const char* library);
void Config(HostWindow parent);
int IsOurFile(char* file);

}  // namespace voskel
