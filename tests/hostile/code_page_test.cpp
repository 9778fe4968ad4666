// Names outside ASCII on their way to and from the archive libraries. On
// Windows, unzip32.dll speaks the ANSI code page, as the plugin does, and
// unrar.dll is spoken to in UTF-16.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "extended_support.h"
#include "host/playback.h"
#include "hostile_support.h"
#include "platform/platform.h"
#include "support/archive_writer.h"
#include "support/test_host.h"

#if defined(_WIN32)
#include <windows.h>

#include "platform/win32_code_pages.h"
#endif

namespace voskel {
namespace {

namespace fs = std::filesystem;

std::set<fs::path> entries_of(const fs::path& folder) {
    std::set<fs::path> names;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder)) names.insert(entry.path().filename());
    return names;
}

// On western Windows (ANSI 1252, OEM 437): in both code pages, in the ANSI
// one alone (the OEM one that unrar.dll's 8-bit names are in lacks it), and
// in neither (the folder goes by its short form).
TEST(CodePages, TemporaryFolderOutsideAsciiHoldsTheExtractedSong) {
    test::SavedTempVariables saved;
    test::LibrarySearch search(test::host_path(VOSKEL_WINDOWS_LIBS_DIR));
    test::ScratchFolder outer("code-page");
    std::set<fs::path> beside;
    for (const fs::path name : {u8"t\u00e9mp \u00e9t\u00e9", u8"tmp\u0160", u8"tmp\u65e5\u672c"}) {
        SCOPED_TRACE(reinterpret_cast<const char*>(name.u8string().c_str()));
        const fs::path folder = fs::path(outer.path()) / name;
        ASSERT_TRUE(fs::create_directory(folder));
#if defined(_WIN32)
        // Wide: the runtime's 8-bit copy of a value holds '?' for what the ANSI code page lacks.
        for (const wchar_t* variable : {L"TEMP", L"TMP"}) _wputenv_s(variable, folder.c_str());
#else
        for (const char* variable : {"TEMP", "TMP"}) test::set_env(variable, folder.c_str());
#endif
        beside.insert(name);
        for (const test::ArchiveFormat* format : test::usable_formats()) {
            SCOPED_TRACE(format->label);
            const std::string archive = outer.file(std::string("song") + format->extension);
            beside.insert(std::string("song") + format->extension);
            test::write_file(archive, format->write({{"song.mod", "the song"}}));
            const TextString result = extract_to_temp(TextString(archive.c_str())).file;
            EXPECT_EQ(test::read_file(result.chars()), "the song");
            EXPECT_EQ(entries_of(folder), std::set<fs::path>{"song.mod"});
            system_calls().delete_file(result.chars());
            EXPECT_TRUE(fs::is_empty(folder));
            EXPECT_EQ(entries_of(outer.path()), beside) << "nothing is written beside the temporary folder";
        }
        fs::remove(folder);
        beside.erase(name);
    }
}

// The conversions, replaced: the RAR extractor takes the entry's name
// through one and names the folder and the file it wants written through
// the other.
class RarThroughConversions : public ::testing::Test {
protected:
    void SetUp() override {
        if (!test::can_extract(test::rar_format())) GTEST_SKIP() << "unrar.dll has not been built";
    }

    static bool lower_case(const wchar_t* text, char* buffer, uint32_t size) {
        std::wstring lowered = text;
        for (wchar_t& c : lowered) c = static_cast<wchar_t>(c >= L'A' && c <= L'Z' ? c - L'A' + L'a' : c);
        return platform_system_calls().wide_to_ansi(lowered.c_str(), buffer, size);
    }
    static bool refuse_name(const wchar_t*, char*, uint32_t) { return false; }
    static bool refuse_path(const char*, wchar_t*, uint32_t) { return false; }

    test::ScopedSystemCalls calls;
    test::HostileSandbox sandbox;
};

TEST_F(RarThroughConversions, ReportedNameIsConvertedBeforeItIsUsed) {
    calls.calls().wide_to_ansi = lower_case;
    const TextString result = sandbox.extract("upper.mdr", test::rar4_archive({{.name = "SONG.MOD", .data = "song"}}));
    EXPECT_EQ(result.chars(), sandbox.temp().joined("song.mod"));
    sandbox.expect_clean(result, "converted name", "song");
}

