// An archived song handed to a Unicode inner module, through the real
// plugin library in the test host: the extracted path arrives as wide text
// naming the written file, and the module's titles reach the player's 8-bit
// buffer converted, cut between characters and never past its 2048 bytes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "extended_support.h"
#include "extract_support.h"
#include "platform/platform.h"
#include "support/archive_writer.h"
#include "support/test_host.h"

namespace voskel {
namespace {

using test::JournalEntry;
using test::PluginWidth;
using test::Recorder;
using test::TestHost;

const bool on_windows = native_path_style() == PathStyle::windows;

// A member name beyond ASCII, stored as the archives of each platform store
// it: in the DOS code page on Windows (which unzip32.dll turns into the ANSI
// one), in UTF-8 elsewhere, flagged so.
struct StoredName {
    test::ZipEntry entry;
    std::string extracted;  // the name of the file written, in the code page of the file calls
};

StoredName beyond_ascii(const std::string& data) {
    if (on_windows) {
        // "Süß.mod": ü and ß are 0x81 and 0xE1 in the DOS code page, 0xFC
        // and 0xDF in the ANSI one of the test prefix.
        return {{.name = "S\x81\xE1.mod", .data = data, .host = 0}, "S\xFC\xDF.mod"};
    }
    return {{.name = "S\xC3\xBC\xC3\x9F.mod", .data = data, .flags = 0x800}, "S\xC3\xBC\xC3\x9F.mod"};
}

// The code units a name has as wide text, as the recorder writes them.
std::string units_of(const std::string& text) {
    std::vector<wchar_t> wide(text.size() + 1);
    EXPECT_TRUE(platform_system_calls().ansi_to_wide(text.c_str(), wide.data(), static_cast<uint32_t>(wide.size())));
    std::string units;
    for (const wchar_t* p = wide.data(); *p != L'\0'; ++p) {
        char hex[16];
        std::snprintf(hex, sizeof hex, "%s%04X", units.empty() ? "" : ",", static_cast<unsigned>(*p));
        units += hex;
    }
    return units;
}

class UnicodeModule : public ::testing::Test {
protected:
    void SetUp() override {
        if (!test::library_available(test::zip_format())) GTEST_SKIP() << "unzip32.dll has not been built";
        host.install("in_alpha");
        module = host.set_up_inner("in_alpha");
        ASSERT_NE(module, nullptr);
        ASSERT_TRUE(host.start());
        ASSERT_EQ(alpha().version(), static_cast<int>(IN_VER | IN_UNICODE));
    }

    Recorder alpha() const { return host.recorder("in_alpha"); }
    std::string archive(const test::ZipEntry& entry) const {
        const std::string path = archives.file("song.mdz");
        test::write_file(path, test::zip_archive({entry}));
        return path;
    }
    std::string plain_archive() const { return archive({.name = "song.mod", .data = "song"}); }

