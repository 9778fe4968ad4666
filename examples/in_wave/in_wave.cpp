// in_wave: plays PCM WAV files, 8 or 16 bit, mono or stereo.
#include <cstdio>
#include <memory>

#include "decoder_plugin.h"
#include "wav_format.h"

namespace voskel::examples {

namespace {

bool seek_file(std::FILE* file, uint64_t offset) {
#if defined(_WIN32)
    return _fseeki64(file, static_cast<__int64>(offset), SEEK_SET) == 0;
#else
    return fseeko(file, static_cast<off_t>(offset), SEEK_SET) == 0;
#endif
}

class WavFile final : public ByteSource {
public:
    explicit WavFile(const SongPath& path) : file_(open_song_file(path)) {
        if (file_ != nullptr && std::fseek(file_, 0, SEEK_END) == 0) {
#if defined(_WIN32)
            const __int64 end = _ftelli64(file_);
#else
            const off_t end = ftello(file_);
#endif
            size_ = end > 0 ? static_cast<uint64_t>(end) : 0;
        }
    }
    ~WavFile() override {
        if (file_ != nullptr) std::fclose(file_);
    }
    WavFile(const WavFile&) = delete;
    WavFile& operator=(const WavFile&) = delete;

    bool is_open() const { return file_ != nullptr; }
    uint64_t size() const override { return size_; }
    bool read_at(uint64_t offset, void* buffer, std::size_t count) const override {
        return offset <= size_ && count <= size_ - offset && seek_file(file_, offset) &&
               std::fread(buffer, 1, count, file_) == count;
    }
    // Sequential reading of the samples.
    bool seek(uint64_t offset) { return seek_file(file_, offset); }
    std::size_t read(void* buffer, std::size_t count) { return std::fread(buffer, 1, count, file_); }

private:
    std::FILE* file_;
    uint64_t size_ = 0;
};

int length_of(const WavLayout& layout) {
    const uint64_t frames = layout.data_size / static_cast<uint64_t>(layout.block_align);
    return static_cast<int>(frames * 1000 / static_cast<uint64_t>(layout.sample_rate));
}

class WavDecoder final : public Decoder {
public:
    WavDecoder(std::unique_ptr<WavFile> file, const WavLayout& layout) : file_(std::move(file)), layout_(layout) {
        file_->seek(layout_.data_offset);
    }

    int sample_rate() const override { return layout_.sample_rate; }
    int channels() const override { return layout_.channels; }
    int bits_per_sample() const override { return layout_.bits_per_sample; }
    int length_ms() const override { return length_of(layout_); }
    int64_t decoded_size() const override { return static_cast<int64_t>(layout_.data_size); }

    std::size_t read(char* buffer, std::size_t capacity) override {
        const uint64_t left = layout_.data_size - position_;
        std::size_t wanted = capacity - capacity % static_cast<std::size_t>(layout_.block_align);
        if (wanted > left) wanted = static_cast<std::size_t>(left);
        std::size_t got = file_->read(buffer, wanted);
        got -= got % static_cast<std::size_t>(layout_.block_align);  // a file that shrank ends early
        position_ = got == wanted ? position_ + got : layout_.data_size;
        return got;
    }

    void seek(int time_ms) override {
        const uint64_t block = static_cast<uint64_t>(layout_.block_align);
        const uint64_t frame = static_cast<uint64_t>(time_ms) * static_cast<uint64_t>(layout_.sample_rate) / 1000;
        const uint64_t total = layout_.data_size / block;
        position_ = (frame < total ? frame : total) * block;
        if (!file_->seek(layout_.data_offset + position_)) position_ = layout_.data_size;
    }

private:
    std::unique_ptr<WavFile> file_;
    WavLayout layout_;
    uint64_t position_ = 0;  // bytes of the samples already read
};

std::unique_ptr<Decoder> open_wav(const SongPath& path) {
    auto file = std::make_unique<WavFile>(path);
    WavLayout layout;
    if (!file->is_open() || read_wav_layout(*file, layout) != WavError::none) return nullptr;
    return std::make_unique<WavDecoder>(std::move(file), layout);
}

bool describe_wav(const SongPath& path, SongInfo& info) {
    WavFile file(path);
    WavLayout layout;
    if (!file.is_open() || read_wav_layout(file, layout) != WavError::none) return false;
    info.title = title_from_path(path);
    info.length_ms = length_of(layout);
    return true;
}

constexpr DecoderKind wav_kind = {
    "Voskel example WAV decoder v1.0",
    "PCM Wave",
    "WAV\0PCM Wave Files (*.WAV)\0",
    open_wav,
    describe_wav,
};

}  // namespace

}  // namespace voskel::examples

VOSKEL_PLUGIN_EXPORT voskel::In_Module* winampGetInModule2() {
    return &voskel::examples::decoder_plugin_record(voskel::examples::wav_kind);
}
