// The host's Uninstall button for this plugin: winampUninstallPlugin.
#pragma once

namespace voskel {

// Removes what of the plugin's own is still in the temporary folder, then
// answers that the host may remove the plugin at once
// (IN_PLUGIN_UNINSTALL_NOW): nothing else of it needs the host to restart.
int uninstall_plugin();

}  // namespace voskel
