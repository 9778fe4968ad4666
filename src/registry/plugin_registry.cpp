#include "registry/plugin_registry.h"

#include <condition_variable>
#include <cstring>
#include <optional>
#include <thread>

#include "identity/plugin_identity.h"
#include "registry/inner_module.h"

namespace voskel {

namespace {

PluginRegistry registry GUARDED_BY(state_mutex);
bool unloaded GUARDED_BY(state_mutex) = false;  // by unload_plugins, until reopen_plugins
// The thread that is scanning the folder now, outside the lock, if any; the
// others that look up meanwhile wait on scan_done.
std::optional<std::thread::id> scanner GUARDED_BY(state_mutex);
std::condition_variable_any scan_done;

char fold_case(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

bool same_letters(const char* a, const char* b, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        if (fold_case(a[i]) != fold_case(b[i])) return false;
    }
    return true;
}

struct CandidateList {
    TextString folder;
    std::vector<TextString> paths;
};

void collect_candidate(const char* name, bool is_directory, void* context) {
    if (is_directory) return;
    auto* candidates = static_cast<CandidateList*>(context);
    TextString path = candidates->folder;
    candidates->paths.push_back(path.join_path(TextString(name)));
}

}  // namespace

PluginRegistry& plugin_registry() { return registry; }

PluginRegistry scan_plugins(const In_Module& own) {
    SystemCalls& system = system_calls();
    PluginRegistry found;

    TextString own_path;
    own_path.load_module_path(own.hDllInstance);
    CandidateList candidates{own_path.directory_part(), {}};
    TextString pattern = candidates.folder;
    pattern.join_path(TextString(plugin_file_pattern()));

    // Every name is known before the first library is loaded: loading runs
    // plugin code, which must not disturb the search.
    system.find_files(pattern.chars(), collect_candidate, &candidates);

    for (const TextString& path : candidates.paths) {
        LibraryHandle library = system.load_library(path.chars());
        if (library == nullptr) continue;
        auto get_module = reinterpret_cast<GetInModuleFunction>(system.find_symbol(library, get_in_module_export));
        In_Module* module = get_module != nullptr ? get_module() : nullptr;
        // The host refuses a module of an interface it does not know, and so
        // does this plugin: its record may not even be laid out as ours.
        if (module == nullptr || !is_known_version(module->version)) {
            system.unload_library(library);
            continue;
        }
        PluginRecord record{module, std::make_shared<const PluginLibrary>(library)};
        if (!prepare_module(record, own)) continue;  // record.library goes, and unloads it
        // The host maker's own modules go last, so that other makers' plugins
        // win ties.
        if (is_host_makers_module(*module)) {
            found.push_back(std::move(record));
        } else {
            found.insert(found.begin(), std::move(record));
        }
    }
    return found;
}

bool prepare_module(PluginRecord& record, const In_Module& own) {
    In_Module& module = *record.module;

    // The host gives every module it sets up the same services, so a module
    // carrying ours was set up by the host (or is our own record). Without
    // services from the host, only our own record counts as set up.
    const bool already_set_up = own.SAVSAInit != nullptr ? module.SAVSAInit == own.SAVSAInit : &module == &own;
    if (already_set_up) {
        record.library.reset();  // the extra load goes
        return true;
    }

    module.hDllInstance = record.library_handle();
    module.hMainWindow = own.hMainWindow;
    // As the host does: a module sets these flags itself while it plays.
    module.UsesOutputPlug &= ~IN_MODULE_FLAGS_SET_WHILE_PLAYING;
    module.SAVSAInit = own.SAVSAInit;
    module.SAVSADeInit = own.SAVSADeInit;
    module.SAAddPCMData = own.SAAddPCMData;
    module.SAGetMode = own.SAGetMode;
    module.SAAdd = own.SAAdd;
    module.VSAAddPCMData = own.VSAAddPCMData;
    module.VSAGetMode = own.VSAGetMode;
    module.VSAAdd = own.VSAAdd;
    module.VSASetInfo = own.VSASetInfo;
    module.dsp_isactive = own.dsp_isactive;
    module.dsp_dosamples = own.dsp_dosamples;
    return init_module(module);
}

namespace {

// Quits the modules this plugin set up, outside the lock; their libraries
// go as the records do, unless a copy still holds one.
void quit_modules(PluginRegistry& records) EXCLUDES(state_mutex) {
    for (const PluginRecord& record : records) {
        if (record.library) record.module->Quit();
    }
    records.clear();
}

}  // namespace

void ensure_plugins_scanned(const In_Module& own) {
    {
        MutexLock guard(state_mutex);
        while (scanner.has_value()) {
            // A module's Init that calls back on the scanning thread would
            // wait for itself.
            if (*scanner == std::this_thread::get_id()) return;
            state_mutex.wait(scan_done);
        }
        if (unloaded || !registry.empty()) return;
        scanner = std::this_thread::get_id();
    }
    PluginRegistry found = scan_plugins(own);
    {
        MutexLock guard(state_mutex);
        scanner.reset();
        scan_done.notify_all();
        // Quit may have come meanwhile; then what was found goes again.
        if (!unloaded && registry.empty()) registry.swap(found);
    }
    quit_modules(found);
}

// Every record is forgotten, those of modules set up by someone else (our
// own among them) too: the scan after the next Init finds them again, and a
// registry that kept them would never be empty enough to scan.
void unload_plugins() {
    PluginRegistry taken;
    {
        MutexLock guard(state_mutex);
        taken.swap(registry);
        unloaded = true;
    }
    quit_modules(taken);
}

void reopen_plugins() { unloaded = false; }

const PluginRecord* record_for(const TextString& path, const In_Module& own) {
    const TextString extension = path.extension();
    // An archive inside an archive is not played. Handing it on could only
    // reach ourselves or another archive player, which might hand it back:
    // an archive that holds itself would then never stop being extracted.
    if (unloaded || is_archive_extension(extension)) return nullptr;
    for (const PluginRecord& record : registry) {
        if (record.module == &own) continue;
        if (extension_list_matches(record.module->FileExtensions, extension)) return &record;
    }
    return nullptr;
}

PluginRecord record_of(In_Module& module) {
    for (const PluginRecord& record : registry) {
        if (record.module == &module) return record;
    }
    return {&module, nullptr};
}

In_Module* find_module_for(const TextString& path, const In_Module& own) {
    ensure_plugins_scanned(own);
    MutexLock guard(state_mutex);
    const PluginRecord* record = record_for(path, own);
    return record != nullptr ? record->module : nullptr;
}

namespace {

// The list up to its end as extension_list_matches reads it, and the two
// NULs that end it.
std::string copy_of_list(const char* list) {
    const char* end = list;
    while (*end != '\0') {
        end += std::strlen(end) + 1;  // the group
        if (*end == '\0') break;
        end += std::strlen(end) + 1;  // its description
    }
    return std::string(list, static_cast<std::size_t>(end - list)).append(2, '\0');
}

}  // namespace

PlayedExtensions played_extensions(const In_Module& own) {
    PlayedExtensions played;
    if (unloaded) return played;
    for (const PluginRecord& record : registry) {
        if (record.module != &own && record.module->FileExtensions != nullptr) {
            played.lists_.push_back(copy_of_list(record.module->FileExtensions));
        }
    }
    return played;
}

bool PlayedExtensions::plays(const TextString& file) const {
    const TextString extension = file.extension();
    if (is_archive_extension(extension)) return false;
    for (const std::string& list : lists_) {
        if (extension_list_matches(list.c_str(), extension)) return true;
    }
    return false;
}

bool extension_list_matches(const char* list, const TextString& ext) {
    if (list == nullptr) return false;
    const std::size_t wanted = static_cast<std::size_t>(ext.length());
    const char* group = list;
    while (*group != '\0') {
        const std::size_t group_length = std::strlen(group);
        std::size_t token_start = 0;
        for (std::size_t i = 0; i <= group_length; ++i) {
            const bool token_ends = i == group_length ? i > token_start : group[i] == ';';
            if (!token_ends) continue;
            if (i - token_start == wanted && same_letters(group + token_start, ext.chars(), wanted)) return true;
            token_start = i + 1;
        }
        // Skip the group's description; a group without one ends the list.
        const char* description = group + group_length + 1;
        if (*description == '\0') return false;
        group = description + std::strlen(description) + 1;
    }
    return false;
}

}  // namespace voskel
