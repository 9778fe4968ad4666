// The library's exports. Winamp calls winampGetInModule2 after loading the
// plugin and fills in the host slots of the record it gets; the others are
// optional, and Winamp 5 looks them up by name.
#include <cstddef>
#include <cstdint>

#include "host/extended_info.h"
#include "host/extended_read.h"
#include "host/info_dialog.h"
#include "host/plugin_record.h"
#include "host/uninstall.h"

#if defined(_WIN32)
#define VOSKEL_EXPORT extern "C" __declspec(dllexport)
#else
#define VOSKEL_EXPORT extern "C" __attribute__((visibility("default")))
#endif

VOSKEL_EXPORT voskel::In_Module* winampGetInModule2() { return &voskel::plugin_record(); }

// Beside the record: metadata and decoding for the Media Library, the title
// formatter, the format converter, ReplayGain and the CD burner.

VOSKEL_EXPORT int winampGetExtendedFileInfo(const char* file, const char* key, char* dest, int destlen) {
    return voskel::get_extended_file_info(file, key, dest, destlen);
}

VOSKEL_EXPORT int winampGetExtendedFileInfoW(const wchar_t* file, const char* key, wchar_t* dest, int destlen) {
    return voskel::get_extended_file_info_wide(file, key, dest, destlen);
}

VOSKEL_EXPORT intptr_t winampGetExtendedRead_open(const char* file, int* size, int* bits, int* channels, int* rate) {
    return voskel::open_extended_read(file, size, bits, channels, rate);
}

VOSKEL_EXPORT intptr_t winampGetExtendedRead_openW(const wchar_t* file, int* size, int* bits, int* channels,
                                                   int* rate) {
    return voskel::open_extended_read_wide(file, size, bits, channels, rate);
}

VOSKEL_EXPORT intptr_t winampGetExtendedRead_open_float(const char* file, int* size, int* bits, int* channels,
                                                        int* rate) {
    return voskel::open_extended_read_float(file, size, bits, channels, rate);
}

VOSKEL_EXPORT intptr_t winampGetExtendedRead_openW_float(const wchar_t* file, int* size, int* bits, int* channels,
                                                         int* rate) {
    return voskel::open_extended_read_float_wide(file, size, bits, channels, rate);
}

VOSKEL_EXPORT intptr_t winampGetExtendedRead_getData(intptr_t handle, char* dest, int len, int* kill) {
    return voskel::extended_read_data(handle, dest, len, kill);
}

VOSKEL_EXPORT int winampGetExtendedRead_setTime(intptr_t handle, int ms) {
    return voskel::extended_read_set_time(handle, ms);
}

VOSKEL_EXPORT void winampGetExtendedRead_close(intptr_t handle) { voskel::close_extended_read(handle); }

// Alt+3: the host's own dialog, as the inner plugin wants it.
VOSKEL_EXPORT int winampUseUnifiedFileInfoDlg(const wchar_t* file) { return voskel::use_unified_file_info_dialog(file); }

VOSKEL_EXPORT voskel::HostWindow winampAddUnifiedFileInfoPane(int n, const wchar_t* file, voskel::HostWindow parent,
                                                              wchar_t* name, size_t namelen) {
    return voskel::add_unified_file_info_pane(n, file, parent, name, namelen);
}

// The Uninstall button of the host's preferences.
VOSKEL_EXPORT int winampUninstallPlugin(void* /*dll_instance*/, void* /*parent_window*/, int /*param*/) {
    return voskel::uninstall_plugin();
}
