// Stored names no archiver should produce, in ZIP and RAR archives made here,
// through extract_to_temp. The climbing, absolute and drive names of
// tests/extract are not repeated; these are the names that are only a
// folder, too long for the libraries' buffers, or not ASCII, and entries
// that are not plain files. Whatever the library does with them, the
// outcome is nothing, or one file where the returned path says.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "hostile_support.h"
#include "support/archive_writer.h"

namespace voskel {
namespace {

using test::RarEntry;
using test::ZipEntry;

constexpr const char* hostile_content = "the first member";

// The hostile member first, then a plain one that must never be taken instead.
std::string archive_with_first(const test::ArchiveFormat& format, const std::string& name, uint8_t rar_host = 2) {
    if (format.extension == std::string(".mdz")) {
        return test::zip_archive({{.name = name, .data = hostile_content}, {.name = "second.mod", .data = "second"}});
    }
    return test::rar4_archive({{.name = name, .data = hostile_content, .host = rar_host},
                               {.name = "second.mod", .data = "second", .host = rar_host}});
}

class HostileNames : public ::testing::Test {
protected:
    // Extracts the archive whose first member is `name` and checks the outcome.
    TextString try_name(const test::ArchiveFormat& format, const std::string& name, uint8_t rar_host = 2) {
        const std::string label = std::string(format.label) + " (host " + std::to_string(rar_host) + "): \"" + name + "\"";
        const TextString result = sandbox.extract(std::string("hostile") + format.extension,
                                                  archive_with_first(format, name, rar_host));
        const TextString kept = result;
        sandbox.expect_clean(result, label, hostile_content);
        return kept;
    }

