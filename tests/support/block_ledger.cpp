#include "support/block_ledger.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace voskel::test {

BlockLedger* BlockLedger::active_ = nullptr;

BlockLedger::BlockLedger() {
    active_ = this;
    previous_ = TextString::set_block_allocator({allocate, release});
}

BlockLedger::~BlockLedger() {
    TextString::set_block_allocator(previous_);
    active_ = nullptr;
}

std::size_t BlockLedger::block_size(const TextString& text) const {
    auto found = live_.find(text.chars() - 1);
    return found == live_.end() ? 0 : found->second;
}

void* BlockLedger::allocate(std::size_t size) {
    BlockLedger& ledger = *active_;
    if (ledger.allocations_left_ == 0) return nullptr;
    if (ledger.allocations_left_ > 0) --ledger.allocations_left_;
    void* block = std::malloc(size);
    ++ledger.allocations_;
    ledger.last_size_ = size;
    ledger.live_[block] = size;
    return block;
}

void BlockLedger::release(void* block) {
    BlockLedger& ledger = *active_;
    // A block from before the ledger was installed goes back where it came from.
    if (ledger.live_.erase(block) == 0) {
        ledger.previous_.release(block);
        return;
    }
    ++ledger.releases_;
    std::free(block);
}

}  // namespace voskel::test
