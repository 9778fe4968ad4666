#include "extract/rar_member.h"

#include <cstring>
#include <mutex>

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
// so that 4 GiB more would pass unseen.
enum Export { open_archive, close_archive, read_header, process_file, export_count };
constexpr const char* export_names[export_count] = {"RAROpenArchive", "RARCloseArchive", "RARReadHeaderEx",
                                                    "RARProcessFile"};

// A name is taken only when it is short enough that no library's record
// cut it: RARReadHeader's holds 260 bytes, and a cut may stop short of a
// multi-byte character's end. A longer path reaches no Windows player
// either (MAX_PATH).
constexpr std::size_t longest_whole_name = 260 - 5;

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

template <typename Function>
Function entry(void* const* exports, Export which) {
    return reinterpret_cast<Function>(exports[which]);
}

// Extracts the first entry of an opened archive; the full path, or empty.
TextString extract_first_entry(void* const* exports, unrar::ArchiveHandle archive, const TextString& folder,
                               const TextString& keep_intact) {
    unrar::RARHeaderDataEx header{};
    header.CmtBuf = nullptr;
    if (entry<unrar::RARReadHeaderEx>(exports, read_header)(archive, &header) != 0) return TextString();
    if (!is_plain_file(header)) return TextString();
    const uint64_t declared_size = (uint64_t{header.UnpSizeHigh} << 32) | header.UnpSize;
    header.FileName[sizeof header.FileName - 1] = '\0';
    if (std::strlen(header.FileName) > longest_whole_name) return TextString();
    // Names come and go in the OEM code page on Windows.
    char name[sizeof header.FileName];
    if (!system_calls().oem_to_ansi(header.FileName, name, sizeof name)) return TextString();
    TextString target;
    if (!accept_member(folder, TextString(name), declared_size, keep_intact, target)) return TextString();
    // The file is named in full: the reported name is the library's rendering
    // of the entry's own, which may hold characters it lost, and the file
    // would land under the other. The folder is named too, so that the
    // library's clearing of planted links stays below it.
    char destination_folder[destination_size];
    char destination_name[destination_size];
    if (!system_calls().ansi_to_oem(folder.chars(), destination_folder, destination_size) ||
        !system_calls().ansi_to_oem(target.chars(), destination_name, destination_size)) {
        return TextString();
    }
    const TargetGuard guard(target);
    return guard.outcome(entry<unrar::RARProcessFile>(exports, process_file)(archive, unrar::RAR_EXTRACT,
                                                                           destination_folder, destination_name) == 0,
                         declared_size);
}

}  // namespace

Extraction extract_rar_member(const TextString& archive, const TextString& keep_intact,
                              const TextString& own_folder) {
    const std::lock_guard<std::mutex> guard(rar_lock);
    if (rar_library == nullptr) {
        rar_library = load_archive_library(rar_library_name());
        if (rar_library == nullptr) return {TextString(), rar_library_name()};
    }
    void* exports[export_count];
    if (!resolve_entry_points(rar_library, export_names, exports, export_count)) return {};

    TextString folder;
    if (!find_destination(own_folder, folder)) return {};

    char comment[0x4000];
    unrar::RAROpenArchiveData open_data{};
    open_data.ArcName = const_cast<char*>(archive.chars());
    open_data.OpenMode = unrar::RAR_OM_EXTRACT;
    open_data.CmtBuf = comment;
    open_data.CmtBufSize = sizeof comment;
    const unrar::ArchiveHandle handle = entry<unrar::RAROpenArchive>(exports, open_archive)(&open_data);

    TextString result;
    if (open_data.OpenResult == 0 && handle != nullptr) {
        result = extract_first_entry(exports, handle, folder, keep_intact);
        entry<unrar::RARCloseArchive>(exports, close_archive)(handle);
    }
    unload(rar_library);
    return {.file = result};
}

}  // namespace voskel
