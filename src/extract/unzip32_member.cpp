#include "extract/unzip32_member.h"

#include <algorithm>
#include <mutex>
#include <vector>

#include "extract/entry_points.h"
#include "extract/member_path.h"
#include "extract/target_guard.h"
#include "extract/temp_dir.h"
#include "extract/unzip32_api.h"
#include "platform/platform.h"
#include "text/path_characters.h"

namespace voskel {

namespace {

// unzip32.dll keeps its state in globals, and so does the listing callback
// below: one extraction at a time, whichever thread asks.
std::mutex unzip32_lock;

// What the listing pass reports of each member, in archive order: its name
// and declared size. The library's callbacks carry no context, so it lives
// here, guarded by unzip32_lock.
struct ListedMember {
    TextString name;
    uint64_t size;
};
std::vector<ListedMember> listed_members;

void capture(const char* name, uint64_t size) {
    if (name != nullptr && name[0] != '\0') listed_members.push_back({TextString(name), size});
}

// The song among the listed members, or null.
const ListedMember* chosen_member(const SongChoice& choice) {
    for (const ListedMember& member : listed_members) {
        if (!names_a_folder(member.name) && choice.takes(member.name)) return &member;
    }
    return nullptr;
}

int VOSKEL_WINAPI swallow_output(char*, unsigned long size) { return static_cast<int>(size); }
int VOSKEL_WINAPI refuse_password(char*, int, const char*, const char*) { return 1; }
int VOSKEL_WINAPI replace5(char*) { return 1; }
int VOSKEL_WINAPI replace6(char*, unsigned) { return 1; }

void VOSKEL_WINAPI listed5(unsigned long size, unsigned long, unsigned, unsigned, unsigned, unsigned, unsigned,
                           unsigned, char, char* name, char*, unsigned long, char) {
    capture(name, size);
}

void VOSKEL_WINAPI listed6(unsigned long long size, unsigned long long, unsigned, unsigned, unsigned, unsigned,
                           unsigned, unsigned, char, const char* name, const char*, unsigned long, char) {
    capture(name, size);
}

// One generation's records, filled with the same values in its own layout.
struct Generation5 {
    unzip5::SingleEntryUnzip entry;
    unzip5::DCL options{};
    unzip5::USERFUNCTIONS callbacks{};

    Generation5(void* entry_point, const TextString& archive, const TextString& folder)
        : entry(reinterpret_cast<unzip5::SingleEntryUnzip>(entry_point)) {
        callbacks.print = swallow_output;
        callbacks.replace = replace5;
        callbacks.password = refuse_password;
        callbacks.SendApplicationMessage = listed5;
        options.fQuiet = 2;
        options.ndflag = 1;
        options.noflag = 1;
        options.lpszZipFN = const_cast<char*>(archive.chars());
        options.lpszExtractDir = const_cast<char*>(folder.chars());
    }

    int run(int nvflag, int include_count, char** include) {
        options.nvflag = nvflag;
        return entry(include_count, include, 0, nullptr, &options, &callbacks);
    }
};

struct Generation6 {
    unzip6::SingleEntryUnzip entry;
    unzip6::DCL options{};
    unzip6::USERFUNCTIONS callbacks{};

    Generation6(void* entry_point, const TextString& archive, const TextString& folder)
        : entry(reinterpret_cast<unzip6::SingleEntryUnzip>(entry_point)) {
        callbacks.print = swallow_output;
        callbacks.replace = replace6;
        callbacks.password = refuse_password;
        callbacks.SendApplicationMessage = listed6;
        options.StructVersID = unzip6::UZ_DCL_STRUCTVER;
        options.fQuiet = 2;
        options.ndflag = 1;
        options.noflag = 1;
        options.lpszZipFN = const_cast<char*>(archive.chars());
        options.lpszExtractDir = const_cast<char*>(folder.chars());
    }

    int run(int nvflag, int include_count, char** include) {
        options.nvflag = nvflag;
        return entry(include_count, include, 0, nullptr, &options, &callbacks);
    }
};

// The include list is a wildcard pattern to the library, and '\' its escape:
// a name holding one of these would not name itself. The library reads the
// pattern by characters of the ANSI code page, as the name is read here.
bool names_itself(const TextString& name) {
    for (const char* p = name.chars(); *p != '\0'; p += character_length(p)) {
        if (*p == '*' || *p == '?' || *p == '[' || *p == '\\') return false;
    }
    return true;
}

template <typename Generation>
Extraction list_and_extract(Generation generation, const TextString& folder, const SongChoice& choice) {
    if (generation.run(1, 0, nullptr) != 0) return {};
    const ListedMember* song = chosen_member(choice);
    if (song == nullptr) return {};
    // The library extracts every member the include list names, one over
    // the other: with the name repeated, the file would hold the last one's data.
    const auto same_name = [&](const ListedMember& member) { return member.name.equals(song->name.chars()); };
    if (std::count_if(listed_members.begin(), listed_members.end(), same_name) != 1) return {};
    const TextString name = song->name;
    const uint64_t declared_size = song->size;
    TextString target;
    if (!names_itself(name) || !accept_member(folder, name, declared_size, target)) return {};
    char* include[] = {const_cast<char*>(name.chars())};
    const TargetGuard guard(folder, target);
    return guard.outcome(generation.run(0, 1, include) == 0, declared_size);
}

enum Export { uzp_version, single_entry_unzip, export_count };
constexpr const char* export_names[export_count] = {"UzpVersion", "Wiz_SingleEntryUnzip"};

}  // namespace

Extraction extract_zip_member_unzip32(const TextString& archive, const TextString& own_folder,
                                      const SongChoice& choice) {
    TextString folder;
    if (!find_destination(own_folder, folder)) return {};

    const std::lock_guard<std::mutex> guard(unzip32_lock);
    LibraryHandle library = load_archive_library(unzip32_library_name);
    if (library == nullptr) return Extraction::without(unzip32_library_name);
    void* exports[export_count];
    if (!resolve_entry_points(library, export_names, exports, export_count)) return {};

    listed_members.clear();
    // The library drops one trailing separator from the folder it is given,
    // by its last byte: a folder ending in a double-byte character whose
    // second byte is that of '\\' (ソ in code page 932) would lose half a
    // character. Given with a separator, it loses only that.
    TextString root = folder;
    root.join_path(TextString());
    const UzpVer* version = reinterpret_cast<UzpVersionFunction>(exports[uzp_version])();
    const int major = version != nullptr ? version->unzip.major : 0;
    Extraction result;
    if (major == 5) {
        result = list_and_extract(Generation5(exports[single_entry_unzip], archive, root), folder, choice);
    } else if (major == 6) {
        result = list_and_extract(Generation6(exports[single_entry_unzip], archive, root), folder, choice);
    }
    listed_members.clear();
    unload(library);
    result.found_library = unzip32_library_name;
    return result;
}

}  // namespace voskel
