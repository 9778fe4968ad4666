// Extractions that fail, through extract_to_temp. The member is named
// playing.mod, which the sandbox already holds: a failed extraction must
// leave that file as it was unless it wrote there itself, and none of
// these write before they fail.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "hostile_support.h"
#include "support/archive_writer.h"

namespace voskel {
namespace {

using test::RarEntry;
using test::ZipEntry;

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

}  // namespace
}  // namespace voskel
