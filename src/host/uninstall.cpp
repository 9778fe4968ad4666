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
    sweep_private_folders();
    return IN_PLUGIN_UNINSTALL_NOW;
}

}  // namespace voskel