TEST_F(RarThroughConversions, NothingIsWrittenWhenANameHasNoCounterpart) {
    const std::string archive = sandbox.write_archive("song.mdr", test::rar4_archive({{.name = "song.mod", .data = "song"}}));
    for (const bool name_refused : {true, false}) {
        calls.calls() = platform_system_calls();
        if (name_refused) {
            calls.calls().wide_to_ansi = refuse_name;
        } else {
            calls.calls().ansi_to_wide = refuse_path;
        }
        const TextString result = sandbox.extract(archive);
        EXPECT_TRUE(result.empty());
        sandbox.expect_clean(result, name_refused ? "reported name" : "paths");
    }
}

#if defined(_WIN32)
// WideCharToMultiByte as Windows documents it for UTF-8 and UTF-7: other
// flags than WC_ERR_INVALID_CHARS, or a default-character pointer, make it
// fail. Wine does not check this, so the stand-in does.
int strict_calls = 0;
int WINAPI strict_wide_to_multi_byte(UINT code_page, DWORD flags, LPCWCH wide, int wide_count, LPSTR buffer,
                                     int size, LPCCH default_char, LPBOOL used_default) {
    ++strict_calls;
    if (code_page == CP_UTF8 || code_page == CP_UTF7) {
        if ((flags & ~static_cast<DWORD>(WC_ERR_INVALID_CHARS)) != 0) {
            SetLastError(ERROR_INVALID_FLAGS);
            return 0;
        }
        if (default_char != nullptr || used_default != nullptr) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return 0;
        }
    }
    return WideCharToMultiByte(code_page, flags, wide, wide_count, buffer, size, default_char, used_default);
}

// text from code page from to code page to, through UTF-16.
std::string converted(UINT from, UINT to, const std::string& text, uint32_t size = 64) {
    wchar_t wide[64];
    if (MultiByteToWideChar(from, MB_ERR_INVALID_CHARS, text.c_str(), -1, wide, 64) <= 0) return "(refused)";
    std::vector<char> buffer(size, '\x7f');
    if (!wide_to_code_page(to, wide, -1, buffer.data(), size, strict_wide_to_multi_byte)) return "(refused)";
    return buffer.data();
}

// Exact conversions into every system code page, UTF-8 included (Windows
// 10 and 11 offer it as the system's own): the code pages are given.
TEST(WindowsCodePages, ConversionsFollowTheRulesOfEveryCodePage) {
    struct Row {
        const char* what;
        UINT from, to;
        std::string text, expected;
    };
    const std::string ete_utf8 = "\xc3\xa9t\xc3\xa9.mod", ete_1252 = "\xe9t\xe9.mod", ete_437 = "\x82t\x82.mod";
    const Row rows[] = {
        {"ANSI to OEM, western", 1252, 437, ete_1252, ete_437},
        {"OEM to ANSI, western", 437, 1252, ete_437, ete_1252},
        {"UTF-8 system: ANSI to OEM", CP_UTF8, CP_UTF8, ete_utf8, ete_utf8},
        {"OEM in UTF-8", 437, CP_UTF8, ete_437, ete_utf8},
        {"ANSI in UTF-8", 1252, CP_UTF8, "\x80 \xe9.mod", "\xe2\x82\xac \xc3\xa9.mod"},
        {"UTF-8 to OEM", CP_UTF8, 437, ete_utf8, ete_437},
        {"CJK in UTF-8 and Shift JIS", CP_UTF8, 932, "\xe6\x9b\xb2.mod", "\x8b\xc8.mod"},
        {"Shift JIS to UTF-8", 932, CP_UTF8, "\x8b\xc8.mod", "\xe6\x9b\xb2.mod"},
        {"ASCII", CP_UTF8, CP_UTF8, "song.mod", "song.mod"},
        // No exact counterpart: refused, not replaced by a look-alike or '?'.
        {"CJK to OEM", CP_UTF8, 437, "\xe6\x9b\xb2.mod", "(refused)"},
        {"euro to OEM", 1252, 437, "\x80.mod", "(refused)"},
        {"best fit only (\xc4\x80 to A)", CP_UTF8, 1252, "\xc4\x80.mod", "(refused)"},
        // Not valid in the code page it is said to be in.
        {"broken UTF-8", CP_UTF8, 437, "\xe9t\xe9.mod", "(refused)"},
        {"lone UTF-8 lead byte", CP_UTF8, CP_UTF8, "a\xc3", "(refused)"},
    };
    for (const Row& row : rows) {
        strict_calls = 0;
        EXPECT_EQ(converted(row.from, row.to, row.text), row.expected) << row.what;
        if (row.expected != "(refused)") {
            EXPECT_EQ(strict_calls, 1) << row.what;
        }
    }
}

