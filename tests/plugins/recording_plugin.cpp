// An inner input plugin for the tests. It plays nothing: it writes down every
// call it receives, with its arguments, one line per call, and answers with
// values a test chose. The build compiles it several times under different
// names, descriptions and extension lists:
//
//   RECORDER_DESCRIPTION the record's description; left undefined for none
//   RECORDER_EXTENSIONS  the extension list with '|' between its strings and
//                        ',' for ';' (a build definition cannot carry ';'),
//                        e.g. "MOD,S3M|Modules"; left undefined for none
//   RECORDER_NO_EXPORT   the library lacks winampGetInModule2
//   RECORDER_NULL_RECORD winampGetInModule2 returns null
//
// Tests reach the journal through the plain-C recorder_* exports: nothing of
// C++ crosses the library boundary, since each Windows library carries its
// own runtime. The plugin uses no C++ library either, which keeps it small.
//
// Journal lines hold tab-separated fields: the call's name, its arguments,
// then name=value pairs of what the plugin saw in its own record. Pointers
// and handles are written as unsigned decimal numbers, a null text as "(null)".
// Calls that name a file (Play, GetFileInfo, InfoBox) also write what that
// file held at the time: size=<bytes> (-1 when it could not be read) and
// crc=<CRC-32>, so that a test sees a file its caller deletes right after.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "winamp/input_plugin.h"

