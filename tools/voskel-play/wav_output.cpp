#include "wav_output.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>

namespace voskel::play {

namespace {

constexpr int header_size = 44;
// More room than any plugin asks for: Write never has to wait.
constexpr int room_for_writes = 1 << 20;

struct WavFile {
    std::mutex lock;
    std::FILE* file = nullptr;
    std::string path;
    std::string error;  // the first thing that went wrong
    OutputFormat format;
    bool opened = false;
    bool paused = false;
    int64_t bytes = 0;             // sample bytes in the file
    int64_t bytes_since_flush = 0;  // output time restarts at each Flush
    int flush_ms = 0;
    int64_t limit_ms = 0;
};

WavFile wav;

void put16(unsigned char* p, uint32_t v) {
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
}

void put32(unsigned char* p, uint32_t v) {
    put16(p, v & 0xFFFF);
    put16(p + 2, v >> 16);
}

int bytes_per_second(const OutputFormat& f) { return f.sample_rate * f.channels * f.bits_per_sample / 8; }

void fail(const std::string& reason) {
    if (wav.error.empty()) wav.error = reason;
}

bool write_header() {
    const OutputFormat& f = wav.format;
    // Sizes beyond what RIFF can count are capped; the samples stay in the file.
    const uint32_t data = wav.bytes > 0xFFFFFFFFll - header_size ? 0xFFFFFFFFu - header_size
                                                                 : static_cast<uint32_t>(wav.bytes);
    unsigned char h[header_size];
    std::memcpy(h, "RIFF", 4);
    put32(h + 4, data + header_size - 8);
    std::memcpy(h + 8, "WAVEfmt ", 8);
    put32(h + 16, 16);
    put16(h + 20, 1);  // PCM
    put16(h + 22, static_cast<uint32_t>(f.channels));
    put32(h + 24, static_cast<uint32_t>(f.sample_rate));
    put32(h + 28, static_cast<uint32_t>(bytes_per_second(f)));
    put16(h + 32, static_cast<uint32_t>(f.channels * f.bits_per_sample / 8));
    put16(h + 34, static_cast<uint32_t>(f.bits_per_sample));
    std::memcpy(h + 36, "data", 4);
    put32(h + 40, data);
    return std::fseek(wav.file, 0, SEEK_SET) == 0 && std::fwrite(h, 1, sizeof h, wav.file) == sizeof h;
}

int64_t time_of(int64_t bytes) {
    const int rate = bytes_per_second(wav.format);
    return rate > 0 ? bytes * 1000 / rate : 0;
}

void Config(HostWindow) {}
void About(HostWindow) {}
void Init() {}
void Quit() {}

int Open(int sample_rate, int channels, int bits_per_sample, int, int) {
    std::lock_guard<std::mutex> guard(wav.lock);
    if (wav.file == nullptr) return -1;
    const OutputFormat asked{sample_rate, channels, bits_per_sample};
    if (wav.opened) {
        // A second Open in the same song continues the file, in the same format only.
        if (asked.sample_rate != wav.format.sample_rate || asked.channels != wav.format.channels ||
            asked.bits_per_sample != wav.format.bits_per_sample) {
            fail("the plugin changed the sample format in the middle of the song");
            return -1;
        }
    } else {
        const bool supported = sample_rate > 0 && channels >= 1 && channels <= 8 &&
                               (bits_per_sample == 8 || bits_per_sample == 16 || bits_per_sample == 24 ||
                                bits_per_sample == 32);
        if (!supported) {
            fail("the plugin asked for an output format a WAV file cannot hold (" + std::to_string(sample_rate) +
                 " Hz, " + std::to_string(channels) + " channels, " + std::to_string(bits_per_sample) + " bit)");
            return -1;
        }
        wav.format = asked;
        wav.opened = true;
    }
    wav.paused = false;
    wav.bytes_since_flush = 0;
    wav.flush_ms = 0;
    return 0;  // no latency: nothing is buffered
}

void Close() {}

int Write(char* buffer, int len) {
    std::lock_guard<std::mutex> guard(wav.lock);
    if (wav.file == nullptr || !wav.opened || len < 0) return 1;
    if (std::fwrite(buffer, 1, static_cast<std::size_t>(len), wav.file) != static_cast<std::size_t>(len)) {
        fail(wav.path + ": cannot write: " + std::strerror(errno));
        return 1;
    }
    wav.bytes += len;
    wav.bytes_since_flush += len;
    return 0;
}

int CanWrite() {
    std::lock_guard<std::mutex> guard(wav.lock);
    if (wav.paused || (wav.limit_ms > 0 && time_of(wav.bytes) > wav.limit_ms)) return 0;
    return room_for_writes;
}

int IsPlaying() { return 0; }

int Pause(int pause) {
    std::lock_guard<std::mutex> guard(wav.lock);
    const int previous = wav.paused ? 1 : 0;
    wav.paused = pause != 0;
    return previous;
}

// The file holds the samples as the plugin made them: volume and pan are
// for a listener, and there is none.
void SetVolume(int) {}
void SetPan(int) {}

void Flush(int position_ms) {
    std::lock_guard<std::mutex> guard(wav.lock);
    wav.flush_ms = position_ms;
    wav.bytes_since_flush = 0;
}

int GetOutputTime() {
    std::lock_guard<std::mutex> guard(wav.lock);
    return wav.flush_ms + static_cast<int>(time_of(wav.bytes_since_flush));
}

int GetWrittenTime() { return GetOutputTime(); }

char description[] = "voskel-play WAV file writer";

Out_Module module = {
    .version = 0x10,
    .description = description,
    .id = 0x766b,
    .hMainWindow = nullptr,
    .hDllInstance = nullptr,
    .Config = Config,
    .About = About,
    .Init = Init,
    .Quit = Quit,
    .Open = Open,
    .Close = Close,
    .Write = Write,
    .CanWrite = CanWrite,
    .IsPlaying = IsPlaying,
    .Pause = Pause,
    .SetVolume = SetVolume,
    .SetPan = SetPan,
    .Flush = Flush,
    .GetOutputTime = GetOutputTime,
    .GetWrittenTime = GetWrittenTime,
};

void close_file() {
    if (wav.file != nullptr) std::fclose(wav.file);
    wav.file = nullptr;
}

}  // namespace

Out_Module& wav_output_module() { return module; }

bool begin_wav_output(const std::string& path, std::string& reason) {
    std::lock_guard<std::mutex> guard(wav.lock);
    close_file();
    wav.path = path;
    wav.error.clear();
    wav.format = OutputFormat{};
    wav.opened = wav.paused = false;
    wav.bytes = wav.bytes_since_flush = 0;
    wav.flush_ms = 0;
    wav.limit_ms = 0;
    wav.file = std::fopen(path.c_str(), "wb");
    if (wav.file == nullptr) {
        reason = path + ": cannot write: " + std::strerror(errno);
        wav.path.clear();  // not ours to delete
        return false;
    }
    // Room for the header, which is written once the sizes are known.
    const unsigned char placeholder[header_size] = {};
    if (std::fwrite(placeholder, 1, sizeof placeholder, wav.file) != sizeof placeholder) {
        reason = path + ": cannot write: " + std::strerror(errno);
        return false;
    }
    return true;
}

bool finish_wav_output(std::string& reason) {
    std::lock_guard<std::mutex> guard(wav.lock);
    if (wav.error.empty() && !wav.opened) fail("the plugin ended the song without opening the output");
    if (wav.error.empty() && !write_header()) fail(wav.path + ": cannot write: " + std::strerror(errno));
    if (wav.file != nullptr && std::fclose(wav.file) != 0) fail(wav.path + ": cannot write: " + std::strerror(errno));
    wav.file = nullptr;
    reason = wav.error;
    return wav.error.empty();
}

void limit_wav_output(int64_t limit_ms) {
    std::lock_guard<std::mutex> guard(wav.lock);
    wav.limit_ms = limit_ms;
}

void discard_wav_output() {
    std::lock_guard<std::mutex> guard(wav.lock);
    if (wav.path.empty()) return;
    close_file();
    std::remove(wav.path.c_str());
    wav.path.clear();
}

int64_t wav_output_bytes() {
    std::lock_guard<std::mutex> guard(wav.lock);
    return wav.bytes;
}

int64_t wav_output_ms() {
    std::lock_guard<std::mutex> guard(wav.lock);
    return time_of(wav.bytes);
}

OutputFormat wav_output_format() {
    std::lock_guard<std::mutex> guard(wav.lock);
    return wav.format;
}

std::string wav_output_problem() {
    std::lock_guard<std::mutex> guard(wav.lock);
    return wav.error;
}

}  // namespace voskel::play
