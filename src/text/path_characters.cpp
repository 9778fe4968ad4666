#include "text/path_characters.h"

namespace voskel {

bool is_path_separator(char c, PathStyle style) {
    return style == PathStyle::windows ? (c == '\\' || c == ':') : c == '/';
}

char joining_separator(PathStyle style) { return style == PathStyle::windows ? '\\' : '/'; }

bool is_folder_separator(char c, PathStyle style) {
    return c == '/' || (style == PathStyle::windows && c == '\\');
}

bool is_member_name_separator(char c) { return c == '/' || c == '\\'; }

int32_t last_character_start(const char* text, int32_t length) {
    int32_t last = -1;
    for (int32_t i = 0; i < length; i += static_cast<int32_t>(character_length(text + i))) last = i;
    return last;
}

int32_t last_path_separator(const char* text, int32_t length, PathStyle style) {
    int32_t found = -1;
    for (int32_t i = 0; i < length; i += static_cast<int32_t>(character_length(text + i))) {
        if (is_path_separator(text[i], style)) found = i;
    }
    return found;
}

}  // namespace voskel
