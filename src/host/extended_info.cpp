#include "host/extended_info.h"

#include <memory>
#include <vector>

#include "host/own_copy.h"
#include "identity/plugin_identity.h"
#include "platform/platform.h"
#include "registry/module_exports.h"

namespace voskel {

namespace {

// What is known of the last archive asked about: its member with the module
// that answers for it, or, when there is none to ask (nothing extracted, no
// module, no export), that the answer is no.
struct KeptMember {
    TextString archive;  // the name asked about, exactly
    uint64_t size = 0;
    uint64_t modified = 0;
    std::unique_ptr<OwnCopy> copy;  // null for a remembered no
};

// Shared with each question in progress, so that dropping it while one reads
// it deletes it only when that one is done. Guarded by state_lock().
std::shared_ptr<const KeptMember> kept;

bool is_kept(const char* archive, uint64_t size, uint64_t modified) {
    return kept && kept->archive.equals(archive) && kept->size == size && kept->modified == modified;
}

// The member for a question about archive: the kept one when it is still
// that archive's, else a fresh one, which is then kept. Null, or a member
// without a copy, when the answer is no. The archive is extracted without
// the lock: the main thread may play and stop meanwhile.
std::shared_ptr<const KeptMember> member_for(const char* archive) {
    if (!is_archive_extension(TextString(archive).extension())) return nullptr;
    uint64_t size = 0, modified = 0;
    if (!system_calls().file_identity(archive, size, modified)) return nullptr;
    {
        const std::lock_guard<std::mutex> guard(state_lock());
        if (is_kept(archive, size, modified)) return kept;
    }
    auto fresh = std::make_shared<KeptMember>();
    // The extended exports run on the host's worker threads and show no box:
    // a missing library is a no like any other.
    fresh->copy = make_own_copy(archive).copy;
    if (fresh->copy && !has_extended_info(fresh->copy->module())) fresh->copy.reset();
    fresh->archive = TextString(archive);
    fresh->size = size;
    fresh->modified = modified;
    std::shared_ptr<const KeptMember> old;
    const std::lock_guard<std::mutex> guard(state_lock());
    old = std::move(kept);  // deleted once released, after the lock
    kept = fresh;
    return fresh;
}

}  // namespace

int get_extended_file_info(const char* file, const char* key, char* dest, int destlen) {
    if (file == nullptr || key == nullptr || dest == nullptr || destlen <= 0) return 0;
    const Activity activity;
    if (!activity.admitted()) return 0;
    const std::shared_ptr<const KeptMember> member = member_for(file);
    if (!member || !member->copy) return 0;
    return module_extended_info(member->copy->module(), member->copy->file(), key, dest, destlen);
}

int get_extended_file_info_wide(const wchar_t* file, const char* key, wchar_t* dest, int destlen) {
    if (key == nullptr || dest == nullptr || destlen <= 0) return 0;
    const Activity activity;
    if (!activity.admitted()) return 0;
    const std::vector<char> name = narrow_file_name(file);
    if (name.empty()) return 0;
    const std::shared_ptr<const KeptMember> member = member_for(name.data());
    if (!member || !member->copy) return 0;
    return module_extended_info_wide(member->copy->module(), member->copy->file(), key, dest, destlen);
}

void drop_kept_member() {
    std::shared_ptr<const KeptMember> old;
    const std::lock_guard<std::mutex> guard(state_lock());
    old = std::move(kept);
}

}  // namespace voskel
