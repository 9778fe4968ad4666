#include "extract/member_path.h"

#include <cstring>

namespace voskel {

namespace {

bool is_any_separator(char c) { return c == '/' || c == '\\'; }

char fold(char c, PathStyle style) {
    if (style == PathStyle::posix) return c;
    if (c == '/') return '\\';
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

bool is_unsafe_component(const char* start, std::size_t length, PathStyle style) {
    if (length == 0) return true;
    if (length == 1 && start[0] == '.') return true;
    if (length == 2 && start[0] == '.' && start[1] == '.') return true;
    // Windows drops trailing dots and spaces, so ".. " would climb as ".." does.
    const char last = start[length - 1];
    return style == PathStyle::windows && (last == '.' || last == ' ');
}

bool is_refused_character(unsigned char c, PathStyle style) {
    if (c == ':') return true;
    if (style == PathStyle::posix) return false;
    return c < 0x20 || std::strchr("<>\"|?*", c) != nullptr;
}

}  // namespace

bool is_safe_member_name(const char* name, PathStyle style) {
    if (name == nullptr || name[0] == '\0') return false;
    const char* component = name;
    for (const char* p = name;; ++p) {
        if (*p == '\0' || is_any_separator(*p)) {
            if (is_unsafe_component(component, static_cast<std::size_t>(p - component), style)) return false;
            if (*p == '\0') return true;
            component = p + 1;
        } else if (is_refused_character(static_cast<unsigned char>(*p), style)) {
            return false;
        }
    }
}

bool is_same_path(const TextString& a, const TextString& b, PathStyle style) {
    if (a.length() != b.length()) return false;
    for (int32_t i = 0; i < a.length(); ++i) {
        if (fold(a.chars()[i], style) != fold(b.chars()[i], style)) return false;
    }
    return true;
}

bool accept_member(const TextString& folder, const TextString& name, uint64_t declared_size,
                   const TextString& keep_intact, TextString& target) {
    if (!is_safe_member_name(name.chars()) || declared_size > largest_member_size) return false;
    target = folder;
    target.join_path(name);
    return static_cast<uint32_t>(target.length()) <= longest_path() && !is_same_path(target, keep_intact);
}

}  // namespace voskel
