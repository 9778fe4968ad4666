// Archives cut short, damaged, encrypted, empty, or not archives at all,
// through extract_to_temp. An archive cut short gives the whole member, as
// the intact archive gives it, or nothing. A damaged one may give another
// member, or data the library failed to notice were wrong (UnRAR accepts
// some damaged RAR 5 headers), but still at most one file, where the
// returned path says.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "hostile_support.h"
#include "support/archive_writer.h"

namespace voskel {
namespace {

struct Intact {
    std::string label;
    std::string extension;  // ".mdz" or ".mdr"
    std::string bytes;
};

std::string real_rar(const char* name) { return test::join(test::host_path(VOSKEL_RAR_FIXTURES_DIR), name); }

class BrokenArchives : public ::testing::Test {
protected:
    // Archives made here and by real archivers, with enough structure that
    // a cut or a damaged byte lands in every part of them.
    std::vector<Intact> intact_archives() const {
        std::vector<Intact> archives;
        const std::string song = test::member_text("song", 1500);
        if (test::can_extract(test::zip_format())) {
            archives.push_back({"stored ZIP", ".mdz",
                                test::zip_archive({{.name = "songs/song.mod", .data = song}, {.name = "b.mod", .data = "b"}})});
            archives.push_back({"zip -X", ".mdz", test::read_file(test::fixture("several.mdz"))});
            archives.push_back({"7zz, deflated", ".mdz", test::read_file(test::fixture("seven.mdz"))});
        }
        if (test::can_extract(test::rar_format())) {
            archives.push_back({"stored RAR 4", ".mdr",
                                test::rar4_archive({{.name = "songs\\song.mod", .data = song}, {.name = "b.mod", .data = "b"}})});
            for (const char* name : {"test_read_format_rar_compress_normal.rar", "test_read_format_rar5_compressed.rar",
                                     "test_read_format_rar5_multiple_files_solid.rar"}) {
                const std::string bytes = test::read_file(real_rar(name));
                if (!bytes.empty()) archives.push_back({name, ".mdr", bytes});
            }
        }
        return archives;
    }

    // What the intact archive gives; the test stops if it gives nothing.
    std::string intact_content(const Intact& archive) {
        const TextString result = sandbox.extract("intact" + archive.extension, archive.bytes);
        EXPECT_FALSE(result.empty()) << archive.label;
        const std::string content = result.empty() ? std::string() : test::read_file(result.chars());
        sandbox.expect_clean(result, archive.label + ", intact");
        return content;
    }

    // Positions spread over the archive, its first bytes (the headers) all taken.
    static std::vector<std::size_t> positions(std::size_t size) {
        std::vector<std::size_t> found;
        for (std::size_t i = 0; i < size && i < 16; ++i) found.push_back(i);
        for (std::size_t i = 16; i < size; i += (size - 16) / 24 + 1) found.push_back(i);
        if (size > 0) found.push_back(size - 1);
        return found;
    }

    // The first member's own compression method, damaged, on Windows.
    static bool leaves_an_open_file(const Intact& archive, std::size_t position) {
        return native_path_style() == PathStyle::windows && archive.extension == ".mdz" &&
               (position == 8 || position == 9);
    }

