// A stand-in for unzip32.dll, built as UnZip's own records are published:
// its definitions are kept apart from the plugin's on purpose, so that a
// layout mistake on either side shows.
#include "doubles/unzip32_double.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <type_traits>
#include <vector>

#if defined(_WIN32)
#define DOUBLE_EXPORT extern "C" __declspec(dllexport)
#else
#define DOUBLE_EXPORT extern "C" __attribute__((visibility("default")))
#endif

#if defined(__i386__)
#define WINAPI_CALL __attribute__((stdcall))
#define READ_STACK_POINTER(into) asm volatile("movl %%esp, %0" : "=r"(into) : : "memory")
#else
#define WINAPI_CALL
#define READ_STACK_POINTER(into) ((into) = 0)
#endif

namespace voskel::test {
namespace {

// UnZip 5.x, windll/structs.h.
typedef int(WINAPI_CALL* Print)(char*, unsigned long);
typedef void(WINAPI_CALL* Sound)(void);
typedef int(WINAPI_CALL* Replace5)(char*);
typedef int(WINAPI_CALL* Password)(char*, int, const char*, const char*);
typedef void(WINAPI_CALL* Message5)(unsigned long, unsigned long, unsigned, unsigned, unsigned, unsigned,
                                    unsigned, unsigned, char, char*, char*, unsigned long, char);
typedef int(WINAPI_CALL* Service5)(const char*, unsigned long);

struct UserFunctions5 {
    Print print;
    Sound sound;
    Replace5 replace;
    Password password;
    Message5 SendApplicationMessage;
    Service5 ServCallBk;
    unsigned long TotalSizeComp;
    unsigned long TotalSize;
    unsigned long CompFactor;
    unsigned long NumMembers;
    unsigned short cchComment;
};

struct Options5 {
    int ExtractOnlyNewer, SpaceToUnderscore, PromptToOverwrite, fQuiet, ncflag, ntflag, nvflag, nfflag,
        nzflag, ndflag, noflag, naflag, nZIflag, C_flag, fPrivilege;
    char* lpszZipFN;
    char* lpszExtractDir;
};

// UnZip 6.0.
typedef int(WINAPI_CALL* Replace6)(char*, unsigned);
typedef void(WINAPI_CALL* Message6)(unsigned long long, unsigned long long, unsigned, unsigned, unsigned,
                                    unsigned, unsigned, unsigned, char, const char*, const char*,
                                    unsigned long, char);
typedef int(WINAPI_CALL* Service6)(const char*, unsigned long long);
typedef void(WINAPI_CALL* Message6i32)(unsigned long, unsigned long, unsigned long, unsigned long, unsigned,
                                       unsigned, unsigned, unsigned, unsigned, unsigned, char, const char*,
                                       const char*, unsigned long, char);
typedef int(WINAPI_CALL* Service6i32)(const char*, unsigned long, unsigned long);

struct UserFunctions6 {
    Print print;
    Sound sound;
    Replace6 replace;
    Password password;
    Message6 SendApplicationMessage;
    Service6 ServCallBk;
    Message6i32 SendApplicationMessage_i32;
    Service6i32 ServCallBk_i32;
    unsigned long long TotalSizeComp;
    unsigned long long TotalSize;
    unsigned long long NumMembers;
    unsigned CompFactor;
    unsigned short cchComment;
};

struct Options6 {
    unsigned StructVersID;
    int ExtractOnlyNewer, SpaceToUnderscore, PromptToOverwrite, fQuiet, ncflag, ntflag, nvflag, nfflag,
        nzflag, ndflag, noflag, naflag, nZIflag, B_flag, C_flag, D_flag, U_flag, fPrivilege;
    char* lpszZipFN;
    char* lpszExtractDir;
};

#if defined(_WIN32) && defined(__i386__)
static_assert(sizeof(Options5) == 68 && sizeof(UserFunctions5) == 44);
static_assert(sizeof(Options6) == 84 && sizeof(UserFunctions6) == 64);
#endif

struct VersionPart {
    unsigned char major, minor, patchlevel, not_used;
};
struct Version {
    unsigned long structlen;
    unsigned long flag;
    const char* betalevel;
    const char* date;
    const char* zlib_version;
    VersionPart unzip, zipinfo, os2dll, windll, dllapimin;
};

constexpr int pk_ok = 0, pk_baderr = 3, pk_mem = 4, pk_nozip = 9, pk_find = 11;

int generation = 5;
int listing_result = pk_ok;
int extraction_result = pk_ok;
bool probe_callbacks = false;
DoubleCall calls[double_max_calls];
int call_count = 0;

// Calls one callback and notes whether the stack pointer came back to where
// it was; a macro, so that no frame of its own hides the difference.
#define CHECKED_CALL(record, call)                         \
    do {                                                   \
        std::uintptr_t before_call = 0, after_call = 0;    \
        READ_STACK_POINTER(before_call);                   \
        call;                                              \
        READ_STACK_POINTER(after_call);                    \
        if (before_call != after_call) ++(record).stack_faults; \
    } while (0)

#if !defined(VOSKEL_DOUBLE_WITHOUT_ENTRY)

template <std::size_t size>
void copy_text(char (&to)[size], const char* from) {
    std::strncpy(to, from ? from : "", size - 1);
    to[size - 1] = '\0';
}

struct Member {
    std::string name;
    std::string content;
    unsigned long long listed_size;  // the size the listing reports
    std::string listed_name;         // the name the listing reports
};

// Lines "name<TAB>content", optionally followed by "<TAB>size=N" (the size
// listed instead of the content's) and "<TAB>listed=NAME" (the name listed
// instead of the stored one, as the real library may convert a name).
bool read_members(const char* path, std::vector<Member>& members) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::string line;
    while (std::getline(in, line)) {
        std::vector<std::string> fields;
        for (std::size_t start = 0;;) {
            const std::size_t tab = line.find('\t', start);
            fields.push_back(line.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
            if (tab == std::string::npos) break;
            start = tab + 1;
        }
        if (fields.size() < 2) continue;
        Member member{fields[0], fields[1], fields[1].size(), fields[0]};
        for (std::size_t i = 2; i < fields.size(); ++i) {
            if (fields[i].rfind("size=", 0) == 0) member.listed_size = std::stoull(fields[i].substr(5));
            if (fields[i].rfind("listed=", 0) == 0) member.listed_name = fields[i].substr(7);
        }
        members.push_back(member);
    }
    return true;
}

std::string output_path(const char* folder, const std::string& name, bool keep_folders) {
#if defined(_WIN32)
    const char separator = '\\';
#else
    const char separator = '/';
#endif
    std::string stored = keep_folders ? name : name.substr(name.find_last_of('/') + 1);
    for (char& c : stored) {
        if (c == '/') c = separator;
    }
    std::string path = folder ? folder : "";
    if (!path.empty() && path.back() != separator) path += separator;
    return path + stored;
}

// The work of both generations, once their records have been read.
template <typename Options, typename Callbacks>
int run(DoubleCall& record, int include_count, char** include, const Options& options, Callbacks& callbacks) {
    if (callbacks.print == nullptr || callbacks.replace == nullptr) return pk_baderr;
    if (options.lpszZipFN == nullptr) return pk_nozip;
    std::vector<Member> members;
    if (!read_members(options.lpszZipFN, members)) return pk_nozip;

    if (options.nvflag != 0) {
        char header[] = " Length   Method    Size  Ratio   Date   Time   CRC-32    Name\n";
        int answer = 0;
        CHECKED_CALL(record, answer = callbacks.print(header, sizeof header - 1));
        ++record.print_calls;
        if (answer != static_cast<int>(sizeof header - 1)) ++record.print_answers_wrong;
        if (callbacks.SendApplicationMessage == nullptr) return listing_result;
        for (Member& member : members) {
            char method[] = "Stored";
            CHECKED_CALL(record, callbacks.SendApplicationMessage(
                                     member.listed_size, member.content.size(), 0, 12, 31, 2024, 23, 59, ' ',
                                     member.listed_name.data(), method, 0x12345678UL, ' '));
            ++record.messages_sent;
        }
        return listing_result;
    }

    bool found = include_count == 0;
    for (const Member& member : members) {
        bool wanted = include_count == 0;
        for (int i = 0; i < include_count; ++i) wanted = wanted || member.name == include[i];
        if (!wanted) continue;
        found = true;
        const std::string path = output_path(options.lpszExtractDir, member.name, options.ndflag != 0);
        std::error_code error;
        // The questions UnZip asks about a file that exists, and about a
        // password; asked here on request, so that their declarations are proven.
        const bool ask_replace = std::filesystem::exists(path, error) && options.noflag == 0;
        if (ask_replace || probe_callbacks) {
            char name[260];
            copy_text(name, path.c_str());
            ++record.replace_calls;
            if constexpr (std::is_same_v<Options, Options6>) {
                CHECKED_CALL(record, record.replace_answer = callbacks.replace(name, sizeof name));
            } else {
                CHECKED_CALL(record, record.replace_answer = callbacks.replace(name));
            }
        }
        if (probe_callbacks && callbacks.password != nullptr) {
            char password[80] = {};
            ++record.password_calls;
            CHECKED_CALL(record, record.password_answer = callbacks.password(password, sizeof password,
                                                                                "Password:", member.name.c_str()));
            for (char c : password) record.password_buffer_touched |= c != 0;
        }
        if (ask_replace) continue;
        if (options.ndflag != 0) std::filesystem::create_directories(std::filesystem::path(path).parent_path(), error);
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out << member.content;
    }
    if (!found) return pk_find;
    return extraction_result;
}

template <typename Options>
void record_options(DoubleCall& record, const Options& options) {
    record.ExtractOnlyNewer = options.ExtractOnlyNewer;
    record.SpaceToUnderscore = options.SpaceToUnderscore;
    record.PromptToOverwrite = options.PromptToOverwrite;
    record.fQuiet = options.fQuiet;
    record.ncflag = options.ncflag;
    record.ntflag = options.ntflag;
    record.nvflag = options.nvflag;
    record.nfflag = options.nfflag;
    record.nzflag = options.nzflag;
    record.ndflag = options.ndflag;
    record.noflag = options.noflag;
    record.naflag = options.naflag;
    record.nZIflag = options.nZIflag;
    record.C_flag = options.C_flag;
    record.fPrivilege = options.fPrivilege;
    record.zip_name_given = options.lpszZipFN != nullptr;
    copy_text(record.lpszZipFN, options.lpszZipFN);
    record.extract_dir_given = options.lpszExtractDir != nullptr;
    copy_text(record.lpszExtractDir, options.lpszExtractDir);
}

template <typename Callbacks>
void record_callbacks(DoubleCall& record, const Callbacks& callbacks) {
    record.print_given = callbacks.print != nullptr;
    record.sound_given = callbacks.sound != nullptr;
    record.replace_given = callbacks.replace != nullptr;
    record.password_given = callbacks.password != nullptr;
    record.message_given = callbacks.SendApplicationMessage != nullptr;
    record.service_given = callbacks.ServCallBk != nullptr;
    record.TotalSizeComp = callbacks.TotalSizeComp;
    record.TotalSize = callbacks.TotalSize;
    record.NumMembers = callbacks.NumMembers;
    record.CompFactor = callbacks.CompFactor;
    record.cchComment = callbacks.cchComment;
}

DoubleCall& new_record() {
    static DoubleCall overflow;
    DoubleCall& record = call_count < double_max_calls ? calls[call_count] : overflow;
    ++call_count;
    std::memset(&record, 0, sizeof record);
    record.StructVersID = record.B_flag = record.D_flag = record.U_flag = -1;
    record.message_i32_given = record.service_i32_given = -1;
    record.generation = generation;
    return record;
}

void record_lists(DoubleCall& record, int include_count, char** include, int exclude_count, char** exclude) {
    record.include_count = include_count;
    record.include_list_given = include != nullptr;
    for (int i = 0; include != nullptr && i < include_count && i < double_max_includes; ++i) {
        copy_text(record.include[i], include[i]);
    }
    record.exclude_count = exclude_count;
    record.exclude_list_given = exclude != nullptr;
}

#endif  // !VOSKEL_DOUBLE_WITHOUT_ENTRY

}  // namespace
}  // namespace voskel::test

