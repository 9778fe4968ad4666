#include "host/extended_info.h"

#include <memory>
#include <vector>

#include "host/own_copy.h"
#include "identity/plugin_identity.h"
#include "platform/platform.h"
#include "registry/module_exports.h"

namespace voskel {

namespace {

struct KeptMember {
    TextString archive;  // the name asked about, exactly
    uint64_t size = 0;
    uint64_t modified = 0;
    std::unique_ptr<OwnCopy> copy;
};

// Shared with each question in progress, so that dropping it while one reads
// it deletes it only when that one is done. Guarded by shared_lock().
std::shared_ptr<const KeptMember> kept;

// The member for a question about archive: the kept one when it is still
// that archive's, else a fresh one, which is then kept.
std::shared_ptr<const KeptMember> member_for(const char* archive) {
    if (!is_archive_extension(TextString(archive).extension())) return nullptr;
    uint64_t size = 0, modified = 0;
    if (!system_calls().file_identity(archive, size, modified)) return nullptr;
    std::shared_ptr<const KeptMember> old;
    const std::lock_guard<std::mutex> guard(shared_lock());
    if (kept && kept->archive.equals(archive) && kept->size == size && kept->modified == modified) return kept;
    old = std::move(kept);  // deleted once released, after the lock
    auto fresh = std::make_shared<KeptMember>();
    fresh->copy = make_own_copy(archive);
    // A member whose module cannot answer is not worth keeping.
    if (!fresh->copy || !has_extended_info(fresh->copy->module())) return nullptr;
    fresh->archive = TextString(archive);
    fresh->size = size;
    fresh->modified = modified;
    kept = fresh;
    return kept;
}

}  // namespace

int get_extended_file_info(const char* file, const char* key, char* dest, int destlen) {
    if (file == nullptr || key == nullptr || dest == nullptr || destlen <= 0) return 0;
    const std::shared_ptr<const KeptMember> member = member_for(file);
    if (!member) return 0;
    return module_extended_info(member->copy->module(), member->copy->file(), key, dest, destlen);
}

int get_extended_file_info_wide(const wchar_t* file, const char* key, wchar_t* dest, int destlen) {
    if (key == nullptr || dest == nullptr || destlen <= 0) return 0;
    const std::vector<char> name = narrow_file_name(file);
    if (name.empty()) return 0;
    const std::shared_ptr<const KeptMember> member = member_for(name.data());
    if (!member) return 0;
    return module_extended_info_wide(member->copy->module(), member->copy->file(), key, dest, destlen);
}

void drop_kept_member() {
    std::shared_ptr<const KeptMember> old;
    const std::lock_guard<std::mutex> guard(shared_lock());
    old = std::move(kept);
}

}  // namespace voskel
