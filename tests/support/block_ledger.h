// Counts the blocks TextString takes from and gives back to the heap.
#pragma once

#include <cstddef>
#include <map>

#include "text/text_string.h"

namespace voskel::test {

// While alive, every TextString block goes through this ledger. Only one
// ledger may be alive at a time.
class BlockLedger {
public:
    BlockLedger();
    ~BlockLedger();
    BlockLedger(const BlockLedger&) = delete;
    BlockLedger& operator=(const BlockLedger&) = delete;

    int allocations() const { return allocations_; }
    int releases() const { return releases_; }
    int live_blocks() const { return static_cast<int>(live_.size()); }
    std::size_t last_size() const { return last_size_; }
    // Size of the block behind a string's characters; 0 if the ledger did not hand it out.
    std::size_t block_size(const TextString& text) const;

    // The heap runs dry after `count` more allocations.
    void fail_after(int count) { allocations_left_ = count; }

private:
    static void* allocate(std::size_t size);
    static void release(void* block);
    static BlockLedger* active_;

    TextBlockAllocator previous_;
    std::map<const void*, std::size_t> live_;
    int allocations_ = 0;
    int releases_ = 0;
    int allocations_left_ = -1;
    std::size_t last_size_ = 0;
};

}  // namespace voskel::test
