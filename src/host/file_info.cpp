#include "host/file_info.h"

#include "extract/temp_dir.h"
#include "host/own_copy.h"
#include "host/playback.h"
#include "host/plugin_record.h"
#include "registry/inner_module.h"
#include "registry/plugin_registry.h"

namespace voskel {

namespace {

// The playing file is named by null, by "", or by exactly the name given to
// Play; the same name in another letter case is another file.
bool is_playing_file(const PlaybackState& state, const char* file) {
    return state.current_module.load() != nullptr &&
           (file == nullptr || file[0] == '\0' || state.current_name.equals(file));
}

// A fresh copy of the archive's member in the temporary folder, and the
// module that plays it; the copy is empty when nothing was extracted.
Extraction extract_and_find(const char* file, const PlaybackState& state, In_Module*& module) {
    Extraction extraction;
    {
        const std::lock_guard<std::mutex> guard(shared_lock());
        extraction = extract_to_temp(TextString(file), state.temp_path);
        module = extraction.file.empty() ? nullptr : find_module_for(extraction.file, plugin_record());
    }
    tell_missing_library(extraction);
    return extraction;
}

}  // namespace

void GetFileInfo(char* file, char* title, int* length_ms) {
    const PlaybackState& state = playback_state();
    if (is_playing_file(state, file)) {
        get_module_file_info(*state.current_module.load(), state.temp_path.chars(), title, length_ms);
        return;
    }
    if (file == nullptr || file[0] == '\0') return;

    // Any other archive is extracted afresh, without touching the playing file.
    In_Module* module = nullptr;
    const Extraction extracted = extract_and_find(file, state, module);
    if (extracted.file.empty()) return;
    if (module != nullptr) get_module_file_info(*module, extracted.file.chars(), title, length_ms);
    remove_extracted(extracted.file, extracted.made_folder);
}

int InfoBox(char* file, HostWindow parent) {
    const PlaybackState& state = playback_state();
    if (is_playing_file(state, file)) {
        return module_info_box(*state.current_module.load(), state.temp_path.chars(), parent);
    }
    if (file == nullptr || file[0] == '\0') return 0;

    In_Module* module = nullptr;
    const Extraction extracted = extract_and_find(file, state, module);
    if (extracted.file.empty()) return 0;
    const int result = module != nullptr ? module_info_box(*module, extracted.file.chars(), parent) : 0;
    remove_extracted(extracted.file, extracted.made_folder);
    return result;
}

}  // namespace voskel
