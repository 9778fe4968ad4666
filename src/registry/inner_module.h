// Calls into an input module in the width its version word gives: file
// names and titles as 8-bit text for a module without IN_UNICODE, as wchar_t
// text for one with it. The rest of the plugin, and the hosts that drive
// modules through here, keep 8-bit text; only here is it converted.
#pragma once

#include "text/text_string.h"
#include "winamp/input_plugin.h"

namespace voskel {

// Whether the module's description begins with the host maker's name
// ("Nullsoft", letter case aside), read in the description's own width. A
// missing or shorter description does not.
bool is_host_makers_module(const In_Module& module);

// The description as 8-bit text for showing, whatever its width; empty when
// there is none.
TextString description_text(const In_Module& module);

// Calls Init. False when a module whose Init reports a result reports
// failure: it must then not be used.
bool init_module(In_Module& module);

// In the calls below, file is 8-bit text. A null file names the playing
// file, as the host names it: the empty string for an 8-bit module, null
// for a Unicode one.

// IsOurFile; a name the module's width cannot carry is not claimed.
int module_is_our_file(In_Module& module, const char* file);

// Play; a name the module's width cannot carry fails as a missing file does.
int play_module(In_Module& module, const char* file);

// GetFileInfo. A Unicode module writes into a title buffer of its own width
// and length; what it wrote reaches title, which holds the host's
// GETFILEINFO_TITLE_LENGTH bytes, converted and cut between characters so
// that it ends in a NUL within them. title stays untouched when the module
// wrote nothing there. length_ms is passed through.
void get_module_file_info(In_Module& module, const char* file, char* title, int* length_ms);

// InfoBox; a name the module's width cannot carry gives 0, as when no
// module could be asked.
int module_info_box(In_Module& module, const char* file, HostWindow parent);

}  // namespace voskel
