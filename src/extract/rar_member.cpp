#include "extract/rar_member.h"

#include "extract/entry_points.h"
#include "extract/member_path.h"
#include "extract/temp_dir.h"
#include "extract/unrar_api.h"
#include "host/plugin_record.h"
#include "platform/platform.h"

namespace voskel {

namespace {

// Held from one extraction to the next only when no temporary folder was found.
LibraryHandle rar_library = nullptr;

enum Export { open_archive, close_archive, read_header, process_file, export_count };
constexpr const char* export_names[export_count] = {"RAROpenArchive", "RARCloseArchive", "RARReadHeader",
                                                    "RARProcessFile"};

template <typename Function>
Function entry(void* const* exports, Export which) {
    return reinterpret_cast<Function>(exports[which]);
}

// Extracts the first entry of an opened archive; the full path, or empty.
TextString extract_first_entry(void* const* exports, unrar::ArchiveHandle archive, const TextString& folder,
                               const TextString& keep_intact) {
    unrar::RARHeaderData header{};
    header.CmtBuf = nullptr;
    if (entry<unrar::RARReadHeader>(exports, read_header)(archive, &header) != 0) return TextString();
    // A folder entry has no data to play.
    if ((header.Flags & unrar::RHDF_DIRECTORY) != 0) return TextString();
    header.FileName[sizeof header.FileName - 1] = '\0';
    TextString target;
    if (!accept_member(folder, TextString(header.FileName), keep_intact, target)) return TextString();
    if (entry<unrar::RARProcessFile>(exports, process_file)(archive, unrar::RAR_EXTRACT,
                                                            const_cast<char*>(folder.chars()), nullptr) != 0) {
        system_calls().delete_file(target.chars());
        return TextString();
    }
    return target;
}

}  // namespace

TextString extract_rar_member(const TextString& archive, const TextString& keep_intact) {
    if (rar_library == nullptr) {
        rar_library = system_calls().load_library(rar_library_name());
        if (rar_library == nullptr) {
            TextString text("Could not find ");
            text.append(rar_library_name());
            system_calls().show_message(nullptr, text.chars(), message_caption);
            return TextString();
        }
    }
    void* exports[export_count];
    if (!resolve_entry_points(rar_library, export_names, exports, export_count)) return TextString();

    TextString folder;
    if (!find_temp_dir(folder)) return TextString();

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
    return result;
}

}  // namespace voskel
