#include "registry/plugin_registry.h"

#include <cstring>

#include "identity/plugin_identity.h"
#include "registry/inner_module.h"

namespace voskel {

namespace {

constinit PluginRegistry registry;
bool unloaded = false;  // by unload_plugins, until reopen_plugins

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

void scan_plugins(const In_Module& own) {
    SystemCalls& system = system_calls();

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
        PluginRecord record{module, library};
        if (!prepare_module(record, own)) {
            system.unload_library(library);
            continue;
        }
        // The host maker's own modules go last, so that other makers' plugins
        // win ties.
        if (is_host_makers_module(*module)) {
            registry.push_back(record);
        } else {
            registry.insert(registry.begin(), record);
        }
    }
}

bool prepare_module(PluginRecord& record, const In_Module& own) {
    In_Module& module = *record.module;

    // The host gives every module it sets up the same services, so a module
    // carrying ours was set up by the host (or is our own record). Without
    // services from the host, only our own record counts as set up.
    const bool already_set_up = own.SAVSAInit != nullptr ? module.SAVSAInit == own.SAVSAInit : &module == &own;
    if (already_set_up) {
        system_calls().unload_library(record.library);
        record.library = nullptr;
        return true;
    }

    module.hDllInstance = record.library;
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

// Every record is forgotten, those of modules set up by someone else (our
// own among them) too: the scan after the next Init finds them again, and a
// registry that kept them would never be empty enough to scan.
void unload_plugins() {
    for (const PluginRecord& record : registry) {
        if (record.library == nullptr) continue;
        record.module->Quit();
        system_calls().unload_library(record.library);
    }
    registry.clear();
    unloaded = true;
}

void reopen_plugins() { unloaded = false; }

In_Module* find_module_for(const TextString& path, const In_Module& own) {
    const TextString extension = path.extension();
    if (unloaded) return nullptr;
    if (registry.empty()) scan_plugins(own);
    // An archive inside an archive is not played. Handing it on could only
    // reach ourselves or another archive player, which might hand it back:
    // an archive that holds itself would then never stop being extracted.
    if (is_archive_extension(extension)) return nullptr;
    for (const PluginRecord& record : registry) {
        if (record.module == &own) continue;
        if (extension_list_matches(record.module->FileExtensions, extension)) return record.module;
    }
    return nullptr;
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
    if (registry.empty()) scan_plugins(own);
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
