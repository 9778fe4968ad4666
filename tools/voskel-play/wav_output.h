// voskel-play's output module: what a plugin sends to the output goes into
// a WAV file, as fast as the plugin can decode. Audio counts as played the
// moment it is written, so the output never holds a song back.
#pragma once

#include <cstdint>
#include <string>

#include "winamp/input_plugin.h"

namespace voskel::play {

struct OutputFormat {
    int sample_rate = 0;
    int channels = 0;
    int bits_per_sample = 0;
};

// The host's Out_Module record, backed by the one WAV file of this process.
Out_Module& wav_output_module();

// Creates (truncates) the file the next song goes into. False, with reason, when it cannot.
bool begin_wav_output(const std::string& path, std::string& reason);
// Completes the file's header and closes it. False, with reason, when the
// plugin never opened the output or a write failed.
bool finish_wav_output(std::string& reason);
// Past this much audio the output takes no more: a song that never ends
// cannot fill the disk. 0 means no limit; begin_wav_output resets it.
void limit_wav_output(int64_t limit_ms);
// Closes and deletes the file begin_wav_output made, if any.
void discard_wav_output();

// What the plugin has sent so far: bytes of samples, and their duration.
int64_t wav_output_bytes();
int64_t wav_output_ms();
// The format of the plugin's Open; all zero before it.
OutputFormat wav_output_format();
// The first thing that went wrong with the file, or empty.
std::string wav_output_problem();

}  // namespace voskel::play
