// What the in-process registry tests share: the registry and our own record
// put back as they were after each test, and host services for our record.
#pragma once

#include <cstdint>
#include <string>

#include "host/plugin_record.h"
#include "winamp/input_plugin.h"
#include "registry/plugin_registry.h"
#include "support/scratch.h"

namespace voskel::test {

// While alive, the registry starts empty and our own record carries the
// host's slots as a host fills them (services, main window). Afterwards the
// registry's modules get their Quit and unloads (unload_plugins), which
// must leave the registry empty, and the record and the system table are
// restored.
class RegistrySandbox {
public:
    RegistrySandbox();
    ~RegistrySandbox();
    RegistrySandbox(const RegistrySandbox&) = delete;
    RegistrySandbox& operator=(const RegistrySandbox&) = delete;

    SystemCalls& calls() { return calls_.calls(); }
    In_Module& own() { return plugin_record(); }
    // Clears the registry and the record's changes in the middle of a test.
    void reset();

private:
    ScopedSystemCalls calls_;
    In_Module saved_record_;
};

// Writes a library's file name as SystemCalls::module_file_name does,
// cutting it short (count == size) when the buffer is too small.
uint32_t copy_module_name(const std::string& name, char* buffer, uint32_t size);

// The window our record names as the host's main window.
HostWindow sandbox_main_window();

}  // namespace voskel::test
