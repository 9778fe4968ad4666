#include "host/extended_read.h"

#include <memory>
#include <mutex>
#include <set>
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

// The reads the host has opened and not yet closed. A host that unloads the
// plugin without closing them leaves them to the library's unload, which
// closes them and removes their folders.
class OpenReads {
public:
    ~OpenReads() {
        for (OpenRead* opened : reads_) {
            opened->read.close(opened->read.handle);
            delete opened;
        }
    }

    intptr_t add(std::unique_ptr<OpenRead> opened) {
        const MutexLock guard(state_mutex);
        return reinterpret_cast<intptr_t>(*reads_.insert(opened.release()).first);
    }

    // The read behind handle, taken out of the list; null for a handle that
    // names none.
    std::unique_ptr<OpenRead> take(intptr_t handle) {
        const MutexLock guard(state_mutex);
        const auto found = reads_.find(reinterpret_cast<OpenRead*>(handle));
        if (found == reads_.end()) return nullptr;
        std::unique_ptr<OpenRead> opened(*found);
        reads_.erase(found);
        return opened;
    }

    bool any() const REQUIRES(state_mutex) { return !reads_.empty(); }

private:
    std::set<OpenRead*> reads_ GUARDED_BY(state_mutex);
};

OpenReads open_reads;

OpenRead* open_read(intptr_t handle) { return reinterpret_cast<OpenRead*>(handle); }

intptr_t open_read_of(SampleFormat format, const char* file, int* size, int* bits, int* channels, int* rate) {
    if (file == nullptr) return 0;
    const Activity activity;
    if (!activity.admitted()) return 0;
    auto opened = std::make_unique<OpenRead>();
    // Worker threads show no box: a missing library is a no like any other.
    opened->copy = make_own_copy(file).copy;
    if (!opened->copy) return 0;
    // The caller may ask for a format; the module says what it will deliver.
    opened->read.bits = bits != nullptr ? *bits : 0;
    opened->read.channels = channels != nullptr ? *channels : 0;
    opened->read.rate = rate != nullptr ? *rate : 0;
    if (!open_module_read(opened->copy->module(), opened->copy->file(), opened->read, format)) return 0;
    if (size != nullptr) *size = opened->read.size;
    if (bits != nullptr) *bits = opened->read.bits;
    if (channels != nullptr) *channels = opened->read.channels;
    if (rate != nullptr) *rate = opened->read.rate;
    return open_reads.add(std::move(opened));
}

intptr_t open_wide_read_of(SampleFormat format, const wchar_t* file, int* size, int* bits, int* channels, int* rate) {
    const std::vector<char> name = narrow_file_name(file);
    return name.empty() ? 0 : open_read_of(format, name.data(), size, bits, channels, rate);
}

}  // namespace

bool extended_reads_open() { return open_reads.any(); }

intptr_t open_extended_read(const char* file, int* size, int* bits, int* channels, int* rate) {
    return open_read_of(SampleFormat::pcm, file, size, bits, channels, rate);
}

intptr_t open_extended_read_wide(const wchar_t* file, int* size, int* bits, int* channels, int* rate) {
    return open_wide_read_of(SampleFormat::pcm, file, size, bits, channels, rate);
}

intptr_t open_extended_read_float(const char* file, int* size, int* bits, int* channels, int* rate) {
    return open_read_of(SampleFormat::floating_point, file, size, bits, channels, rate);
}

intptr_t open_extended_read_float_wide(const wchar_t* file, int* size, int* bits, int* channels, int* rate) {
    return open_wide_read_of(SampleFormat::floating_point, file, size, bits, channels, rate);
}

// The host calls getData and setTime of one read from one thread at a time,
// and never after its close: they need no lock.
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
    const std::unique_ptr<OpenRead> opened = open_reads.take(handle);
    if (!opened) return;
    opened->read.close(opened->read.handle);
}

}  // namespace voskel
