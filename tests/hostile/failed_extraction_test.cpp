// Extractions that fail, and members whose declared size or name repeats
// would make them write too much or the wrong data, through extract_to_temp.
// The member is named playing.mod, which the sandbox already holds: a
// failed extraction must leave that file as it was unless it wrote there
// itself, and none of these write before they fail.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "hostile_support.h"
#include "support/archive_writer.h"

namespace voskel {
namespace {

using test::RarEntry;
using test::ZipEntry;

constexpr uint64_t gib = uint64_t{1} << 30;
const std::string member_data = test::member_text("member", 64);

struct Case {
    std::string what;
    std::string extension;
    std::string bytes;
};

std::string zip_first(ZipEntry first) {
    return test::zip_archive({std::move(first), {.name = "second.mod", .data = "second"}});
}

std::string rar_first(RarEntry first) {
    return test::rar4_archive({std::move(first), {.name = "second.mod", .data = "second"}});
}

class FailedExtraction : public ::testing::Test {
protected:
    void expect_nothing_written(const std::vector<Case>& cases) {
        for (const Case& row : cases) {
            const test::ArchiveFormat& format = row.extension == ".mdz" ? test::zip_format() : test::rar_format();
            if (!test::can_extract(format)) continue;
            const TextString result = sandbox.extract("failing" + row.extension, row.bytes);
            EXPECT_TRUE(result.empty()) << row.what << ": " << result.chars();
            sandbox.expect_clean(result, row.what);
        }
    }

    test::HostileSandbox sandbox;
};

TEST_F(FailedExtraction, FileOfTheMembersNameSurvivesWhenTheLibraryFails) {
    expect_nothing_written({
        {"ZIP, encrypted", ".mdz", zip_first({.name = "playing.mod", .data = member_data, .flags = 0x01})},
        {"ZIP, unknown method", ".mdz", zip_first({.name = "playing.mod", .data = member_data, .method = 77})},
        {"RAR, encrypted", ".mdr", rar_first({.name = "playing.mod", .data = member_data, .flags = 0x04})},
        {"RAR, compressed by an unknown version", ".mdr",
         rar_first({.name = "playing.mod", .data = member_data, .method = 0x33, .version = 99})},
    });
}

// Larger than any song: refused before the library writes anything, however
// little the archive holds, and also where the size needs more than 32 bits
// (ZIP64, RAR's high words): a reader of the low half alone would see 64 bytes.
TEST_F(FailedExtraction, MemberDeclaredAboveOneGibIsRefusedBeforeAnythingIsWritten) {
    const uint64_t above_four_gib = (uint64_t{4} << 30) + member_data.size();
    expect_nothing_written({
        {"ZIP, 1 GiB and a byte", ".mdz", zip_first({.name = "playing.mod", .data = member_data, .declared_size = gib + 1})},
        {"ZIP, 1.5 GiB", ".mdz", zip_first({.name = "playing.mod", .data = member_data, .declared_size = 3 * gib / 2})},
        {"ZIP64, 4 GiB more than held", ".mdz",
         zip_first({.name = "playing.mod", .data = member_data, .declared_size = above_four_gib})},
        {"RAR, 1 GiB and a byte", ".mdr", rar_first({.name = "playing.mod", .data = member_data, .declared_size = gib + 1})},
        {"RAR, 4 GiB more than held", ".mdr",
         rar_first({.name = "playing.mod", .data = member_data, .declared_size = above_four_gib})},
    });
}

// A small declared size and data that run on: the library may write what
// the data hold (UnZip does), but nothing of it is handed over or left.
TEST_F(FailedExtraction, DataBeyondTheDeclaredSizeGiveNothing) {
    expect_nothing_written({
        {"ZIP, a MiB of zeros declared as 1000 bytes", ".mdz", test::zip_of_zeros("zeros.mod", 1 << 20, 1000)},
        {"ZIP, stored data longer than declared", ".mdz",
         zip_first({.name = "long.mod", .data = member_data, .declared_size = 10})},
        {"RAR, stored data longer than declared", ".mdr",
         rar_first({.name = "long.mod", .data = member_data, .declared_size = 10})},
        // The folders the library made for the file go with it.
        {"ZIP, the same in folders", ".mdz",
         zip_first({.name = "sub/deeper/long.mod", .data = member_data, .declared_size = 10})},
        {"RAR, the same in folders", ".mdr",
         rar_first({.name = "sub\\deeper\\long.mod", .data = member_data, .declared_size = 10})},
    });
}

// The first member's data, or nothing: never the data of a later member of
// the same name (UnZip extracts every member the include list names). On
// Windows a name in other letters is the same file too.
TEST_F(FailedExtraction, RepeatedNameNeverHandsOverAnotherMembersData) {
    if (!test::can_extract(test::zip_format())) GTEST_SKIP() << "unzip32.dll has not been built";
    const std::vector<std::pair<std::string, std::vector<ZipEntry>>> cases = {
        {"same name later", {{.name = "repeated.mod", .data = "first"}, {.name = "x.mod", .data = "x"},
                             {.name = "repeated.mod", .data = "later"}}},
        {"same name next", {{.name = "repeated.mod", .data = "first"}, {.name = "repeated.mod", .data = "later"}}},
        {"other letters", {{.name = "repeated.mod", .data = "first"}, {.name = "REPEATED.MOD", .data = "later"}}},
        {"in a folder", {{.name = "sub/repeated.mod", .data = "first"}, {.name = "sub/repeated.mod", .data = "later"}}},
    };
    for (const auto& [what, entries] : cases) {
        const TextString result = sandbox.extract("repeated.mdz", test::zip_archive(entries));
        sandbox.expect_clean(result, what, "first");
        RecordProperty("repeated name, " + what, result.empty() ? "refused" : "first member");
    }
    // The same, over the file already there: refused, it stays as it was.
    const TextString result = sandbox.extract(
        "repeated.mdz", test::zip_archive({{.name = "playing.mod", .data = "first"}, {.name = "playing.mod", .data = "later"}}));
    if (result.empty()) sandbox.expect_clean(result, "over a file already there");
}

}  // namespace
}  // namespace voskel
