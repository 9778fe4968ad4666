// Resolving the exports a run-time library must provide.
#pragma once

#include "platform/platform.h"

namespace voskel {

// Looks up names[0..count) in library, into entries in the same order. If
// one is missing, the library is unloaded, the handle cleared and false
// returned.
bool resolve_entry_points(LibraryHandle& library, const char* const* names, void** entries, int count);

// Unloads the library if one is held and clears the handle.
void unload(LibraryHandle& library);

}  // namespace voskel
