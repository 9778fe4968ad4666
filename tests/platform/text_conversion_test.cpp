// The platform's conversions between 8-bit text (the ANSI code page on
// Windows, UTF-8 elsewhere) and wchar_t text: exact or refused for names,
// whole characters within the room given for titles.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/platform.h"

namespace voskel {
namespace {

const bool on_windows = native_path_style() == PathStyle::windows;
const SystemCalls& calls = platform_system_calls();

// "Süß" in the code page of the file calls: Windows-1252 in the test
// prefix, UTF-8 elsewhere.
const std::string narrow_suess = on_windows ? "S\xFC\xDF" : "S\xC3\xBC\xC3\x9F";

std::wstring to_wide(const std::string& text, uint32_t size) {
    std::vector<wchar_t> buffer(size + 1, L'#');
    if (!calls.ansi_to_wide(text.c_str(), buffer.data(), size)) return L"(refused)";
    return buffer.data();
}

std::string to_narrow(const std::wstring& text, uint32_t size) {
    std::vector<char> buffer(size + 1, '#');
    if (!calls.wide_to_ansi(text.c_str(), buffer.data(), size)) return "(refused)";
    return buffer.data();
}

TEST(TextConversion, NamesGoThereAndBackExactly) {
    EXPECT_EQ(to_wide(narrow_suess, 16), L"S\u00FC\u00DF");
    EXPECT_EQ(to_narrow(L"S\u00FC\u00DF", 16), narrow_suess);
    EXPECT_EQ(to_wide("", 1), L"");
    EXPECT_EQ(to_narrow(L"", 1), "");
}

TEST(TextConversion, NamesThatDoNotFitAreRefused) {
    EXPECT_EQ(to_wide("abc", 4), L"abc") << "three characters and the NUL";
    EXPECT_EQ(to_wide("abc", 3), L"(refused)");
    EXPECT_EQ(to_wide("", 0), L"(refused)");
    EXPECT_EQ(to_narrow(L"S\u00FC\u00DF", static_cast<uint32_t>(narrow_suess.size() + 1)), narrow_suess);
    EXPECT_EQ(to_narrow(L"S\u00FC\u00DF", static_cast<uint32_t>(narrow_suess.size())), "(refused)");
}

TEST(TextConversion, CharactersWithoutExactCounterpartAreRefused) {
    if (on_windows) {
        // Neither is in Windows-1252: no best-fit stand-in may name another file.
        EXPECT_EQ(to_narrow(L"\u66F2.mod", 16), "(refused)");
        EXPECT_EQ(to_narrow(L"\u0141od\u017A.mod", 16), "(refused)");
    } else {
        EXPECT_EQ(to_narrow(std::wstring(1, static_cast<wchar_t>(0xD800)), 16), "(refused)") << "a surrogate";
        EXPECT_EQ(to_narrow(std::wstring(1, static_cast<wchar_t>(0x110000)), 16), "(refused)");
        // UTF-8 in its one shortest form only.
        for (const char* bytes : {"\xC0\xAF", "\xE0\x80\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xC3", "\xBC",
                                  "\xFF", "a\xC3" "b"}) {
            EXPECT_EQ(to_wide(bytes, 16), L"(refused)") << testing::PrintToString(std::string(bytes));
        }
        EXPECT_EQ(to_wide("\xF0\x9F\x8E\xB5", 16), std::wstring(1, static_cast<wchar_t>(0x1F3B5)));
    }
}

std::string for_display(const std::wstring& text, uint32_t size, uint32_t* written = nullptr) {
    std::vector<char> buffer(size + 8, '#');
    const uint32_t count = calls.wide_to_ansi_for_display(text.c_str(), buffer.data(), size);
    if (written != nullptr) *written = count;
    EXPECT_EQ(buffer[size + 1], '#') << "written past the room given";
    return buffer.data();
}

TEST(TextConversion, TitlesAreCutBetweenCharactersWithinTheRoomGiven) {
    const std::string u = on_windows ? "\xFC" : "\xC3\xBC";
    uint32_t written = 0;
    EXPECT_EQ(for_display(L"\u00FC\u00FC\u00FC", 3 * static_cast<uint32_t>(u.size()) + 1, &written), u + u + u);
    EXPECT_EQ(written, 3 * u.size());
    // One byte short: the last character goes whole.
    EXPECT_EQ(for_display(L"\u00FC\u00FC\u00FC", 3 * static_cast<uint32_t>(u.size()), &written), u + u);
    EXPECT_EQ(written, 2 * u.size());
    EXPECT_EQ(for_display(L"abc", 1, &written), "");
    EXPECT_EQ(written, 0u);
}

TEST(TextConversion, TitleCharactersWithoutCounterpartAreShownAsQuestionMarks) {
    const std::wstring title = L"\u66F2 \U0001F3B5";
    EXPECT_EQ(for_display(title, 64), on_windows ? "? ?" : "\xE6\x9B\xB2 \xF0\x9F\x8E\xB5");
    if (!on_windows) {
        EXPECT_EQ(for_display(std::wstring(1, static_cast<wchar_t>(0xDC00)), 64), "?");
    }
}

}  // namespace
}  // namespace voskel
