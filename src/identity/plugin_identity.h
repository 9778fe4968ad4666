// What the plugin's parts know of the plugin itself: the caption of its
// messages and the archive kinds it plays. The host-facing part, the
// registry and the extractors all read it here.
#pragma once

#include "text/text_string.h"

namespace voskel {

// Caption of the About box and of the missing-library messages.
inline constexpr const char* message_caption = "Voskel Plugin";

// Upper-cased extensions of the archives the plugin plays.
inline constexpr const char* zip_song_extension = "MDZ";
inline constexpr const char* rar_song_extension = "MDR";

// Whether an upper-cased extension names one of those archive kinds.
inline bool is_archive_extension(const TextString& extension) {
    return extension.equals(zip_song_extension) || extension.equals(rar_song_extension);
}

}  // namespace voskel
