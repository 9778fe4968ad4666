#include "host/info_dialog.h"

#include <cstring>
#include <cwchar>
#include <memory>
#include <mutex>
#include <vector>

#include "host/own_copy.h"
#include "platform/platform.h"
#include "registry/module_exports.h"

namespace voskel {

namespace {

// The copy a dialog describes, and the name the inner plugin's panes keep.
// It goes when the dialog window does (where the platform can tell), when
// the host asks about another archive's dialog, and at Quit and unload.
struct DialogCopy {
    std::vector<wchar_t> archive;  // as the host named it
    std::unique_ptr<OwnCopy> copy;
    std::vector<wchar_t> file;  // the copy's name, wide
    void* watch = nullptr;

    ~DialogCopy() { system_calls().stop_watching(watch); }
};

// Made, used and replaced on the host's main thread, which asks for the
// dialog; guarded for Quit, unload and the uninstall check.
std::shared_ptr<DialogCopy> dialog GUARDED_BY(state_mutex);

std::vector<wchar_t> wide_copy(const wchar_t* text) {
    return std::vector<wchar_t>(text, text + std::wcslen(text) + 1);
}

bool names(const DialogCopy& copy, const wchar_t* archive) { return std::wcscmp(copy.archive.data(), archive) == 0; }

// A fresh copy of the archive's song, or null.
std::shared_ptr<DialogCopy> copy_for(const wchar_t* archive) {
    const std::vector<char> name = narrow_file_name(archive);
    if (name.empty()) return nullptr;
    auto made = std::make_shared<DialogCopy>();
    made->copy = make_own_copy(name.data()).copy;
    if (!made->copy) return nullptr;
    const std::size_t length = std::strlen(made->copy->file());
    made->file.resize(length + 1);
    if (!system_calls().ansi_to_wide(made->copy->file(), made->file.data(), static_cast<uint32_t>(length + 1))) {
        return nullptr;
    }
    made->archive = wide_copy(archive);
    return made;
}

// Puts copy in the dialog's place; the one there before goes once the lock
// is let go.
void keep(std::shared_ptr<DialogCopy> copy) {
    std::shared_ptr<DialogCopy> old;
    const MutexLock guard(state_mutex);
    old = std::move(dialog);
    dialog = std::move(copy);
}

std::shared_ptr<DialogCopy> current() {
    const MutexLock guard(state_mutex);
    return dialog;
}

void dialog_window_gone(void*) {
    const std::shared_ptr<DialogCopy> copy = current();
    if (copy) copy->watch = nullptr;  // it ended with this call
    close_info_dialog();
}

}  // namespace

int use_unified_file_info_dialog(const wchar_t* archive) {
    if (archive == nullptr) return 0;
    const Activity activity;
    if (!activity.admitted()) return 0;
    std::shared_ptr<DialogCopy> copy = copy_for(archive);
    const int answer = copy ? module_use_unified_dialog(copy->copy->module(), copy->copy->file()) : 0;
    keep(answer != 0 ? std::move(copy) : nullptr);
    return answer;
}

HostWindow add_unified_file_info_pane(int n, const wchar_t* archive, HostWindow parent, wchar_t* name,
                                      std::size_t namelen) {
    if (archive == nullptr) return nullptr;
    const Activity activity;
    if (!activity.admitted()) return nullptr;
    std::shared_ptr<DialogCopy> copy = current();
    if (n == 0) {
        system_calls().mark_window(parent, no_write_info_property);
        // A host that did not ask first, or asks about another archive now.
        if (!copy || !names(*copy, archive)) {
            copy = copy_for(archive);
            keep(copy);
        }
        if (copy && copy->watch == nullptr) copy->watch = system_calls().watch_window(parent, dialog_window_gone, nullptr);
    }
    if (!copy || !names(*copy, archive)) return nullptr;
    return module_add_info_pane(copy->copy->module(), n, copy->file.data(), parent, name, namelen);
}

bool info_dialog_open() { return dialog != nullptr; }

void close_info_dialog() { keep(nullptr); }

}  // namespace voskel
