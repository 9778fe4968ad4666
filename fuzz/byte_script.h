// Reads a fuzzer's input as a script: small numbers and texts taken from
// the front, zeros once the bytes run out, so every input is a whole script.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace voskel::fuzz {

class ByteScript {
public:
    ByteScript(const uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    bool done() const { return pos_ >= size_; }

    uint8_t byte() { return pos_ < size_ ? data_[pos_++] : 0; }

    // 0 .. limit - 1.
    unsigned below(unsigned limit) { return limit == 0 ? 0 : byte() % limit; }

    uint16_t word() {
        const uint16_t low = byte();
        return static_cast<uint16_t>(low | (byte() << 8));
    }

    // A length byte, then that many bytes; NULs included, as a caller may
    // want to see them cut a text short.
    std::string text() {
        const std::size_t length = byte();
        const std::size_t taken = length < size_ - pos_ ? length : size_ - pos_;
        std::string result(reinterpret_cast<const char*>(data_ + pos_), taken);
        pos_ += taken;
        return result;
    }

    // Everything not read yet.
    std::string rest() {
        std::string result(reinterpret_cast<const char*>(data_ + pos_), size_ - pos_);
        pos_ = size_;
        return result;
    }

private:
    const uint8_t* data_;
    std::size_t size_;
    std::size_t pos_ = 0;
};

// Stops the process with a message; libFuzzer keeps the input that got here.
[[noreturn]] inline void fail(const char* what, const std::string& detail = std::string()) {
    std::fprintf(stderr, "FINDING: %s%s%s\n", what, detail.empty() ? "" : ": ", detail.c_str());
    std::abort();
}

}  // namespace voskel::fuzz