#if defined(_WIN32)
#define RECORDER_EXPORT extern "C" __declspec(dllexport)
#else
#define RECORDER_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace voskel {
namespace {

// ---- the journal --------------------------------------------------------

char* journal = nullptr;
std::size_t journal_length = 0;
std::size_t journal_capacity = 0;

// Given back when the library is unloaded.
struct JournalRelease {
    ~JournalRelease() { std::free(journal); }
} journal_release;

void put(const char* text, std::size_t length) {
    if (journal_length + length + 1 > journal_capacity) {
        std::size_t capacity = journal_capacity == 0 ? 4096 : journal_capacity;
        while (journal_length + length + 1 > capacity) capacity *= 2;
        char* grown = static_cast<char*>(std::realloc(journal, capacity));
        if (grown == nullptr) std::abort();
        journal = grown;
        journal_capacity = capacity;
    }
    std::memcpy(journal + journal_length, text, length);
    journal_length += length;
    journal[journal_length] = '\0';
}

void put(const char* text) { put(text, std::strlen(text)); }

void put_text(const char* text) { put(text != nullptr ? text : "(null)"); }

void put_unsigned(std::uintmax_t value) {
    char digits[24];
    std::size_t start = sizeof digits;
    do {
        digits[--start] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    put(digits + start, sizeof digits - start);
}

void put_number(long long value) {
    if (value < 0) put("-");
    put_unsigned(value < 0 ? 0u - static_cast<std::uintmax_t>(value) : static_cast<std::uintmax_t>(value));
}

void put_address(const void* pointer) { put_unsigned(reinterpret_cast<std::uintptr_t>(pointer)); }

template <typename Function>
void put_function(Function* function) { put_address(reinterpret_cast<const void*>(function)); }

void begin(const char* call) { put(call); }
void field(const char* text) { put("\t"); put_text(text); }
void field(int value) { put("\t"); put_number(value); }
void pair(const char* key) { put("\t"); put(key); put("="); }
void end() { put("\n"); }

void file_facts(const char* path) {
    long long size = -1;
    std::uint32_t crc = 0xFFFFFFFFu;
    std::FILE* file = path != nullptr && path[0] != '\0' ? std::fopen(path, "rb") : nullptr;
    if (file != nullptr) {
        size = 0;
        unsigned char buffer[4096];
        std::size_t count;
        while ((count = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
            size += static_cast<long long>(count);
            for (std::size_t i = 0; i < count; ++i) {
                crc ^= buffer[i];
                for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
            }
        }
        std::fclose(file);
    }
    pair("size");
    put_number(size);
    pair("crc");
    put_unsigned(crc ^ 0xFFFFFFFFu);
}

// ---- the answers a test can choose --------------------------------------

struct Answers {
    int play = 0;
    int is_paused = 0;
    int length = -1;
    int output_time = 0;
    int info_box = 0;
    int is_our_file = 0;
    bool has_file_info = false;
    char title[256] = {};
    int title_length_ms = 0;
    bool uses_output = false;
};

Answers answers;

// ---- the record -----------------------------------------------------------

// The extension list at compile time: '|' becomes the NUL between strings,
// ',' becomes ';', and one more NUL ends the list.
template <std::size_t N>
struct ExtensionList {
    char text[N + 1];
};

template <std::size_t N>
constexpr ExtensionList<N> make_extension_list(const char (&source)[N]) {
    ExtensionList<N> list{};
    for (std::size_t i = 0; i < N; ++i) {
        list.text[i] = source[i] == '|' ? '\0' : source[i] == ',' ? ';' : source[i];
    }
    list.text[N] = '\0';
    return list;
}

#if defined(RECORDER_DESCRIPTION)
char description[] = RECORDER_DESCRIPTION;
char* const description_slot = description;
#else
char* const description_slot = nullptr;
#endif

#if defined(RECORDER_EXTENSIONS)
constinit ExtensionList extensions = make_extension_list(RECORDER_EXTENSIONS);
char* const extensions_slot = extensions.text;
#else
char* const extensions_slot = nullptr;
#endif

In_Module& record();

void Config(HostWindow parent) {
    begin("Config");
    pair("parent");
    put_address(parent);
    end();
}

void About(HostWindow parent) {
    begin("About");
    pair("parent");
    put_address(parent);
    end();
}

void Init() {
    const In_Module& self = record();
    begin("Init");
    pair("hMainWindow");
    put_address(self.hMainWindow);
    pair("hDllInstance");
    put_address(self.hDllInstance);
    // One digit per host service, SAVSAInit first: 1 where the slot is filled.
    const bool services[] = {
        self.SAVSAInit != nullptr,     self.SAVSADeInit != nullptr, self.SAAddPCMData != nullptr,
        self.SAGetMode != nullptr,     self.SAAdd != nullptr,       self.VSAAddPCMData != nullptr,
        self.VSAGetMode != nullptr,    self.VSAAdd != nullptr,      self.VSASetInfo != nullptr,
        self.dsp_isactive != nullptr,  self.dsp_dosamples != nullptr,
    };
    pair("services");
    for (bool set : services) put(set ? "1" : "0");
    end();
}

void Quit() {
    begin("Quit");
    end();
}

void GetFileInfo(char* file, char* title, int* length_ms) {
    begin("GetFileInfo");
    field(file);
    pair("title");
    put_address(title);
    pair("length");
    put_address(length_ms);
    file_facts(file);
    end();
    if (!answers.has_file_info) return;
    if (title != nullptr) std::strcpy(title, answers.title);
    if (length_ms != nullptr) *length_ms = answers.title_length_ms;
}

int InfoBox(char* file, HostWindow parent) {
    begin("InfoBox");
    field(file);
    pair("parent");
    put_address(parent);
    file_facts(file);
    end();
    return answers.info_box;
}

int IsOurFile(char* file) {
    begin("IsOurFile");
    field(file);
    end();
    return answers.is_our_file;
}

// What a decoder does with the host's connections when it starts: announce
// the format, open the output, start the visualisation, write a first block.
void start_output() {
    const In_Module& self = record();
    if (self.SetInfo != nullptr) self.SetInfo(128, 44, 1, 1);
    if (self.outMod == nullptr) return;
    const int latency = self.outMod->Open(44100, 2, 16, -1, -1);
    if (self.SAVSAInit != nullptr) self.SAVSAInit(latency, 44100);
    if (self.VSASetInfo != nullptr) self.VSASetInfo(44100, 2);
    char silence[16] = {};
    if (self.outMod->CanWrite() >= static_cast<int>(sizeof silence)) {
        self.outMod->Write(silence, static_cast<int>(sizeof silence));
    }
}

void stop_output() {
    const In_Module& self = record();
    if (self.outMod != nullptr) self.outMod->Close();
    if (self.SAVSADeInit != nullptr) self.SAVSADeInit();
}

int Play(char* file) {
    const In_Module& self = record();
    begin("Play");
    field(file);
    pair("SetInfo");
    put_function(self.SetInfo);
    pair("outMod");
    put_address(self.outMod);
    pair("hDllInstance");
    put_address(self.hDllInstance);
    file_facts(file);
    end();
    if (answers.play == 0 && answers.uses_output) start_output();
    return answers.play;
}

void Pause() {
    begin("Pause");
    end();
}

void UnPause() {
    begin("UnPause");
    end();
}

int IsPaused() {
    begin("IsPaused");
    end();
    return answers.is_paused;
}

void Stop() {
    begin("Stop");
    end();
    if (answers.uses_output) stop_output();
}

int GetLength() {
    begin("GetLength");
    end();
    return answers.length;
}

int GetOutputTime() {
    begin("GetOutputTime");
    end();
    return answers.output_time;
}

void SetOutputTime(int time_ms) {
    begin("SetOutputTime");
    field(time_ms);
    end();
}

void SetVolume(int volume) {
    begin("SetVolume");
    field(volume);
    end();
}

void SetPan(int pan) {
    begin("SetPan");
    field(pan);
    end();
}

void EQSet(int on, char bands[10], int preamp) {
    begin("EQSet");
    field(on);
    put("\t");
    if (bands == nullptr) {
        put("(null)");
    } else {
        for (int i = 0; i < 10; ++i) {
            if (i > 0) put(",");
            put_number(bands[i]);
        }
    }
    field(preamp);
    end();
}

In_Module module_record = {
    .version = 0x100,
    .description = description_slot,
    .hMainWindow = nullptr,
    .hDllInstance = nullptr,
    .FileExtensions = extensions_slot,
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

In_Module& record() { return module_record; }

}  // namespace
}  // namespace voskel

#if !defined(RECORDER_NO_EXPORT)
RECORDER_EXPORT voskel::In_Module* winampGetInModule2() {
    voskel::begin("winampGetInModule2");
    voskel::end();
#if defined(RECORDER_NULL_RECORD)
    return nullptr;
#else
    return &voskel::record();
#endif
}
#endif

// Everything recorded since the library was loaded or last reset.
RECORDER_EXPORT const char* recorder_journal() { return voskel::journal != nullptr ? voskel::journal : ""; }

// Empties the journal and restores every answer to its default.
RECORDER_EXPORT void recorder_reset() {
    voskel::journal_length = 0;
    if (voskel::journal != nullptr) voskel::journal[0] = '\0';
    voskel::answers = voskel::Answers{};
}

// Sets what one entry point returns from now on: "Play" (default 0),
// "IsPaused" (0), "GetLength" (-1), "GetOutputTime" (0), "InfoBox" (0) or
// "IsOurFile" (0). Returns 0 for any other name.
RECORDER_EXPORT int recorder_set_result(const char* call, int value) {
    struct Slot {
        const char* name;
        int* answer;
    };
    const Slot slots[] = {
        {"Play", &voskel::answers.play},
        {"IsPaused", &voskel::answers.is_paused},
        {"GetLength", &voskel::answers.length},
        {"GetOutputTime", &voskel::answers.output_time},
        {"InfoBox", &voskel::answers.info_box},
        {"IsOurFile", &voskel::answers.is_our_file},
    };
    for (const Slot& slot : slots) {
        if (call != nullptr && std::strcmp(call, slot.name) == 0) {
            *slot.answer = value;
            return 1;
        }
    }
    return 0;
}

// GetFileInfo writes this title and length from now on (it writes nothing
// until this is called). The title is cut at 255 characters.
RECORDER_EXPORT void recorder_set_file_info(const char* title, int length_ms) {
    voskel::answers.has_file_info = true;
    std::strncpy(voskel::answers.title, title != nullptr ? title : "", sizeof voskel::answers.title - 1);
    voskel::answers.title_length_ms = length_ms;
}

// With output on, a successful Play calls SetInfo, opens outMod, starts the
// visualisation and writes one block of silence; Stop closes both again.
RECORDER_EXPORT void recorder_set_output(int on) { voskel::answers.uses_output = on != 0; }
