#include "plugin_host.h"

#include <atomic>
#include <cstdio>

#include "host_system.h"
#include "registry/inner_module.h"
#include "registry/plugin_registry.h"
#include "text/text_string.h"

namespace voskel::play {

namespace {

// Visualisation and DSP: the command line shows no pictures and applies no
// effects, so these accept everything and change nothing.
void sa_vsa_init(int, int) {}
void sa_vsa_deinit() {}
void sa_add_pcm_data(void*, int, int, int) {}
int sa_get_mode() { return 0; }
int sa_add(void*, int, int) { return 0; }
void vsa_add_pcm_data(void*, int, int, int) {}
int vsa_get_mode(int* spectrum_channels, int* wave_channels) {
    if (spectrum_channels != nullptr) *spectrum_channels = 0;
    if (wave_channels != nullptr) *wave_channels = 0;
    return 0;
}
int vsa_add(void*, int) { return 0; }
void vsa_set_info(int, int) {}
int dsp_is_active() { return 0; }
int dsp_do_samples(short*, int sample_count, int, int, int) { return sample_count; }

std::atomic<int> info_bitrate{0};
std::atomic<int> info_sample_rate{0};
std::atomic<int> info_channels{0};

void set_info(int bitrate, int sample_rate, int stereo, int) {
    // Plugins pass -1 for a value they leave as it was.
    if (bitrate >= 0) info_bitrate = bitrate;
    if (sample_rate >= 0) info_sample_rate = sample_rate;
    if (stereo >= 0) info_channels = stereo;
}

std::string hex(int value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%x", static_cast<unsigned>(value));
    return text;
}

void collect_name(const char* name, bool is_directory, void* context) {
    if (!is_directory) static_cast<std::vector<std::string>*>(context)->emplace_back(name);
}

}  // namespace

PluginHost::~PluginHost() { release(); }

void PluginHost::load_folder(const std::string& folder, HostWindow main_window) {
    SystemCalls& system = system_calls();
    std::vector<std::string> names;
    system.find_files(join_path(folder, plugin_file_pattern()).c_str(), collect_name, &names);

    for (const std::string& name : names) {
        const std::string path = join_path(folder, name);
        LibraryHandle library = system.load_library(path.c_str());
        if (library == nullptr) {
            failures_.push_back({name, "cannot be loaded: " + last_load_error()});
            continue;
        }
        auto get_module = reinterpret_cast<GetInModuleFunction>(system.find_symbol(library, get_in_module_export));
        In_Module* module = get_module != nullptr ? get_module() : nullptr;
        std::string reason;
        if (get_module == nullptr) {
            reason = "is not an input plugin: it has no winampGetInModule2";
        } else if (module == nullptr) {
            reason = "winampGetInModule2 gave no module";
        } else if (!is_known_version(module->version)) {
            reason = "is an input plugin of another version (" + hex(module->version) + ", not 0x100 or 0x101)";
        }
        if (!reason.empty()) {
            failures_.push_back({name, reason});
            system.unload_library(library);
            continue;
        }

        module->hMainWindow = main_window;
        module->hDllInstance = library;
        module->SAVSAInit = sa_vsa_init;
        module->SAVSADeInit = sa_vsa_deinit;
        module->SAAddPCMData = sa_add_pcm_data;
        module->SAGetMode = sa_get_mode;
        module->SAAdd = sa_add;
        module->VSAAddPCMData = vsa_add_pcm_data;
        module->VSAGetMode = vsa_get_mode;
        module->VSAAdd = vsa_add;
        module->VSASetInfo = vsa_set_info;
        module->dsp_isactive = dsp_is_active;
        module->dsp_dosamples = dsp_do_samples;
        // As the player: SetInfo only once Init is done, outMod before each
        // Play, and the flags a module sets while playing cleared.
        module->SetInfo = nullptr;
        module->UsesOutputPlug &= ~(2 | 4 | 8 | 16);
        if (!init_module(*module)) {
            failures_.push_back({name, "reported failure from its Init"});
            system.unload_library(library);
            continue;
        }
        module->SetInfo = set_info;
        plugins_.push_back({name, library, module});
    }
}

const LoadedPlugin* PluginHost::claim(const std::string& path) const {
    for (const LoadedPlugin& plugin : plugins_) {
        if (module_is_our_file(*plugin.module, path.c_str()) != 0) return &plugin;
    }
    const std::string extension = extension_of(path);
    if (extension.empty()) return nullptr;
    for (const LoadedPlugin& plugin : plugins_) {
        if (extension_list_matches(plugin.module->FileExtensions, TextString(extension.c_str()))) return &plugin;
    }
    return nullptr;
}

void PluginHost::release() {
    // As the player: in reverse load order.
    for (auto plugin = plugins_.rbegin(); plugin != plugins_.rend(); ++plugin) plugin->module->Quit();
    // Only after every Quit: a plugin may still use another in its own Quit.
    for (const LoadedPlugin& plugin : plugins_) system_calls().unload_library(plugin.library);
    plugins_.clear();
}

ReportedInfo reported_info() { return {info_bitrate.load(), info_sample_rate.load(), info_channels.load()}; }

void reset_reported_info() {
    info_bitrate = 0;
    info_sample_rate = 0;
    info_channels = 0;
}


}  // namespace voskel::play
