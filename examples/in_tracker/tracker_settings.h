// How in_tracker asks libopenmpt for sound. Anyone who wants to reproduce
// the plugin's output sample for sample renders with the same settings.
#pragma once

namespace voskel::examples::tracker {

inline constexpr int sample_rate = 44100;
inline constexpr int channels = 2;
inline constexpr int bits_per_sample = 16;
// libopenmpt dithers 16-bit output with random noise by default; without it
// the same module always renders to the same samples.
inline constexpr const char* dither_ctl = "dither";
inline constexpr int dither = 0;

}  // namespace voskel::examples::tracker
