#include "registry_fixture.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "host/playback.h"
#include "host/plugin_record.h"

namespace voskel::test {

namespace {

// Distinct functions, so that a slot copied into the wrong place shows.
void sandbox_SAVSAInit(int, int) {}
void sandbox_SAVSADeInit() {}
void sandbox_SAAddPCMData(void*, int, int, int) {}
int sandbox_SAGetMode() { return 1; }
int sandbox_SAAdd(void*, int, int) { return 2; }
void sandbox_VSAAddPCMData(void*, int, int, int) {}
int sandbox_VSAGetMode(int*, int*) { return 3; }
int sandbox_VSAAdd(void*, int) { return 4; }
void sandbox_VSASetInfo(int, int) {}
int sandbox_dsp_isactive() { return 5; }
int sandbox_dsp_dosamples(short*, int, int, int, int) { return 6; }

void fill_services(In_Module& own) {
    own.hMainWindow = sandbox_main_window();
    own.SAVSAInit = sandbox_SAVSAInit;
    own.SAVSADeInit = sandbox_SAVSADeInit;
    own.SAAddPCMData = sandbox_SAAddPCMData;
    own.SAGetMode = sandbox_SAGetMode;
    own.SAAdd = sandbox_SAAdd;
    own.VSAAddPCMData = sandbox_VSAAddPCMData;
    own.VSAGetMode = sandbox_VSAGetMode;
    own.VSAAdd = sandbox_VSAAdd;
    own.VSASetInfo = sandbox_VSASetInfo;
    own.dsp_isactive = sandbox_dsp_isactive;
    own.dsp_dosamples = sandbox_dsp_dosamples;
}

}  // namespace

uint32_t copy_module_name(const std::string& name, char* buffer, uint32_t size) {
    if (size == 0) return 0;
    if (name.size() < size) {
        std::memcpy(buffer, name.c_str(), name.size() + 1);
        return static_cast<uint32_t>(name.size());
    }
    std::memcpy(buffer, name.data(), size - 1);
    buffer[size - 1] = '\0';
    return size;
}

HostWindow sandbox_main_window() { return reinterpret_cast<HostWindow>(static_cast<std::uintptr_t>(0x2468)); }

RegistrySandbox::RegistrySandbox() : saved_record_(plugin_record()) {
    EXPECT_TRUE(plugin_registry().empty()) << "an earlier test left records behind";
    plugin_registry().clear();
    reopen_plugins();
    fill_services(plugin_record());
}

RegistrySandbox::~RegistrySandbox() {
    reset();
    plugin_record() = saved_record_;
}

void RegistrySandbox::reset() {
    unload_plugins();
    EXPECT_TRUE(plugin_registry().empty()) << "records kept after Quit: a lookup after the next Init would not scan";
    reopen_plugins();
    plugin_record() = saved_record_;
    fill_services(plugin_record());
    playback_state().current_module = nullptr;
}

}  // namespace voskel::test
