#include "text_width.h"

#include <cstdint>
#include <vector>

#if defined(_WIN32)
#include <windows.h>
#endif

namespace voskel::examples {

namespace {

#if defined(_WIN32)
std::wstring wide_from(UINT code_page, const char* text) {
    const int count = MultiByteToWideChar(code_page, 0, text, -1, nullptr, 0);
    if (count <= 0) return std::wstring();
    std::wstring wide(static_cast<std::size_t>(count), L'\0');
    MultiByteToWideChar(code_page, 0, text, -1, wide.data(), count);
    wide.resize(static_cast<std::size_t>(count - 1));
    return wide;
}
#else
// wchar_t holds one code point here; invalid UTF-8 gives U+FFFD.
std::wstring decode_utf8(const std::string& utf8) {
    std::wstring wide;
    for (std::size_t i = 0; i < utf8.size();) {
        const auto lead = static_cast<unsigned char>(utf8[i++]);
        const int follow = lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC0 ? 1 : lead >= 0x80 ? -1 : 0;
        if (follow < 0) {
            wide += L'\uFFFD';
            continue;
        }
        uint32_t c = follow == 0 ? lead : lead & (0x3Fu >> follow);
        int taken = 0;
        while (taken < follow && i < utf8.size() && (static_cast<unsigned char>(utf8[i]) & 0xC0) == 0x80) {
            c = (c << 6) | (static_cast<unsigned char>(utf8[i++]) & 0x3F);
            ++taken;
        }
        wide += taken == follow ? static_cast<wchar_t>(c) : L'\uFFFD';
    }
    return wide;
}

std::string encode_utf8(const wchar_t* wide) {
    std::string utf8;
    for (; *wide != L'\0'; ++wide) {
        const auto c = static_cast<uint32_t>(*wide);
        if (c < 0x80) {
            utf8 += static_cast<char>(c);
            continue;
        }
        const int follow = c < 0x800 ? 1 : c < 0x10000 ? 2 : 3;
        constexpr unsigned char marks[] = {0, 0xC0, 0xE0, 0xF0};
        utf8 += static_cast<char>(marks[follow] | (c >> (6 * follow)));
        for (int i = follow - 1; i >= 0; --i) utf8 += static_cast<char>(0x80 | ((c >> (6 * i)) & 0x3F));
    }
    return utf8;
}
#endif

}  // namespace

std::wstring wide_from_utf8(const std::string& utf8) {
#if defined(_WIN32)
    return wide_from(CP_UTF8, utf8.c_str());
#else
    return decode_utf8(utf8);
#endif
}

SongPath path_from_narrow(const char* file) {
#if defined(_WIN32)
    return SongPath(wide_from(CP_ACP, file != nullptr ? file : ""));
#else
    return SongPath(file != nullptr ? file : "");
#endif
}

SongPath path_from_wide(const wchar_t* file) {
#if defined(_WIN32)
    return SongPath(file != nullptr ? file : L"");
#else
    return SongPath(file != nullptr ? encode_utf8(file) : std::string());
#endif
}

std::FILE* open_song_file(const SongPath& path) {
#if defined(_WIN32)
    return _wfopen(path.c_str(), L"rb");
#else
    return std::fopen(path.c_str(), "rb");
#endif
}

std::string stem_of(const SongPath& path) {
    const std::u8string stem = path.stem().u8string();
    return std::string(stem.begin(), stem.end());
}

void write_narrow_title(const std::string& utf8, char* title, std::size_t size) {
    if (title == nullptr || size == 0) return;
#if defined(_WIN32)
    // One character at a time, so that the text is cut between characters.
    const std::wstring wide = wide_from_utf8(utf8);
    std::size_t used = 0;
    for (std::size_t i = 0; i < wide.size();) {
        const bool pair = wide[i] >= 0xD800 && wide[i] <= 0xDBFF && i + 1 < wide.size();
        const int units = pair ? 2 : 1;
        char bytes[8];
        int count = WideCharToMultiByte(CP_ACP, 0, wide.data() + i, units, bytes, sizeof bytes, "?", nullptr);
        if (count <= 0) {
            bytes[0] = '?';
            count = 1;
        }
        if (used + static_cast<std::size_t>(count) + 1 > size) break;
        for (int b = 0; b < count; ++b) title[used++] = bytes[b];
        i += static_cast<std::size_t>(units);
    }
    title[used] = '\0';
#else
    std::size_t count = utf8.size() < size ? utf8.size() : size - 1;
    // Not inside a character: back off to the start of the one cut.
    if (count < utf8.size()) {
        while (count > 0 && (static_cast<unsigned char>(utf8[count]) & 0xC0) == 0x80) --count;
    }
    utf8.copy(title, count);
    title[count] = '\0';
#endif
}

void write_wide_title(const std::string& utf8, wchar_t* title, std::size_t size) {
    if (title == nullptr || size == 0) return;
    const std::wstring wide = wide_from_utf8(utf8);
    std::size_t count = wide.size() < size ? wide.size() : size - 1;
    // Not between the halves of a surrogate pair.
    if (count > 0 && count < wide.size() && wide[count - 1] >= 0xD800 && wide[count - 1] <= 0xDBFF) --count;
    wide.copy(title, count);
    title[count] = L'\0';
}

}  // namespace voskel::examples
