// WAV files built chunk by chunk, sound or deliberately damaged.
#pragma once

#include <cstdint>
#include <string>

namespace voskel::test {

inline std::string le16(uint32_t v) {
    return std::string{static_cast<char>(v & 0xFF), static_cast<char>((v >> 8) & 0xFF)};
}

inline std::string le32(uint32_t v) { return le16(v & 0xFFFF) + le16(v >> 16); }

// A chunk with its header, padded to an even size.
inline std::string chunk(const std::string& id, const std::string& body) {
    std::string bytes = id + le32(static_cast<uint32_t>(body.size())) + body;
    if (body.size() % 2 != 0) bytes += '\0';
    return bytes;
}

inline std::string riff(const std::string& chunks) {
    return "RIFF" + le32(static_cast<uint32_t>(4 + chunks.size())) + "WAVE" + chunks;
}

// block_align < 0: the one that channels and bits call for.
inline std::string format_chunk(int tag, int channels, int rate, int bits, int block_align = -1) {
    const int align = block_align >= 0 ? block_align : channels * bits / 8;
    return chunk("fmt ", le16(static_cast<uint32_t>(tag)) + le16(static_cast<uint32_t>(channels)) +
                             le32(static_cast<uint32_t>(rate)) + le32(static_cast<uint32_t>(rate * align)) +
                             le16(static_cast<uint32_t>(align)) + le16(static_cast<uint32_t>(bits)));
}

// WAVE_FORMAT_EXTENSIBLE, with PCM or floating-point samples.
inline std::string extensible_format_chunk(int channels, int rate, int bits, bool float_samples) {
    const int align = channels * bits / 8;
    const std::string subformat = le16(float_samples ? 3 : 1) +
                                  std::string("\x00\x00\x00\x00\x10\x00\x80\x00\x00\xAA\x00\x38\x9B\x71", 14);
    return chunk("fmt ", le16(0xFFFE) + le16(static_cast<uint32_t>(channels)) + le32(static_cast<uint32_t>(rate)) +
                             le32(static_cast<uint32_t>(rate * align)) + le16(static_cast<uint32_t>(align)) +
                             le16(static_cast<uint32_t>(bits)) + le16(22) + le16(static_cast<uint32_t>(bits)) +
                             le32(channels == 2 ? 3 : 4) + subformat);
}

// frames of samples that differ from frame to frame and channel to channel.
inline std::string sample_bytes(int channels, int bits, int frames) {
    std::string bytes;
    for (int frame = 0; frame < frames; ++frame) {
        for (int channel = 0; channel < channels; ++channel) {
            const uint32_t value = static_cast<uint32_t>(frame * 97 + channel * 5003);
            bytes += bits == 8 ? std::string(1, static_cast<char>(value & 0xFF)) : le16(value & 0xFFFF);
        }
    }
    return bytes;
}

inline std::string wav_file(int channels, int bits, int rate, const std::string& samples) {
    return riff(format_chunk(1, channels, rate, bits) + chunk("data", samples));
}

}  // namespace voskel::test
