#include "wav_format.h"

#include <cstring>

namespace voskel::examples {

namespace {

constexpr int format_pcm = 1;
constexpr int format_extensible = 0xFFFE;
constexpr int max_sample_rate = 768000;

// The GUID of PCM samples in WAVE_FORMAT_EXTENSIBLE, after its first two bytes (the format tag).
constexpr unsigned char pcm_subformat_tail[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                                  0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

uint16_t le16(const unsigned char* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t le32(const unsigned char* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
           (static_cast<uint32_t>(p[3]) << 24);
}

WavError read_format(const ByteSource& source, uint64_t body, uint32_t size, WavLayout& layout) {
    unsigned char fmt[40];
    if (size < 16 || !source.read_at(body, fmt, 16)) return WavError::bad_format_chunk;
    int tag = le16(fmt);
    if (tag == format_extensible) {
        if (size < 40 || !source.read_at(body, fmt, 40)) return WavError::bad_format_chunk;
        if (std::memcmp(fmt + 26, pcm_subformat_tail, sizeof pcm_subformat_tail) != 0) return WavError::not_pcm;
        tag = le16(fmt + 24);
    }
    if (tag != format_pcm) return WavError::not_pcm;

    layout.channels = le16(fmt + 2);
    const uint32_t rate = le32(fmt + 4);
    layout.block_align = le16(fmt + 12);
    layout.bits_per_sample = le16(fmt + 14);
    if (layout.channels < 1 || layout.channels > 2 || (layout.bits_per_sample != 8 && layout.bits_per_sample != 16)) {
        return WavError::unsupported_layout;
    }
    if (layout.block_align != layout.channels * layout.bits_per_sample / 8) return WavError::bad_block_align;
    if (rate == 0 || rate > max_sample_rate) return WavError::bad_sample_rate;
    layout.sample_rate = static_cast<int>(rate);
    return WavError::none;
}

}  // namespace

WavError read_wav_layout(const ByteSource& source, WavLayout& layout) {
    layout = WavLayout{};
    const uint64_t end = source.size();
    unsigned char header[12];
    if (end < sizeof header || !source.read_at(0, header, sizeof header) || std::memcmp(header, "RIFF", 4) != 0 ||
        std::memcmp(header + 8, "WAVE", 4) != 0) {
        return WavError::not_wave;
    }

    // The RIFF size is often wrong (streamed recordings leave it 0 or
    // 0xFFFFFFFF); the file's own size bounds the walk instead.
    bool have_format = false;
    uint64_t position = sizeof header;
    while (position + 8 <= end) {
        unsigned char chunk[8];
        if (!source.read_at(position, chunk, sizeof chunk)) break;
        const uint32_t size = le32(chunk + 4);
        const uint64_t body = position + 8;
        if (std::memcmp(chunk, "fmt ", 4) == 0) {
            if (have_format) return WavError::bad_format_chunk;
            if (body + size > end) return WavError::bad_format_chunk;
            const WavError error = read_format(source, body, size, layout);
            if (error != WavError::none) return error;
            have_format = true;
        } else if (std::memcmp(chunk, "data", 4) == 0) {
            if (!have_format) return WavError::no_format;
            // A recording cut short keeps what it has.
            const uint64_t available = end - body < size ? end - body : size;
            layout.data_offset = body;
            layout.data_size = available - available % static_cast<uint64_t>(layout.block_align);
            return WavError::none;
        }
        position = body + size + (size & 1);  // chunks are padded to even sizes
    }
    return have_format ? WavError::no_data : WavError::no_format;
}

const char* describe(WavError error) {
    switch (error) {
        case WavError::none: return "a PCM WAV file";
        case WavError::not_wave: return "not a RIFF WAVE file";
        case WavError::no_format: return "no format chunk before the samples";
        case WavError::bad_format_chunk: return "damaged format chunk";
        case WavError::not_pcm: return "samples are not PCM";
        case WavError::unsupported_layout: return "only 8 or 16 bit, mono or stereo, is supported";
        case WavError::bad_block_align: return "frame size disagrees with channels and bits";
        case WavError::bad_sample_rate: return "impossible sample rate";
        case WavError::no_data: return "no data chunk";
    }
    return "unknown";
}

}  // namespace voskel::examples
