// reserve() asked for less than the text it carries: regression cases of
// the string fuzzer, which found the new block sized for the request alone
// (a write past it) and the shared empty text's count read for a negative one.
#include <gtest/gtest.h>

#include "support/block_ledger.h"
#include "text/text_string.h"

namespace voskel {
namespace {

TEST(TextStringReserve, RequestBelowTheLengthStillCarriesTheWholeText) {
    test::BlockLedger ledger;
    const TextString original("forty characters of text, to outgrow 32");
    ASSERT_EQ(original.length(), 39);
    TextString copy(original);
    copy.reserve(1);
    EXPECT_STREQ(copy.chars(), original.chars());
    EXPECT_EQ(copy.share_count(), 1);
    EXPECT_EQ(original.share_count(), 1);
    EXPECT_EQ(ledger.last_size(), 64u) << "sized for the 39 characters";
    EXPECT_EQ(copy.capacity(), 62);
}

TEST(TextStringReserve, NegativeRequestIsOneForNothing) {
    test::BlockLedger ledger;
    TextString empty;
    empty.reserve(-5);
    EXPECT_FALSE(empty.is_empty_shared());
    EXPECT_EQ(empty.capacity(), 30);
    EXPECT_STREQ(empty.chars(), "");
    TextString text("abc");
    text.reserve(-1);
    EXPECT_STREQ(text.chars(), "abc");
    EXPECT_EQ(ledger.allocations(), 2);
}

}  // namespace
}  // namespace voskel
