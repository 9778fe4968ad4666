// ZIP on Windows: through unzip32.dll.
#include "extract/unzip32_member.h"
#include "extract/zip_member.h"

namespace voskel {

Extraction extract_zip_member(const TextString& archive, const TextString& own_folder, const SongChoice& choice) {
    return extract_zip_member_unzip32(archive, own_folder, choice);
}

}  // namespace voskel
