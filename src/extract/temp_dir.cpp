#include "extract/temp_dir.h"

#include <vector>

#include "platform/platform.h"
#include "text/path_characters.h"

namespace voskel {

namespace {

bool is_separator(char c) { return is_folder_separator(c, native_path_style()); }

// Where target's folders end, from position start on: the position of each
// separator, read by characters so that the second byte of a double-byte
// character counts as none.
std::vector<int32_t> folder_ends(const TextString& target, int32_t start) {
    std::vector<int32_t> ends;
    const char* text = target.chars();
    for (int32_t i = start; i < target.length(); i += static_cast<int32_t>(character_length(text + i))) {
        if (is_separator(text[i])) ends.push_back(i);
    }
    return ends;
}

bool lies_below(const TextString& target, const TextString& folder) {
    return !folder.empty() && folder.length() < target.length() &&
           target.substring(0, folder.length()).equals(folder.chars()) && is_separator(target.chars()[folder.length()]);
}

}  // namespace

bool find_temp_dir(TextString& folder) {
    // "TEMP" only has to exist; "TMP", read into the same string, names the folder.
    return folder.load_env("TEMP") && folder.load_env("TMP");
}

bool find_destination(const TextString& own_folder, TextString& folder) {
    if (own_folder.empty()) return find_temp_dir(folder);
    folder = own_folder;
    return true;
}

TextString first_missing_folder(const TextString& folder, const TextString& target) {
    // Past the folder and the separator that joins the name to it.
    const int32_t name_start = folder.length() + (is_separator(target.chars()[folder.length()]) ? 1 : 0);
    for (const int32_t end : folder_ends(target, name_start)) {
        TextString candidate = target.substring(0, end);
        if (file_state(candidate.chars()).kind == FileState::Kind::absent) return candidate;
    }
    return TextString();
}

TextString made_folder_after(const TextString& missing_before) {
    if (missing_before.empty() || file_state(missing_before.chars()).kind != FileState::Kind::present) {
        return TextString();
    }
    return missing_before;
}

void remove_made_folders(const TextString& target, const TextString& made_folder) {
    if (!lies_below(target, made_folder)) return;
    const std::vector<int32_t> ends = folder_ends(target, made_folder.length() + 1);
    // Each one that cannot go (it holds something) leaves the ones around it full too.
    for (auto end = ends.rbegin(); end != ends.rend(); ++end) {
        system_calls().remove_empty_folder(target.substring(0, *end).chars());
    }
    system_calls().remove_empty_folder(made_folder.chars());
}

bool remove_extracted(const TextString& file, const TextString& made_folder) {
    const bool deleted = system_calls().delete_file(file.chars());
    remove_made_folders(file, made_folder);
    return deleted;
}

}  // namespace voskel
