#include "host/uninstall.h"

#include "extract/private_folder.h"
#include "host/extended_info.h"
#include "host/own_copy.h"
#include "winamp/input_plugin.h"

namespace voskel {

int uninstall_plugin() {
    drop_kept_member();
    // Freed at once, the plugin would leave a playing module's thread, an
    // open read or a question in progress calling into freed code.
    if (!release_for_unload()) return IN_PLUGIN_UNINSTALL_REBOOT;
    close_private_folders();  // the ones kept for the next copy
    sweep_private_folders();  // and what processes that ended left
    return IN_PLUGIN_UNINSTALL_NOW;
}

}  // namespace voskel
