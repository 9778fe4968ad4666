// in_tracker: plays tracker modules (MOD, S3M, XM, IT and every other format
// libopenmpt reads) through libopenmpt.
#include <libopenmpt/libopenmpt.h>

#include <cctype>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "decoder_plugin.h"
#include "tracker_settings.h"

#if defined(_WIN32)
#include <windows.h>
#endif

namespace voskel::examples {

namespace {

struct ModuleCloser {
    void operator()(openmpt_module* module) const { openmpt_module_destroy(module); }
};
using ModuleHandle = std::unique_ptr<openmpt_module, ModuleCloser>;

ModuleHandle load_module(const SongPath& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return nullptr;
    const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (bytes.empty()) return nullptr;
    ModuleHandle module(openmpt_module_create_from_memory2(bytes.data(), bytes.size(), openmpt_log_func_silent,
                                                           nullptr, openmpt_error_func_ignore, nullptr, nullptr,
                                                           nullptr, nullptr));
    if (module) openmpt_module_ctl_set_integer(module.get(), tracker::dither_ctl, tracker::dither);
    return module;
}

int length_of(openmpt_module* module) {
    return static_cast<int>(openmpt_module_get_duration_seconds(module) * 1000.0);
}

class TrackerDecoder final : public Decoder {
public:
    explicit TrackerDecoder(ModuleHandle module) : module_(std::move(module)) {}

    int sample_rate() const override { return tracker::sample_rate; }
    int channels() const override { return tracker::channels; }
    int bits_per_sample() const override { return tracker::bits_per_sample; }
    int length_ms() const override { return length_of(module_.get()); }

    std::size_t read(char* buffer, std::size_t capacity) override {
        constexpr std::size_t frame_bytes = tracker::channels * tracker::bits_per_sample / 8;
        const std::size_t frames = openmpt_module_read_interleaved_stereo(
            module_.get(), tracker::sample_rate, capacity / frame_bytes, reinterpret_cast<int16_t*>(buffer));
        return frames * frame_bytes;
    }

    void seek(int time_ms) override { openmpt_module_set_position_seconds(module_.get(), time_ms / 1000.0); }

private:
    ModuleHandle module_;
};

std::unique_ptr<Decoder> open_module(const SongPath& path) {
    ModuleHandle module = load_module(path);
    if (!module) return nullptr;
    return std::make_unique<TrackerDecoder>(std::move(module));
}

bool describe_module(const SongPath& path, SongInfo& info) {
    ModuleHandle module = load_module(path);
    if (!module) return false;
    const char* title = openmpt_module_get_metadata(module.get(), "title");
    info.title = title != nullptr ? title : "";
    openmpt_free_string(title);
    const char* artist = openmpt_module_get_metadata(module.get(), "artist");
    info.artist = artist != nullptr ? artist : "";
    openmpt_free_string(artist);
    if (info.title.find_first_not_of(' ') == std::string::npos) info.title = title_from_path(path);
    info.length_ms = length_of(module.get());
    return true;
}

// One extension group: every extension libopenmpt reads, as the host writes them.
std::string extension_list() {
    const char* supported = openmpt_get_supported_extensions();
    std::string group = supported != nullptr ? supported : "";
    openmpt_free_string(supported);
    for (char& c : group) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    std::string list = group;
    list += '\0';
    list += "Tracker Modules";
    list += '\0';
    list += '\0';
    return list;
}

const DecoderKind& tracker_kind() {
    static const std::string extensions = extension_list();
    static const DecoderKind kind = {
        "Voskel example tracker module decoder v1.0 (libopenmpt)",
        "Tracker Module",
        extensions.c_str(),
        open_module,
        describe_module,
    };
    return kind;
}

}  // namespace

}  // namespace voskel::examples

VOSKEL_PLUGIN_EXPORT voskel::In_Module* winampGetInModule2() {
    return &voskel::examples::decoder_plugin_record(voskel::examples::tracker_kind());
}