    test::HostileSandbox sandbox;
};

// A folder's name is never the song: the plain member after it is. "." and
// ".." name no file below the folder, and give nothing.
TEST_F(HostileNames, NameThatIsOnlyAFolderIsPassedOver) {
    const std::vector<std::string> names = {"songs/", "songs\\", "a/b/", "a\\b\\", "/", "\\", ".", "..", "./", ".\\"};
    for (const test::ArchiveFormat* format : test::usable_formats()) {
        for (const std::string& name : names) {
            for (uint8_t host : {uint8_t{2}, uint8_t{3}}) {
                const std::string label = std::string(format->label) + ": " + name;
                const TextString result = sandbox.extract(std::string("folder") + format->extension,
                                                          archive_with_first(*format, name, host));
                const bool folder = name.back() == '/' || name.back() == '\\';
                EXPECT_EQ(result.chars(), folder ? sandbox.temp().joined("second.mod") : "") << label;
                sandbox.expect_clean(result, label, "second");
                if (format != &test::rar_format()) break;
            }
        }
    }
}

TEST_F(HostileNames, NamesLongerThanTheLibrariesBuffersLeaveNothingBehind) {
    const std::vector<std::string> names = {
        std::string(300, 'n') + ".mod",
        // Each folder short enough for any file system, the whole over 260.
        std::string(120, 'd') + "/" + std::string(120, 'e') + "/" + std::string(40, 'f') + ".mod",
        std::string(100, 'd') + "\\" + std::string(100, 'e') + "\\" + std::string(100, 'f') + ".mod",
        std::string(250, 'a') + "/" + std::string(250, 'b') + "/" + std::string(250, 'c') + ".mod",
    };
    for (const test::ArchiveFormat* format : test::usable_formats()) {
        for (const std::string& name : names) {
            for (uint8_t host : {uint8_t{2}, uint8_t{3}}) {
                const TextString result = try_name(*format, name, host);
                // The RAR library reports at most 259 bytes of a name but writes
                // all of it: such a name is refused before anything is written.
                if (format == &test::rar_format()) {
                    EXPECT_TRUE(result.empty()) << name;
                }
                if (format != &test::rar_format()) break;
            }
        }
    }
}

TEST_F(HostileNames, NamesWithBytesAbove0x7FGiveTheMemberOrNothing) {
    const std::vector<std::string> names = {
        "\xe9t\xe9.mod",                    // Latin-1
        "\xc3\xa9t\xc3\xa9.mod",            // UTF-8
        "caf\xc3\xa9/\xe2\x99\xab.mod",      // UTF-8 in a folder
        "\x80\x81\xfe\xff.mod",             // neither
        "\xb0\xb1\xb2 \x9a\x8e.mod",        // code page 437 shades and letters
        std::string(200, '\xe9') + ".mod",  // long once widened
    };
    for (const test::ArchiveFormat* format : test::usable_formats()) {
        for (const std::string& name : names) {
            for (uint8_t host : {uint8_t{2}, uint8_t{3}}) {
                try_name(*format, name, host);
                if (format != &test::rar_format()) break;
            }
        }
    }
    // ZIP's flag for UTF-8 names (bit 11).
    if (test::can_extract(test::zip_format())) {
        for (const std::string& name : names) {
            const TextString result = sandbox.extract(
                "utf8.mdz", test::zip_archive({{.name = name, .data = hostile_content, .flags = 0x800},
                                               {.name = "second.mod", .data = "second"}}));
            sandbox.expect_clean(result, "ZIP, UTF-8 flag: \"" + name + "\"", hostile_content);
        }
    }
}

// Play extracts into the temporary folder itself, where the plugin's
// private folders lie with the lock files that keep them: no member may
// reach them, by any spelling, and an own copy in one of them stays intact.
TEST_F(HostileNames, NamesAimedAtThePrivateFoldersGiveNothing) {
    std::vector<std::string> names = {"in_voskel-1/song.mod", "in_voskel-2\\song.mod", "in_voskel-3",
                                      "in_voskel-1/in_voskel-lock", "in_voskel-lock"};
    if (native_path_style() == PathStyle::windows) {
        names.insert(names.end(), {"IN_VOSKEL-1/song.mod", "In_Voskel-1\\song.mod", "IN_VOS~1/song.mod", "IN~1/x.mod"});
    }
    const std::string own_copy = test::join(test::join(sandbox.temp().path(), "in_voskel-1"), "song.mod");
    std::filesystem::create_directories(test::join(sandbox.temp().path(), "in_voskel-1"));
    test::write_file(own_copy, "a copy in use");
    for (const test::ArchiveFormat* format : test::usable_formats()) {
        for (const std::string& name : names) {
            const TextString result = sandbox.extract(std::string("aimed") + format->extension,
                                                      archive_with_first(*format, name));
            EXPECT_TRUE(result.empty()) << format->label << ": " << name;
            EXPECT_EQ(test::read_file(own_copy), "a copy in use") << format->label << ": " << name;
        }
    }
}

// A regression case of the extraction fuzzer: UnRAR makes a symbolic link,
// a device or a pipe as the entry's attributes say; only a plain file is a
// song, and the plain file after such an entry is.
TEST_F(HostileNames, RarEntriesThatAreNotPlainFilesArePassedOver) {
    if (!test::can_extract(test::rar_format())) GTEST_SKIP() << "unrar.dll has not been built";
    struct Row {
        const char* what;
        uint8_t host;
        uint32_t attributes;
        bool extracted;
    };
    const Row rows[] = {
        {"symbolic link", 3, 0120777, false},
        {"character device", 3, 0020644, false},
        {"named pipe", 3, 0010644, false},
        {"folder by its mode", 3, 0040755, false},
        {"reparse point", 2, 0x420, false},
        {"folder by its attributes", 2, 0x10, false},
        {"plain file", 3, 0100644, true},
        {"mode without a type", 3, 0644, true},
        {"archived file", 2, 0x20, true},
    };
    for (const Row& row : rows) {
        const std::string archive = test::rar4_archive(
            {{.name = "song.mod", .data = "../victim.mod", .host = row.host, .attributes = row.attributes},
             {.name = "second.mod", .data = "second", .host = row.host}});
        const TextString result = sandbox.extract("entry.mdr", archive);
        EXPECT_EQ(result.chars(), sandbox.temp().joined(row.extracted ? "song.mod" : "second.mod")) << row.what;
        sandbox.expect_clean(result, row.what, row.extracted ? "../victim.mod" : "second");
    }
}

}  // namespace
}  // namespace voskel
