// extension_list_matches over arbitrary lists. The input is an extension
// (a length byte and its bytes) and a list; two NULs are added, which ends
// any byte sequence as a list, and the list sits at the very end of its own
// allocation, so that AddressSanitizer stops a read of even one byte past
// the terminator. The answer is checked against the list read plainly.
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "byte_script.h"
#include "registry/plugin_registry.h"
#include "text/text_string.h"

namespace voskel::fuzz {
namespace {

bool same_letters(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        auto fold = [](char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; };
        if (fold(a[i]) != fold(b[i])) return false;
    }
    return true;
}

// Groups and descriptions alternate; an empty string where either is
// expected ends the list. A ';' ending a group adds no empty token.
bool expected_match(const std::string& list, const std::string& extension) {
    std::size_t pos = 0;
    auto next_string = [&] {
        const std::size_t end = list.find('\0', pos);
        std::string text = list.substr(pos, end - pos);
        pos = end + 1;
        return text;
    };
    for (;;) {
        const std::string group = next_string();
        if (group.empty()) return false;
        std::size_t start = 0;
        for (std::size_t i = 0; i <= group.size(); ++i) {
            if (i < group.size() && group[i] != ';') continue;
            if (i == group.size() && i == start) break;
            if (same_letters(group.substr(start, i - start), extension)) return true;
            start = i + 1;
        }
        if (next_string().empty()) return false;
    }
}

}  // namespace
}  // namespace voskel::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    using namespace voskel;
    fuzz::ByteScript script(data, size);
    const std::string extension = std::string(script.text().c_str());
    std::string list = script.rest();
    list.append(2, '\0');

    // Exactly as large as the list: nothing readable after its last NUL.
    const std::unique_ptr<char[]> bytes(new char[list.size()]);
    std::memcpy(bytes.get(), list.data(), list.size());

    const bool matched = extension_list_matches(bytes.get(), TextString(extension.c_str()));
    if (matched != fuzz::expected_match(list, extension)) {
        fuzz::fail("extension_list_matches", "\"" + extension + "\" answered " + (matched ? "true" : "false"));
    }
    if (std::memcmp(bytes.get(), list.data(), list.size()) != 0) fuzz::fail("the list was written to");
    return 0;
}
