// Speaking to an inner module in its own width, with modules made up in the
// test: the record's version word decides how file names, titles and the
// description are read and written.
#include <gtest/gtest.h>

#include <cstring>
#include <cwchar>
#include <string>

#include "platform/platform.h"
#include "registry/inner_module.h"

namespace voskel {
namespace {

struct Seen {
    int calls = 0;
    bool null_file = false;
    std::string narrow;
    std::wstring wide;
    int init_result = IN_INIT_SUCCESS;
};
Seen seen;

void note(const char* file) {
    ++seen.calls;
    seen.null_file = file == nullptr;
    seen.narrow = file != nullptr ? file : "";
}
void note(const wchar_t* file) {
    ++seen.calls;
    seen.null_file = file == nullptr;
    seen.wide = file != nullptr ? file : L"";
}

int narrow_play(char* file) { note(file); return 0; }
int narrow_is_our_file(char* file) { note(file); return 1; }
int narrow_info_box(char* file, HostWindow) { note(file); return INFOBOX_UNCHANGED; }
void narrow_file_info(char* file, char* title, int*) { note(file); std::strcpy(title, "narrow"); }
int wide_play(const wchar_t* file) { note(file); return 0; }
int wide_is_our_file(const wchar_t* file) { note(file); return 1; }
int wide_info_box(const wchar_t* file, HostWindow) { note(file); return INFOBOX_UNCHANGED; }
void wide_file_info(const wchar_t* file, wchar_t* title, int*) { note(file); std::wcscpy(title, L"wide"); }
void plain_init() { ++seen.calls; }
int init_with_result() { ++seen.calls; return seen.init_result; }

In_Module module_of(uint32_t version) {
    In_Module module{};
    module.version = static_cast<int>(version);
    if (has_unicode_names(module.version)) {
        module.Play = reinterpret_cast<decltype(module.Play)>(wide_play);
        module.IsOurFile = reinterpret_cast<decltype(module.IsOurFile)>(wide_is_our_file);
        module.InfoBox = reinterpret_cast<decltype(module.InfoBox)>(wide_info_box);
        module.GetFileInfo = reinterpret_cast<decltype(module.GetFileInfo)>(wide_file_info);
    } else {
        module.Play = narrow_play;
        module.IsOurFile = narrow_is_our_file;
        module.InfoBox = narrow_info_box;
        module.GetFileInfo = narrow_file_info;
    }
    module.Init = init_returns_result(module.version) ? reinterpret_cast<void (*)()>(init_with_result) : plain_init;
    return module;
}

class InnerModule : public ::testing::Test {
protected:
    void SetUp() override { seen = Seen{}; }
};

TEST_F(InnerModule, HostMakersDescriptionIsReadInItsOwnWidth) {
    struct Row {
        uint32_t version;
        const char* narrow;
        const wchar_t* wide;
        bool host_makers;
    };
    const Row rows[] = {
        {IN_VER_OLD, "Nullsoft MPEG Audio Decoder", nullptr, true},
        {IN_VER_OLD, "nullSOFT", nullptr, true},
        {IN_VER_OLD, "Nullsof", nullptr, false},
        {IN_VER_OLD, "Other Maker", nullptr, false},
        {IN_VER_OLD | IN_UNICODE, "Nullsoft Vorbis Decoder", nullptr, true},  // names wide, description not
        {IN_VER, nullptr, L"Nullsoft Vorbis Decoder", true},
        {IN_VER | IN_UNICODE | IN_INIT_RET, nullptr, L"NULLSOFT FLAC Decoder", true},
        {IN_VER, nullptr, L"Nullsof", false},
        {IN_VER, nullptr, L"Other Maker", false},
        {IN_VER, nullptr, nullptr, false},
    };
    for (const Row& row : rows) {
        In_Module module = module_of(row.version);
        module.description = row.wide != nullptr ? reinterpret_cast<char*>(const_cast<wchar_t*>(row.wide))
                                                 : const_cast<char*>(row.narrow);
        EXPECT_EQ(is_host_makers_module(module), row.host_makers)
            << std::hex << row.version << " " << (row.narrow != nullptr ? row.narrow : "(wide or null)");
    }
}

TEST_F(InnerModule, DescriptionIsShownAsEightBitTextWhateverItsWidth) {
    In_Module wide = module_of(IN_VER);
    wide.description = reinterpret_cast<char*>(const_cast<wchar_t*>(L"Wide Decoder v2"));
    EXPECT_STREQ(description_text(wide).chars(), "Wide Decoder v2");
    In_Module narrow = module_of(IN_VER_OLD | IN_UNICODE);
    narrow.description = const_cast<char*>("Narrow Decoder");
    EXPECT_STREQ(description_text(narrow).chars(), "Narrow Decoder");
    narrow.description = nullptr;
    EXPECT_TRUE(description_text(narrow).empty());
}

TEST_F(InnerModule, InitReportsFailureOnlyWhereTheVersionSaysItReports) {
    In_Module plain = module_of(IN_VER);
    EXPECT_TRUE(init_module(plain));
    In_Module reporting = module_of(IN_VER_OLD | IN_INIT_RET);
    EXPECT_TRUE(init_module(reporting));
    seen.init_result = IN_INIT_FAILURE;
    EXPECT_FALSE(init_module(reporting));
    EXPECT_EQ(seen.calls, 3);
}

TEST_F(InnerModule, EachWidthGetsTheNameAndThePlayingFileAsItsOwn) {
    In_Module narrow = module_of(IN_VER_OLD);
    In_Module wide = module_of(IN_VER_OLD | IN_UNICODE);
    const std::string name = "song.mod";

    EXPECT_EQ(play_module(wide, name.c_str()), 0);
    EXPECT_EQ(seen.wide, L"song.mod");
    EXPECT_EQ(module_is_our_file(wide, name.c_str()), 1);
    EXPECT_EQ(module_info_box(wide, name.c_str(), nullptr), INFOBOX_UNCHANGED);
    EXPECT_EQ(seen.calls, 3);

    // The playing file: null to a Unicode module, "" to an 8-bit one.
    play_module(wide, nullptr);
    EXPECT_TRUE(seen.null_file);
    play_module(narrow, nullptr);
    EXPECT_FALSE(seen.null_file);
    EXPECT_EQ(seen.narrow, "");

    char title[GETFILEINFO_TITLE_LENGTH] = "";
    get_module_file_info(wide, name.c_str(), title, nullptr);
    EXPECT_STREQ(title, "wide");
    get_module_file_info(narrow, name.c_str(), title, nullptr);
    EXPECT_STREQ(title, "narrow");
    EXPECT_EQ(seen.narrow, "song.mod");
}

TEST_F(InnerModule, NameAUnicodeModuleCannotReadReachesItNot) {
    if (native_path_style() == PathStyle::windows) GTEST_SKIP() << "every byte is a character of Windows-1252";
    In_Module wide = module_of(IN_VER | IN_UNICODE);
    const char* not_utf8 = "/tmp/S\x81\xE1.mod";
    EXPECT_EQ(play_module(wide, not_utf8), -1) << "as for a missing file";
    EXPECT_EQ(module_is_our_file(wide, not_utf8), 0);
    EXPECT_EQ(module_info_box(wide, not_utf8, nullptr), 0);
    char title[GETFILEINFO_TITLE_LENGTH] = "untouched";
    int length = -2;
    get_module_file_info(wide, not_utf8, title, &length);
    EXPECT_STREQ(title, "untouched");
    EXPECT_EQ(length, -2);
    EXPECT_EQ(seen.calls, 0);
}

}  // namespace
}  // namespace voskel
