// Resolving the exports a run-time library must provide.
#pragma once

#include "platform/platform.h"

namespace voskel {

// Loads an archive library by name, through the platform's usual search.
// Only when that fails, the same file beside the plugin's own library, by
// full path: the host never searches its plugin folder for a library loaded
// by name, yet that is where users put the archive libraries. Null when
// neither loads.
LibraryHandle load_archive_library(const char* name);

// Looks up names[0..count) in library, into entries in the same order. If
// one is missing, the library is unloaded, the handle cleared and false
// returned.
bool resolve_entry_points(LibraryHandle& library, const char* const* names, void** entries, int count);

// Unloads the library if one is held and clears the handle.
void unload(LibraryHandle& library);

}  // namespace voskel