    test::HostileSandbox sandbox;
};

TEST_F(BrokenArchives, CutShortAnywhereGivesTheWholeMemberOrNothing) {
    for (const Intact& archive : intact_archives()) {
        const std::string content = intact_content(archive);
        if (content.empty()) continue;
        int extracted = 0;
        for (std::size_t length : positions(archive.bytes.size())) {
            const TextString result = sandbox.extract("cut" + archive.extension, archive.bytes.substr(0, length));
            extracted += result.empty() ? 0 : 1;
            sandbox.expect_clean(result, archive.label + " cut to " + std::to_string(length) + " bytes", content);
        }
        RecordProperty(archive.label + " cut short, still extracted", extracted);
    }
}

TEST_F(BrokenArchives, DamagedAnywhereGivesAtMostTheFileTheResultNames) {
    for (const Intact& archive : intact_archives()) {
        const std::string content = intact_content(archive);
        if (content.empty()) continue;
        int extracted = 0, other_content = 0;
        for (std::size_t position : positions(archive.bytes.size())) {
            // See UnknownMethodInTheMembersOwnHeader.
            if (leaves_an_open_file(archive, position)) continue;
            // A low bit shifts a size or a flag; all bits garble the byte.
            const unsigned char mask = position % 2 == 0 ? 0xff : 0x01;
            std::string damaged = archive.bytes;
            damaged[position] = static_cast<char>(damaged[position] ^ mask);
            const TextString result = sandbox.extract("damaged" + archive.extension, damaged);
            if (!result.empty()) {
                ++extracted;
                other_content += test::read_file(result.chars()) == content ? 0 : 1;
            }
            sandbox.expect_clean(result, archive.label + " with byte " + std::to_string(position) + " ^ " +
                                             std::to_string(mask));
        }
        std::printf("%s, damaged: %d of %zu copies gave a file, %d of them not the intact member\n",
                    archive.label.c_str(), extracted, positions(archive.bytes.size()).size(), other_content);
    }
}

// The central directory says "stored" and the member's own header names a
// method no reader knows. libarchive refuses the member. UnZip (5.x and 6.0)
// returns a warning with the member's output file still open: extract.c
// leaves it so ("close and delete file before return?"), and no call of the
// library closes it. On Windows the plugin's delete then fails while the
// library holds the file, and an empty file stays in the temporary folder
// until the host exits. This records the library's defect as it stands.
TEST_F(BrokenArchives, UnknownMethodInTheMembersOwnHeader) {
    if (!test::can_extract(test::zip_format())) GTEST_SKIP() << "unzip32.dll has not been built";
    std::string archive = test::zip_archive({{.name = "song.mod", .data = "the song"}, {.name = "b.mod", .data = "b"}});
    archive[8] = '\x7f';
    const TextString result = sandbox.extract("method.mdz", archive);
    EXPECT_TRUE(result.empty());
    if (native_path_style() == PathStyle::windows) {
        const std::vector<std::string> files = sandbox.files();
        EXPECT_NE(std::find(files.begin(), files.end(), "song.mod"), files.end())
            << "unzip32.dll now closes the file: this case can join the others";
    } else {
        sandbox.expect_clean(result, "unknown method");
    }
}

TEST_F(BrokenArchives, EncryptedFirstMemberGivesNothingAndTheNextIsNotTaken) {
    const std::string locked(64, 'x');
    if (test::can_extract(test::zip_format())) {
        const TextString result = sandbox.extract(
            "locked.mdz", test::zip_archive({{.name = "locked.mod", .data = locked, .flags = 0x01},
                                             {.name = "open.mod", .data = "open"}}));
        EXPECT_TRUE(result.empty());
        sandbox.expect_clean(result, "ZIP");
    }
    if (test::can_extract(test::rar_format())) {
        const TextString result = sandbox.extract(
            "locked.mdr", test::rar4_archive({{.name = "locked.mod", .data = locked, .flags = 0x04},
                                              {.name = "open.mod", .data = "open"}}));
        EXPECT_TRUE(result.empty());
        sandbox.expect_clean(result, "RAR");
    }
}

TEST_F(BrokenArchives, EmptyArchivesZeroByteFilesAndFoldersGiveNothing) {
    for (const test::ArchiveFormat* format : test::usable_formats()) {
        SCOPED_TRACE(format->label);
        const std::string extension = format->extension;
        std::string capitals = extension;
        for (char& c : capitals) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
        const std::string empty_archive = format == &test::zip_format() ? test::zip_archive({}) : test::rar4_archive({});
        const std::string folder = sandbox.write_archive("folder" + extension + "/song.mod", "inside a folder");
        const std::vector<std::pair<std::string, std::string>> cases = {
            {"an empty archive", sandbox.write_archive("empty" + extension, empty_archive)},
            {"a zero-byte file", sandbox.write_archive("zero" + extension, "")},
            {"a folder", std::filesystem::path(folder).parent_path().string()},
            {"a zero-byte file in capitals", sandbox.write_archive("ZERO" + capitals, "")},
        };
        for (const auto& [what, path] : cases) {
            const TextString result = sandbox.extract(path);
            EXPECT_TRUE(result.empty()) << what;
            sandbox.expect_clean(result, what);
        }
    }
}

}  // namespace
}  // namespace voskel
