// The host's Uninstall button for this plugin: winampUninstallPlugin.
#pragma once

namespace voskel {

// When nothing of the plugin is in use (no song current, no extended read
// open, no question in progress): removes what of its own is still in the
// temporary folder and answers that the host may free and delete the
// plugin at once (IN_PLUGIN_UNINSTALL_NOW); no call is taken afterwards.
// Otherwise the host is to delete it at its next start
// (IN_PLUGIN_UNINSTALL_REBOOT), and the plugin goes on working meanwhile.
int uninstall_plugin();

}  // namespace voskel
