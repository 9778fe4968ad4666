// Which stored names may be written, and where.
#include <gtest/gtest.h>

#include <string>

#include "extract/member_path.h"
#include "support/scratch.h"

namespace voskel {
namespace {

TEST(MemberNames, SafeOnlyWhenTheNameStaysBelowTheFolderInOneSpelling) {
    struct Row {
        const char* name;
        bool windows;
        bool posix;
    };
    const Row rows[] = {
        {"song.mod", true, true},
        {"songs/deep/tune.mod", true, true},
        {"songs\\tune.mod", true, true},
        {"..x.mod", true, true},
        {"x..mod", true, true},
        {".hidden", true, true},
        {"\xe9t\xe9 [1].mod", true, true},
        {"", false, false},
        // Folder entries.
        {"songs/", false, false},
        {"songs\\", false, false},
        // Absolute, drives and streams.
        {"/etc/passwd", false, false},
        {"\\Windows\\x.mod", false, false},
        {"C:x.mod", false, false},
        {"C:\\x.mod", false, false},
        {"x.mod:stream", false, false},
        // Climbing, with either separator.
        {"..", false, false},
        {"../x.mod", false, false},
        {"..\\x.mod", false, false},
        {"a/../../x.mod", false, false},
        {"a\\..\\x.mod", false, false},
        {"a/b\\..", false, false},
        // Second spellings of a path.
        {"./x.mod", false, false},
        {"a//x.mod", false, false},
        {"a/./x.mod", false, false},
        // What Windows strips or refuses.
        {"a/.. /x.mod", false, true},
        {"song.mod.", false, true},
        {"song.mod ", false, true},
        {"what?.mod", false, true},
        {"a*b.mod", false, true},
        {"a<b>.mod", false, true},
        {"a\"b.mod", false, true},
        {"a|b.mod", false, true},
        {"tab\there.mod", false, true},
        // The private folders in the temporary folder, their locks, and on
        // Windows their short aliases; deeper down they are not ours.
        {"in_voskel-1/x.mod", false, false},
        {"in_voskel-lock", false, false},
        {"IN_VOSKEL-1\\x.mod", false, true},
        {"IN_VOS~1/x.mod", false, true},
        {"~x.mod", true, true},
        {"sub/in_voskel-1/IN_VOS~1/x.mod", true, true},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(is_safe_member_name(row.name, PathStyle::windows), row.windows) << "windows: " << row.name;
        EXPECT_EQ(is_safe_member_name(row.name, PathStyle::posix), row.posix) << "posix: " << row.name;
    }
    EXPECT_FALSE(is_safe_member_name(nullptr, PathStyle::windows));
    EXPECT_FALSE(is_safe_member_name(nullptr, PathStyle::posix));
}

TEST(MemberNames, SecondBytesOfDoubleByteCharactersAreNeitherSeparatorsNorLetters) {
    test::ScopedSystemCalls calls;
    calls.calls().character_length = test::shift_jis_character_length;
    // ソ, ポルカ, 表 and 十 end in '\\' or '|'; ア is 83 41, ヂ 83 61.
    for (const char* name : {"\x83\x5c.mod", "\x83\x7c\x83\x8b\x83\x4a.mod", "sub/\x95\x5c/\x8f\x5c.mod"}) {
        EXPECT_TRUE(is_safe_member_name(name, PathStyle::windows)) << name;
    }
    // Real separators, climbing and refused characters around them still count.
    for (const char* name : {"\x83\x5c\\..\\x.mod", "\x83\x5c/../x.mod", "\x83\x5c|.mod", "\x83\x5c/"}) {
        EXPECT_FALSE(is_safe_member_name(name, PathStyle::windows)) << name;
    }
}

TEST(MemberNames, AcceptJoinsTheNameWithTheBuildsOwnSeparators) {
    const bool windows = native_path_style() == PathStyle::windows;
    const TextString folder(windows ? "C:\\Temp\\" : "/tmp/");
    TextString target;
    ASSERT_TRUE(accept_member(folder, TextString("sub/deeper\\Song.mod"), 4096, target));
    EXPECT_STREQ(target.chars(), windows ? "C:\\Temp\\sub\\deeper\\Song.mod" : "/tmp/sub/deeper\\Song.mod");
    EXPECT_FALSE(accept_member(folder, TextString("../Song.mod"), 4096, target));
    EXPECT_FALSE(accept_member(folder, TextString(), 4096, target));
}

// 1 GiB is larger than any song; an archive declaring more is refused
// whatever its own size, and however many bits the size takes.
TEST(MemberNames, AcceptRefusesMembersDeclaredAboveTheBound) {
    const TextString folder(native_path_style() == PathStyle::windows ? "C:\\Temp" : "/tmp");
    const TextString name("song.mod");
    TextString target;
    constexpr uint64_t gib = uint64_t{1} << 30;
    for (uint64_t size : {uint64_t{0}, uint64_t{600} << 20, gib}) {
        EXPECT_TRUE(accept_member(folder, name, size, target)) << size;
    }
    for (uint64_t size : {gib + 1, 3 * gib, (uint64_t{1} << 32) + 100, ~uint64_t{0}}) {
        EXPECT_FALSE(accept_member(folder, name, size, target)) << size;
    }
}

// A library may write a longer path (unrar.dll does, through a \\?\ path),
// but neither the inner plugin nor the deletion afterwards could reach it.
TEST(MemberNames, AcceptRefusesTargetsLongerThanThePlatformReaches) {
    const TextString folder(native_path_style() == PathStyle::windows ? "C:\\Temp" : "/tmp");
    const std::size_t room = longest_path() - static_cast<std::size_t>(folder.length()) - 1;
    TextString target;
    ASSERT_TRUE(accept_member(folder, TextString(std::string(room, 'n').c_str()), 0, target));
    EXPECT_EQ(static_cast<uint32_t>(target.length()), longest_path());
    EXPECT_FALSE(accept_member(folder, TextString(std::string(room + 1, 'n').c_str()), 0, target));
}

}  // namespace
}  // namespace voskel
