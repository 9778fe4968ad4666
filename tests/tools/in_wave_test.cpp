// in_wave driven as the player drives it, into an output module that records
// everything it is sent. The end of each song arrives through the host's
// main window (voskel-play's EventWindow).
#include <gtest/gtest.h>

#include <algorithm>
#include <mutex>
#include <string>
#include <vector>

#include "event_window.h"
#include "winamp/input_plugin.h"
#include "platform/platform.h"
#include "support/scratch.h"
#include "tools/wav_bytes.h"

namespace voskel {
namespace {

constexpr int end_timeout_ms = 30000;

struct Recording {
    std::mutex lock;
    bool gate_open = true;  // CanWrite reports no room while closed
    bool paused = false;
    int open_calls = 0, close_calls = 0;
    int rate = 0, channels = 0, bits = 0;
    std::string written, written_since_flush;
    std::vector<int> flushes, pauses;
    int flush_ms = 0;
    int volume = -1, pan = -1;
    int sa_inits = 0, sa_deinits = 0;
    int info_bitrate = -1, info_rate = -1, info_channels = -1;
    bool dsp_active = false;
    int dsp_frames = 0;
};

Recording* recording = nullptr;

std::unique_lock<std::mutex> locked() { return std::unique_lock<std::mutex>(recording->lock); }

int out_open(int rate, int channels, int bits, int, int) {
    auto guard = locked();
    ++recording->open_calls;
    recording->rate = rate;
    recording->channels = channels;
    recording->bits = bits;
    return 0;
}
void out_close() {
    auto guard = locked();
    ++recording->close_calls;
}
int out_write(char* buffer, int len) {
    auto guard = locked();
    recording->written.append(buffer, static_cast<std::size_t>(len));
    recording->written_since_flush.append(buffer, static_cast<std::size_t>(len));
    return 0;
}
int out_can_write() {
    auto guard = locked();
    return recording->gate_open && !recording->paused ? 8192 : 0;
}
int out_is_playing() { return 0; }
int out_pause(int pause) {
    auto guard = locked();
    recording->pauses.push_back(pause);
    const int previous = recording->paused ? 1 : 0;
    recording->paused = pause != 0;
    return previous;
}
void out_set_volume(int volume) {
    auto guard = locked();
    recording->volume = volume;
}
void out_set_pan(int pan) {
    auto guard = locked();
    recording->pan = pan;
}
void out_flush(int ms) {
    auto guard = locked();
    recording->flushes.push_back(ms);
    recording->flush_ms = ms;
    recording->written_since_flush.clear();
}
int out_output_time() {
    auto guard = locked();
    const int64_t per_second = int64_t{recording->rate} * recording->channels * recording->bits / 8;
    return recording->flush_ms +
           (per_second > 0 ? static_cast<int>(int64_t(recording->written_since_flush.size()) * 1000 / per_second) : 0);
}
void out_nothing() {}
void out_window(HostWindow) {}

Out_Module recording_output = {
    .version = 0x10,
    .description = nullptr,
    .id = 0,
    .hMainWindow = nullptr,
    .hDllInstance = nullptr,
    .Config = out_window,
    .About = out_window,
    .Init = out_nothing,
    .Quit = out_nothing,
    .Open = out_open,
    .Close = out_close,
    .Write = out_write,
    .CanWrite = out_can_write,
    .IsPlaying = out_is_playing,
    .Pause = out_pause,
    .SetVolume = out_set_volume,
    .SetPan = out_set_pan,
    .Flush = out_flush,
    .GetOutputTime = out_output_time,
    .GetWrittenTime = out_output_time,
};

void sa_init(int, int) {
    auto guard = locked();
    ++recording->sa_inits;
}
void sa_deinit() {
    auto guard = locked();
    ++recording->sa_deinits;
}
void add_pcm(void*, int, int, int) {}
int get_mode() { return 0; }
int sa_add(void*, int, int) { return 0; }
int vsa_get_mode(int*, int*) { return 0; }
int vsa_add(void*, int) { return 0; }
void vsa_set_info(int, int) {}
int dsp_is_active() { return recording->dsp_active ? 1 : 0; }
// The DSP turns every 16-bit sample upside down.
int dsp_do_samples(short* samples, int count, int bits, int channels, int) {
    EXPECT_EQ(bits, 16);
    for (int i = 0; i < count * channels; ++i) samples[i] = static_cast<short>(~samples[i]);
    recording->dsp_frames += count;
    return count;
}
void set_info(int bitrate, int rate, int channels, int) {
    auto guard = locked();
    recording->info_bitrate = bitrate;
    recording->info_rate = rate;
    recording->info_channels = channels;
}

std::string plugin_path() {
    return test::join(test::host_path(VOSKEL_PLUGIN_DIR),
                      native_path_style() == PathStyle::windows ? "in_wave.dll" : "in_wave.so");
}

class InWave : public ::testing::Test {
protected:
    void SetUp() override {
        recording = &record;
        library = system_calls().load_library(plugin_path().c_str());
        ASSERT_NE(library, nullptr) << plugin_path();
        auto get_module =
            reinterpret_cast<GetInModuleFunction>(system_calls().find_symbol(library, get_in_module_export));
        ASSERT_NE(get_module, nullptr);
        module = get_module();
        ASSERT_EQ(module->version, 0x100);
        ASSERT_STREQ(module->FileExtensions, "WAV");
        module->hMainWindow = window.handle();
        module->hDllInstance = library;
        module->SAVSAInit = sa_init;
        module->SAVSADeInit = sa_deinit;
        module->SAAddPCMData = add_pcm;
        module->SAGetMode = get_mode;
        module->SAAdd = sa_add;
        module->VSAAddPCMData = add_pcm;
        module->VSAGetMode = vsa_get_mode;
        module->VSAAdd = vsa_add;
        module->VSASetInfo = vsa_set_info;
        module->dsp_isactive = dsp_is_active;
        module->dsp_dosamples = dsp_do_samples;
        module->SetInfo = set_info;
        module->outMod = &recording_output;
        module->Init();
    }

