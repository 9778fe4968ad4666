#include "host/extended_info.h"

#include <cstdio>
#include <memory>
#include <vector>

#include "host/own_copy.h"
#include "host/plugin_record.h"
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
// it deletes it only when that one is done.
std::shared_ptr<const KeptMember> kept GUARDED_BY(state_mutex);

bool is_kept(const char* archive, uint64_t size, uint64_t modified) REQUIRES(state_mutex) {
    return kept && kept->archive.equals(archive) && kept->size == size && kept->modified == modified;
}

// The member for a question about archive: the kept one when it is still
// that archive's, else a fresh one, which is then kept. Null, or a member
// without a copy, when the answer is no. The archive is extracted without
// the lock: the main thread may play and stop meanwhile.
std::shared_ptr<const KeptMember> member_for(const char* archive) EXCLUDES(state_mutex) {
    if (!is_archive_extension(TextString(archive).extension())) return nullptr;
    uint64_t size = 0, modified = 0;
    if (!system_calls().file_identity(archive, size, modified)) return nullptr;
    {
        const MutexLock guard(state_mutex);
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
    const MutexLock guard(state_mutex);
    old = std::move(kept);  // deleted once released, after the lock
    kept = fresh;
    return fresh;
}

bool is_key(const char* key, const char* wanted) {
    for (; *key != '\0' && *wanted != '\0'; ++key, ++wanted) {
        const char c = (*key >= 'A' && *key <= 'Z') ? static_cast<char>(*key - 'A' + 'a') : *key;
        if (c != *wanted) return false;
    }
    return *key == *wanted;
}

// The host asks about names that are no files: "type" of "" at load (a 1
// marks a video plugin), "family" of Winamp.File.mdz when it registers the
// file type, "type" of test.mdr in its file-type settings. The family of
// any MDZ or MDR name, and the type of one that is no file, come from the
// name alone, without looking into an archive; the type of an archive
// that is one comes from its song's module (an archived video is 1), and
// is 0 (audio) when it has no answer.
const char* answer_from_name(const char* file, const char* key, bool& answer_of_the_song_first) {
    answer_of_the_song_first = false;
    const TextString extension = TextString(file).extension();
    if (is_key(key, "family")) return archive_description(extension);
    if (!is_key(key, "type")) return nullptr;
    if (file[0] == '\0') return "0";
    if (!is_archive_extension(extension)) return nullptr;
    uint64_t size = 0, modified = 0;
    answer_of_the_song_first = system_calls().file_identity(file, size, modified);
    return "0";
}

// As narrow text or as wide, cut to fit.
int write_answer(const char* text, char* dest, int destlen) {
    std::snprintf(dest, static_cast<std::size_t>(destlen), "%s", text);
    return 1;
}

int write_answer(const char* text, wchar_t* dest, int destlen) {
    int i = 0;
    for (; text[i] != '\0' && i < destlen - 1; ++i) dest[i] = static_cast<unsigned char>(text[i]);  // ASCII
    dest[i] = L'\0';
    return 1;
}

int ask_module(const OwnCopy& copy, const char* key, char* dest, int destlen) {
    return module_extended_info(copy.module(), copy.file(), key, dest, destlen);
}

int ask_module(const OwnCopy& copy, const char* key, wchar_t* dest, int destlen) {
    return module_extended_info_wide(copy.module(), copy.file(), key, dest, destlen);
}

template <typename Char>
int extended_file_info(const char* file, const char* key, Char* dest, int destlen) {
    bool answer_of_the_song_first = false;
    const char* from_name = answer_from_name(file, key, answer_of_the_song_first);
    if (from_name != nullptr && !answer_of_the_song_first) return write_answer(from_name, dest, destlen);
    const std::shared_ptr<const KeptMember> member = member_for(file);
    if (member && member->copy && ask_module(*member->copy, key, dest, destlen) != 0) return 1;
    return from_name != nullptr ? write_answer(from_name, dest, destlen) : 0;
}

}  // namespace

int get_extended_file_info(const char* file, const char* key, char* dest, int destlen) {
    if (file == nullptr || key == nullptr || dest == nullptr || destlen <= 0) return 0;
    const Activity activity;
    if (!activity.admitted()) return 0;
    return extended_file_info(file, key, dest, destlen);
}

int get_extended_file_info_wide(const wchar_t* file, const char* key, wchar_t* dest, int destlen) {
    if (key == nullptr || dest == nullptr || destlen <= 0) return 0;
    const Activity activity;
    if (!activity.admitted()) return 0;
    const std::vector<char> name = narrow_file_name(file);
    if (name.empty()) return 0;
    return extended_file_info(name.data(), key, dest, destlen);
}

void drop_kept_member() {
    std::shared_ptr<const KeptMember> old;
    const MutexLock guard(state_mutex);
    old = std::move(kept);
}

}  // namespace voskel
