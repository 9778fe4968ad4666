// RAR archives through the UnRAR library: unrar.dll on Windows,
// libunrar.so.5 elsewhere. Real RAR 4 and RAR 5 archives, and archives
// written byte by byte for the names no archiver stores.
#include <gtest/gtest.h>

#include <filesystem>

#include "extract/rar_member.h"
#include "extract_support.h"
#include "support/archive_writer.h"

namespace voskel {
namespace {

class RarMember : public ::testing::Test {
protected:
    void SetUp() override {
        if (!test::library_available(test::rar_format())) GTEST_SKIP() << "unrar.dll has not been built";
    }

    static TextString extract(const std::string& archive) {
        return extract_rar_member(TextString(archive.c_str())).file;
    }
    static std::string real(const char* name) { return test::join(test::host_path(VOSKEL_RAR_FIXTURES_DIR), name); }

    void clear_temp() const {
        std::filesystem::remove_all(temp.path());
        std::filesystem::create_directories(temp.path());
    }

    test::LibrarySearch search{test::host_path(VOSKEL_WINDOWS_LIBS_DIR)};
    test::ScratchFolder archives{"archives"};
    test::TempFolder temp;
};

TEST_F(RarMember, RealArchivesYieldTheirFirstFileAlone) {
    struct Row {
        const char* archive;
        const char* entry;  // with '/' between folders
        std::size_t size;
        uint32_t crc;
    };
    const Row rows[] = {
        {"test_read_format_rar.rar", "test.txt", 20, 0xbec8a242},  // RAR 4, stored, several entries
        {"test_read_format_rar_compress_normal.rar", "LibarchiveAddingTest.html", 20111, 0x5e05a663},
        {"test_read_format_rar_compress_best.rar", "LibarchiveAddingTest.html", 20111, 0x5e05a663},
        {"test_read_format_rar_windows.rar", "testdir/test.txt", 16, 0x97d612f1},  // made on Windows
        {"test_read_format_rar5_stored.rar", "helloworld.txt", 29, 0x95a043b4},
        {"test_read_format_rar5_compressed.rar", "test.bin", 1200, 0x7cca70cd},
        {"test_read_format_rar5_multiple_files.rar", "test1.bin", 4096, 0x7e13b2c6},
        {"test_read_format_rar5_multiple_files_solid.rar", "test1.bin", 4096, 0x7e13b2c6},
        {"test_read_format_rar5_stored_manyfiles.rar", "make_uue.tcl", 405, 0x49478adc},
        {"test_read_format_rar5_symlink.rar", "file.txt", 5, 0x7d931721},
        {"test_read_format_rar5_win32.rar", "test.bin", 1200, 0x7cca70cd},  // after a folder entry
    };
    for (const Row& row : rows) {
        test::LibraryCalls libraries;
        const std::string path = temp.joined(test::on_disk(row.entry));
        EXPECT_EQ(extract(real(row.archive)).chars(), path) << row.archive;
        const std::string content = test::read_file(path);
        EXPECT_EQ(content.size(), row.size) << row.archive;
        EXPECT_EQ(test::crc32(content), row.crc) << row.archive;
        EXPECT_EQ(temp.files(), std::vector<std::string>{row.entry}) << row.archive;
        EXPECT_EQ(libraries.loads(), 1) << row.archive;
        EXPECT_EQ(libraries.unloads(), 1) << row.archive;
        clear_temp();
    }
}

TEST_F(RarMember, NothingUsableGivesEmptyAndWritesNothing) {
    test::write_file(archives.file("garbage.mdr"), "this is not an archive");
    test::write_file(archives.file("broken.mdr"),
                     test::rar4_archive({{.name = "broken.mod", .data = "damaged data", .wrong_crc = true}}));
    test::write_file(archives.file("folder.mdr"), test::rar4_archive({{.name = "songs", .data = "", .folder = true}}));
    const std::string cases[] = {
        real("test_read_format_rar_encryption_data.rar"),     // no password is given
        real("test_read_format_rar_encryption_header.rar"),
        real("test_read_format_rar_invalid1.rar"),
        archives.file("garbage.mdr"),
        archives.file("broken.mdr"),
        archives.file("folder.mdr"),
        archives.file("missing.mdr"),
    };
    for (const std::string& archive : cases) {
        test::LibraryCalls libraries;
        const Extraction extraction = extract_rar_member(TextString(archive.c_str()));
        EXPECT_TRUE(extraction.file.empty()) << archive;
        EXPECT_EQ(extraction.missing_library, nullptr) << archive;
        EXPECT_TRUE(temp.files().empty()) << archive;
        EXPECT_EQ(libraries.unloads(), libraries.loads()) << archive;
        clear_temp();
    }
}

TEST_F(RarMember, ExtractingAgainOverwrites) {
    const std::string archive = archives.file("song.mdr");
    test::write_file(archive, test::rar4_archive({{.name = "song.mod", .data = "the song"}}));
    ASSERT_EQ(extract(archive).chars(), temp.joined("song.mod"));
    test::write_file(temp.joined("song.mod"), "edited meanwhile, and longer");

    EXPECT_EQ(extract(archive).chars(), temp.joined("song.mod"));
    EXPECT_EQ(test::read_file(temp.joined("song.mod")), "the song");
}

TEST_F(RarMember, HostileNamesAreRefusedAndNothingOutsideIsTouched) {
    for (const char* victim : {"escaped.mod", "absolute.mod", "rooted.mod"}) {
        test::write_file(test::join(temp.outer(), victim), "victim");
    }
    const std::vector<std::string> victims = {"../absolute.mod", "../escaped.mod", "../rooted.mod"};
    for (uint8_t host : {uint8_t{2}, uint8_t{3}}) {
        for (const std::string& name : test::hostile_names(temp)) {
            const std::string archive = archives.file("hostile.mdr");
            test::write_file(archive, test::rar4_archive({{.name = name, .data = "hostile", .host = host},
                                                          {.name = "safe.mod", .data = "safe", .host = host}}));
            const TextString extracted = extract(archive);
            // unrar.dll reports a drive's ':' as '_' already: what reaches the
            // check is a plain name inside the folder, and may be written there.
            if (native_path_style() == PathStyle::windows && name.find(':') != std::string::npos) {
                const std::string inside = test::join(temp.path(), "");
                EXPECT_EQ(std::string(extracted.chars()).rfind(inside, 0), 0u) << extracted.chars();
                EXPECT_EQ(std::string(extracted.chars()).find(':', inside.size()), std::string::npos);
                EXPECT_EQ(test::read_file(extracted.chars()), "hostile") << extracted.chars();
                clear_temp();
            } else {
                EXPECT_TRUE(extracted.empty()) << name << " from host " << int{host};
            }
            EXPECT_EQ(temp.files(), victims) << name << " from host " << int{host};
        }
    }
    for (const char* victim : {"escaped.mod", "absolute.mod", "rooted.mod"}) {
        EXPECT_EQ(test::read_file(test::join(temp.outer(), victim)), "victim") << victim;
    }
}

TEST_F(RarMember, MissingLibraryIsReportedAndLookedForAgainEveryTime) {
    const std::string archive = archives.file("song.mdr");
    test::write_file(archive, test::rar4_archive({{.name = "song.mod", .data = "the song"}}));
    test::LibraryCalls libraries;
    libraries.fail_loads();

    for (int attempt = 0; attempt < 2; ++attempt) {
        const Extraction extraction = extract_rar_member(TextString(archive.c_str()));
        EXPECT_TRUE(extraction.file.empty());
        EXPECT_STREQ(extraction.missing_library, rar_library_name());
    }
    const std::string beside = test::beside_the_program(rar_library_name());
    EXPECT_EQ(libraries.attempts(), (std::vector<std::string>{rar_library_name(), beside, rar_library_name(), beside}));
    EXPECT_TRUE(temp.files().empty());
}

TEST_F(RarMember, LibraryLackingAnEntryPointIsUnloadedQuietly) {
    const std::string archive = archives.file("song.mdr");
    test::write_file(archive, test::rar4_archive({{.name = "song.mod", .data = "the song"}}));
    for (const char* entry : {"RAROpenArchiveEx", "RARCloseArchive", "RARReadHeaderEx", "RARProcessFileW"}) {
        test::LibraryCalls libraries;
        libraries.hide_symbol(entry);
        const Extraction extraction = extract_rar_member(TextString(archive.c_str()));
        EXPECT_TRUE(extraction.file.empty()) << entry;
        EXPECT_EQ(extraction.missing_library, nullptr) << entry;
        EXPECT_EQ(libraries.loads(), 1) << entry;
        EXPECT_EQ(libraries.unloads(), 1) << entry;
        EXPECT_TRUE(temp.files().empty()) << entry;
    }
    // The handle was cleared: the next extraction loads afresh and succeeds.
    test::LibraryCalls libraries;
    EXPECT_EQ(extract(archive).chars(), temp.joined("song.mod"));
    EXPECT_EQ(libraries.loads(), 1);
}

}  // namespace
}  // namespace voskel
