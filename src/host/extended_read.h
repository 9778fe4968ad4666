// Decoding archived songs outside playback, for the format converter, the
// ReplayGain scanner and the CD burner: winampGetExtendedRead_*, forwarded
// to the inner module's own extended read. Each open extracts the member
// into a folder of its own, so that several may be open at once and the
// playing file is never touched; close deletes it.
#pragma once

#include <cstdint>

#include "identity/state_lock.h"

namespace voskel {

// A handle, or 0 when the file is no MDZ or MDR, cannot be extracted, or
// its inner module has no extended read (and then nothing is left behind).
intptr_t open_extended_read(const char* file, int* size, int* bits, int* channels, int* rate);
intptr_t open_extended_read_wide(const wchar_t* file, int* size, int* bits, int* channels, int* rate);
// The same for 32-bit float samples, through the inner module's _float
// forms of open; 0 when it has none, so that the caller reads PCM instead.
intptr_t open_extended_read_float(const char* file, int* size, int* bits, int* channels, int* rate);
intptr_t open_extended_read_float_wide(const wchar_t* file, int* size, int* bits, int* channels, int* rate);
intptr_t extended_read_data(intptr_t handle, char* dest, int len, int* kill);
// 0 when the inner module cannot seek.
int extended_read_set_time(intptr_t handle, int ms);
void close_extended_read(intptr_t handle);

// Whether a read is open that the host has not closed.
bool extended_reads_open() REQUIRES(state_mutex);

}  // namespace voskel
