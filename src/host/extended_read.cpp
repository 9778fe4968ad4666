#include "host/extended_read.h"

#include <memory>
#include <vector>

#include "host/own_copy.h"
#include "platform/platform.h"
#include "registry/module_exports.h"

namespace voskel {

namespace {

struct OpenRead {
    std::unique_ptr<OwnCopy> copy;
    ModuleRead read;
};

OpenRead* open_read(intptr_t handle) { return reinterpret_cast<OpenRead*>(handle); }

}  // namespace

intptr_t open_extended_read(const char* file, int* size, int* bits, int* channels, int* rate) {
    if (file == nullptr) return 0;
    auto opened = std::make_unique<OpenRead>();
    {
        const std::lock_guard<std::mutex> guard(shared_lock());
        opened->copy = make_own_copy(file);
    }
    // The module opens its file without the lock: it may take its time.
    if (!opened->copy || !open_module_read(opened->copy->module(), opened->copy->file(), opened->read)) return 0;
    if (size != nullptr) *size = opened->read.size;
    if (bits != nullptr) *bits = opened->read.bits;
    if (channels != nullptr) *channels = opened->read.channels;
    if (rate != nullptr) *rate = opened->read.rate;
    return reinterpret_cast<intptr_t>(opened.release());
}

intptr_t open_extended_read_wide(const wchar_t* file, int* size, int* bits, int* channels, int* rate) {
    const std::vector<char> name = narrow_file_name(file);
    return name.empty() ? 0 : open_extended_read(name.data(), size, bits, channels, rate);
}

intptr_t extended_read_data(intptr_t handle, char* dest, int len, int* kill) {
    OpenRead* opened = open_read(handle);
    if (opened == nullptr) return 0;
    return opened->read.get_data(opened->read.handle, dest, len, kill);
}

int extended_read_set_time(intptr_t handle, int ms) {
    OpenRead* opened = open_read(handle);
    if (opened == nullptr || opened->read.set_time == nullptr) return 0;
    return opened->read.set_time(opened->read.handle, ms);
}

void close_extended_read(intptr_t handle) {
    std::unique_ptr<OpenRead> opened(open_read(handle));
    if (!opened) return;
    opened->read.close(opened->read.handle);
}

}  // namespace voskel
