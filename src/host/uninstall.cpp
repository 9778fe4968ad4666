#include "host/uninstall.h"

#include "host/extended_info.h"
#include "winamp/input_plugin.h"

namespace voskel {

int uninstall_plugin() {
    // Extended reads still open are closed, and their folders removed, when
    // the host frees the library right after.
    drop_kept_member();
    return IN_PLUGIN_UNINSTALL_NOW;
}

}  // namespace voskel
