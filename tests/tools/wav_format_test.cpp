// in_wave's reading of WAV headers, sound and damaged.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "tools/wav_bytes.h"
#include "wav_format.h"

namespace voskel::examples {
namespace {

using test::chunk;
using test::format_chunk;
using test::riff;

class MemorySource final : public ByteSource {
public:
    explicit MemorySource(std::string bytes) : bytes_(std::move(bytes)) {}
    uint64_t size() const override { return bytes_.size(); }
    bool read_at(uint64_t offset, void* buffer, std::size_t count) const override {
        EXPECT_LE(offset + count, bytes_.size()) << "read past the end of the file";
        if (offset > bytes_.size() || count > bytes_.size() - offset) return false;
        std::memcpy(buffer, bytes_.data() + offset, count);
        return true;
    }

private:
    std::string bytes_;
};

WavError read(const std::string& bytes, WavLayout& layout) { return read_wav_layout(MemorySource(bytes), layout); }

WavError read(const std::string& bytes) {
    WavLayout layout;
    return read(bytes, layout);
}

TEST(WavLayout, FindsFormatAndSamplesOfPlainFiles) {
    struct Case {
        int channels, bits, rate;
    };
    for (const Case c : {Case{1, 8, 11025}, Case{2, 8, 22050}, Case{1, 16, 8000}, Case{2, 16, 44100}}) {
        const int align = c.channels * c.bits / 8;
        const std::string samples(static_cast<std::size_t>(align) * 100, '\x11');
        WavLayout layout;
        ASSERT_EQ(read(riff(format_chunk(1, c.channels, c.rate, c.bits) + chunk("data", samples)), layout),
                  WavError::none);
        EXPECT_EQ(layout.channels, c.channels);
        EXPECT_EQ(layout.bits_per_sample, c.bits);
        EXPECT_EQ(layout.sample_rate, c.rate);
        EXPECT_EQ(layout.block_align, align);
        EXPECT_EQ(layout.data_offset, 12u + 24u + 8u);
        EXPECT_EQ(layout.data_size, samples.size());
    }
}

TEST(WavLayout, SkipsOtherChunksAndTheirPadding) {
    // An odd-sized chunk is followed by a pad byte that belongs to no chunk.
    const std::string list = chunk("LIST", std::string(5, 'x'));
    ASSERT_EQ(list.size(), 8u + 5u + 1u);
    const std::string bytes =
        riff(chunk("JUNK", std::string(3, '\0')) + format_chunk(1, 2, 44100, 16) + list + chunk("data", "abcd"));
    WavLayout layout;
    ASSERT_EQ(read(bytes, layout), WavError::none);
    EXPECT_EQ(bytes.substr(static_cast<std::size_t>(layout.data_offset), 4), "abcd");
    EXPECT_EQ(layout.data_size, 4u);
}

TEST(WavLayout, TakesExtensibleFormatOnlyWithPcmSamples) {
    WavLayout layout;
    EXPECT_EQ(read(riff(test::extensible_format_chunk(2, 48000, 16, false) + chunk("data", "abcd")), layout),
              WavError::none);
    EXPECT_EQ(layout.sample_rate, 48000);
    EXPECT_EQ(read(riff(test::extensible_format_chunk(2, 48000, 16, true) + chunk("data", "abcd"))),
              WavError::not_pcm);
}

TEST(WavLayout, KeepsOnlyWholeFramesThatAreInTheFile) {
    WavLayout layout;
    // The data chunk claims 1000 bytes; 10 are there, and only 8 make whole stereo 16-bit frames.
    std::string cut = riff(format_chunk(1, 2, 44100, 16) + chunk("data", std::string(10, 'a')));
    cut.replace(cut.size() - 10 - 4, 4, std::string("\xE8\x03\x00\x00", 4));
    ASSERT_EQ(read(cut, layout), WavError::none);
    EXPECT_EQ(layout.data_size, 8u);

    // Streamed recordings leave the sizes at their largest.
    std::string streamed = riff(format_chunk(1, 1, 8000, 8) + chunk("data", std::string(6, 'a')));
    streamed.replace(4, 4, std::string("\xFF\xFF\xFF\xFF", 4));
    streamed.replace(streamed.size() - 6 - 4, 4, std::string("\xFF\xFF\xFF\xFF", 4));
    ASSERT_EQ(read(streamed, layout), WavError::none);
    EXPECT_EQ(layout.data_size, 6u);
}

TEST(WavLayout, RefusesDamagedOrUnsupportedFiles) {
    const std::string data = chunk("data", "abcd");
    std::string short_format = format_chunk(1, 2, 44100, 16);
    short_format.replace(4, 4, std::string("\x0E\x00\x00\x00", 4));
    short_format.resize(8 + 14);
    std::string format_past_end = riff(format_chunk(1, 2, 44100, 16));
    format_past_end.resize(format_past_end.size() - 4);
    std::string huge_chunk = riff(format_chunk(1, 2, 44100, 16) + chunk("LIST", "") + data);
    huge_chunk.replace(12 + 24 + 4, 4, std::string("\xFF\xFF\xFF\x7F", 4));
    std::string not_wave = riff(format_chunk(1, 2, 44100, 16) + data);
    not_wave.replace(8, 4, "AVI ");

    struct Case {
        const char* what;
        std::string bytes;
        WavError expected;
    };
    const Case cases[] = {
        {"empty file", "", WavError::not_wave},
        {"header cut short", "RIFF\x10\x00\x00\x00WAV", WavError::not_wave},
        {"another RIFF form", not_wave, WavError::not_wave},
        {"no chunks at all", riff(""), WavError::no_format},
        {"samples before the format", riff(data + format_chunk(1, 2, 44100, 16)), WavError::no_format},
        {"no format chunk", riff(chunk("LIST", "xy") + data), WavError::no_format},
        {"format chunk too short", riff(short_format + data), WavError::bad_format_chunk},
        {"format chunk beyond the file", format_past_end, WavError::bad_format_chunk},
        {"two format chunks", riff(format_chunk(1, 2, 44100, 16) + format_chunk(1, 2, 44100, 16) + data),
         WavError::bad_format_chunk},
        {"floating-point samples", riff(format_chunk(3, 2, 44100, 32) + data), WavError::not_pcm},
        {"ADPCM", riff(format_chunk(2, 2, 44100, 4) + data), WavError::not_pcm},
        {"24 bit", riff(format_chunk(1, 2, 44100, 24) + data), WavError::unsupported_layout},
        {"no channels", riff(format_chunk(1, 0, 44100, 16) + data), WavError::unsupported_layout},
        {"six channels", riff(format_chunk(1, 6, 44100, 16) + data), WavError::unsupported_layout},
        {"frame size that disagrees", riff(format_chunk(1, 2, 44100, 16, 2) + data), WavError::bad_block_align},
        {"sample rate 0", riff(format_chunk(1, 2, 0, 16) + data), WavError::bad_sample_rate},
        {"no data chunk", riff(format_chunk(1, 2, 44100, 16) + chunk("LIST", "xy")), WavError::no_data},
        {"chunk header cut short", riff(format_chunk(1, 2, 44100, 16) + "dat"), WavError::no_data},
        {"chunk size past the end", huge_chunk, WavError::no_data},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(read(c.bytes), c.expected) << c.what << ": " << describe(read(c.bytes));
    }
}

}  // namespace
}  // namespace voskel::examples
