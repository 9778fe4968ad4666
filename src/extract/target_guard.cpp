#include "extract/target_guard.h"

#include "extract/temp_dir.h"

namespace voskel {

namespace {

using Kind = FileState::Kind;

// Whether the pass created the file or changed one that was there. A file
// that could not be looked at before counts as kept: better a stale file
// than a lost one.
bool written_between(const FileState& before, const FileState& after) {
    if (before.kind == Kind::absent) return after.kind != Kind::absent;
    return before.kind == Kind::present && after.kind == Kind::present && !same_file_state(before, after);
}

}  // namespace

TargetGuard::TargetGuard(const TextString& folder, const TextString& target)
    : target_(target), before_(file_state(target.chars())), missing_folder_(first_missing_folder(folder, target)) {}

Extraction TargetGuard::outcome(bool library_succeeded, uint64_t declared_size) const {
    const TextString made_folder = made_folder_after(missing_folder_);
    // A file longer or shorter than declared is not the member the archive
    // describes: the library wrote past the size it listed, or stopped short.
    // Its size is all a success needs, and the cheapest look tells it.
    uint64_t size = 0, modified = 0;
    if (library_succeeded && system_calls().file_identity(target_.chars(), size, modified) && size == declared_size) {
        return {.file = target_, .made_folder = made_folder};
    }
    const FileState after = file_state(target_.chars());
    if (written_between(before_, after)) system_calls().delete_file(target_.chars());
    remove_made_folders(target_, made_folder);
    return {};
}

}  // namespace voskel