TEST(WindowsCodePages, TextThatDoesNotFitIsRefused) {
    const std::string ete_utf8 = "\xc3\xa9t\xc3\xa9";  // 5 bytes and the NUL
    EXPECT_EQ(converted(1252, CP_UTF8, "\xe9t\xe9", 6), ete_utf8);
    EXPECT_EQ(converted(1252, CP_UTF8, "\xe9t\xe9", 5), "(refused)");
    EXPECT_EQ(converted(CP_UTF8, 1252, ete_utf8, 4), "\xe9t\xe9");
    EXPECT_EQ(converted(CP_UTF8, 1252, ete_utf8, 3), "(refused)");
}

// The platform's own entry is the same conversion into the system's ANSI
// code page, whichever it is here.
TEST(WindowsCodePages, PlatformEntriesUseTheSystemsCodePages) {
    const wchar_t* name = L"Song (1).mod";
    char through_entry[64], direct[64];
    ASSERT_TRUE(platform_system_calls().wide_to_ansi(name, through_entry, sizeof through_entry));
    ASSERT_TRUE(wide_to_code_page(GetACP(), name, -1, direct, sizeof direct));
    EXPECT_STREQ(through_entry, direct);
    if (GetACP() == 1252) {
        EXPECT_FALSE(platform_system_calls().wide_to_ansi(L"\u66f2.mod", through_entry, sizeof through_entry));
        ASSERT_TRUE(platform_system_calls().wide_to_ansi(L"\u00e9t\u00e9.mod", through_entry, sizeof through_entry));
        EXPECT_STREQ(through_entry, "\xe9t\xe9.mod");
    }
}

// Run by the test hostile_tests_shift_jis, under a Japanese locale, where
// Wine's ANSI and OEM code page is Shift JIS (932): the second byte of
// many a character there is 0x5C ('\\') or 0x7C ('|'), and of others a letter.
TEST(ShiftJis, NamesWhoseSecondBytesLookLikeAsciiPlay) {
    const char* code_page = std::getenv("VOSKEL_CODE_PAGE");
    if (code_page == nullptr) GTEST_SKIP() << "runs as hostile_tests_shift_jis";
    ASSERT_EQ(GetACP(), static_cast<UINT>(std::atoi(code_page))) << "scripts/setup.sh makes the locale ja_JP.UTF-8";
    test::LibrarySearch search(test::host_path(VOSKEL_WINDOWS_LIBS_DIR));
    test::ScratchFolder archives("shift-jis");
    test::TestHost host("shift-jis");
    host.install("in_alpha");
    ASSERT_TRUE(host.start());
    const auto archive = [&](const test::ArchiveFormat& format, const std::string& name) {
        const std::string path = archives.file(name + format.extension);
        test::write_file(path, format.write({{name, "the song"}}));
        return path;
    };
    for (const test::ArchiveFormat* format : test::usable_formats()) {
        SCOPED_TRACE(format->label);
        // ソ.mod, ポルカ.mod, and ポ.mod in a folder ソ, which goes with it.
        for (const std::string name : {"\x83\x5c.mod", "\x83\x7c\x83\x8b\x83\x4a.mod", "\x83\x5c/\x83\x7c.mod"}) {
            ASSERT_EQ(host.play(archive(*format, name)), 0) << name;
            const test::JournalEntry play = host.recorder("in_alpha").calls("Play").back();
            EXPECT_EQ(play.value("size"), "8") << name << ": the file named holds the song";
            // unrar.dll reports the folder's '/' as '\\'.
            if (name.find('/') == std::string::npos) {
                EXPECT_EQ(play.fields.at(0), host.temp_folder().file(name));
            }
            host.stop();
            EXPECT_TRUE(test::entries_in(host.temp_folder().path()).empty()) << name;
        }
        // ア.mod and ヂ.mod are two files: a query about one while the other plays is answered.
        ASSERT_EQ(host.play(archive(*format, "\x83\x41.mod")), 0);
        const int asked = host.recorder("in_alpha").count("GetFileInfo");
        host.get_file_info(archive(*format, "\x83\x61.mod").c_str());
        EXPECT_EQ(host.recorder("in_alpha").count("GetFileInfo"), asked + 1);
        host.stop();
    }
}

