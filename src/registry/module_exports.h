// The optional exports of an input module's library beside its record:
// extended file information and extended read, looked up in the library the
// module's hDllInstance names and called in the module's width. A library
// may export the 8-bit form, the UTF-16 form or both; the one that matches
// the module's width is preferred, the other taken when it is the only one.
#pragma once

#include <cstddef>
#include <cstdint>

#include "winamp/input_plugin.h"

namespace voskel {

// The module's answer about file (8-bit text) for the metadata key, into
// dest of destlen characters of the caller's width, converted and cut
// between characters to fit. 1 when answered, 0 when not: no such export,
// a name the export's width cannot carry, or the module had no answer.
int module_extended_info(const In_Module& module, const char* file, const char* key, char* dest, int destlen);
int module_extended_info_wide(const In_Module& module, const char* file, const char* key, wchar_t* dest,
                              int destlen);

// The module library's winampUseUnifiedFileInfoDlg for file (8-bit text,
// handed on wide): its answer, or 0 when it has none.
int module_use_unified_dialog(const In_Module& module, const char* file);

// Its winampAddUnifiedFileInfoPane: the pane, or null when it has none.
// file is given wide, as the pane keeps it for its window's life.
HostWindow module_add_info_pane(const In_Module& module, int n, const wchar_t* file, HostWindow parent,
                                wchar_t* name, std::size_t namelen);

// Whether the module's library exports extended file information in either width.
bool has_extended_info(const In_Module& module);

// One extended read opened in a module.
struct ModuleRead {
    intptr_t handle = 0;
    ExtendedReadGetDataFunction get_data = nullptr;
    ExtendedReadSetTimeFunction set_time = nullptr;  // null when the module has none
    ExtendedReadCloseFunction close = nullptr;
    int size = -1;  // bytes of PCM, -1 when not known
    int bits = 0;
    int channels = 0;
    int rate = 0;
};

// What an extended read delivers: 16-bit (or other integer) PCM, or 32-bit
// float samples through the _float forms of open.
enum class SampleFormat { pcm, floating_point };

// Opens file (8-bit text) for decoding in the module. read's bits, channels
// and rate go in as the format the caller asks for (0: whatever the module
// likes) and come back as what the module will deliver. False, with nothing
// open, when the module has no extended read of that sample format (an open
// export in some width, getData and close) or its open fails.
bool open_module_read(const In_Module& module, const char* file, ModuleRead& read,
                      SampleFormat format = SampleFormat::pcm);

}  // namespace voskel
