// The input plugins of one folder, loaded and set up as the player does:
// winampGetInModule2, a version the player accepts, the host's slots filled
// in, Init; Quit and unloaded again when the host goes.
#pragma once

#include <string>
#include <vector>

#include "winamp/input_plugin.h"
#include "platform/platform.h"

namespace voskel::play {

struct LoadedPlugin {
    std::string file_name;
    LibraryHandle library = nullptr;
    In_Module* module = nullptr;
};

struct PluginLoadFailure {
    std::string file_name;
    std::string reason;
};

// The last SetInfo a plugin made.
struct ReportedInfo {
    int bitrate_kbps = 0;
    int sample_rate_khz = 0;
    int channels = 0;
};

class PluginHost {
public:
    PluginHost() = default;
    ~PluginHost();
    PluginHost(const PluginHost&) = delete;
    PluginHost& operator=(const PluginHost&) = delete;

    // Loads every in_* library of the folder, in the system's order.
    // Libraries that are no input plugin end up in failures().
    void load_folder(const std::string& folder, HostWindow main_window);

    const std::vector<LoadedPlugin>& plugins() const { return plugins_; }
    const std::vector<PluginLoadFailure>& failures() const { return failures_; }

    // The plugin that plays the file, chosen as the player does: the first
    // one whose IsOurFile claims it, else the first whose extension list
    // names its extension. Null when none does.
    const LoadedPlugin* claim(const std::string& path) const;

    // Quits every plugin, in reverse load order as the player does, then
    // unloads them all.
    void release();

private:
    std::vector<LoadedPlugin> plugins_;
    std::vector<PluginLoadFailure> failures_;
};

ReportedInfo reported_info();
void reset_reported_info();

}  // namespace voskel::play
