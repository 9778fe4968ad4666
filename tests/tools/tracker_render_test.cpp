// The demo song played by voskel-play through in_voskel and in_tracker
// against libopenmpt's own rendering of the same module.
#include <gtest/gtest.h>
#include <libopenmpt/libopenmpt.h>
#include <sys/wait.h>

#include <cstdint>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "decoder_plugin.h"
#include "support/scratch.h"
#include "tracker_settings.h"

namespace voskel {
namespace {

namespace tracker = examples::tracker;

const std::string demo_folder = VOSKEL_DEMO_DIR;

std::string quoted(const std::string& text) {
    std::string result = "'";
    for (char c : text) result += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return result + "'";
}

struct ProgramRun {
    int status = -1;
    std::string out, err;
};

// voskel-play with its default plugin folder; environment is prefixed, as "NAME=value ...".
ProgramRun voskel_play(const test::ScratchFolder& scratch, const std::string& arguments, const std::string& environment = "") {
    const std::string out = scratch.file("stdout.txt"), err = scratch.file("stderr.txt");
    const std::string command = environment + " " + quoted(VOSKEL_PLAY_PROGRAM) + " " + arguments + " >" +
                                quoted(out) + " 2>" + quoted(err);
    const int status = std::system(command.c_str());
    ProgramRun run;
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.out = test::read_file(out);
    run.err = test::read_file(err);
    return run;
}

uint32_t le32(const std::string& bytes, std::size_t at) {
    uint32_t value = 0;
    for (int i = 3; i >= 0; --i) value = (value << 8) | static_cast<unsigned char>(bytes[at + static_cast<std::size_t>(i)]);
    return value;
}

uint16_t le16(const std::string& bytes, std::size_t at) { return static_cast<uint16_t>(le32(bytes + "\0\0", at) & 0xFFFF); }

// The samples of a canonical 44-byte-header PCM WAV file, after checking every header field.
std::vector<int16_t> wav_samples(const std::string& bytes) {
    EXPECT_GE(bytes.size(), 44u);
    if (bytes.size() < 44) return {};
    const uint32_t data_size = static_cast<uint32_t>(bytes.size() - 44);
    EXPECT_EQ(bytes.substr(0, 4), "RIFF");
    EXPECT_EQ(le32(bytes, 4), data_size + 36);
    EXPECT_EQ(bytes.substr(8, 8), "WAVEfmt ");
    EXPECT_EQ(le32(bytes, 16), 16u);
    EXPECT_EQ(le16(bytes, 20), 1);  // PCM
    EXPECT_EQ(le16(bytes, 22), tracker::channels);
    EXPECT_EQ(le32(bytes, 24), static_cast<uint32_t>(tracker::sample_rate));
    EXPECT_EQ(le32(bytes, 28), static_cast<uint32_t>(tracker::sample_rate * tracker::channels * 2));
    EXPECT_EQ(le16(bytes, 32), tracker::channels * 2);
    EXPECT_EQ(le16(bytes, 34), tracker::bits_per_sample);
    EXPECT_EQ(bytes.substr(36, 4), "data");
    EXPECT_EQ(le32(bytes, 40), data_size);
    std::vector<int16_t> samples(data_size / 2);
    std::memcpy(samples.data(), bytes.data() + 44, samples.size() * 2);
    return samples;
}

struct Reference {
    std::vector<int16_t> samples;
    double duration_seconds = 0;
    std::string title;
};

// libopenmpt on its own, with in_tracker's settings and block size.
Reference render_with_libopenmpt(const std::string& module_bytes) {
    Reference reference;
    openmpt_module* module = openmpt_module_create_from_memory2(module_bytes.data(), module_bytes.size(), nullptr,
                                                                nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
    EXPECT_NE(module, nullptr);
    if (module == nullptr) return reference;
    openmpt_module_ctl_set_integer(module, tracker::dither_ctl, tracker::dither);
    reference.duration_seconds = openmpt_module_get_duration_seconds(module);
    const char* title = openmpt_module_get_metadata(module, "title");
    reference.title = title;
    openmpt_free_string(title);
    std::vector<int16_t> block(static_cast<std::size_t>(examples::frames_per_block) * tracker::channels);
    while (const std::size_t frames = openmpt_module_read_interleaved_stereo(
               module, tracker::sample_rate, static_cast<std::size_t>(examples::frames_per_block), block.data())) {
        reference.samples.insert(reference.samples.end(), block.begin(),
                                 block.begin() + static_cast<std::ptrdiff_t>(frames * tracker::channels));
    }
    openmpt_module_destroy(module);
    return reference;
}

std::size_t first_difference(const std::vector<int16_t>& a, const std::vector<int16_t>& b) {
    std::size_t i = 0;
    while (i < a.size() && i < b.size() && a[i] == b[i]) ++i;
    return i;
}

TEST(DemoSong, PlaysThroughThePluginsExactlyAsLibopenmptRendersIt) {
    const Reference reference = render_with_libopenmpt(test::read_file(demo_folder + "/demo.mod"));
    ASSERT_GT(reference.samples.size(), static_cast<std::size_t>(tracker::sample_rate) * 2 * 5) << "a song of seconds";

    test::ScratchFolder scratch("demo-render");
    const std::string temp = scratch.file("temp");
    std::filesystem::create_directories(temp);
    // Archived (in_voskel, then in_tracker) and bare (in_tracker alone).
    for (const char* song : {"demo.mdz", "demo.mod"}) {
        SCOPED_TRACE(song);
        const std::string output = scratch.file(std::string(song) + ".wav");
        const ProgramRun run = voskel_play(scratch, "render " + quoted(demo_folder + "/" + song) + " -o " + quoted(output),
                                    "TEMP=" + quoted(temp) + " TMP=" + quoted(temp));
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(run.err, "") << "no progress bar without a terminal";
        EXPECT_NE(run.out.find("44100 Hz, 2 channels, 16 bit"), std::string::npos) << run.out;

        const std::vector<int16_t> played = wav_samples(test::read_file(output));
        EXPECT_EQ(played.size(), reference.samples.size());
        EXPECT_TRUE(played == reference.samples) << "first difference at sample " << first_difference(played, reference.samples);
        EXPECT_TRUE(std::filesystem::is_empty(temp)) << "the extracted song is deleted after playing";
    }
}

TEST(DemoSong, InfoGivesTheModulesTitleAndLength) {
    const Reference reference = render_with_libopenmpt(test::read_file(demo_folder + "/demo.mod"));
    ASSERT_EQ(reference.title, "voskel demo");
    const int length_ms = static_cast<int>(reference.duration_seconds * 1000.0);

    test::ScratchFolder scratch("demo-info");
    const ProgramRun run = voskel_play(scratch, "info " + quoted(demo_folder + "/demo.mdz") + " " + quoted(demo_folder + "/demo.mod"));
    ASSERT_EQ(run.status, 0) << run.err;
    char length[64];
    std::snprintf(length, sizeof length, "  length: %d:%02d.%03d (%d ms)\n", length_ms / 60000, length_ms / 1000 % 60,
                  length_ms % 1000, length_ms);
    // The family of an archive is its own, whatever it holds.
    const auto metadata = [&](const char* family) {
        return "  metadata: title \"voskel demo\", length \"" + std::to_string(length_ms) + "\", family \"" + family +
               "\"\n";
    };
    const std::string expected =
        demo_folder + "/demo.mdz\n  plugin: in_voskel.so\n  title:  voskel demo\n" + length +
        metadata("ZIP Compressed Song (*.MDZ)") + demo_folder + "/demo.mod\n  plugin: in_tracker.so\n  title:  voskel demo\n" +
        length + metadata("Tracker Module");
    EXPECT_EQ(run.out, expected);
}

}  // namespace
}  // namespace voskel
