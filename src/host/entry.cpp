// The library's one export. Winamp calls it after loading the plugin and
// fills in the host slots of the record it gets.
#include "host/plugin_record.h"

#if defined(_WIN32)
#define VOSKEL_EXPORT extern "C" __declspec(dllexport)
#else
#define VOSKEL_EXPORT extern "C" __attribute__((visibility("default")))
#endif

VOSKEL_EXPORT voskel::In_Module* winampGetInModule2() { return &voskel::plugin_record(); }
