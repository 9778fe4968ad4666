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
        const TextString result = extract_to_temp(TextString(archive.c_str()));
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

}  // namespace
}  // namespace voskel
