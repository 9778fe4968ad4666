// Alt+3 for an archived song as its inner plugin wants it: Winamp's own
// tabbed information dialog, or the plugin's InfoBox. The host asks
// winampUseUnifiedFileInfoDlg first, then, for its dialog, asks
// winampAddUnifiedFileInfoPane for the plugin's own tabs. Both reach the
// song's inner plugin through its exports, about a copy of the song that
// stays for as long as the dialog is open: the panes keep its name.
#pragma once

#include <cstddef>

#include "identity/state_lock.h"
#include "winamp/input_plugin.h"

namespace voskel {

// The inner plugin's answer for the archive's song; 0 (the host then calls
// InfoBox) when there is none to ask, or it has no such export.
int use_unified_file_info_dialog(const wchar_t* archive);

// The inner plugin's n-th pane for the archive's song, or null. The dialog
// is marked INBUILT_NOWRITEINFO: an archived song cannot be edited, and
// the host then neither writes its fields nor says that it could not.
HostWindow add_unified_file_info_pane(int n, const wchar_t* archive, HostWindow parent, wchar_t* name,
                                      std::size_t namelen);

// Whether a dialog's copy is kept.
bool info_dialog_open() REQUIRES(state_mutex);

// Lets the dialog's copy go (Quit; the unload lets it go too).
void close_info_dialog();

}  // namespace voskel
