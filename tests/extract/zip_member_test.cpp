// ZIP archives made by zip and 7zz, and written byte by byte, through the
// build's ZIP reader: unzip32.dll on Windows, libarchive elsewhere.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "extract/rar_member.h"
#include "extract/zip_member.h"
#include "extract_support.h"
#include "support/archive_writer.h"

namespace voskel {
namespace {

class ZipMember : public ::testing::Test {
protected:
    void SetUp() override {
        if (!test::library_available(test::zip_format())) GTEST_SKIP() << "unzip32.dll has not been built";
    }

    static TextString extract(const std::string& archive) {
        return extract_zip_member(TextString(archive.c_str())).file;
    }

    test::LibrarySearch search{test::host_path(VOSKEL_WINDOWS_LIBS_DIR)};
    test::ScratchFolder archives{"archives"};
    test::TempFolder temp;
};

TEST_F(ZipMember, FirstListedMemberAloneIsWrittenUnderItsStoredName) {
    struct Row {
        const char* archive;
        const char* member;
        const char* song;
    };
    const Row rows[] = {
        {"several.mdz", "zeta.mod", "zeta"},
        {"in_folder.mdz", "songs/deep/tune.mod", "tune"},
        {"seven.mdz", "alpha.mod", "alpha"},
        {"seven_folder.mdz", "songs/deep/tune.mod", "tune"},
    };
    for (const Row& row : rows) {
        const TextString extracted = extract(test::fixture(row.archive));
        EXPECT_EQ(extracted.chars(), temp.joined(row.member)) << row.archive;
        EXPECT_EQ(test::read_file(temp.joined(test::on_disk(row.member))), test::song(row.song)) << row.archive;
        EXPECT_EQ(temp.files(), std::vector<std::string>{row.member}) << row.archive;
        std::filesystem::remove_all(temp.path());
        std::filesystem::create_directories(temp.path());
    }
}

// The song is the first file member a plugin plays, by ZIP and by RAR:
// folder entries never are (zip -r writes the folder first), and a
// file_id.diz or readme in front of the module is passed over when no
// plugin plays it. Whatever the extraction checks, it checks of the chosen.
TEST(SongChoice, FirstFileMemberAPluginPlays) {
    const test::LibrarySearch search(test::host_path(VOSKEL_WINDOWS_LIBS_DIR));
    const test::ScratchFolder archives("song-choice");
    const test::TempFolder temp;
    const SongChoice modules([](const TextString& name) { return name.extension().equals("MOD"); });
    struct Row {
        std::vector<std::pair<std::string, std::string>> members;
        const SongChoice& choice;
        const char* song;  // null: nothing is extracted
    };
    const SongChoice first;
    const Row rows[] = {
        {{{"song.mod", "song"}, {"other.mod", "other"}}, modules, "song.mod"},
        {{{"songs/", ""}, {"songs/tune.mod", "tune"}}, modules, "songs/tune.mod"},
        {{{"songs/", ""}, {"songs/file_id.diz", "diz"}}, first, "songs/file_id.diz"},
        {{{"file_id.diz", "diz"}, {"README.TXT", "readme"}, {"song.mod", "song"}}, modules, "song.mod"},
        {{{"file_id.diz", "diz"}, {"song.mod", "song"}}, first, "file_id.diz"},
        {{{"file_id.diz", "diz"}, {"notes.nfo", "notes"}}, modules, nullptr},
        {{{"file_id.diz", "diz"}, {"../up.mod", "up"}, {"song.mod", "song"}}, modules, nullptr},
    };
    for (const test::ArchiveFormat* format : {&test::zip_format(), &test::rar_format()}) {
        if (!test::library_available(*format)) continue;
        for (const Row& row : rows) {
            const std::string label = std::string(format->label) + ": " + row.members.front().first + ", " +
                                      row.members[1].first + " -> " + (row.song ? row.song : "nothing");
            const std::string archive = archives.file(std::string("choice") + format->extension);
            test::write_file(archive, format->write(row.members));
            const TextString name(archive.c_str());
            const TextString song = format == &test::zip_format()
                                        ? extract_zip_member(name, TextString(), row.choice).file
                                        : extract_rar_member(name, TextString(), row.choice).file;
            EXPECT_EQ(song.chars(), row.song ? temp.joined(row.song) : "") << label;
            if (row.song != nullptr) {
                const auto chosen = std::find_if(row.members.begin(), row.members.end(),
                                                 [&](const auto& member) { return member.first == row.song; });
                EXPECT_EQ(test::read_file(song.chars()), chosen->second) << label;
            }
            EXPECT_EQ(temp.files(), row.song ? std::vector<std::string>{row.song} : std::vector<std::string>{}) << label;
            std::filesystem::remove_all(temp.path());
            std::filesystem::create_directories(temp.path());
        }
    }
}

TEST_F(ZipMember, ExtractingAgainOverwritesWithoutAsking) {
    const std::string archive = test::fixture("several.mdz");
    ASSERT_EQ(extract(archive).chars(), temp.joined("zeta.mod"));
    test::write_file(temp.joined("zeta.mod"), "edited meanwhile");

    EXPECT_EQ(extract(archive).chars(), temp.joined("zeta.mod"));
    EXPECT_EQ(test::read_file(temp.joined("zeta.mod")), test::song("zeta"));
    EXPECT_EQ(temp.files(), std::vector<std::string>{"zeta.mod"});
}

TEST_F(ZipMember, NothingUsableGivesEmptyAndWritesNothing) {
    test::write_file(archives.file("garbage.mdz"), "this is not an archive");
    // Stored data whose CRC does not match: the file is written, then found broken.
    test::write_file(archives.file("broken.mdz"),
                     test::zip_archive({{.name = "broken.mod", .data = "damaged data", .wrong_crc = true}}));
    test::write_file(archives.file("folder_only.mdz"),
                     test::zip_archive({{.name = "songs/", .data = "", .external_attributes = 0x10}}));
    const std::string cases[] = {
        test::fixture("empty.mdz"),
        test::fixture("encrypted.mdz"),     // no password is given
        archives.file("garbage.mdz"),
        archives.file("broken.mdz"),
        archives.file("folder_only.mdz"),
        archives.file("missing.mdz"),
    };
    for (const std::string& archive : cases) {
        const Extraction extraction = extract_zip_member(TextString(archive.c_str()));
        EXPECT_TRUE(extraction.file.empty()) << archive;
        EXPECT_EQ(extraction.missing_library, nullptr) << archive;
        EXPECT_TRUE(temp.files().empty()) << archive;
        std::filesystem::remove_all(temp.path());
        std::filesystem::create_directories(temp.path());
    }
}

// ZIP's flag 0x800 says a name is UTF-8. File names are UTF-8 on the
// native build, so a flagged name is written as it stands; one that is not
// valid UTF-8 is refused. A name without the flag keeps its bytes.
TEST_F(ZipMember, NamesFlaggedAsUtf8AreTakenAsUtf8) {
    if (native_path_style() == PathStyle::windows) GTEST_SKIP() << "unzip32.dll converts names itself";
    struct Row {
        const char* what;
        std::string name;
        uint16_t flags;
        const char* written;  // null: refused
    };
    const Row rows[] = {
        {"Latin", "S\xc3\xbc\xc3\x9f.mod", 0x800, "S\xc3\xbc\xc3\x9f.mod"},
        {"CJK in a folder", "\xe6\xad\x8c/\xe6\x9b\xb2.mod", 0x800, "\xe6\xad\x8c/\xe6\x9b\xb2.mod"},
        {"ASCII", "song.mod", 0x800, "song.mod"},
        {"not UTF-8 though flagged", "\xe9t\xe9.mod", 0x800, nullptr},
        {"unflagged Latin-1", "\xe9t\xe9.mod", 0, "\xe9t\xe9.mod"},
        {"unflagged UTF-8", "S\xc3\xbc\xc3\x9f.mod", 0, "S\xc3\xbc\xc3\x9f.mod"},
    };
    for (const Row& row : rows) {
        const std::string archive = archives.file("names.mdz");
        test::write_file(archive, test::zip_archive({{.name = row.name, .data = "the song", .flags = row.flags},
                                                     {.name = "second.mod", .data = "second"}}));
        const TextString extracted = extract(archive);
        if (row.written == nullptr) {
            EXPECT_TRUE(extracted.empty()) << row.what;
            EXPECT_TRUE(temp.files().empty()) << row.what;
        } else {
            EXPECT_EQ(extracted.chars(), temp.joined(row.written)) << row.what;
            EXPECT_EQ(test::read_file(extracted.chars()), "the song") << row.what;
        }
        std::filesystem::remove_all(temp.path());
        std::filesystem::create_directories(temp.path());
    }
}

TEST_F(ZipMember, HostileNamesAreRefusedAndNothingOutsideIsTouched) {
    for (const char* victim : {"escaped.mod", "absolute.mod", "rooted.mod"}) {
        test::write_file(test::join(temp.outer(), victim), "victim");
    }
    const std::vector<std::string> victims = {"../absolute.mod", "../escaped.mod", "../rooted.mod"};
    for (const std::string& name : test::hostile_names(temp)) {
        const std::string archive = archives.file("hostile.mdz");
        test::write_file(archive, test::zip_archive({{.name = name, .data = "hostile"}, {.name = "safe.mod", .data = "safe"}}));
        EXPECT_TRUE(extract(archive).empty()) << name;
        EXPECT_EQ(temp.files(), victims) << name;
    }
    for (const char* victim : {"escaped.mod", "absolute.mod", "rooted.mod"}) {
        EXPECT_EQ(test::read_file(test::join(temp.outer(), victim)), "victim") << victim;
    }
}

}  // namespace
}  // namespace voskel