    test::LibrarySearch search{test::host_path(VOSKEL_WINDOWS_LIBS_DIR)};
    test::ScratchFolder archives{"unicode-archives"};
    TestHost host{"unicode", PluginWidth::unicode};
    In_Module* module = nullptr;
};

TEST_F(UnicodeModule, ReceivesTheExtractedPathAsWideTextNamingTheWrittenFile) {
    const StoredName name = beyond_ascii("a song named beyond ASCII");
    const std::string song = archive(name.entry);
    const std::string copy = test::join(host.temp_folder().path(), name.extracted);

    ASSERT_EQ(host.play(song), 0);
    EXPECT_EQ(test::entries_in(host.temp_folder().path()), std::vector<std::string>{name.extracted});
    const std::vector<JournalEntry> play = alpha().calls("Play");
    ASSERT_EQ(play.size(), 1u);
    EXPECT_EQ(play[0].value("units"), units_of(copy));
    EXPECT_EQ(play[0].value("size"), "25") << "the module opened the file by its wide name";
    EXPECT_EQ(play[0].number("crc"), test::crc32("a song named beyond ASCII"));

    // Asked about the playing file and about the same archive by name: the
    // same wide path, the same file.
    alpha().reset();
    host.get_file_info(nullptr);
    host.info_box(song.c_str());
    for (const char* call : {"GetFileInfo", "InfoBox"}) {
        const std::vector<JournalEntry> asked = alpha().calls(call);
        ASSERT_EQ(asked.size(), 1u) << call;
        EXPECT_EQ(asked[0].value("units"), units_of(copy)) << call;
        EXPECT_EQ(asked[0].value("size"), "25") << call;
    }
    host.stop();
    EXPECT_TRUE(test::entries_in(host.temp_folder().path()).empty());

    // Idle, the archive is extracted afresh for the query, into a folder of
    // its own, and the module reads it under the same name.
    alpha().reset();
    host.get_file_info(song.c_str());
    const std::vector<JournalEntry> asked = alpha().calls("GetFileInfo");
    ASSERT_EQ(asked.size(), 1u);
    ASSERT_FALSE(asked[0].fields.empty());
    EXPECT_TRUE(test::in_own_folder(asked[0].fields[0], host.temp_folder().path(), name.extracted));
    EXPECT_EQ(asked[0].value("units"), units_of(asked[0].fields[0]));
    EXPECT_EQ(asked[0].value("size"), "25");
    EXPECT_TRUE(test::entries_in(host.temp_folder().path()).empty());
}

// "ü" 3000 times: the module writes the longest title the interface allows,
// 2047 of them and the NUL, 4096 bytes; the player's buffer holds 2048.
TEST_F(UnicodeModule, LongestTitleReachesThePlayerConvertedWithinItsBuffer) {
    alpha().set_wide_title(std::wstring(3000, L'\u00FC'), 61000);
    const TestHost::FileInfo info = host.get_file_info(plain_archive().c_str());
    // One byte each in Windows-1252, two in UTF-8: as many whole characters
    // as fit before the NUL.
    const std::string u_umlaut = on_windows ? "\xFC" : "\xC3\xBC";
    std::string expected;
    while (expected.size() + u_umlaut.size() <= GETFILEINFO_TITLE_LENGTH - 1) expected += u_umlaut;
    EXPECT_EQ(info.title.size(), expected.size());
    EXPECT_EQ(info.title, expected);
    EXPECT_EQ(info.length_ms, 61000);
}

TEST_F(UnicodeModule, TitleFillingTheWholeBufferWithoutNulIsCutAtItsEnd) {
    alpha().set_wide_title(std::wstring(GETFILEINFO_TITLE_LENGTH, L'x'), 5);
    const TestHost::FileInfo info = host.get_file_info(plain_archive().c_str());
    EXPECT_EQ(info.title, std::string(GETFILEINFO_TITLE_LENGTH - 1, 'x'));
}

TEST_F(UnicodeModule, CharactersTheCodePageLacksAreShownAsQuestionMarks) {
    // A CJK title, and a character beyond the Basic Multilingual Plane.
    alpha().set_wide_title(L"\u66f2 \U0001F3B5", 1);
    const TestHost::FileInfo info = host.get_file_info(plain_archive().c_str());
    EXPECT_EQ(info.title, on_windows ? "? ?" : "\xE6\x9B\xB2 \xF0\x9F\x8E\xB5");
}

TEST_F(UnicodeModule, TitleTheModuleDidNotWriteStaysAsThePlayerHadIt) {
    // No answer chosen: the recorder writes neither title nor length.
    const TestHost::FileInfo info = host.get_file_info(plain_archive().c_str());
    EXPECT_EQ(info.title, "(untouched)");
    EXPECT_EQ(info.length_ms, -2);
    ASSERT_EQ(alpha().count("GetFileInfo"), 1) << "the module was asked";

    // An empty title is a title.
    alpha().set_wide_title(L"", 7);
    const TestHost::FileInfo empty = host.get_file_info(plain_archive().c_str());
    EXPECT_EQ(empty.title, "");
    EXPECT_EQ(empty.length_ms, 7);
}

}  // namespace
}  // namespace voskel
