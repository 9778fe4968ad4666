#include "host/plugin_record.h"

#include <atomic>
#include <cstring>

#include "extract/unzip32_member.h"
#include "host/file_info.h"
#include "host/playback.h"
#include "platform/platform.h"
#include "registry/plugin_registry.h"
#include "text/text_string.h"

namespace voskel {

namespace {

char description[] = "mek Voskel Plugin v0.9 (x86)";

char file_extensions[] =
    "MDZ\0ZIP Compressed Song (*.MDZ)\0"
    "MDR\0RAR Compressed Song (*.MDR)\0";  // the literal's own NUL ends the list

// Each line short enough that the box does not wrap it.
constexpr char about_box_text[] =
    "Voskel Plugin v0.9 (" __DATE__ ")\n\n"
    "Copyright (c) 2026 the in_voskel authors\n"
    "MIT licence; unzip32 and unrar under their own";

In_Module record = {
    .version = 0x100,
    .description = description,
    .hMainWindow = nullptr,
    .hDllInstance = nullptr,
    .FileExtensions = file_extensions,
    .is_seekable = 1,
    .UsesOutputPlug = 1,
    .Config = Config,
    .About = About,
    .Init = Init,
    .Quit = Quit,
    .GetFileInfo = GetFileInfo,
    .InfoBox = InfoBox,
    .IsOurFile = IsOurFile,
    .Play = Play,
    .Pause = Pause,
    .UnPause = UnPause,
    .IsPaused = IsPaused,
    .Stop = Stop,
    .GetLength = GetLength,
    .GetOutputTime = GetOutputTime,
    .SetOutputTime = SetOutputTime,
    .SetVolume = SetVolume,
    .SetPan = SetPan,
    .SAVSAInit = nullptr,
    .SAVSADeInit = nullptr,
    .SAAddPCMData = nullptr,
    .SAGetMode = nullptr,
    .SAAdd = nullptr,
    .VSAAddPCMData = nullptr,
    .VSAGetMode = nullptr,
    .VSAAdd = nullptr,
    .VSASetInfo = nullptr,
    .dsp_isactive = nullptr,
    .dsp_dosamples = nullptr,
    .EQSet = EQSet,
    .SetInfo = nullptr,
    .outMod = nullptr,
};

}  // namespace

In_Module& plugin_record() { return record; }

const char* about_text() { return about_box_text; }

const char* archive_description(const TextString& extension) {
    for (const char* group = file_extensions; *group != '\0';) {
        const char* description = group + std::strlen(group) + 1;
        if (extension.equals(group)) return description;  // each group is one extension
        group = description + std::strlen(description) + 1;
    }
    return nullptr;
}

void About(HostWindow parent) { system_calls().show_message(parent, about_box_text, message_caption); }

namespace {

// Per archive library: whether a question has told the user that it is
// missing since an extraction last found it.
struct QuestionsTold {
    const char* library;
    std::atomic<bool> told{false};
};

QuestionsTold* told_about(const char* library) {
    static QuestionsTold libraries[] = {{unzip32_library_name}, {rar_library_name()}};
    for (QuestionsTold& entry : libraries) {
        if (std::strcmp(entry.library, library) == 0) return &entry;
    }
    return nullptr;
}

}  // namespace

void library_found(const char* library) {
    if (QuestionsTold* entry = library != nullptr ? told_about(library) : nullptr) entry->told = false;
}

void tell_missing_library(const char* library, Telling telling) {
    if (library == nullptr) return;
    QuestionsTold* entry = told_about(library);
    if (telling == Telling::once_while_missing && entry != nullptr && entry->told.exchange(true)) return;
    TextString text("Could not find ");
    text.append(library);
    system_calls().show_message(nullptr, text.chars(), message_caption);
}

// There is nothing to configure; the box says what the plugin is.
void Config(HostWindow parent) { About(parent); }

int IsOurFile(char* file) {
    return is_archive_extension(TextString(file).extension()) ? 1 : 0;
}

}  // namespace voskel
