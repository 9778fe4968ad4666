// Names outside ASCII on their way to and from the archive libraries. On
// Windows, unrar.dll reports names in the OEM code page and takes its
// destination in it; everything else speaks the ANSI code page.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "host/playback.h"
#include "hostile_support.h"
#include "platform/platform.h"
#include "support/archive_writer.h"

#if defined(_WIN32)
#include <windows.h>

#include "platform/win32_code_pages.h"
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace voskel {
namespace {

// A folder by its name in the plugin's code page (std::filesystem would
// read the name as UTF-8 on Windows).
bool make_folder(const std::string& path) {
#if defined(_WIN32)
    return CreateDirectoryA(path.c_str(), nullptr) != 0;
#else
    return mkdir(path.c_str(), 0777) == 0;
#endif
}

void remove_folder(const std::string& path) {
#if defined(_WIN32)
    RemoveDirectoryA(path.c_str());
#else
    rmdir(path.c_str());
#endif
}

void collect(const char* name, bool, void* context) {
    const std::string text = name;
    if (text != "." && text != "..") static_cast<std::vector<std::string>*>(context)->push_back(text);
}

std::vector<std::string> names_in(const std::string& folder) {
    std::vector<std::string> names;
    platform_system_calls().find_files(test::join(folder, "*").c_str(), collect, &names);
    return names;
}

TEST(CodePages, TemporaryFolderOutsideAsciiHoldsTheExtractedSong) {
    test::SavedTempVariables saved;
    test::LibrarySearch search(test::host_path(VOSKEL_WINDOWS_LIBS_DIR));
    test::ScratchFolder outer("code-page");
    // "été" in the ANSI code page of western Windows, and as raw bytes elsewhere.
    const std::string folder = test::join(outer.path(), "t\xe9mp \xe9t\xe9");
    ASSERT_TRUE(make_folder(folder));
    test::set_env("TEMP", folder.c_str());
    test::set_env("TMP", folder.c_str());

    std::vector<std::string> beside = {"t\xe9mp \xe9t\xe9"};
    for (const test::ArchiveFormat* format : test::usable_formats()) {
        SCOPED_TRACE(format->label);
        const std::string archive = outer.file(std::string("song") + format->extension);
        beside.push_back(std::string("song") + format->extension);
        test::write_file(archive, format->write({{"song.mod", "the song"}}));
        const TextString result = extract_to_temp(TextString(archive.c_str())).file;
        EXPECT_EQ(result.chars(), test::join(folder, "song.mod"));
        EXPECT_EQ(names_in(folder), std::vector<std::string>{"song.mod"});
        EXPECT_EQ(test::read_file(result.chars()), "the song");
        system_calls().delete_file(result.chars());
        EXPECT_TRUE(names_in(folder).empty());
        std::vector<std::string> found = names_in(outer.path());
        std::sort(found.begin(), found.end());
        std::sort(beside.begin(), beside.end());
        EXPECT_EQ(found, beside) << "nothing is written beside the temporary folder";
    }
    remove_folder(folder);
}

// The conversions, replaced: the RAR extractor takes the entry's name
// through one and names the file it wants written through the other.
class RarThroughConversions : public ::testing::Test {
protected:
    void SetUp() override {
        if (!test::can_extract(test::rar_format())) GTEST_SKIP() << "unrar.dll has not been built";
    }

    static bool lower_case(const char* text, char* buffer, uint32_t size) {
        std::string lowered = text;
        for (char& c : lowered) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
        return platform_system_calls().oem_to_ansi(lowered.c_str(), buffer, size);
    }
    static bool refuse(const char*, char*, uint32_t) { return false; }

    test::ScopedSystemCalls calls;
    test::HostileSandbox sandbox;
};

TEST_F(RarThroughConversions, ReportedNameIsConvertedBeforeItIsUsed) {
    calls.calls().oem_to_ansi = lower_case;
    const TextString result = sandbox.extract("upper.mdr", test::rar4_archive({{.name = "SONG.MOD", .data = "song"}}));
    EXPECT_EQ(result.chars(), sandbox.temp().joined("song.mod"));
    sandbox.expect_clean(result, "converted name", "song");
}

TEST_F(RarThroughConversions, NothingIsWrittenWhenANameHasNoCounterpart) {
    const std::string archive = sandbox.write_archive("song.mdr", test::rar4_archive({{.name = "song.mod", .data = "song"}}));
    for (auto which : {&SystemCalls::oem_to_ansi, &SystemCalls::ansi_to_oem}) {
        calls.calls() = platform_system_calls();
        calls.calls().*which = refuse;
        const TextString result = sandbox.extract(archive);
        EXPECT_TRUE(result.empty());
        sandbox.expect_clean(result, which == &SystemCalls::oem_to_ansi ? "reported name" : "destination");
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

std::string converted(UINT from, UINT to, const std::string& text, uint32_t size = 64) {
    std::vector<char> buffer(size, '\x7f');
    if (!convert_code_page(from, to, text.c_str(), buffer.data(), size, strict_wide_to_multi_byte)) return "(refused)";
    return buffer.data();
}

// The RAR names' conversions in every system code page, UTF-8 included
// (Windows 10 and 11 offer it as the system's own): the code pages are given.
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

// The platform's own entries are the same conversion between the system's
// code pages, whichever they are here.
TEST(WindowsCodePages, PlatformEntriesUseTheSystemsCodePages) {
    const std::string name = "Song (1).mod";
    char through_entry[64], direct[64];
    ASSERT_TRUE(platform_system_calls().ansi_to_oem(name.c_str(), through_entry, sizeof through_entry));
    ASSERT_TRUE(convert_code_page(GetACP(), GetOEMCP(), name.c_str(), direct, sizeof direct));
    EXPECT_STREQ(through_entry, direct);
    // A character of the ANSI code page that the OEM one lacks, if there is one.
    if (GetACP() == 1252 && GetOEMCP() == 437) {
        EXPECT_FALSE(platform_system_calls().ansi_to_oem("\x80.mod", through_entry, sizeof through_entry));
        ASSERT_TRUE(platform_system_calls().oem_to_ansi("\x82t\x82.mod", through_entry, sizeof through_entry));
        EXPECT_STREQ(through_entry, "\xe9t\xe9.mod");
    }
}
#endif

}  // namespace
}  // namespace voskel
