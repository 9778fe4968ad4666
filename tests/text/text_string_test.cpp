#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/block_ledger.h"
#include "text/text_string.h"

namespace voskel {
namespace {

using test::BlockLedger;

TEST(TextStringEmpty, EmptyStringsTakeNoBlocks) {
    BlockLedger ledger;
    {
        TextString made_empty;
        TextString from_null(static_cast<const char*>(nullptr));
        TextString from_nothing("");
        TextString no_count(0, "abc");
        TextString negative_count(-5, "abc");
        TextString null_with_count(3, nullptr);
        TextString copy_of_empty(made_empty);
        TextString assigned;
        assigned = from_nothing;
        for (const TextString* text : {&made_empty, &from_null, &from_nothing, &no_count, &negative_count,
                                       &null_with_count, &copy_of_empty, &assigned}) {
            EXPECT_TRUE(text->is_empty_shared());
            EXPECT_EQ(text->length(), 0);
            EXPECT_EQ(text->capacity(), 0);
            EXPECT_EQ(text->share_count(), 0);
            EXPECT_STREQ(text->chars(), "");
        }
    }
    EXPECT_EQ(ledger.allocations(), 0);
    EXPECT_EQ(ledger.releases(), 0);
}

TEST(TextStringEmpty, EmptyTextCanStillHoldABlock) {
    BlockLedger ledger;
    TextString reserved;
    reserved.reserve(0);
    EXPECT_FALSE(reserved.is_empty_shared());
    EXPECT_EQ(reserved.length(), 0);
    EXPECT_EQ(reserved.capacity(), 30);
    EXPECT_EQ(ledger.allocations(), 1);
    reserved.clear();
    EXPECT_TRUE(reserved.is_empty_shared());
    EXPECT_EQ(ledger.live_blocks(), 0);
}

TEST(TextStringBlocks, ReserveSizesAreWholeGranules) {
    struct Row {
        int32_t needed;
        std::size_t block;
        int32_t capacity;
    };
    const Row rows[] = {{0, 32, 30}, {1, 32, 30}, {30, 32, 30}, {31, 64, 62},
                        {62, 64, 62}, {63, 96, 94}, {94, 96, 94}, {95, 128, 126}};
    for (const Row& row : rows) {
        BlockLedger ledger;
        TextString text;
        text.reserve(row.needed);
        EXPECT_EQ(ledger.last_size(), row.block) << "reserve(" << row.needed << ")";
        EXPECT_EQ(text.capacity(), row.capacity) << "reserve(" << row.needed << ")";
        EXPECT_EQ(text.share_count(), 1);
        EXPECT_STREQ(text.chars(), "");
    }
}

TEST(TextStringBlocks, ReserveKeepsTextAndReusesRoomItHas) {
    BlockLedger ledger;
    TextString text("hello");
    const char* block = text.chars();
    text.reserve(20);
    EXPECT_EQ(text.chars(), block) << "room for 20 was already there";
    text.reserve(40);
    EXPECT_NE(text.chars(), block);
    EXPECT_STREQ(text.chars(), "hello");
    EXPECT_EQ(text.length(), 5);
    EXPECT_EQ(text.capacity(), 62);
    EXPECT_EQ(ledger.live_blocks(), 1);
}

TEST(TextStringBlocks, GrowthIsExactNotGeometric) {
    BlockLedger ledger;
    TextString text;
    for (int i = 0; i < 100; ++i) text.append("x");
    // Blocks of 32, 64, 96 and 128 bytes: a new one each time 30, 62 and 94 are outgrown.
    EXPECT_EQ(ledger.allocations(), 4);
    EXPECT_EQ(ledger.block_size(text), 128u);
    EXPECT_EQ(ledger.live_blocks(), 1);
    EXPECT_EQ(text.length(), 100);
}

TEST(TextStringSharing, CopiesShareOneBlock) {
    BlockLedger ledger;
    TextString original("song.mod");
    const int blocks_before = ledger.allocations();
    TextString copy(original);
    TextString assigned;
    assigned = original;
    std::vector<TextString> list(3, original);
    EXPECT_EQ(ledger.allocations(), blocks_before);
    EXPECT_EQ(copy.chars(), original.chars());
    EXPECT_EQ(assigned.chars(), original.chars());
    EXPECT_EQ(original.share_count(), 6);
    EXPECT_EQ(copy.capacity(), 0) << "a holder that shares may not write";
    EXPECT_EQ(original.capacity(), 30);
}

TEST(TextStringSharing, ReturningByValueCopiesNothing) {
    BlockLedger ledger;
    TextString original("C:\\Music\\Song.mdz");
    auto pass_through = [](TextString text) { return text; };
    TextString result = pass_through(original);
    EXPECT_EQ(result.chars(), original.chars());
    EXPECT_EQ(ledger.allocations(), 1);
    EXPECT_EQ(original.share_count(), 2);
}

TEST(TextStringSharing, TheTwoHundredFiftyFifthCopyIsPrivate) {
    BlockLedger ledger;
    TextString original("shared");
    std::vector<TextString> holders;
    holders.reserve(300);
    for (int i = 0; i < 254; ++i) holders.push_back(original);
    EXPECT_EQ(original.share_count(), TextString::share_limit);
    EXPECT_EQ(ledger.live_blocks(), 1);

    holders.push_back(original);
    const TextString& private_copy = holders.back();
    EXPECT_NE(private_copy.chars(), original.chars());
    EXPECT_STREQ(private_copy.chars(), "shared");
    EXPECT_EQ(private_copy.share_count(), 1);
    EXPECT_EQ(original.share_count(), 255) << "the full block is left alone";
    EXPECT_EQ(ledger.live_blocks(), 2);

    holders.erase(holders.begin());
    EXPECT_EQ(original.share_count(), 254);
    TextString next(original);
    EXPECT_EQ(next.chars(), original.chars()) << "room for one more holder again";
    EXPECT_EQ(original.share_count(), 255);
}

TEST(TextStringSharing, WritingThroughACopyLeavesTheOthersAlone) {
    BlockLedger ledger;
    TextString original("abc");
    TextString copy(original);
    copy.append("d");
    EXPECT_STREQ(original.chars(), "abc");
    EXPECT_STREQ(copy.chars(), "abcd");
    EXPECT_NE(copy.chars(), original.chars());
    EXPECT_EQ(original.share_count(), 1);
    EXPECT_EQ(copy.share_count(), 1);
}

TEST(TextStringSharing, ASharingHolderTakesANewBlockEvenWhenLeftAlone) {
    BlockLedger ledger;
    TextString copy;
    {
        TextString original("abc");
        copy = original;
    }
    EXPECT_EQ(copy.share_count(), 1);
    EXPECT_EQ(copy.capacity(), 0);
    const char* shared_block = copy.chars();
    copy.append("d");
    EXPECT_NE(copy.chars(), shared_block) << "capacity 0: it never obtained room of its own";
    EXPECT_STREQ(copy.chars(), "abcd");
    EXPECT_EQ(ledger.live_blocks(), 1);
}

TEST(TextStringSharing, TheReservingHolderWritesInPlaceOnceAloneAgain) {
    BlockLedger ledger;
    TextString owner("abc");
    const char* block = owner.chars();
    {
        TextString copy(owner);
        owner.append("d");
        EXPECT_NE(owner.chars(), block) << "shared: must not write in place";
        EXPECT_STREQ(copy.chars(), "abc");
    }
    block = owner.chars();
    owner.append("e");
    EXPECT_EQ(owner.chars(), block);
    EXPECT_STREQ(owner.chars(), "abcde");
}

TEST(TextStringSharing, AppendingASharerOfTheSameBlock) {
    BlockLedger ledger;
    TextString text("ab");
    TextString same(text);
    text.append(same);
    EXPECT_STREQ(text.chars(), "abab");
    EXPECT_STREQ(same.chars(), "ab");
}

TEST(TextStringAssign, SelfAssignmentChangesNothing) {
    BlockLedger ledger;
    TextString text("abc");
    TextString copy(text);
    TextString& alias = text;
    text = alias;
    EXPECT_STREQ(text.chars(), "abc");
    EXPECT_EQ(text.share_count(), 2);
    EXPECT_EQ(ledger.allocations(), 1);
}

TEST(TextStringAssign, AssigningReleasesTheOldBlock) {
    BlockLedger ledger;
    TextString text("first");
    text = "second";
    EXPECT_STREQ(text.chars(), "second");
    EXPECT_EQ(ledger.live_blocks(), 1);
    text = static_cast<const char*>(nullptr);
    EXPECT_TRUE(text.is_empty_shared());
    EXPECT_EQ(ledger.live_blocks(), 0);
}

TEST(TextStringAssign, MovingHandsTheBlockOver) {
    BlockLedger ledger;
    TextString source("moved");
    const char* block = source.chars();
    TextString target(std::move(source));
    EXPECT_EQ(target.chars(), block);
    EXPECT_TRUE(source.is_empty_shared());
    TextString other("other");
    other = std::move(target);
    EXPECT_EQ(other.chars(), block);
    EXPECT_EQ(ledger.live_blocks(), 1);
}

TEST(TextStringText, ConstructFromCountAndText) {
    EXPECT_STREQ(TextString(3, "abcdef").chars(), "abc");
    EXPECT_EQ(TextString(3, "abcdef").length(), 3);
    EXPECT_STREQ(TextString(10, "abc").chars(), "abc");
    EXPECT_EQ(TextString(10, "abc").length(), 3);
}

TEST(TextStringText, AppendPlainText) {
    TextString text("C:");
    text.append(static_cast<const char*>(nullptr));
    EXPECT_STREQ(text.chars(), "C:");
    text.append("\\Temp").append(TextString("\\x"));
    EXPECT_STREQ(text.chars(), "C:\\Temp\\x");
    EXPECT_EQ(text.length(), 9);
}

TEST(TextStringText, Equals) {
    const TextString empty;
    const TextString song("mdz");
    EXPECT_TRUE(empty.equals(nullptr));
    EXPECT_TRUE(empty.equals(""));
    EXPECT_FALSE(song.equals(nullptr));
    EXPECT_FALSE(song.equals(""));
    EXPECT_TRUE(song.equals("mdz"));
    EXPECT_FALSE(song.equals("MDZ")) << "letter case is significant";
    EXPECT_FALSE(song.equals("md"));
    EXPECT_FALSE(song.equals("mdzz"));
}

TEST(TextStringText, Substring) {
    const TextString abc("abc");
    EXPECT_TRUE(abc.substring(3, 1).is_empty_shared());
    EXPECT_TRUE(abc.substring(7, -1).is_empty_shared());
    EXPECT_STREQ(abc.substring(0, -1).chars(), "abc");
    EXPECT_TRUE(abc.substring(1, 0).is_empty_shared());
    EXPECT_STREQ(abc.substring(1, 1000).chars(), "bc");
    EXPECT_STREQ(abc.substring(1, 1).chars(), "b");
    EXPECT_EQ(abc.substring(1, 1000).length(), 2);
}

TEST(TextStringText, UpperCaseFoldsOnlyAsciiLetters) {
    TextString text("az AZ 09 {}`@ \x80\xe9\xff");
    text.to_upper();
    EXPECT_STREQ(text.chars(), "AZ AZ 09 {}`@ \x80\xe9\xff");
}

TEST(TextStringHeapDeathTest, AStringThatCannotGetABlockStopsTheProcess) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(
        {
            BlockLedger ledger;
            TextString text("kept");
            ledger.fail_after(0);
            text.append(" and a good deal more text than its block can hold");
        },
        "");
}

}  // namespace
}  // namespace voskel
