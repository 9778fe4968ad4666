// The temporary folder comes from TEMP and TMP, for both formats.
#include <gtest/gtest.h>

#include <filesystem>

#include "extract_support.h"

namespace voskel {
namespace {

using test::ArchiveFormat;

class TempFolderChoice : public ::testing::TestWithParam<const ArchiveFormat*> {
protected:
    void SetUp() override {
        if (!test::library_available(format())) GTEST_SKIP() << format().library << " has not been built";
        archive = archives.file(std::string("song") + format().extension);
        test::write_file(archive, format().write({{"song.mod", "the song"}}));
    }

    const ArchiveFormat& format() const { return *GetParam(); }
    TextString extract() const { return format().extract(TextString(archive.c_str())); }

    test::LibrarySearch search{test::host_path(VOSKEL_WINDOWS_LIBS_DIR)};
    test::ScratchFolder archives{"archives"};
    test::TempFolder temp;
    std::string archive;
};

TEST_P(TempFolderChoice, TmpNamesTheFolderAndTempOnlyHasToExist) {
    const std::string other = test::join(temp.outer(), "other");
    std::filesystem::create_directories(other);
    test::set_env("TEMP", other.c_str());

    EXPECT_EQ(extract().chars(), temp.joined("song.mod"));
    EXPECT_EQ(temp.files(), std::vector<std::string>{"song.mod"});
    EXPECT_EQ(test::read_file(temp.joined("song.mod")), "the song");
}

TEST_P(TempFolderChoice, NothingHappensUnlessBothAreSet) {
    const bool rar = &format() == &test::rar_format();
    struct Row {
        const char* label;
        bool temp_set;
        bool tmp_set;
    };
    const Row rows[] = {{"TEMP alone", true, false}, {"TMP alone", false, true}, {"neither", false, false}};
    for (const Row& row : rows) {
        test::LibraryCalls libraries;
        test::set_env("TEMP", row.temp_set ? temp.path().c_str() : nullptr);
        test::set_env("TMP", row.tmp_set ? temp.path().c_str() : nullptr);

        EXPECT_TRUE(extract().empty()) << row.label;
        EXPECT_TRUE(temp.files().empty()) << row.label;
        // The ZIP library is not looked for; the RAR library is loaded first
        // and kept until an extraction reaches the archive.
        EXPECT_EQ(libraries.load_attempts(), rar ? 1 : 0) << row.label;
        EXPECT_EQ(libraries.unloads(), 0) << row.label;

        test::set_env("TEMP", temp.path().c_str());
        test::set_env("TMP", temp.path().c_str());
        EXPECT_EQ(extract().chars(), temp.joined("song.mod")) << row.label;
        const int loads = format().run_time_library ? 1 : 0;
        EXPECT_EQ(libraries.load_attempts(), loads) << row.label;
        EXPECT_EQ(libraries.unloads(), loads) << row.label;
        std::filesystem::remove(temp.joined("song.mod"));
    }
}

TEST_P(TempFolderChoice, EmptyTmpMeansTheCurrentFolderAndTheBareName) {
    test::LibraryCalls libraries;
    libraries.fake_environment({{"TEMP", temp.path()}, {"TMP", ""}});
    const std::filesystem::path saved = std::filesystem::current_path();
    std::filesystem::current_path(temp.path());

    const TextString extracted = extract();
    std::filesystem::current_path(saved);

    EXPECT_STREQ(extracted.chars(), "song.mod");
    EXPECT_EQ(temp.files(), std::vector<std::string>{"song.mod"});
}

TEST_P(TempFolderChoice, TrailingSeparatorIsNotDoubled) {
    const std::string with_separator = test::join(temp.path(), "");
    ASSERT_NE(with_separator, temp.path());
    test::set_env("TMP", with_separator.c_str());

    EXPECT_EQ(extract().chars(), temp.joined("song.mod"));
    EXPECT_EQ(temp.files(), std::vector<std::string>{"song.mod"});
}

INSTANTIATE_TEST_SUITE_P(Formats, TempFolderChoice, ::testing::Values(&test::zip_format(), &test::rar_format()),
                         [](const auto& info) { return std::string(info.param->label); });

}  // namespace
}  // namespace voskel
