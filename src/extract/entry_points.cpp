#include "extract/entry_points.h"

#include "text/text_string.h"

namespace voskel {

LibraryHandle load_archive_library(const char* name) {
    LibraryHandle library = system_calls().load_library(name);
    if (library != nullptr) return library;
    TextString own_path;
    own_path.load_module_path(own_library());
    if (own_path.empty()) return nullptr;
    TextString beside_us = own_path.directory_part();
    beside_us.join_path(TextString(name));
    return system_calls().load_library(beside_us.chars());
}

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