    void TearDown() override {
        if (module != nullptr) {
            module->Stop();
            module->Quit();
        }
        system_calls().unload_library(library);
        recording = nullptr;
    }

    std::string song(const std::string& name, const std::string& bytes) {
        const std::string path = scratch.file(name);
        test::write_file(path, bytes);
        return path;
    }

    int play(const std::string& path) {
        std::string argument = path;
        return module->Play(argument.data());
    }

    void open_gate() {
        auto guard = locked();
        record.gate_open = true;
    }

    Recording record;
    test::ScratchFolder scratch{"in-wave"};
    play::EventWindow window;
    LibraryHandle library = nullptr;
    In_Module* module = nullptr;
};

TEST_F(InWave, PlaysEachPcmLayoutSampleForSample) {
    struct Case {
        int channels, bits, rate, frames;
    };
    for (const Case c : {Case{1, 8, 11025, 3000}, Case{2, 8, 8000, 700}, Case{1, 16, 22050, 1500},
                         Case{2, 16, 44100, 5000}}) {
        SCOPED_TRACE(testing::Message() << c.channels << " channels, " << c.bits << " bit");
        record.written.clear();
        record.open_calls = record.close_calls = 0;
        window.reset();
        const std::string samples = test::sample_bytes(c.channels, c.bits, c.frames);
        const std::string path = song("tone.wav", test::wav_file(c.channels, c.bits, c.rate, samples));

        ASSERT_EQ(play(path), 0);
        EXPECT_EQ(module->GetLength(), c.frames * 1000 / c.rate);
        ASSERT_TRUE(window.wait_for_end(end_timeout_ms));
        char title[2048] = "";
        int length = -1;
        module->GetFileInfo(nullptr, title, &length);  // the playing song
        EXPECT_STREQ(title, "tone");
        EXPECT_EQ(length, c.frames * 1000 / c.rate);
        module->Stop();

        EXPECT_EQ(record.open_calls, 1);
        EXPECT_EQ(record.close_calls, 1);
        EXPECT_EQ(record.rate, c.rate);
        EXPECT_EQ(record.channels, c.channels);
        EXPECT_EQ(record.bits, c.bits);
        EXPECT_EQ(record.info_bitrate, c.rate * c.channels * c.bits / 1000);
        EXPECT_EQ(record.info_rate, c.rate / 1000);
        EXPECT_EQ(record.info_channels, c.channels);
        EXPECT_TRUE(record.written == samples) << record.written.size() << " bytes written of " << samples.size();
    }
    EXPECT_EQ(record.sa_inits, 4);
    EXPECT_EQ(record.sa_deinits, 4);
}

TEST_F(InWave, NeverPlaysPastTheSamplesInTheFile) {
    const std::string samples = test::sample_bytes(2, 16, 1000);
    // Another chunk after the samples, which is not sound.
    std::string trailed = test::riff(test::format_chunk(1, 2, 44100, 16) + test::chunk("data", samples) +
                                     test::chunk("LIST", std::string(4000, '\x7f')));
    ASSERT_EQ(play(song("trailed.wav", trailed)), 0);
    ASSERT_TRUE(window.wait_for_end(end_timeout_ms));
    module->Stop();
    EXPECT_TRUE(record.written == samples) << record.written.size();

    // A recording cut short in the middle of a frame: its whole frames play.
    record.written.clear();
    window.reset();
    std::string cut = test::wav_file(2, 16, 44100, samples);
    cut.resize(cut.size() - 1001);
    ASSERT_EQ(play(song("cut.wav", cut)), 0);
    ASSERT_TRUE(window.wait_for_end(end_timeout_ms));
    module->Stop();
    const std::size_t whole = (samples.size() - 1001) / 4 * 4;
    EXPECT_TRUE(record.written == samples.substr(0, whole)) << record.written.size() << " of " << whole;
}

TEST_F(InWave, SeeksWhereTheHostAsks) {
    const int rate = 8000;
    const std::string samples = test::sample_bytes(1, 16, rate);  // one second
    const std::string path = song("seek.wav", test::wav_file(1, 16, rate, samples));
    for (const int target : {250, 5000}) {
        SCOPED_TRACE(target);
        record.gate_open = false;
        record.flushes.clear();
        window.reset();
        ASSERT_EQ(play(path), 0);
        module->SetOutputTime(target);
        open_gate();
        ASSERT_TRUE(window.wait_for_end(end_timeout_ms));
        EXPECT_EQ(record.flushes, std::vector<int>{target});
        const std::size_t from = std::min<std::size_t>(samples.size(), std::size_t(target) * rate / 1000 * 2);
        EXPECT_TRUE(record.written_since_flush == samples.substr(from)) << record.written_since_flush.size();
        EXPECT_EQ(module->GetOutputTime(), target + static_cast<int>((samples.size() - from) * 1000 / (rate * 2)));
        module->Stop();
    }
}

TEST_F(InWave, PauseVolumeAndPanGoToTheOutput) {
    record.gate_open = false;
    ASSERT_EQ(play(song("idle.wav", test::wav_file(2, 16, 44100, test::sample_bytes(2, 16, 4410)))), 0);
    EXPECT_EQ(record.volume, -666);  // Play asks the output to keep its own volume
    module->Pause();
    EXPECT_EQ(module->IsPaused(), 1);
    module->UnPause();
    EXPECT_EQ(module->IsPaused(), 0);
    EXPECT_EQ(record.pauses, (std::vector<int>{1, 0}));
    module->SetVolume(200);
    module->SetPan(-50);
    EXPECT_EQ(record.volume, 200);
    EXPECT_EQ(record.pan, -50);
    char bands[10] = {};
    module->EQSet(1, bands, 20);
    module->Stop();
    EXPECT_EQ(record.close_calls, 1);
    module->Stop();  // a second Stop finds nothing to stop
    EXPECT_EQ(record.close_calls, 1);
}

TEST_F(InWave, WritesWhatTheDspReturns) {
    record.dsp_active = true;
    const std::string samples = test::sample_bytes(2, 16, 3000);
    ASSERT_EQ(play(song("dsp.wav", test::wav_file(2, 16, 44100, samples))), 0);
    ASSERT_TRUE(window.wait_for_end(end_timeout_ms));
    module->Stop();
    std::string inverted = samples;
    for (char& c : inverted) c = static_cast<char>(~c);
    EXPECT_EQ(record.dsp_frames, 3000);
    EXPECT_TRUE(record.written == inverted);
}

TEST_F(InWave, RefusesWhatItCannotPlayWithoutOpeningTheOutput) {
    EXPECT_EQ(play(scratch.file("missing.wav")), -1);
    const std::string data = test::chunk("data", std::string(64, 'a'));
    const struct {
        const char* name;
        std::string bytes;
    } refused[] = {
        {"empty.wav", ""},
        {"text.wav", "This is not a sound file at all, just some text."},
        {"float.wav", test::riff(test::format_chunk(3, 2, 44100, 32) + data)},
        {"deep.wav", test::riff(test::format_chunk(1, 2, 44100, 24) + data)},
        {"surround.wav", test::riff(test::format_chunk(1, 6, 44100, 16) + data)},
        {"headless.wav", test::riff(data)},
    };
    for (const auto& file : refused) {
        SCOPED_TRACE(file.name);
        const std::string path = song(file.name, file.bytes);
        EXPECT_NE(play(path), 0);
        char title[2048] = "unchanged";
        int length = 1234;
        std::string argument = path;
        module->GetFileInfo(argument.data(), title, &length);
        EXPECT_STREQ(title, "unchanged");
        EXPECT_EQ(length, 1234);
        module->Stop();
    }
    EXPECT_EQ(record.open_calls, 0);
    EXPECT_EQ(record.close_calls, 0);
}

}  // namespace
}  // namespace voskel