// ソ ends in the byte of '\\': a temporary folder named so gets every file
// inside it (the playing song, a question's copy, a read's), and nothing is
// written beside it. A name ending in a lone lead byte, which unzip32.dll
// writes under another name, is not written at all.
TEST(ShiftJis, TemporaryFolderEndingInSoHoldsEverythingAndLoneLeadBytesNothing) {
    const char* code_page = std::getenv("VOSKEL_CODE_PAGE");
    if (code_page == nullptr) GTEST_SKIP() << "runs as hostile_tests_shift_jis";
    test::LibrarySearch search(test::host_path(VOSKEL_WINDOWS_LIBS_DIR));
    test::ScratchFolder archives("shift-jis-temp");
    test::TestHost host("shift-jis-temp");
    host.install("in_alpha");
    host.install("in_reader");
    const fs::path outer = fs::path(archives.path()) / "outer";
    const fs::path folder = outer / L"\u30bd";
    ASSERT_TRUE(fs::create_directories(folder));
    for (const wchar_t* variable : {L"TEMP", L"TMP"}) _wputenv_s(variable, folder.c_str());
    ASSERT_TRUE(host.start());
    char ansi[MAX_PATH];
    ASSERT_TRUE(platform_system_calls().wide_to_ansi(folder.c_str(), ansi, sizeof ansi));
    const std::string temp = ansi;
    ASSERT_EQ(temp.substr(temp.size() - 2), "\x83\x5c");
    const test::Exports worker(host.plugin_library());
    for (const test::ArchiveFormat* format : test::usable_formats()) {
        SCOPED_TRACE(format->label);
        const std::string song = archives.file(std::string("song") + format->extension);
        const std::string raw = archives.file(std::string("raw") + format->extension);
        test::write_file(song, format->write({{"song.mod", "the song"}}));
        test::write_file(raw, format->write({{"song.raw", "raw"}}));
        ASSERT_EQ(host.play(song), 0);
        EXPECT_EQ(host.recorder("in_alpha").calls("Play").back().fields.at(0), temp + "\\song.mod");
        EXPECT_EQ(test::read_file(temp + "\\song.mod"), "the song");
        host.get_file_info(raw.c_str());
        int size = 0, bits = 0, channels = 0, rate = 0;
        const intptr_t read = worker.open(raw.c_str(), &size, &bits, &channels, &rate);
        EXPECT_NE(read, 0);
        const std::string opened = host.recorder("in_reader").calls("ExtendedRead_open").back().fields.at(0);
        EXPECT_TRUE(opened.starts_with(temp + "\\in_voskel-")) << opened;
        worker.close(read);
        host.stop();

        const std::string lone_lead_byte = archives.file(std::string("lone") + format->extension);
        test::write_file(lone_lead_byte, format->write({{"evil.mod\x83", "the song"}}));
        EXPECT_NE(host.play(lone_lead_byte), 0);
        host.get_file_info(lone_lead_byte.c_str());
        // The tests' own join looks at the last byte, which here is that of a backslash.
        EXPECT_TRUE(test::entries_in(temp + "\\").empty());
        EXPECT_EQ(entries_of(outer), std::set<fs::path>{folder.filename()}) << "nothing beside the folder";
    }
}
#endif

}  // namespace
}  // namespace voskel
