// TextString: a counted string of 8-bit characters with value semantics.
//
// Copies share one heap block and count their holders in a single byte in
// front of the characters, so copying, passing and returning by value cost
// neither allocation nor character copy (up to 255 holders; the next copy
// gets a private duplicate). A holder duplicates the block before it writes,
// unless it obtained the block itself through reserve() and is its only
// holder. Empty strings point at one static NUL and allocate nothing.
//
// The same type carries the path operations the plugin needs. Paths follow a
// PathStyle (see platform.h), the build's own by default, and are read by
// characters of the code page (path_characters.h).
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/platform.h"

namespace voskel {

// Where TextString takes its blocks from. Every block goes through these two
// functions, so tests can count blocks and their sizes or make the heap run dry.
struct TextBlockAllocator {
    void* (*allocate)(std::size_t size);  // null means the heap is exhausted
    void (*release)(void* block);
};

class TextString {
public:
    static constexpr int32_t share_limit = 255;
    static constexpr int32_t size_granule = 32;

    constexpr TextString() noexcept : length_(0), capacity_(0), chars_(shared_empty_) {}
    TextString(const TextString& other);
    TextString(TextString&& other) noexcept;
    // Null or "" gives an empty string; anything else a private copy.
    explicit TextString(const char* text);
    // The first min(count, strlen(text)) characters of text.
    TextString(int32_t count, const char* text);
    ~TextString();

    TextString& operator=(const TextString& other) { return assign(other); }
    TextString& operator=(TextString&& other) noexcept;
    TextString& operator=(const char* text) { return assign(text); }

    TextString& assign(const TextString& other);
    TextString& assign(const char* text);
    void clear();

    // Afterwards the string holds a private block with room for at least
    // `needed` characters and still holds its text. Block sizes are exact
    // multiples of size_granule, chosen from `needed` alone; a request below
    // the current length (or negative) counts as one for the length.
    void reserve(int32_t needed);

    TextString& append(const TextString& tail);
    TextString& append(const char* tail);

    // Byte-exact comparison, letter case significant. Null equals only "".
    bool equals(const char* text) const;

    // count characters from pos; a negative or too large count means "to the end".
    TextString substring(int32_t pos, int32_t count) const;

    // a-z become A-Z in place; every other byte is left alone. Only for a
    // string that holds its block alone.
    TextString& to_upper();

    // The path without its last component and the separator before it.
    TextString directory_part(PathStyle style = native_path_style()) const;
    // What follows the last '.' of the last component, upper-cased; empty if none.
    TextString extension(PathStyle style = native_path_style()) const;
    // Appends a separator unless empty or already ending in one, then name.
    TextString& join_path(const TextString& name, PathStyle style = native_path_style());

    // Whether the variable is set; if so the string now holds its value.
    bool load_env(const char* variable);
    // The full file name of a loaded library. Called on an empty string.
    void load_module_path(LibraryHandle library);

    int32_t length() const { return length_; }
    int32_t capacity() const { return capacity_; }
    const char* chars() const { return chars_; }
    bool empty() const { return length_ == 0; }

    // How many strings hold this string's block; 0 for the shared empty text.
    int32_t share_count() const;
    bool is_empty_shared() const { return chars_ == shared_empty_; }

    // Replaces the block allocator and returns the previous one. For tests.
    static TextBlockAllocator set_block_allocator(TextBlockAllocator allocator);

private:
    void release();
    void become_empty_shared();
    void share_from(const TextString& source);
    void copy_from_text(const char* text);
    bool owns_block_alone() const;
    uint8_t& share_byte() const { return reinterpret_cast<uint8_t*>(chars_)[-1]; }

    int32_t length_;
    int32_t capacity_;
    char* chars_;

    static char shared_empty_[1];
};

}  // namespace voskel
