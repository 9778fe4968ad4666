// Reading a module's extension list: whole tokens, letter case aside, every
// group, and never a byte past the empty string that ends the list.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "registry/plugin_registry.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace voskel {
namespace {

using namespace std::string_literals;

// Bytes placed so that the last one is the last readable byte of a page and
// the next page cannot be touched: a read past the end faults on every build.
class GuardedBytes {
public:
    explicit GuardedBytes(const std::string& bytes) {
#if defined(_WIN32)
        SYSTEM_INFO info;
        GetSystemInfo(&info);
        page_ = info.dwPageSize;
#else
        page_ = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
#endif
        const std::size_t data_pages = (bytes.size() + page_ - 1) / page_;
        size_ = (data_pages + 1) * page_;
#if defined(_WIN32)
        base_ = static_cast<char*>(VirtualAlloc(nullptr, size_, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
        DWORD previous = 0;
        guarded_ = base_ != nullptr && VirtualProtect(base_ + data_pages * page_, page_, PAGE_NOACCESS, &previous);
#else
        void* mapped = mmap(nullptr, size_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        base_ = mapped == MAP_FAILED ? nullptr : static_cast<char*>(mapped);
        guarded_ = base_ != nullptr && mprotect(base_ + data_pages * page_, page_, PROT_NONE) == 0;
#endif
        if (base_ == nullptr) return;
        start_ = base_ + data_pages * page_ - bytes.size();
        std::memcpy(start_, bytes.data(), bytes.size());
    }

    ~GuardedBytes() {
        if (base_ == nullptr) return;
#if defined(_WIN32)
        VirtualFree(base_, 0, MEM_RELEASE);
#else
        munmap(base_, size_);
#endif
    }

    GuardedBytes(const GuardedBytes&) = delete;
    GuardedBytes& operator=(const GuardedBytes&) = delete;

    bool guarded() const { return guarded_; }
    char* chars() const { return start_; }

private:
    std::size_t page_ = 0;
    std::size_t size_ = 0;
    char* base_ = nullptr;
    char* start_ = nullptr;
    bool guarded_ = false;
};

struct Row {
    std::string list;  // every string with its NUL, the list's final empty string included
    const char* extension;
    bool matches;
};

TEST(ExtensionList, MatchesWholeTokensOfEveryGroupLetterCaseAside) {
    const Row rows[] = {
        {"MOD;S3M;XM\0Modules\0\0"s, "XM", true},
        {"MOD;S3M;XM\0Modules\0\0"s, "MOD", true},
        {"MOD;S3M;XM\0Modules\0\0"s, "S3M", true},
        {"MOD;S3M;XM\0Modules\0\0"s, "S3", false},
        {"MOD;S3M;XM\0Modules\0\0"s, "MODS", false},
        {"MOD;S3M;XM\0Modules\0\0"s, "MOD;S3M", false},
        {"MOD;S3M;XM\0Modules\0\0"s, "", false},
        {"mod;It\0Modules\0\0"s, "MOD", true},
        {"mod;It\0Modules\0\0"s, "IT", true},
        {"MP\0MPEG audio\0\0"s, "MP3", false},
        {"MP3\0MPEG audio\0\0"s, "MP", false},
        {"MP3\0MPEG audio\0\0"s, "MP3", true},
        {".MOD\0Dotted\0\0"s, "MOD", false},
        // Only A-Z and a-z fold; neighbours 0x20 apart stay different.
        {"A[B\0Brackets\0\0"s, "A{B", false},
        {"1@\0At sign\0\0"s, "1`", false},
        {"\xC9T\0Accent\0\0"s, "\xE9T", false},
        {"\xC9T\0Accent\0\0"s, "\xC9T", true},
        // A ';' at the end of a group adds no empty token; one at the start or
        // two in a row do.
        {"MOD;\0Trailing\0\0"s, "", false},
        {"MOD;\0Trailing\0\0"s, "MOD", true},
        {";WAV\0Leading gap\0\0"s, "", true},
        {";WAV\0Leading gap\0\0"s, "WAV", true},
        {"MOD;;XM\0Inner gap\0\0"s, "", true},
        {"MOD;;XM\0Inner gap\0\0"s, "XM", true},
        // Descriptions are skipped, every group is read.
        {"MOD\0XM\0\0"s, "XM", false},
        {"MOD\0Modules\0S3M;IT\0Others\0\0"s, "IT", true},
        {"MOD\0Modules\0S3M;IT\0Others\0\0"s, "MODULES", false},
        {"MOD\0Modules\0S3M;IT\0Others\0\0"s, "OTHERS", false},
        {"MOD\0Modules\0S3M;IT\0Others\0\0"s, "WAV", false},
        // The empty list.
        {"\0"s, "", false},
        {"\0"s, "MOD", false},
        // A group with no description before the end is read, and reading
        // stops at the list's end.
        {"MOD;XM\0\0"s, "XM", true},
        {"MOD;XM\0\0"s, "IT", false},
        {"MOD\0Modules\0S3M\0\0"s, "S3M", true},
        {"MOD\0Modules\0S3M\0\0"s, "IT", false},
        {";\0\0"s, "", true},
    };
    for (const Row& row : rows) {
        GuardedBytes list(row.list);
        ASSERT_TRUE(list.guarded());
        EXPECT_EQ(extension_list_matches(list.chars(), TextString(row.extension)), row.matches)
            << "extension \"" << row.extension << "\" in list of " << row.list.size() << " bytes starting \""
            << row.list.c_str() << '"';
    }
}

TEST(ExtensionList, NullListMatchesNothing) {
    EXPECT_FALSE(extension_list_matches(nullptr, TextString("MOD")));
    EXPECT_FALSE(extension_list_matches(nullptr, TextString()));
}

}  // namespace
}  // namespace voskel
