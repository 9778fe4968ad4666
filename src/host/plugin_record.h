// The plugin's face to the host: the one static In_Module record, and the
// entry points that need nothing but the record itself.
#pragma once

#include "identity/plugin_identity.h"
#include "winamp/input_plugin.h"

namespace voskel {

// The static record handed to the host; the same object for the library's life.
In_Module& plugin_record();

// The About box text: name, version and the library's compile date, then
// two lines about the plugin.
const char* about_text();

void About(HostWindow parent);
void Config(HostWindow parent);
int IsOurFile(char* file);

}  // namespace voskel
