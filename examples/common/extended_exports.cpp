// The exports beside winampGetInModule2 that the Media Library, the format
// converter, ReplayGain and the CD burner use: metadata by key, and decoding
// to PCM outside playback. They may be called from any thread, and several
// extended reads may be open at once, each with a decoder of its own.
//
// The 8-bit build exports the 8-bit forms; the Unicode build exports the
// UTF-16 forms as well, as the host's own Unicode players do.
#include <algorithm>
#include <climits>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "decoder_plugin.h"

namespace voskel::examples {

namespace {

bool same_key(const char* a, const char* b) {
    for (;; ++a, ++b) {
        char x = *a, y = *b;
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
        if (x != y) return false;
        if (x == '\0') return true;
    }
}

// The value of one metadata key, as UTF-8; false when the plugin has none.
bool metadata(const SongPath& path, const char* key, std::string& value) {
    const DecoderKind* kind = decoder_kind();
    if (kind == nullptr || key == nullptr) return false;
    if (same_key(key, "type")) {
        // Assigned as strings of their own, which GCC 12 does not wrongly take
        // for overlapping copies.
        value = std::string("0");  // audio
        return kind->open != nullptr;
    }
    if (same_key(key, "family")) {
        value = std::string(kind->family);
        return true;
    }
    SongInfo info;
    if (!kind->describe(path, info)) return false;
    if (same_key(key, "title")) {
        value = info.title;
    } else if (same_key(key, "artist")) {
        value = info.artist;
    } else if (same_key(key, "length")) {
        if (info.length_ms < 0) return false;
        value = std::to_string(info.length_ms);
    } else {
        return false;
    }
    return !value.empty();
}

struct ExtendedRead {
    std::unique_ptr<Decoder> decoder;
    std::size_t frame_bytes;
    // Decoded a block of frames_per_block frames at a time, as playback
    // decodes, so that both give the same samples.
    std::vector<char> block;
    std::size_t block_start = 0;
    std::size_t block_end = 0;
};

intptr_t open_read(const SongPath& path, int* size, int* bits, int* channels, int* rate) {
    const DecoderKind* kind = decoder_kind();
    if (kind == nullptr) return 0;
    std::unique_ptr<Decoder> decoder = kind->open(path);
    if (!decoder) return 0;
    auto read = std::make_unique<ExtendedRead>();
    read->frame_bytes = static_cast<std::size_t>(decoder->channels() * decoder->bits_per_sample() / 8);
    read->block.resize(read->frame_bytes * frames_per_block);
    const int64_t decoded = decoder->decoded_size();
    if (size != nullptr) *size = decoded >= 0 && decoded <= INT_MAX ? static_cast<int>(decoded) : -1;
    if (bits != nullptr) *bits = decoder->bits_per_sample();
    if (channels != nullptr) *channels = decoder->channels();
    if (rate != nullptr) *rate = decoder->sample_rate();
    read->decoder = std::move(decoder);
    return reinterpret_cast<intptr_t>(read.release());
}

}  // namespace

}  // namespace voskel::examples

using voskel::examples::ExtendedRead;

VOSKEL_PLUGIN_EXPORT int winampGetExtendedFileInfo(const char* file, const char* key, char* dest, int destlen) {
    std::string value;
    if (dest == nullptr || destlen <= 0 || !voskel::examples::metadata(voskel::examples::path_from_narrow(file), key, value)) {
        return 0;
    }
    voskel::examples::write_narrow_title(value, dest, static_cast<std::size_t>(destlen));
    return 1;
}

VOSKEL_PLUGIN_EXPORT intptr_t winampGetExtendedRead_open(const char* file, int* size, int* bits, int* channels,
                                                         int* rate) {
    return voskel::examples::open_read(voskel::examples::path_from_narrow(file), size, bits, channels, rate);
}

#if defined(VOSKEL_UNICODE_PLUGIN)
VOSKEL_PLUGIN_EXPORT int winampGetExtendedFileInfoW(const wchar_t* file, const char* key, wchar_t* dest,
                                                    int destlen) {
    std::string value;
    if (dest == nullptr || destlen <= 0 || !voskel::examples::metadata(voskel::examples::path_from_wide(file), key, value)) {
        return 0;
    }
    voskel::examples::write_wide_title(value, dest, static_cast<std::size_t>(destlen));
    return 1;
}

VOSKEL_PLUGIN_EXPORT intptr_t winampGetExtendedRead_openW(const wchar_t* file, int* size, int* bits, int* channels,
                                                          int* rate) {
    return voskel::examples::open_read(voskel::examples::path_from_wide(file), size, bits, channels, rate);
}
#endif

VOSKEL_PLUGIN_EXPORT intptr_t winampGetExtendedRead_getData(intptr_t handle, char* dest, int len, int* kill) {
    auto* read = reinterpret_cast<ExtendedRead*>(handle);
    if (read == nullptr || dest == nullptr || len <= 0) return 0;
    // Whole frames only.
    const std::size_t wanted = static_cast<std::size_t>(len) - static_cast<std::size_t>(len) % read->frame_bytes;
    std::size_t done = 0;
    while (done < wanted && (kill == nullptr || *kill == 0)) {
        if (read->block_start == read->block_end) {
            read->block_start = 0;
            read->block_end = read->decoder->read(read->block.data(), read->block.size());
            if (read->block_end == 0) break;
        }
        const std::size_t count = std::min(wanted - done, read->block_end - read->block_start);
        std::memcpy(dest + done, read->block.data() + read->block_start, count);
        read->block_start += count;
        done += count;
    }
    return static_cast<intptr_t>(done);
}

VOSKEL_PLUGIN_EXPORT int winampGetExtendedRead_setTime(intptr_t handle, int ms) {
    auto* read = reinterpret_cast<ExtendedRead*>(handle);
    if (read == nullptr) return 0;
    read->decoder->seek(ms < 0 ? 0 : ms);
    read->block_start = read->block_end = 0;
    return 1;
}

VOSKEL_PLUGIN_EXPORT void winampGetExtendedRead_close(intptr_t handle) {
    delete reinterpret_cast<ExtendedRead*>(handle);
}
