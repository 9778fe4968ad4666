#include "extract/temp_dir.h"

namespace voskel {

bool find_temp_dir(TextString& folder) {
    // "TEMP" only has to exist; "TMP", read into the same string, names the folder.
    return folder.load_env("TEMP") && folder.load_env("TMP");
}

bool find_destination(const TextString& own_folder, TextString& folder) {
    if (own_folder.empty()) return find_temp_dir(folder);
    folder = own_folder;
    return true;
}

}  // namespace voskel
