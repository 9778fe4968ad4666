#include "extract/member_path.h"

#include <cstring>
#include <string>

#include "extract/private_folder.h"
#include "platform/platform.h"
#include "text/path_characters.h"

namespace voskel {

namespace {

// A component from start to end, whose last character begins at last.
bool is_unsafe_component(const char* start, const char* end, const char* last, PathStyle style) {
    const std::size_t length = static_cast<std::size_t>(end - start);
    if (length == 0) return true;
    if (length == 1 && start[0] == '.') return true;
    if (length == 2 && start[0] == '.' && start[1] == '.') return true;
    // Windows drops trailing dots and spaces, so ".. " would climb as ".." does.
    return style == PathStyle::windows && end - last == 1 && (*last == '.' || *last == ' ');
}

bool is_refused_character(unsigned char c, PathStyle style) {
    if (c == ':') return true;
    if (style == PathStyle::posix) return false;
    return c < 0x20 || std::strchr("<>\"|?*", c) != nullptr;
}

// Windows' file calls take '/' for '\\', but a player that splits a title
// at the last '\\' may not: it is given '\\' alone.
TextString in_platform_separators(const TextString& name) {
    const PathStyle style = native_path_style();
    std::string text(name.chars(), static_cast<std::size_t>(name.length()));
    for (std::size_t i = 0; i < text.size(); i += character_length(text.c_str() + i)) {
        if (is_folder_separator(text[i], style)) text[i] = joining_separator(style);
    }
    return TextString(text.c_str());
}

}  // namespace

bool is_safe_member_name(const char* name, PathStyle style) {
    if (name == nullptr || name[0] == '\0') return false;
    const char* component = name;
    const char* last = name;
    for (const char* p = name;; p += character_length(p)) {
        if (*p == '\0' || is_member_name_separator(*p)) {
            if (is_unsafe_component(component, p, last, style)) return false;
            if (component == name && could_reach_private_folder(name, static_cast<std::size_t>(p - name), *p != '\0', style)) {
                return false;
            }
            if (*p == '\0') break;
            component = p + 1;
        } else if (is_refused_character(static_cast<unsigned char>(*p), style)) {
            return false;
        }
        last = p;
    }
    // unzip32.dll converts a name that is not (one ending in a lone lead
    // byte), and would write it under another name than the one played and
    // deleted.
    return system_calls().is_exact_text(name);
}

bool names_a_folder(const TextString& name) {
    const int32_t last = last_character_start(name.chars(), name.length());
    return last >= 0 && is_member_name_separator(name.chars()[last]);
}

bool accept_member(const TextString& folder, const TextString& name, uint64_t declared_size, TextString& target) {
    if (!is_safe_member_name(name.chars()) || declared_size > largest_member_size) return false;
    target = folder;
    target.join_path(in_platform_separators(name));
    return static_cast<uint32_t>(target.length()) <= longest_path();
}

}  // namespace voskel
