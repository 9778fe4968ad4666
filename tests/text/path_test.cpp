#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "support/block_ledger.h"
#include "support/scratch.h"
#include "text/text_string.h"

namespace voskel {
namespace {

constexpr PathStyle windows = PathStyle::windows;
constexpr PathStyle posix = PathStyle::posix;

TEST(WindowsPaths, DirectoryPartAndExtension) {
    struct Row {
        const char* path;
        const char* directory;
        const char* extension;
    };
    const Row rows[] = {
        {"C:\\Music\\Song.Mdz", "C:\\Music", "MDZ"},
        {"song.mdz", "", "MDZ"},
        {"C:song.mdz", "C", "MDZ"},
        {"C:\\song.mdz", "C:", "MDZ"},
        {"\\song.mdz", "", "MDZ"},
        {"C:\\my.dir\\song", "C:\\my.dir", ""},
        {"song.", "", ""},
        {"a.tar.mdz", "", "MDZ"},
        {".mdz", "", "MDZ"},
        {"C:/my.dir/song", "C", "DIR/SONG"},
        {"", "", ""},
        {"C:\\Music\\", "C:\\Music", ""},
        {"\\\\server\\share\\x.mdr", "\\\\server\\share", "MDR"},
    };
    for (const Row& row : rows) {
        const TextString path(row.path);
        EXPECT_STREQ(path.directory_part(windows).chars(), row.directory) << row.path;
        EXPECT_STREQ(path.extension(windows).chars(), row.extension) << row.path;
    }
}

TEST(WindowsPaths, ExtensionLeavesHighBytesAlone) {
    EXPECT_STREQ(TextString("C:\\Songs\\tune.m\xe9z").extension(windows).chars(), "M\xe9Z");
    EXPECT_STREQ(TextString("x.\xc4\xd6z").extension(windows).chars(), "\xc4\xd6Z");
}

TEST(WindowsPaths, ExtensionOfSharedTextDoesNotTouchTheOriginal) {
    test::BlockLedger ledger;
    const TextString path("song.mdz");
    const TextString copy(path);
    EXPECT_STREQ(path.extension(windows).chars(), "MDZ");
    EXPECT_STREQ(path.chars(), "song.mdz");
    EXPECT_STREQ(copy.chars(), "song.mdz");
}

TEST(WindowsPaths, JoinPath) {
    struct Row {
        const char* left;
        const char* name;
        const char* joined;
    };
    const Row rows[] = {
        {"C:\\Temp", "song.mod", "C:\\Temp\\song.mod"},
        {"C:\\Temp\\", "song.mod", "C:\\Temp\\song.mod"},
        {"", "song.mod", "song.mod"},
        {"C:\\Temp", "", "C:\\Temp\\"},
        {"C:", "x", "C:\\x"},
        {"C:\\Temp", "\\x", "C:\\Temp\\\\x"},
        {"C:\\Temp", "sub\\song.mod", "C:\\Temp\\sub\\song.mod"},
        {"/tmp", "x", "/tmp\\x"},
    };
    for (const Row& row : rows) {
        TextString path(row.left);
        path.join_path(TextString(row.name), windows);
        EXPECT_STREQ(path.chars(), row.joined) << row.left << " + " << row.name;
    }
}

// Under a double-byte code page (Shift JIS here) paths are read by
// characters: ソ (83 5C) and 表 (95 5C) end in the byte of '\\' and are no
// separator; where the code page has one byte a character, as in the rows
// above, the same text reads byte by byte.
TEST(WindowsPaths, DoubleByteCharactersEndingInTheByteOfABackslashAreNoSeparators) {
    test::ScopedSystemCalls calls;
    calls.calls().character_length = test::shift_jis_character_length;
    TextString folder("C:\\Temp\\\x83\x5c");
    EXPECT_STREQ(folder.join_path(TextString("song.mod"), windows).chars(), "C:\\Temp\\\x83\x5c\\song.mod");
    TextString trailing("C:\\\x95\x5c\\");
    EXPECT_STREQ(trailing.join_path(TextString("x"), windows).chars(), "C:\\\x95\x5c\\x");
    const TextString song("C:\\\x83\x5c\\\x95\x5c.mdz");
    EXPECT_STREQ(song.directory_part(windows).chars(), "C:\\\x83\x5c");
    EXPECT_STREQ(song.extension(windows).chars(), "MDZ");
    EXPECT_STREQ(TextString("C:\\\x83\x5c").directory_part(windows).chars(), "C:");
    EXPECT_STREQ(TextString("a.b\x83\x5c" "c").extension(windows).chars(), "B\x83\x5c" "C");
}

TEST(PosixPaths, OnlySlashSeparates) {
    struct Row {
        const char* path;
        const char* directory;
        const char* extension;
    };
    const Row rows[] = {
        {"/usr/lib/winamp/in_voskel.so", "/usr/lib/winamp", "SO"},
        {"/tmp/song.mdz", "/tmp", "MDZ"},
        {"/song.mdz", "/", "MDZ"},
        {"song.mdz", "", "MDZ"},
        {"/my.dir/song", "/my.dir", ""},
        {"C:\\x.mdz\\song", "", "MDZ\\SONG"},
        {"c:song.mdr", "", "MDR"},
    };
    for (const Row& row : rows) {
        const TextString path(row.path);
        EXPECT_STREQ(path.directory_part(posix).chars(), row.directory) << row.path;
        EXPECT_STREQ(path.extension(posix).chars(), row.extension) << row.path;
    }
    TextString folder("/tmp");
    EXPECT_STREQ(folder.join_path(TextString("song.mod"), posix).chars(), "/tmp/song.mod");
    TextString slashed("/tmp/");
    EXPECT_STREQ(slashed.join_path(TextString("song.mod"), posix).chars(), "/tmp/song.mod");
    TextString backslashed("C:\\Temp");
    EXPECT_STREQ(backslashed.join_path(TextString("x"), posix).chars(), "C:\\Temp/x");
}

// The environment as the fake lookup below sees it.
std::map<std::string, std::string> fake_environment;

const char* fake_get_env(const char* name) {
    auto found = fake_environment.find(name);
    return found == fake_environment.end() ? nullptr : found->second.c_str();
}

TEST(LoadEnv, ReadsSetVariablesAndLeavesTextOtherwise) {
    test::ScopedSystemCalls calls;
    calls.calls().get_env = fake_get_env;
    fake_environment = {{"SHORT", "C:\\T"}, {"LONG", "C:\\Documents and Settings\\user\\Local Settings\\Temp"},
                        {"EMPTY", ""}};

    TextString text("earlier text");
    EXPECT_FALSE(text.load_env("UNSET"));
    EXPECT_STREQ(text.chars(), "earlier text");

    EXPECT_TRUE(text.load_env("LONG"));
    EXPECT_STREQ(text.chars(), "C:\\Documents and Settings\\user\\Local Settings\\Temp");
    EXPECT_TRUE(text.load_env("SHORT"));
    EXPECT_STREQ(text.chars(), "C:\\T");
    EXPECT_EQ(text.length(), 4);

    EXPECT_TRUE(text.load_env("EMPTY")) << "a variable set to nothing is set";
    EXPECT_STREQ(text.chars(), "");
    EXPECT_EQ(text.length(), 0);
}

TEST(LoadEnv, NeverWritesIntoASharedBlock) {
    test::ScopedSystemCalls calls;
    calls.calls().get_env = fake_get_env;
    fake_environment = {{"TMP", "C:\\T"}};
    test::BlockLedger ledger;
    TextString text("C:\\Windows\\Temp");
    TextString copy(text);
    EXPECT_TRUE(text.load_env("TMP"));
    EXPECT_STREQ(text.chars(), "C:\\T");
    EXPECT_STREQ(copy.chars(), "C:\\Windows\\Temp");
}

TEST(LoadEnv, ReadsTheRealEnvironment) {
    test::SavedTempVariables saved;
    test::set_env("TMP", "C:\\voskel\\tmp");
    TextString text;
    EXPECT_TRUE(text.load_env("TMP"));
    EXPECT_STREQ(text.chars(), "C:\\voskel\\tmp");
    test::set_env("TMP", nullptr);
    EXPECT_FALSE(text.load_env("TMP"));
}

// A library file name of a chosen length, handed out as GetModuleFileNameA does.
std::string fake_module_name;
std::vector<uint32_t> sizes_asked;

uint32_t fake_module_file_name(LibraryHandle, char* buffer, uint32_t size) {
    sizes_asked.push_back(size);
    if (fake_module_name.size() < size) {
        fake_module_name.copy(buffer, fake_module_name.size());
        buffer[fake_module_name.size()] = '\0';
        return static_cast<uint32_t>(fake_module_name.size());
    }
    fake_module_name.copy(buffer, size);  // cut short, without a NUL
    return size;
}

uint32_t failing_module_file_name(LibraryHandle, char*, uint32_t) { return 0; }

TEST(LoadModulePath, GrowsTheBufferUntilTheNameFits) {
    test::ScopedSystemCalls calls;
    calls.calls().module_file_name = fake_module_file_name;
    struct Row {
        std::size_t length;
        std::vector<uint32_t> sizes;
    };
    const Row rows[] = {
        {10, {62}},
        {60, {62}},
        {61, {62, 94}},  // 61 = capacity - 1 may be cut short: asked again
        {62, {62, 94}},
        {92, {62, 94}},
        {93, {62, 94, 126}},
        {300, {62, 94, 126, 158, 190, 222, 254, 286, 318}},
    };
    for (const Row& row : rows) {
        fake_module_name = "C:\\" + std::string(row.length - 9, 'p') + "\\x.dll";
        sizes_asked.clear();
        TextString path;
        path.load_module_path(nullptr);
        EXPECT_EQ(path.chars(), fake_module_name) << row.length;
        EXPECT_EQ(path.length(), static_cast<int32_t>(row.length));
        EXPECT_EQ(sizes_asked, row.sizes) << row.length;
    }
}

TEST(LoadModulePath, FailureGivesAnEmptyString) {
    test::ScopedSystemCalls calls;
    calls.calls().module_file_name = failing_module_file_name;
    TextString path;
    path.load_module_path(nullptr);
    EXPECT_EQ(path.length(), 0);
    EXPECT_STREQ(path.chars(), "");
}

TEST(LoadModulePath, NamesALoadedLibrary) {
    const std::string plugin = test::join(test::host_path(VOSKEL_PLUGIN_DIR),
                                          std::string("in_voskel") + (native_path_style() == windows ? ".dll" : ".so"));
    LibraryHandle library = system_calls().load_library(plugin.c_str());
    ASSERT_NE(library, nullptr) << plugin;
    TextString path;
    path.load_module_path(library);
    system_calls().unload_library(library);
    // Windows may spell the folder in another letter case; the name is ours.
    EXPECT_STRCASEEQ(path.chars(), plugin.c_str());
    EXPECT_STREQ(path.directory_part().chars() + path.directory_part().length() - 7, "plugins");
}

}  // namespace
}  // namespace voskel
