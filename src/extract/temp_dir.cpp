#include "extract/temp_dir.h"

namespace voskel {

bool find_temp_dir(TextString& folder) {
    // "TEMP" only has to exist; "TMP", read into the same string, names the folder.
    return folder.load_env("TEMP") && folder.load_env("TMP");
}

}  // namespace voskel
