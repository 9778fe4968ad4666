#include "text/text_string.h"

#include <cstdlib>
#include <cstring>

#include "text/path_characters.h"

namespace voskel {

namespace {

void* allocate_from_heap(std::size_t size) { return std::malloc(size); }
void release_to_heap(void* block) { std::free(block); }

TextBlockAllocator block_allocator = {allocate_from_heap, release_to_heap};

// The string operations have no failure path: a string that cannot get a
// block stops the process here, before any holder points at memory it does
// not own.
[[noreturn]] void heap_exhausted() { std::abort(); }

int32_t text_length(const char* text) {
    return text ? static_cast<int32_t>(std::strlen(text)) : 0;
}

}  // namespace

char TextString::shared_empty_[1] = {'\0'};

TextBlockAllocator TextString::set_block_allocator(TextBlockAllocator allocator) {
    TextBlockAllocator previous = block_allocator;
    block_allocator = allocator;
    return previous;
}

TextString::TextString(const TextString& other) : TextString() { share_from(other); }

TextString::TextString(TextString&& other) noexcept
    : length_(other.length_), capacity_(other.capacity_), chars_(other.chars_) {
    other.become_empty_shared();
}

TextString::TextString(const char* text) : TextString() { copy_from_text(text); }

TextString::TextString(int32_t count, const char* text) : TextString() {
    if (text == nullptr || count <= 0) return;
    int32_t taken = 0;
    while (taken < count && text[taken] != '\0') ++taken;
    reserve(taken);
    std::memcpy(chars_, text, static_cast<std::size_t>(taken));
    chars_[taken] = '\0';
    length_ = taken;
}

TextString::~TextString() {
    if (!is_empty_shared()) release();
}

TextString& TextString::operator=(TextString&& other) noexcept {
    if (this == &other) return *this;
    if (!is_empty_shared()) release();
    length_ = other.length_;
    capacity_ = other.capacity_;
    chars_ = other.chars_;
    other.become_empty_shared();
    return *this;
}

TextString& TextString::assign(const TextString& other) {
    if (this == &other) return *this;
    clear();
    share_from(other);
    return *this;
}

TextString& TextString::assign(const char* text) {
    clear();
    copy_from_text(text);
    return *this;
}

void TextString::clear() {
    if (!is_empty_shared()) release();
    become_empty_shared();
}

int32_t TextString::share_count() const { return is_empty_shared() ? 0 : share_byte(); }

bool TextString::owns_block_alone() const { return !is_empty_shared() && share_byte() <= 1; }

void TextString::become_empty_shared() {
    length_ = 0;
    capacity_ = 0;
    chars_ = shared_empty_;
}

void TextString::release() {
    uint8_t& holders = share_byte();
    if (--holders == 0) block_allocator.release(chars_ - 1);
}

// Called on an empty-shared string.
void TextString::share_from(const TextString& source) {
    if (source.length_ <= 0) return;
    if (source.share_byte() < share_limit) {
        ++source.share_byte();
        chars_ = source.chars_;
        length_ = source.length_;
        return;
    }
    reserve(source.length_);
    std::memcpy(chars_, source.chars_, static_cast<std::size_t>(source.length_) + 1);
    length_ = source.length_;
}

// Called on an empty-shared string.
void TextString::copy_from_text(const char* text) {
    const int32_t count = text_length(text);
    if (count <= 0) return;
    reserve(count);
    std::memcpy(chars_, text, static_cast<std::size_t>(count) + 1);
    length_ = count;
}

void TextString::reserve(int32_t needed) {
    // The text is carried over: a smaller (or negative) request would size
    // the new block too small for it.
    if (needed < length_) needed = length_;
    // The share count is read only once the first two tests pass, so the
    // shared empty text (capacity 0) is never asked for one.
    if (capacity_ >= needed && needed != 0 && share_byte() <= 1) return;

    const int32_t size = (needed + size_granule + 1) / size_granule * size_granule;
    auto* block = static_cast<char*>(block_allocator.allocate(static_cast<std::size_t>(size)));
    if (block == nullptr) heap_exhausted();
    block[0] = 1;
    char* fresh = block + 1;
    if (is_empty_shared()) {
        fresh[0] = '\0';
    } else {
        std::memcpy(fresh, chars_, static_cast<std::size_t>(length_) + 1);
        release();
    }
    chars_ = fresh;
    capacity_ = size - 2;
}

TextString& TextString::append(const TextString& tail) {
    if (tail.length_ <= 0) return *this;
    const int32_t tail_length = tail.length_;
    // reserve() may give up a block that tail still shares; tail keeps it alive.
    reserve(length_ + tail_length);
    std::memcpy(chars_ + length_, tail.chars_, static_cast<std::size_t>(tail_length) + 1);
    length_ += tail_length;
    return *this;
}

TextString& TextString::append(const char* tail) {
    if (tail == nullptr) return *this;
    const int32_t tail_length = text_length(tail);
    reserve(length_ + tail_length);
    std::memcpy(chars_ + length_, tail, static_cast<std::size_t>(tail_length) + 1);
    length_ += tail_length;
    return *this;
}

bool TextString::equals(const char* text) const {
    if (text == nullptr) return length_ == 0;
    return std::strcmp(chars_, text) == 0;
}

TextString TextString::substring(int32_t pos, int32_t count) const {
    if (pos >= length_) return TextString();
    const int32_t remaining = length_ - pos;
    if (count < 0 || count > remaining) count = remaining;
    return TextString(count, chars_ + pos);
}

TextString& TextString::to_upper() {
    for (int32_t i = 0; i < length_; ++i) {
        if (chars_[i] >= 'a' && chars_[i] <= 'z') chars_[i] = static_cast<char>(chars_[i] - 'a' + 'A');
    }
    return *this;
}

TextString TextString::directory_part(PathStyle style) const {
    const int32_t separator = last_path_separator(chars_, length_, style);
    if (separator < 0) return TextString();
    // A POSIX path directly under the root keeps the root.
    if (separator == 0 && style == PathStyle::posix) return TextString("/");
    return substring(0, separator);
}

TextString TextString::extension(PathStyle style) const {
    int32_t separator = -1;
    int32_t dot = -1;
    for (int32_t i = 0; i < length_; i += static_cast<int32_t>(character_length(chars_ + i))) {
        if (is_path_separator(chars_[i], style)) {
            separator = i;
        } else if (chars_[i] == '.') {
            dot = i;
        }
    }
    if (dot < 0 || dot < separator) return TextString();
    TextString result = substring(dot + 1, -1);
    result.to_upper();
    return result;
}

TextString& TextString::join_path(const TextString& name, PathStyle style) {
    const char separator = joining_separator(style);
    // The last character, not the last byte: a double-byte character may end in the byte of '\\'.
    const int32_t last = last_character_start(chars_, length_);
    if (last >= 0 && chars_[last] != separator) {
        const char text[2] = {separator, '\0'};
        append(text);
    }
    return append(name);
}

bool TextString::load_env(const char* variable) {
    const char* value = system_calls().get_env(variable);
    if (value == nullptr) return false;
    const int32_t count = text_length(value);
    if (!(capacity_ >= count && count != 0 && share_byte() <= 1)) {
        clear();
        reserve(count);
    }
    std::memcpy(chars_, value, static_cast<std::size_t>(count) + 1);
    length_ = count;
    return true;
}

void TextString::load_module_path(LibraryHandle library) {
    if (!owns_block_alone()) clear();
    if (capacity_ == 0) reserve(size_granule);
    for (;;) {
        const uint32_t written = system_calls().module_file_name(
            library, chars_, static_cast<uint32_t>(capacity_));
        // A count of capacity - 1 may be complete, but cannot be told apart
        // from a name cut short by one character; read again in a larger block.
        if (written < static_cast<uint32_t>(capacity_ - 1)) {
            length_ = static_cast<int32_t>(written);
            chars_[length_] = '\0';
            return;
        }
        const int32_t tried = capacity_;
        clear();
        reserve(tried + size_granule);
    }
}

}  // namespace voskel
