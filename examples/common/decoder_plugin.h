// The part every example decoder plugin shares: the In_Module record, its
// entry points and the decode thread that feeds the host's output module.
// A plugin supplies a DecoderKind (how to open and describe its files) and
// exports the record. Each plugin is built in both widths of the host's
// interface from its one source: an 8-bit module, and with
// VOSKEL_UNICODE_PLUGIN defined a Unicode one (IN_UNICODE, with a wide
// description), as the host's own players are built today.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "text_width.h"
#include "winamp/input_plugin.h"

#if defined(_WIN32)
#define VOSKEL_PLUGIN_EXPORT extern "C" __declspec(dllexport)
#else
#define VOSKEL_PLUGIN_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace voskel::examples {

// One open song, decoding to PCM in the format it reports. Only the decode
// thread calls read and seek while the song plays.
class Decoder {
public:
    virtual ~Decoder() = default;
    virtual int sample_rate() const = 0;
    virtual int channels() const = 0;
    virtual int bits_per_sample() const = 0;
    virtual int length_ms() const = 0;  // -1 when unknown
    // Bytes of PCM the whole song decodes to, or -1 when not known before.
    virtual int64_t decoded_size() const { return -1; }
    // Up to capacity bytes of whole sample frames; 0 once the song is over.
    virtual std::size_t read(char* buffer, std::size_t capacity) = 0;
    // The next read starts at time_ms, clamped to the song.
    virtual void seek(int time_ms) = 0;
};

struct SongInfo {
    std::string title;   // UTF-8
    std::string artist;  // UTF-8; empty when the song names none
    int length_ms = -1;
};

struct DecoderKind {
    const char* description;
    // What kind of file this is, as the Media Library shows it ("family").
    const char* family;
    // The record's FileExtensions: pairs of group and description, ended by "".
    const char* file_extensions;
    // Null when the file is not a song this plugin can play.
    std::unique_ptr<Decoder> (*open)(const SongPath& path);
    // False when the file is not a song this plugin can play.
    bool (*describe)(const SongPath& path, SongInfo& info);
};

// The plugin's record, made on first call from kind (which must outlive it).
In_Module& decoder_plugin_record(const DecoderKind& kind);

// The kind the record was made from; null before. The extended exports
// (extended_exports.cpp) answer through it.
const DecoderKind* decoder_kind();

// A file's name without its folder and extension: the title of a song that
// names none itself.
std::string title_from_path(const SongPath& path);

// Samples per channel the decode thread asks a Decoder for and hands to the
// output at a time, as the host's own plugins do: small enough for the
// visualisation to follow. Decoders whose output depends on how it is read
// in pieces (libopenmpt's does, by a least significant bit here and there)
// give the same samples when read in blocks of this size.
inline constexpr int frames_per_block = 576;

// Room in the host's title buffer, in characters of the module's width,
// its NUL included.
inline constexpr std::size_t title_capacity = GETFILEINFO_TITLE_LENGTH;

}  // namespace voskel::examples
