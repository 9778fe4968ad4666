// Hostile archives through the plugin itself, loaded by the test host: an
// archive whose first member is an archive again, and a member far larger
// than its archive.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

#include "extended_support.h"
#include "hostile_support.h"
#include "support/archive_writer.h"
#include "support/test_host.h"

namespace voskel {
namespace {

using test::TestHost;

std::string archive_of(const std::string& extension, const std::string& name, const std::string& data) {
    if (extension == ".mdz") return test::zip_archive({{.name = name, .data = data}});
    return test::rar4_archive({{.name = name, .data = data}});
}

// The inner plugin in both widths: an 8-bit module and a Unicode one.
class ThroughPlugin : public ::testing::TestWithParam<test::PluginWidth> {
protected:
    void SetUp() override {
        host.install("in_alpha");  // plays MOD, S3M and XM
        ASSERT_TRUE(host.start());
    }

    std::string write(const std::string& name, const std::string& bytes) const {
        const std::string path = archives.file(name);
        test::write_file(path, bytes);
        return path;
    }

    test::LibrarySearch search{test::host_path(VOSKEL_WINDOWS_LIBS_DIR)};
    test::ScratchFolder archives{"through-plugin"};
    TestHost host{"hostile", GetParam()};
};

INSTANTIATE_TEST_SUITE_P(Widths, ThroughPlugin, ::testing::Values(test::PluginWidth::narrow, test::PluginWidth::unicode),
                         test::width_name);

// The plugin's own record lists MDZ and MDR, yet an archive inside an
// archive must reach no module: forwarding to ourselves would never end.
TEST_P(ThroughPlugin, ArchiveInsideAnArchiveIsNeitherPlayedNorDescribed) {
    int nested_cases = 0;
    for (const test::ArchiveFormat* outer : test::usable_formats()) {
        for (const test::ArchiveFormat* inner : test::usable_formats()) {
            const std::string inner_name = std::string("inner") + inner->extension;
            const std::string inner_bytes = archive_of(inner->extension, "song.mod", "the song");
            const std::string path =
                write(std::string("outer") + outer->extension, archive_of(outer->extension, inner_name, inner_bytes));
            SCOPED_TRACE(std::string(outer->label) + " holding " + inner->label);
            ++nested_cases;

            EXPECT_NE(host.play(path), 0);
            EXPECT_TRUE(host.temp_files().empty());
            host.stop();
            const TestHost::FileInfo info = host.get_file_info(path.c_str());
            EXPECT_EQ(info.title, "(untouched)");
            EXPECT_EQ(info.length_ms, -2);
            EXPECT_EQ(host.info_box(path.c_str()), 0);
            EXPECT_TRUE(host.temp_files().empty());
        }
    }
    if (nested_cases == 0) GTEST_SKIP() << "no archive library has been built";

    // The same inner archive alone does play: the nested case failed for its nesting.
    const test::ArchiveFormat& format = *test::usable_formats().front();
    const std::string plain = write(std::string("plain") + format.extension,
                                    archive_of(format.extension, "song.mod", "the song"));
    EXPECT_EQ(host.play(plain), 0);
    const test::Recorder alpha = host.recorder("in_alpha");
    ASSERT_TRUE(alpha.ok());
    EXPECT_EQ(alpha.count("Play"), 1) << "only the plain archive reached the inner plugin";
    host.stop();
    EXPECT_TRUE(host.temp_files().empty());
}

// Names flagged as UTF-8 (bit 11, no extra field, as most of today's tools
// write them) play under their own name where the code page of the file
// calls holds it, and under the one the library gives them elsewhere (曲 in
// code page 1252): the inner module is told the file that holds the song.
TEST_P(ThroughPlugin, MembersNamedInUtf8Play) {
    if (!test::can_extract(test::zip_format())) GTEST_SKIP() << "unzip32.dll has not been built";
    const std::pair<std::string, const wchar_t*> names[] = {{"S\xc3\xbc\xc3\x9f.mod", L"S\u00fc\u00df.mod"},
                                                            {"\xe6\x9b\xb2.mod", L"\u66f2.mod"}};
    for (const auto& [utf8, wide] : names) {
        const std::string path = write("utf8.mdz", test::zip_archive({{.name = utf8, .data = "the song", .flags = 0x800}}));
        ASSERT_EQ(host.play(path), 0) << utf8;
        const test::JournalEntry play = host.recorder("in_alpha").calls("Play").back();
        EXPECT_EQ(play.value("size"), "8") << utf8 << ": the file named holds the song";
        char exact[64];
        if (platform_system_calls().wide_to_ansi(wide, exact, sizeof exact)) {
            EXPECT_EQ(play.fields.at(0), host.temp_folder().file(exact)) << utf8;
        }
        host.stop();
        EXPECT_TRUE(host.temp_files().empty()) << utf8;
    }
}

// A member stored under folders is written into them; playing it and asking
// about it leave the temporary folder as it was: the folders made for it
// go, and one that was there before stays.
TEST_P(ThroughPlugin, FoldersMadeForAMemberGoWithIt) {
    const std::filesystem::path temp = host.temp_folder().path();
    for (const test::ArchiveFormat* format : test::usable_formats()) {
        SCOPED_TRACE(format->label);
        const std::string path = write(std::string("deep") + format->extension,
                                       format->write({{"sub/deeper/a.mod", "the song"}}));
        for (const bool sub_was_there : {false, true}) {
            if (sub_was_there) std::filesystem::create_directory(temp / "sub");
            ASSERT_EQ(host.play(path), 0);
            host.stop();
            host.get_file_info(path.c_str());
            host.info_box(path.c_str());
            if (sub_was_there) {
                EXPECT_TRUE(std::filesystem::is_empty(temp / "sub"));
                std::filesystem::remove(temp / "sub");
            }
            EXPECT_TRUE(test::entries_in(temp.string()).empty()) << "sub was there before: " << sub_was_there;
        }
    }
}

// Info-ZIP's zip keeps the DOS read-only bit (every module copied from a
// CD-ROM has it), and the Windows libraries restore it: such a copy, in a
// folder made for it, goes like any other, after Stop and after a question.
TEST_P(ThroughPlugin, ReadOnlyMembersLeaveNothingBehind) {
    const std::filesystem::path temp = host.temp_folder().path();
    for (const test::ArchiveFormat* format : test::usable_formats()) {
        SCOPED_TRACE(format->label);
        constexpr uint32_t read_only = 0x21;  // FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE
        const std::string path = write(std::string("read-only") + format->extension,
                                       format == &test::zip_format()
                                           ? test::zip_archive({{.name = "sub/ro.mod", .data = "the song", .host = 0,
                                                                 .external_attributes = read_only}})
                                           : test::rar4_archive({{.name = "sub\\ro.mod", .data = "the song",
                                                                  .attributes = read_only}}));
        ASSERT_EQ(host.play(path), 0);
        if (native_path_style() == PathStyle::windows) {
            const auto permissions = std::filesystem::status(temp / "sub" / "ro.mod").permissions();
            EXPECT_EQ(permissions & std::filesystem::perms::owner_write, std::filesystem::perms::none)
                << "the library made the copy read-only";
        }
        host.stop();
        EXPECT_TRUE(test::entries_in(temp.string()).empty()) << "after Stop";
        host.get_file_info(path.c_str());
        EXPECT_TRUE(test::entries_in(temp.string()).empty()) << "after a question";
    }
}

// A playlist query extracts the whole member, however large, and deletes it.
// The figures go to the test's output; no time limit is asserted.
TEST_P(ThroughPlugin, BombIsExtractedForTheQueryAndDeleted) {
    if (!test::can_extract(test::zip_format())) GTEST_SKIP() << "unzip32.dll has not been built";
    constexpr uint32_t member_size = 64u << 20;
    const std::string bomb = write("bomb.mdz", test::zip_of_zeros("bomb.mod", member_size));
    const std::size_t archive_size = test::read_file(bomb).size();

    // The first query scans the plugin folder; the recorder answers after it.
    host.get_file_info(bomb.c_str());
    const test::Recorder alpha = host.recorder("in_alpha");
    ASSERT_TRUE(alpha.ok());
    alpha.set_file_info("Bomb", 1234);

    const auto start = std::chrono::steady_clock::now();
    const TestHost::FileInfo info = host.get_file_info(bomb.c_str());
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

    EXPECT_EQ(info.title, "Bomb");
    EXPECT_EQ(info.length_ms, 1234);
    EXPECT_EQ(alpha.count("GetFileInfo"), 2);
    EXPECT_TRUE(host.temp_files().empty()) << "the extracted member was not deleted";
    std::printf("bomb: a %u-byte member from a %zu-byte archive (%.0f to 1), GetFileInfo %.2f s\n", member_size,
                archive_size, static_cast<double>(member_size) / static_cast<double>(archive_size), seconds);
    RecordProperty("bomb_member_bytes", std::to_string(member_size));
    RecordProperty("bomb_archive_bytes", std::to_string(archive_size));
    RecordProperty("bomb_query_seconds", std::to_string(seconds));
}

}  // namespace
}  // namespace voskel
