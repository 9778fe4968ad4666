#include "extract/entry_points.h"

namespace voskel {

bool resolve_entry_points(LibraryHandle& library, const char* const* names, void** entries, int count) {
    for (int i = 0; i < count; ++i) {
        entries[i] = system_calls().find_symbol(library, names[i]);
        if (entries[i] == nullptr) {
            unload(library);
            return false;
        }
    }
    return true;
}

void unload(LibraryHandle& library) {
    if (library != nullptr) system_calls().unload_library(library);
    library = nullptr;
}

}  // namespace voskel
