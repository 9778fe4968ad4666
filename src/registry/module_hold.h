// A load of its own on the library of an inner module, for as long as
// something outside playback still calls into the module: an extended read
// the host keeps open across its Quit, a question a worker thread is still
// asking. Quit unloads what the registry loaded; the module stays callable
// until the last hold on its library is let go.
#pragma once

#include "platform/platform.h"
#include "winamp/input_plugin.h"

namespace voskel {

class ModuleHold {
public:
    // Take it while the module is known to be loaded (the registry's lock held).
    explicit ModuleHold(const In_Module& module)
        : library_(system_calls().load_again(static_cast<LibraryHandle>(module.hDllInstance))) {}
    ~ModuleHold() { system_calls().unload_library(library_); }
    ModuleHold(const ModuleHold&) = delete;
    ModuleHold& operator=(const ModuleHold&) = delete;

private:
    LibraryHandle library_;
};

}  // namespace voskel
