// Reading the layout of a PCM WAV file: where the samples are and what they
// are. Every size in the file is checked against the file's real size, so a
// damaged header can never send a reader past the end of the samples.
#pragma once

#include <cstddef>
#include <cstdint>

namespace voskel::examples {

// Random access to the file's bytes.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual uint64_t size() const = 0;
    // Exactly count bytes from offset, or false.
    virtual bool read_at(uint64_t offset, void* buffer, std::size_t count) const = 0;
};

struct WavLayout {
    int channels = 0;
    int sample_rate = 0;
    int bits_per_sample = 0;
    int block_align = 0;       // bytes per sample frame
    uint64_t data_offset = 0;  // first sample byte
    uint64_t data_size = 0;    // whole frames only, all of them inside the file
};

enum class WavError {
    none,
    not_wave,           // no RIFF/WAVE header
    no_format,          // no "fmt " chunk before the samples
    bad_format_chunk,   // too short, or cut off by the end of the file
    not_pcm,            // compressed or floating-point samples
    unsupported_layout, // not 1 or 2 channels of 8 or 16 bits
    bad_block_align,    // frame size disagrees with channels and bits
    bad_sample_rate,
    no_data,            // no "data" chunk in the file
};

WavError read_wav_layout(const ByteSource& source, WavLayout& layout);

// A short reason, for messages.
const char* describe(WavError error);

}  // namespace voskel::examples
