// What a library's pass leaves at the target, judged against a look taken
// before it: the path when it succeeded with the declared size, and a file
// removed only when the pass made or changed it.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>

#include "extract/target_guard.h"
#include "extract_support.h"

namespace voskel {
namespace {

namespace fs = std::filesystem;

class TargetGuardTest : public ::testing::Test {
protected:
    // Runs `pass` between the guard's first look and its verdict.
    TextString run(const std::function<void()>& pass, bool succeeded, uint64_t declared_size) const {
        const TargetGuard guard(TextString(temp.path().c_str()), TextString(path.c_str()));
        pass();
        return guard.outcome(succeeded, declared_size).file;
    }

    test::TempFolder temp;
    const std::string path = temp.joined("song.mod");
};

TEST_F(TargetGuardTest, FileThePassMadeIsKeptOnSuccessAndRemovedOnFailure) {
    const auto write_song = [this] { test::write_file(path, "the song"); };

    EXPECT_EQ(run(write_song, true, 8).chars(), path);
    EXPECT_EQ(test::read_file(path), "the song");
    fs::remove(path);

    EXPECT_TRUE(run(write_song, false, 8).empty());
    EXPECT_FALSE(test::file_exists(path));

    // Success claimed, and nothing there.
    EXPECT_TRUE(run([] {}, true, 0).empty());
    EXPECT_TRUE(temp.files().empty());
}

TEST_F(TargetGuardTest, FileOfAnotherSizeThanDeclaredIsNotHandedOver) {
    for (uint64_t declared : {uint64_t{7}, uint64_t{9}, uint64_t{0}}) {
        EXPECT_TRUE(run([this] { test::write_file(path, "the song"); }, true, declared).empty()) << declared;
        EXPECT_TRUE(temp.files().empty()) << declared;
    }
}

TEST_F(TargetGuardTest, FileThereBeforeStaysUnlessThePassWroteIt) {
    test::write_file(path, "there before");
    EXPECT_TRUE(run([] {}, false, 12).empty());
    EXPECT_EQ(test::read_file(path), "there before");

    // A pass that fails having written another size.
    EXPECT_TRUE(run([this] { test::write_file(path, "half"); }, false, 12).empty());
    EXPECT_FALSE(test::file_exists(path));
}

// The libraries set a file's modification time to the member's. A pass
// that rewrites a file with as many bytes and puts its old time back has
// still written it: the change time, which no call sets, says so.
TEST_F(TargetGuardTest, RewriteWithTheSameSizeAndTimeIsSeen) {
    test::write_file(path, "there before");
    const fs::file_time_type old_time = fs::last_write_time(path);
    // Change times move with the kernel's clock tick, some milliseconds.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    const auto rewrite = [this, old_time] {
        test::write_file(path, "written over");
        fs::last_write_time(path, old_time);
    };
    EXPECT_TRUE(run(rewrite, false, 12).empty());
    EXPECT_FALSE(test::file_exists(path));
}

TEST_F(TargetGuardTest, FileStatesTellAbsentPresentAndSize) {
    const FileState absent = file_state(path.c_str());
    EXPECT_EQ(absent.kind, FileState::Kind::absent);
    EXPECT_EQ(file_state(temp.joined("no folder/song.mod").c_str()).kind, FileState::Kind::absent);
    EXPECT_TRUE(same_file_state(absent, file_state(path.c_str())));

    test::write_file(path, "12345");
    const FileState present = file_state(path.c_str());
    EXPECT_EQ(present.kind, FileState::Kind::present);
    EXPECT_EQ(present.size, 5u);
    EXPECT_TRUE(same_file_state(present, file_state(path.c_str())));
    EXPECT_FALSE(same_file_state(absent, present));

    FileState unknown;
    EXPECT_FALSE(same_file_state(unknown, unknown));
}

}  // namespace
}  // namespace voskel
