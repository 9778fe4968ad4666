// What an extractor gives back.
#pragma once

#include "text/text_string.h"

namespace voskel {

struct Extraction {
    // The extracted member's full path, or empty when nothing was extracted.
    TextString file;
    // The archive library that could not be loaded ("unzip32.dll",
    // "unrar.dll"), or null. The extractor shows nothing itself: the caller
    // tells the user once it holds no lock, and only where a user is
    // waiting (never on the host's worker threads).
    const char* missing_library = nullptr;
    // The archive library that was loaded and used, whatever came of it,
    // or null: a caller that told the user it was missing may tell again
    // once it goes missing again.
    const char* found_library = nullptr;
    // The outermost folder the extraction made for the member's folder
    // part, file lying below it; empty when it made none. remove_extracted
    // (temp_dir.h) takes it away again with the file.
    TextString made_folder;

    // Nothing extracted, as the library could not be loaded.
    static Extraction without(const char* library) {
        Extraction extraction;
        extraction.missing_library = library;
        return extraction;
    }
};

}  // namespace voskel