using namespace voskel::test;

DOUBLE_EXPORT void double_reset() {
    call_count = 0;
    generation = 5;
    listing_result = extraction_result = pk_ok;
    probe_callbacks = false;
}

DOUBLE_EXPORT void double_set_probe(int on) { probe_callbacks = on != 0; }

DOUBLE_EXPORT void double_set_generation(int value) { generation = value; }

DOUBLE_EXPORT void double_set_results(int listing, int extraction) {
    listing_result = listing;
    extraction_result = extraction;
}

DOUBLE_EXPORT int double_call_count() { return call_count; }

DOUBLE_EXPORT const DoubleCall* double_call(int index) {
    return index >= 0 && index < call_count && index < double_max_calls ? &calls[index] : nullptr;
}

#if !defined(VOSKEL_DOUBLE_WITHOUT_VERSION)
DOUBLE_EXPORT const Version* WINAPI_CALL UzpVersion() {
    static Version version_record;
    version_record = Version{sizeof(Version), 0, "", "31 December 2024", nullptr, {}, {}, {}, {}, {}};
    const auto major = static_cast<unsigned char>(generation);
    version_record.unzip = generation == 5 ? VersionPart{5, 52, 0, 0} : VersionPart{major, 0, 0, 0};
    version_record.windll = version_record.unzip;
    return &version_record;
}
#endif

