#include "extract/rar_member.h"

#include <cwchar>
#include <iterator>
#include <mutex>
#include <vector>

#include "extract/entry_points.h"
#include "extract/member_path.h"
#include "extract/target_guard.h"
#include "extract/temp_dir.h"
#include "extract/unrar_api.h"
#include "platform/platform.h"

namespace voskel {

namespace {

// One extraction at a time: the library handle below is shared.
std::mutex rar_lock;

// Held from one extraction to the next only when no temporary folder was
// found. Guarded by rar_lock.
LibraryHandle rar_library = nullptr;

// The header is read with RARReadHeaderEx: the size decides whether the
// entry is extracted at all, and RARReadHeader's holds only its low 32 bits,
// so that 4 GiB more would pass unseen. Names go to the library and come
// from it as wide text: its 8-bit names are in the OEM code page on
// Windows, which may lack characters of the archive's path or the folder.
enum Export { open_archive, close_archive, read_header, process_file, export_count };
constexpr const char* export_names[export_count] = {"RAROpenArchiveEx", "RARCloseArchive", "RARReadHeaderEx",
                                                    "RARProcessFileW"};

// Only a plain file is a song. The library makes what the attributes say,
// a symbolic link included, and the inner plugin would read what it names.
bool is_plain_file(const unrar::RARHeaderDataEx& header) {
    if ((header.Flags & unrar::RHDF_DIRECTORY) != 0) return false;
    if (header.HostOS == unrar::HOST_UNIX) {
        const unsigned type = header.FileAttr & 0xF000;  // S_IFMT
        return type == 0 || type == 0x8000;               // S_IFREG
    }
    constexpr unsigned folder_or_link = 0x10 | 0x400;  // FILE_ATTRIBUTE_DIRECTORY, _REPARSE_POINT
    return (header.FileAttr & folder_or_link) == 0;
}

// The library copies at most this much of a destination (its NM, less two).
constexpr uint32_t destination_size = 2046;

// A name is taken only when it is short enough that no library's record
// cut it: the 8-bit names of its records hold 260 bytes, and older
// libraries fill the wide one from those. A longer path reaches no Windows
// player either (MAX_PATH).
constexpr std::size_t longest_whole_name = 260 - 5;

// The library marks with this non-character a name whose bytes it could not
// read as text (POSIX), and writes the file under those bytes, not under
// the name it reports.
constexpr wchar_t undecoded_name_mark = 0xFFFE;

template <typename Function>
Function entry(void* const* exports, Export which) {
    return reinterpret_cast<Function>(exports[which]);
}

// Wide text of the code page every file call here uses.
std::vector<wchar_t> widened(const TextString& text) {
    // No code page takes fewer bytes than UTF-16 or UTF-32 takes characters.
    std::vector<wchar_t> wide(static_cast<std::size_t>(text.length()) + 1);
    if (!system_calls().ansi_to_wide(text.chars(), wide.data(), static_cast<uint32_t>(wide.size()))) return {};
    return wide;
}

// The entry's stored name as the 8-bit text of the file calls, or empty
// when it cannot be read whole: too long for the libraries' records, bytes
// the library could not read as text, or characters the code page lacks.
TextString stored_name(unrar::RARHeaderDataEx& header) {
    header.FileNameW[std::size(header.FileNameW) - 1] = L'\0';
    if (std::wcslen(header.FileNameW) > longest_whole_name ||
        std::wcschr(header.FileNameW, undecoded_name_mark) != nullptr) {
        return TextString();
    }
    // At most four bytes a character in any code page Windows offers as ANSI.
    char name[4 * longest_whole_name + 1];
    if (!system_calls().wide_to_ansi(header.FileNameW, name, sizeof name)) return TextString();
    return TextString(name);
}

// Extracts the current entry of an opened archive, whose header says it
// is the song.
Extraction extract_entry(void* const* exports, unrar::ArchiveHandle archive, const unrar::RARHeaderDataEx& header,
                         const TextString& name, const TextString& folder) {
    const uint64_t declared_size = (uint64_t{header.UnpSizeHigh} << 32) | header.UnpSize;
    TextString target;
    if (!accept_member(folder, name, declared_size, target)) return {};
    // The file is named in full: the reported name is the library's rendering
    // of the entry's own, which may hold characters it lost, and the file
    // would land under the other. The folder is named too, so that the
    // library's clearing of planted links stays below it.
    std::vector<wchar_t> destination_folder = widened(folder);
    std::vector<wchar_t> destination_name = widened(target);
    if (destination_folder.empty() || destination_name.empty() || destination_folder.size() > destination_size ||
        destination_name.size() > destination_size) {
        return {};
    }
    const TargetGuard guard(folder, target);
    return guard.outcome(entry<unrar::RARProcessFileW>(exports, process_file)(
                             archive, unrar::RAR_EXTRACT, destination_folder.data(), destination_name.data()) == 0,
                         declared_size);
}

// Reads the headers of an opened archive in order, passing over every
// entry until the song, and extracts it. A file whose name cannot be read
// whole ends the search: it might be the song, and is refused as a name
// the checks refuse would be.
Extraction extract_song(void* const* exports, unrar::ArchiveHandle archive, const TextString& folder,
                        const SongChoice& choice) {
    for (;;) {
        unrar::RARHeaderDataEx header{};
        header.CmtBuf = nullptr;
        if (entry<unrar::RARReadHeaderEx>(exports, read_header)(archive, &header) != 0) return {};
        if (is_plain_file(header)) {
            const TextString name = stored_name(header);
            if (name.empty()) return {};
            if (!names_a_folder(name) && choice.takes(name)) {
                return extract_entry(exports, archive, header, name, folder);
            }
        }
        if (entry<unrar::RARProcessFileW>(exports, process_file)(archive, unrar::RAR_SKIP, nullptr, nullptr) != 0) {
            return {};
        }
    }
}

}  // namespace

Extraction extract_rar_member(const TextString& archive, const TextString& own_folder, const SongChoice& choice) {
    const std::lock_guard<std::mutex> guard(rar_lock);
    if (rar_library == nullptr) {
        rar_library = load_archive_library(rar_library_name());
        if (rar_library == nullptr) return Extraction::without(rar_library_name());
    }
    void* exports[export_count];
    if (!resolve_entry_points(rar_library, export_names, exports, export_count)) return {};

    TextString folder;
    if (!find_destination(own_folder, folder)) return {};

    std::vector<wchar_t> archive_name = widened(archive);
    if (archive_name.empty()) {
        unload(rar_library);
        return {};
    }
    // The library's own conversions of wide names, where it makes any (POSIX).
    const Utf8Conversions utf8_names;
    char comment[0x4000];
    unrar::RAROpenArchiveDataEx open_data{};
    open_data.ArcNameW = archive_name.data();
    open_data.OpenMode = unrar::RAR_OM_EXTRACT;
    open_data.CmtBuf = comment;
    open_data.CmtBufSize = sizeof comment;
    const unrar::ArchiveHandle handle = entry<unrar::RAROpenArchiveEx>(exports, open_archive)(&open_data);

    Extraction result;
    if (open_data.OpenResult == 0 && handle != nullptr) {
        result = extract_song(exports, handle, folder, choice);
        entry<unrar::RARCloseArchive>(exports, close_archive)(handle);
    }
    unload(rar_library);
    result.found_library = rar_library_name();
    return result;
}

}  // namespace voskel
