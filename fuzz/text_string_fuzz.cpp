// TextString and its path operations, driven by a byte script and checked
// against plain std::string models. After every step each string holds its
// model's text, every block is counted by exactly the strings that hold it
// (so no count leaks or drifts), and no block is held by nobody; after the
// script every block taken has been given back.
#include <cstring>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "byte_script.h"
#include "extract/member_path.h"
#include "platform/platform.h"
#include "text/text_string.h"

namespace voskel::fuzz {
namespace {

struct Census {
    std::map<const void*, std::size_t> live;
    long taken = 0;
    long given_back = 0;
};
Census census;

void* take_block(std::size_t size) {
    if (size == 0 || size % TextString::size_granule != 0) fail("block size is not whole granules", std::to_string(size));
    void* block = std::malloc(size);
    census.live[block] = size;
    ++census.taken;
    return block;
}

void give_back_block(void* block) {
    if (census.live.erase(block) == 0) fail("a block given back that is not held");
    ++census.given_back;
    std::free(block);
}

// What the environment and the loader answer, chosen by the script.
bool variable_set = false;
std::string variable_value;
std::string module_name;

const char* scripted_env(const char*) { return variable_set ? variable_value.c_str() : nullptr; }

// As GetModuleFileNameA on Windows XP: a name cut short fills the buffer and
// has no NUL.
uint32_t scripted_module_name(LibraryHandle, char* buffer, uint32_t size) {
    if (module_name.empty() || size == 0) return 0;
    if (module_name.size() < size) {
        std::memcpy(buffer, module_name.c_str(), module_name.size() + 1);
        return static_cast<uint32_t>(module_name.size());
    }
    std::memcpy(buffer, module_name.data(), size);
    return size;
}

// The text a C string holds: up to its first NUL.
std::string c_text(const std::string& bytes) { return std::string(bytes.c_str()); }

// ---- the path rules, written out plainly ---------------------------------

bool separates(char c, PathStyle style) { return style == PathStyle::windows ? (c == '\\' || c == ':') : c == '/'; }

long last_separator(const std::string& path, PathStyle style) {
    for (long i = static_cast<long>(path.size()) - 1; i >= 0; --i) {
        if (separates(path[static_cast<std::size_t>(i)], style)) return i;
    }
    return -1;
}

std::string expected_directory(const std::string& path, PathStyle style) {
    const long separator = last_separator(path, style);
    if (separator < 0) return "";
    if (separator == 0 && style == PathStyle::posix) return "/";
    return path.substr(0, static_cast<std::size_t>(separator));
}

std::string expected_extension(const std::string& path, PathStyle style) {
    const std::size_t component = static_cast<std::size_t>(last_separator(path, style) + 1);
    const std::size_t dot = path.rfind('.');
    if (dot == std::string::npos || dot < component) return "";
    std::string result = path.substr(dot + 1);
    for (char& c : result) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return result;
}

std::string expected_join(std::string left, const std::string& name, PathStyle style) {
    const char separator = style == PathStyle::windows ? '\\' : '/';
    if (!left.empty() && left.back() != separator) left += separator;
    return left + name;
}

// The plugin's private folders in TMP and their locks: "in_voskel-..."
// (letter case aside on Windows), and on Windows a first folder that could
// be a short 8.3 alias of one.
bool reaches_private_folder(const std::string& first, bool more_follow, PathStyle style) {
    const std::string prefix = "in_voskel-";
    if (first.size() >= prefix.size()) {
        std::string head = first.substr(0, prefix.size());
        if (style == PathStyle::windows) {
            for (char& c : head) {
                if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
            }
        }
        if (head == prefix) return true;
    }
    return style == PathStyle::windows && more_follow && first.find('~') != std::string::npos;
}

// Stays below the folder it is joined to, in one spelling, and out of the
// private folders.
bool expected_safe(const std::string& name, PathStyle style) {
    if (name.empty()) return false;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= name.size(); ++i) {
        if (i < name.size() && name[i] != '/' && name[i] != '\\') {
            const unsigned char c = static_cast<unsigned char>(name[i]);
            if (c == ':') return false;
            if (style == PathStyle::windows && (c < 0x20 || std::strchr("<>\"|?*", c) != nullptr)) return false;
            continue;
        }
        const std::string component = name.substr(start, i - start);
        if (component.empty() || component == "." || component == "..") return false;
        if (start == 0 && reaches_private_folder(component, i < name.size(), style)) return false;
        if (style == PathStyle::windows && (component.back() == '.' || component.back() == ' ')) return false;
        start = i + 1;
    }
    return true;
}

bool expected_folder(const std::string& name) { return !name.empty() && (name.back() == '/' || name.back() == '\\'); }

// ---- the strings and their models ----------------------------------------

constexpr unsigned slot_count = 6;
// Appending a string to itself doubles it; a script may not grow texts past this.
constexpr std::size_t longest_text = 1 << 14;
constexpr std::size_t crowd_limit = 800;

struct Strings {
    TextString slot[slot_count];
    std::string model[slot_count];
    std::vector<TextString> crowd;
    std::vector<std::string> crowd_model;
};

void check_one(const TextString& text, const std::string& model, std::map<const char*, int>& holders) {
    if (text.length() != static_cast<int32_t>(model.size())) {
        fail("length differs from the model", std::to_string(text.length()) + " for \"" + model + "\"");
    }
    if (std::memcmp(text.chars(), model.data(), model.size()) != 0) fail("text differs from the model", model);
    if (text.chars()[text.length()] != '\0') fail("text lacks its NUL");
    if (text.is_empty_shared()) {
        if (text.length() != 0 || text.capacity() != 0 || text.share_count() != 0) fail("empty-shared string with a size");
        return;
    }
    const auto block = census.live.find(text.chars() - 1);
    if (block == census.live.end()) fail("string points at no block it holds");
    if (text.capacity() != 0) {
        if (static_cast<std::size_t>(text.capacity()) + 2 != block->second) fail("capacity does not fit the block");
        if (text.length() > text.capacity()) fail("text longer than the capacity");
    }
    ++holders[text.chars()];
}

void check_all(const Strings& strings) {
    std::map<const char*, int> holders;
    for (unsigned i = 0; i < slot_count; ++i) check_one(strings.slot[i], strings.model[i], holders);
    for (std::size_t i = 0; i < strings.crowd.size(); ++i) check_one(strings.crowd[i], strings.crowd_model[i], holders);
    for (const auto& [chars, count] : holders) {
        const int counted = static_cast<uint8_t>(chars[-1]);
        if (counted != count) {
            fail("share count differs from the holders", std::to_string(counted) + " vs " + std::to_string(count));
        }
        if (count > TextString::share_limit) fail("more holders than the share limit");
    }
    if (holders.size() != census.live.size()) fail("a block is held by no string");
}

PathStyle style_of(ByteScript& script) { return script.below(2) == 0 ? PathStyle::windows : PathStyle::posix; }

void step(Strings& s, ByteScript& script) {
    const unsigned op = script.below(24);
    const unsigned a = script.below(slot_count);
    const unsigned b = script.below(slot_count);
    switch (op) {
        case 0: {
            const std::string text = script.text();
            s.slot[a] = TextString(text.c_str());
            s.model[a] = c_text(text);
            break;
        }
        case 1: {
            const auto count = static_cast<int8_t>(script.byte());
            const bool null_text = script.below(4) == 0;
            const std::string text = script.text();
            s.slot[a] = TextString(count, null_text ? nullptr : text.c_str());
            s.model[a] = (null_text || count <= 0) ? "" : c_text(text).substr(0, static_cast<std::size_t>(count));
            break;
        }
        case 2:
            s.slot[a] = s.slot[b];
            s.model[a] = s.model[b];
            break;
        case 3: {
            TextString& source = s.slot[b];
            s.slot[a] = std::move(source);
            if (a != b) {
                s.model[a] = s.model[b];
                s.model[b].clear();
            }
            break;
        }
        case 4: {
            const TextString copy(s.slot[b]);
            s.slot[a].assign(copy);
            s.model[a] = s.model[b];
            break;
        }
        case 5: {
            const bool null_text = script.below(4) == 0;
            const std::string text = script.text();
            s.slot[a].assign(null_text ? nullptr : text.c_str());
            s.model[a] = null_text ? "" : c_text(text);
            break;
        }
        case 6:
            s.slot[a].clear();
            s.model[a].clear();
            break;
        case 7: {
            const int32_t needed = static_cast<int16_t>(script.word()) % 700;
            s.slot[a].reserve(needed);
            if (s.slot[a].capacity() < needed || s.slot[a].share_count() != 1) fail("reserve left no private room");
            break;
        }
        case 8: {
            const std::string tail = s.model[b];
            if (s.model[a].size() + tail.size() > longest_text) break;
            if (a == b) {
                const TextString copy(s.slot[a]);
                s.slot[a].append(copy);
            } else {
                s.slot[a].append(s.slot[b]);
            }
            s.model[a] += tail;
            break;
        }
        case 9: {
            const bool null_text = script.below(4) == 0;
            const std::string text = script.text();
            if (s.model[a].size() + text.size() > longest_text) break;
            s.slot[a].append(null_text ? nullptr : text.c_str());
            if (!null_text) s.model[a] += c_text(text);
            break;
        }
        case 10: {
            const bool null_text = script.below(4) == 0;
            const std::string text = script.text();
            const bool expected = null_text ? s.model[a].empty() : s.model[a] == c_text(text);
            if (s.slot[a].equals(null_text ? nullptr : text.c_str()) != expected) fail("equals", s.model[a]);
            break;
        }
        case 11: {
            const int32_t pos = script.word() % 300;
            const int32_t count = static_cast<int16_t>(script.word()) % 300;
            const std::string source = s.model[a];
            s.slot[b] = s.slot[a].substring(pos, count);
            const std::size_t from = static_cast<std::size_t>(pos);
            s.model[b] = from >= source.size()
                             ? ""
                             : source.substr(from, count < 0 ? std::string::npos : static_cast<std::size_t>(count));
            break;
        }
        case 12:
            // Only a string that holds its block alone may be written in place.
            if (s.slot[a].share_count() <= 1) {
                s.slot[a].to_upper();
                for (char& c : s.model[a]) {
                    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
                }
            }
            break;
        case 13: {
            const PathStyle style = style_of(script);
            const std::string source = s.model[a];
            s.slot[b] = s.slot[a].directory_part(style);
            s.model[b] = expected_directory(source, style);
            break;
        }
        case 14: {
            const PathStyle style = style_of(script);
            const std::string source = s.model[a];
            s.slot[b] = s.slot[a].extension(style);
            s.model[b] = expected_extension(source, style);
            break;
        }
        case 15: {
            const PathStyle style = style_of(script);
            const std::string name = s.model[b];
            if (s.model[a].size() + name.size() + 1 > longest_text) break;
            if (a == b) {
                const TextString copy(s.slot[a]);
                s.slot[a].join_path(copy, style);
            } else {
                s.slot[a].join_path(s.slot[b], style);
            }
            s.model[a] = expected_join(s.model[a], name, style);
            break;
        }
        case 16: {
            variable_set = script.below(4) != 0;
            variable_value = c_text(script.text());
            if (s.slot[a].load_env("VOSKEL_FUZZ") != variable_set) fail("load_env answered wrongly");
            if (variable_set) s.model[a] = variable_value;
            break;
        }
        case 17: {
            if (!s.model[a].empty()) break;  // only called on an empty string
            const unsigned repeats = 1 + script.below(5);
            const std::string part = c_text(script.text());
            module_name.clear();
            for (unsigned i = 0; i < repeats; ++i) module_name += part;
            s.slot[a].load_module_path(nullptr);
            s.model[a] = module_name;
            break;
        }
        case 18: {
            const unsigned copies = script.byte() * 2u;
            for (unsigned i = 0; i < copies && s.crowd.size() < crowd_limit; ++i) {
                s.crowd.push_back(s.slot[a]);
                s.crowd_model.push_back(s.model[a]);
            }
            break;
        }
        case 19: {
            const unsigned drops = script.byte() * 2u;
            for (unsigned i = 0; i < drops && !s.crowd.empty(); ++i) {
                s.crowd.pop_back();
                s.crowd_model.pop_back();
            }
            break;
        }
        case 20:
            if (!s.crowd.empty()) {
                const std::size_t i = script.word() % s.crowd.size();
                s.slot[a] = s.crowd[i];
                s.model[a] = s.crowd_model[i];
            }
            break;
        case 21: {
            const PathStyle style = style_of(script);
            const std::string name = script.text();
            if (is_safe_member_name(name.c_str(), style) != expected_safe(c_text(name), style)) {
                fail("is_safe_member_name", c_text(name));
            }
            break;
        }
        case 22: {
            if (names_a_folder(s.slot[a]) != expected_folder(s.model[a])) fail("names_a_folder", s.model[a]);
            break;
        }
        default: {
            TextString moved(std::move(s.slot[b]));
            const std::string text = s.model[b];
            s.model[b].clear();
            s.slot[a] = moved;
            s.model[a] = text;
            break;
        }
    }
}

}  // namespace
}  // namespace voskel::fuzz

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    using namespace voskel;
    TextString::set_block_allocator({fuzz::take_block, fuzz::give_back_block});
    system_calls().get_env = fuzz::scripted_env;
    system_calls().module_file_name = fuzz::scripted_module_name;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    using namespace voskel::fuzz;
    census.taken = census.given_back = 0;
    {
        ByteScript script(data, size);
        Strings strings;
        for (int steps = 0; steps < 500 && !script.done(); ++steps) {
            step(strings, script);
            check_all(strings);
        }
    }
    if (!census.live.empty() || census.taken != census.given_back) {
        fail("blocks not given back", std::to_string(census.taken) + " taken, " + std::to_string(census.given_back) +
                                          " given back");
    }
    return 0;
}