#if !defined(VOSKEL_DOUBLE_WITHOUT_ENTRY)
DOUBLE_EXPORT int WINAPI_CALL Wiz_SingleEntryUnzip(int include_count, char** include, int exclude_count,
                                                   char** exclude, void* options, void* callbacks) {
    DoubleCall& record = new_record();
    record_lists(record, include_count, include, exclude_count, exclude);
    if (generation == 5) {
        auto& dcl = *static_cast<Options5*>(options);
        auto& functions = *static_cast<UserFunctions5*>(callbacks);
        record_options(record, dcl);
        record_callbacks(record, functions);
        record.result = run(record, include_count, include, dcl, functions);
    } else {
        auto& dcl = *static_cast<Options6*>(options);
        auto& functions = *static_cast<UserFunctions6*>(callbacks);
        record_options(record, dcl);
        record.StructVersID = static_cast<int>(dcl.StructVersID);
        record.B_flag = dcl.B_flag;
        record.D_flag = dcl.D_flag;
        record.U_flag = dcl.U_flag;
        record_callbacks(record, functions);
        record.message_i32_given = functions.SendApplicationMessage_i32 != nullptr;
        record.service_i32_given = functions.ServCallBk_i32 != nullptr;
        // As 6.0 does: a record of another layout is turned away.
        record.result = dcl.StructVersID != 0x600 ? pk_mem : run(record, include_count, include, dcl, functions);
    }
    return record.result;
}
#endif
