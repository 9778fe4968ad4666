// TextString copies and assignments against std::string's, for texts of 8,
// 100 and 4,000 characters, with the allocations each copy costs. Copies
// share one block up to 255 holders; the holder benchmarks keep that many
// (and more) copies alive while copying.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "text/text_string.h"

namespace voskel::bench {
namespace {

long text_blocks = 0;
long string_allocations = 0;

// std::allocator, counting: a basic_string with it is std::string but for
// the count, which is taken outside the timed loops.
template <typename T>
struct CountingAllocator : std::allocator<T> {
    using value_type = T;
    CountingAllocator() = default;
    template <typename U>
    CountingAllocator(const CountingAllocator<U>&) {}
    template <typename U>
    struct rebind {
        using other = CountingAllocator<U>;
    };
    T* allocate(std::size_t count) {
        ++string_allocations;
        return std::allocator<T>::allocate(count);
    }
};
using CountedString = std::basic_string<char, std::char_traits<char>, CountingAllocator<char>>;

// Allocations of one std::string copy (assign: one assignment) of length characters.
long string_copy_allocations(int64_t length, bool assign) {
    const CountedString first(static_cast<std::size_t>(length), 'x');
    const CountedString second(static_cast<std::size_t>(length), 'y');
    CountedString target(second);
    const long before = string_allocations;
    if (assign) {
        target = first;
    } else {
        CountedString copy(first);
        benchmark::DoNotOptimize(copy.data());
    }
    return string_allocations - before;
}

void* count_block(std::size_t size) {
    ++text_blocks;
    return std::malloc(size);
}

// Counts TextString's blocks while alive.
class BlockCount {
public:
    BlockCount() : previous_(TextString::set_block_allocator({count_block, std::free})) {}
    ~BlockCount() { TextString::set_block_allocator(previous_); }

private:
    TextBlockAllocator previous_;
};

std::string text_of(int64_t length) { return std::string(static_cast<std::size_t>(length), 'x'); }

void per_copy(benchmark::State& state, long allocations) {
    state.counters["allocs_per_copy"] =
        benchmark::Counter(static_cast<double>(allocations) / static_cast<double>(state.iterations()));
}

void BM_TextString_Copy(benchmark::State& state) {
    BlockCount count;
    const TextString source(text_of(state.range(0)).c_str());
    const long before = text_blocks;
    for (auto _ : state) {
        TextString copy(source);
        benchmark::DoNotOptimize(copy.chars());
    }
    per_copy(state, text_blocks - before);
}

void BM_StdString_Copy(benchmark::State& state) {
    const std::string source = text_of(state.range(0));
    for (auto _ : state) {
        std::string copy(source);
        benchmark::DoNotOptimize(copy.data());
    }
    state.counters["allocs_per_copy"] = static_cast<double>(string_copy_allocations(state.range(0), false));
}

void BM_TextString_Assign(benchmark::State& state) {
    BlockCount count;
    const TextString first(text_of(state.range(0)).c_str());
    const TextString second(text_of(state.range(0)).c_str());
    TextString target;
    const long before = text_blocks;
    bool flip = false;
    for (auto _ : state) {
        target = (flip = !flip) ? first : second;
        benchmark::DoNotOptimize(target.chars());
    }
    per_copy(state, text_blocks - before);
}

void BM_StdString_Assign(benchmark::State& state) {
    const std::string first = text_of(state.range(0));
    const std::string second = text_of(state.range(0));
    std::string target;
    bool flip = false;
    for (auto _ : state) {
        target = (flip = !flip) ? first : second;
        benchmark::DoNotOptimize(target.data());
    }
    state.counters["allocs_per_copy"] = static_cast<double>(string_copy_allocations(state.range(0), true));
}

// range(0) holders of one 100-character text, each iteration replacing one
// of them with a fresh copy: no allocation while they fit one block's count.
void BM_TextString_CopyAmongHolders(benchmark::State& state) {
    BlockCount count;
    const TextString source(text_of(100).c_str());
    std::vector<TextString> holders(static_cast<std::size_t>(state.range(0)) - 1, source);
    const long before = text_blocks;
    std::size_t next = 0;
    for (auto _ : state) {
        holders[next] = source;
        next = next + 1 == holders.size() ? 0 : next + 1;
    }
    per_copy(state, text_blocks - before);
}

BENCHMARK(BM_TextString_Copy)->Arg(8)->Arg(100)->Arg(4000);
BENCHMARK(BM_StdString_Copy)->Arg(8)->Arg(100)->Arg(4000);
BENCHMARK(BM_TextString_Assign)->Arg(8)->Arg(100)->Arg(4000);
BENCHMARK(BM_StdString_Assign)->Arg(8)->Arg(100)->Arg(4000);
BENCHMARK(BM_TextString_CopyAmongHolders)->Arg(2)->Arg(255)->Arg(256)->Arg(300);

}  // namespace
}  // namespace voskel::bench
