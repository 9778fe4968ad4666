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
//   RECORDER_UNICODE     a Unicode module (IN_UNICODE): file names and the
//                        title are wchar_t text
//   RECORDER_WIDE_DESCRIPTION  interface number 0x101: the description is
//                        wchar_t text
//   RECORDER_INIT_RESULT Init reports this result (IN_INIT_RET)
//   RECORDER_VERSION     the whole version word, overriding the above
//   RECORDER_EXTENDED_READ  the library exports an extended read in the
//                        module's width, 16-bit and float, which writes down
//                        the format asked for and delivers no samples
//   RECORDER_INFO_DIALOG the library exports winampUseUnifiedFileInfoDlg
//                        (answering 1) and winampAddUnifiedFileInfoPane (one
//                        pane, "Raw"), writing down what they are given
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
// A Unicode module writes a name it received as 8-bit text too (in the ANSI
// code page on Windows, UTF-8 elsewhere), and then units=<its wchar_t code
// units in hex, comma-separated>, so that a test sees exactly what arrived.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "winamp/input_plugin.h"

#if defined(_WIN32)
#include <windows.h>
#define RECORDER_EXPORT extern "C" __declspec(dllexport)
#else
#include <pthread.h>
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
[[maybe_unused]] void field(const char* text) { put("\t"); put_text(text); }
void field(int value) { put("\t"); put_number(value); }
void pair(const char* key) { put("\t"); put(key); put("="); }
void end() { put("\n"); }

void file_facts(std::FILE* file) {
    long long size = -1;
    std::uint32_t crc = 0xFFFFFFFFu;
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

[[maybe_unused]] void file_facts(const char* path) { file_facts(path != nullptr && path[0] != '\0' ? std::fopen(path, "rb") : nullptr); }

// ---- wide text ----------------------------------------------------------

std::size_t wide_length(const wchar_t* text) {
    std::size_t length = 0;
    while (text[length] != L'\0') ++length;
    return length;
}

#if defined(_WIN32)
void put_wide_as_narrow(const wchar_t* text) {
    char narrow[8192];
    if (WideCharToMultiByte(CP_ACP, 0, text, -1, narrow, sizeof narrow, nullptr, nullptr) <= 0) {
        put("(unconvertible)");
        return;
    }
    put(narrow);
}

std::FILE* open_wide(const wchar_t* path) { return _wfopen(path, L"rb"); }

// 8-bit text of the ANSI code page into wide; false when it does not fit.
bool narrow_to_wide(const char* text, wchar_t* wide, std::size_t size) {
    return MultiByteToWideChar(CP_ACP, 0, text, -1, wide, static_cast<int>(size)) > 0;
}
#else
// UTF-8, as the file names of this build are.
std::size_t encode_utf8(wchar_t c, char* bytes) {
    const auto u = static_cast<std::uint32_t>(c);
    if (u < 0x80) {
        bytes[0] = static_cast<char>(u);
        return 1;
    }
    const std::size_t follow = u < 0x800 ? 1 : u < 0x10000 ? 2 : 3;
    const unsigned char marks[] = {0, 0xC0, 0xE0, 0xF0};
    bytes[0] = static_cast<char>(marks[follow] | (u >> (6 * follow)));
    for (std::size_t i = 1; i <= follow; ++i) bytes[i] = static_cast<char>(0x80 | ((u >> (6 * (follow - i))) & 0x3F));
    return follow + 1;
}

void wide_to_utf8(const wchar_t* text, char* narrow, std::size_t size) {
    std::size_t used = 0;
    for (; *text != L'\0'; ++text) {
        char bytes[4];
        const std::size_t count = encode_utf8(*text, bytes);
        if (used + count + 1 > size) break;
        std::memcpy(narrow + used, bytes, count);
        used += count;
    }
    narrow[used] = '\0';
}

void put_wide_as_narrow(const wchar_t* text) {
    char narrow[8192];
    wide_to_utf8(text, narrow, sizeof narrow);
    put(narrow);
}

std::FILE* open_wide(const wchar_t* path) {
    char narrow[8192];
    wide_to_utf8(path, narrow, sizeof narrow);
    return std::fopen(narrow, "rb");
}

bool narrow_to_wide(const char* text, wchar_t* wide, std::size_t size) {
    std::size_t used = 0;
    const auto* p = reinterpret_cast<const unsigned char*>(text);
    while (*p != 0) {
        std::uint32_t c = *p++;
        int follow = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
        c &= follow == 0 ? 0x7F : (0x3F >> follow);
        for (; follow > 0 && (*p & 0xC0) == 0x80; --follow) c = (c << 6) | (*p++ & 0x3F);
        if (used + 1 >= size) return false;
        wide[used++] = static_cast<wchar_t>(c);
    }
    wide[used] = L'\0';
    return true;
}
#endif

[[maybe_unused]] void field(const wchar_t* text) {
    put("\t");
    if (text == nullptr) {
        put("(null)");
        return;
    }
    put_wide_as_narrow(text);
    pair("units");
    const char* digits = "0123456789ABCDEF";
    for (const wchar_t* p = text; *p != L'\0'; ++p) {
        if (p != text) put(",");
        const auto unit = static_cast<std::uint32_t>(*p);
        char hex[8];
        int count = 0;
        for (int shift = unit > 0xFFFF ? 20 : 12; shift >= 0; shift -= 4) hex[count++] = digits[(unit >> shift) & 0xF];
        put(hex, static_cast<std::size_t>(count));
    }
}

[[maybe_unused]] void file_facts(const wchar_t* path) { file_facts(path != nullptr && path[0] != L'\0' ? open_wide(path) : nullptr); }
// ---- the answers a test can choose --------------------------------------

struct Answers {
    int play = 0;
    int is_paused = 0;
    int length = -1;
    int output_time = 0;
    int info_box = 0;
    int is_our_file = 0;
    bool has_file_info = false;
    // What GetFileInfo writes into the caller's buffer, NUL included when
    // there is room for it: at most the GETFILEINFO_TITLE_LENGTH characters
    // the interface allows.
    char title[GETFILEINFO_TITLE_LENGTH] = {};
    wchar_t wide_title[GETFILEINFO_TITLE_LENGTH] = {};
    std::size_t wide_title_units = 0;
    int title_length_ms = 0;
    // What Init of a module with IN_INIT_RET reports.
#if defined(RECORDER_INIT_RESULT)
    int init = RECORDER_INIT_RESULT;
#else
    int init = IN_INIT_SUCCESS;
#endif
    bool uses_output = false;
    // Flags of UsesOutputPlug the module sets on its record while it plays
    // (replay gain applied, its own equaliser).
    int play_flags = 0;
    // GetOutputTime goes unrecorded: the host's visualisation threads poll
    // it beside the main thread's calls, and the journal is one thread's.
    int quiet_polls = 0;
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

#if defined(RECORDER_DESCRIPTION) && defined(RECORDER_WIDE_DESCRIPTION)
wchar_t description[] = L"" RECORDER_DESCRIPTION;
char* const description_slot = reinterpret_cast<char*>(description);
#elif defined(RECORDER_DESCRIPTION)
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

constexpr int version_word() {
#if defined(RECORDER_VERSION)
    return static_cast<int>(RECORDER_VERSION);
#else
    uint32_t word = IN_VER_OLD;
#if defined(RECORDER_WIDE_DESCRIPTION)
    word = IN_VER;
#endif
#if defined(RECORDER_UNICODE)
    word |= IN_UNICODE;
#endif
#if defined(RECORDER_INIT_RESULT)
    word |= IN_INIT_RET;
#endif
    return static_cast<int>(word);
#endif
}

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

#if defined(RECORDER_INIT_RESULT)
using InitResult = int;
#define RECORDER_RETURN_INIT return answers.init
#else
using InitResult = void;
#define RECORDER_RETURN_INIT return
#endif

// What Init runs on a thread of its own, waiting for it to end: a module
// that calls back into its host (or into the plugin that loaded it) from
// another thread during Init, as some do to find their configuration.
void (*init_call)(void*) = nullptr;
void* init_call_context = nullptr;

#if defined(_WIN32)
DWORD WINAPI run_init_call(void*) {
    init_call(init_call_context);
    return 0;
}

void call_on_another_thread() {
    HANDLE thread = CreateThread(nullptr, 0, run_init_call, nullptr, 0, nullptr);
    if (thread == nullptr) std::abort();
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
}
#else
void* run_init_call(void*) {
    init_call(init_call_context);
    return nullptr;
}

void call_on_another_thread() {
    pthread_t thread;
    if (pthread_create(&thread, nullptr, run_init_call, nullptr) != 0) std::abort();
    pthread_join(thread, nullptr);
}
#endif

InitResult Init() {
    if (init_call != nullptr) call_on_another_thread();
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
    pair("SetInfo");
    put_function(self.SetInfo);
    pair("UsesOutputPlug");
    put_number(self.UsesOutputPlug);
    end();
    RECORDER_RETURN_INIT;
}

void Quit() {
    begin("Quit");
    end();
}

#if defined(RECORDER_UNICODE)
using FileName = const wchar_t*;
using Title = wchar_t*;

void write_title(Title title) {
    const std::size_t units = answers.wide_title_units;
    std::memcpy(title, answers.wide_title, units * sizeof(wchar_t));
    if (units < GETFILEINFO_TITLE_LENGTH) title[units] = L'\0';
}
#else
using FileName = char*;
using Title = char*;

void write_title(Title title) { std::strcpy(title, answers.title); }
#endif

void GetFileInfo(FileName file, Title title, int* length_ms) {
    begin("GetFileInfo");
    field(file);
    pair("title");
    put_address(title);
    pair("length");
    put_address(length_ms);
    file_facts(file);
    end();
    if (!answers.has_file_info) return;
    if (title != nullptr) write_title(title);
    if (length_ms != nullptr) *length_ms = answers.title_length_ms;
}

int InfoBox(FileName file, HostWindow parent) {
    begin("InfoBox");
    field(file);
    pair("parent");
    put_address(parent);
    file_facts(file);
    end();
    return answers.info_box;
}

int IsOurFile(FileName file) {
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

int Play(FileName file) {
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
    // Written as modules write it: the host reads it from other threads.
    if (answers.play == 0) __atomic_fetch_or(&record().UsesOutputPlug, answers.play_flags, __ATOMIC_RELAXED);
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
    __atomic_fetch_and(&record().UsesOutputPlug, ~answers.play_flags, __ATOMIC_RELAXED);
    if (answers.uses_output) stop_output();
}

int GetLength() {
    begin("GetLength");
    end();
    return answers.length;
}

int GetOutputTime() {
    if (answers.quiet_polls != 0) return answers.output_time;
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

template <typename Slot, typename Function>
Slot as_slot(Function* function) {
    return reinterpret_cast<Slot>(function);
}

// The slots hold the functions as this module declares them; a host calls
// them through those types, as the version word tells it.
In_Module module_record = {
    .version = version_word(),
    .description = description_slot,
    .hMainWindow = nullptr,
    .hDllInstance = nullptr,
    .FileExtensions = extensions_slot,
    .is_seekable = 1,
    // Flags a module may set on its own; the host clears all but the first.
    .UsesOutputPlug = IN_MODULE_FLAG_USES_OUTPUT_PLUGIN | IN_MODULE_FLAGS_SET_WHILE_PLAYING,
    .Config = Config,
    .About = About,
    .Init = as_slot<void (*)()>(Init),
    .Quit = Quit,
    .GetFileInfo = as_slot<void (*)(char*, char*, int*)>(GetFileInfo),
    .InfoBox = as_slot<int (*)(char*, HostWindow)>(InfoBox),
    .IsOurFile = as_slot<int (*)(char*)>(IsOurFile),
    .Play = as_slot<int (*)(char*)>(Play),
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
// "IsOurFile" (0), "Init" (RECORDER_INIT_RESULT; reported only by a module
// with IN_INIT_RET), "PlayFlags" (0: the flags a successful Play sets on
// the record, and Stop clears), or "QuietPolls" (0; 1: GetOutputTime, which
// other threads may call, is not recorded). Returns 0 for any other name.
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
        {"Init", &voskel::answers.init},
        {"PlayFlags", &voskel::answers.play_flags},
        {"QuietPolls", &voskel::answers.quiet_polls},
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
// until this is called). The title is 8-bit text (a Unicode module takes it
// from the ANSI code page on Windows, from UTF-8 elsewhere), cut to the
// longest the interface allows: 2047 characters and the NUL.
RECORDER_EXPORT void recorder_set_file_info(const char* title, int length_ms) {
    using voskel::answers;
    answers.has_file_info = true;
    std::strncpy(answers.title, title != nullptr ? title : "", sizeof answers.title - 1);
    answers.title[sizeof answers.title - 1] = '\0';
    answers.title_length_ms = length_ms;
    static wchar_t wide[4 * voskel::GETFILEINFO_TITLE_LENGTH];
    if (!voskel::narrow_to_wide(answers.title, wide, sizeof wide / sizeof *wide)) wide[0] = L'\0';
    answers.wide_title_units = voskel::wide_length(wide);
    if (answers.wide_title_units > voskel::GETFILEINFO_TITLE_LENGTH - 1) {
        answers.wide_title_units = voskel::GETFILEINFO_TITLE_LENGTH - 1;
    }
    std::memcpy(answers.wide_title, wide, answers.wide_title_units * sizeof(wchar_t));
}

// A Unicode module's title as wchar_t code units, count of them: up to the
// whole buffer, GETFILEINFO_TITLE_LENGTH, in which case no NUL follows (a
// module that overfills its buffer). An 8-bit module writes nothing then.
RECORDER_EXPORT void recorder_set_wide_title(const wchar_t* title, int count, int length_ms) {
    using voskel::answers;
    answers.has_file_info = true;
    answers.title[0] = '\0';
    answers.title_length_ms = length_ms;
    std::size_t units = count < 0 ? 0 : static_cast<std::size_t>(count);
    if (units > voskel::GETFILEINFO_TITLE_LENGTH) units = voskel::GETFILEINFO_TITLE_LENGTH;
    std::memcpy(answers.wide_title, title, units * sizeof(wchar_t));
    answers.wide_title_units = units;
}

// The module's version word, for a test to check which build it loaded.
RECORDER_EXPORT int recorder_version() { return voskel::record().version; }

// From now on Init first runs call(context) on a thread of its own and
// waits for it.
RECORDER_EXPORT void recorder_set_init_call(void (*call)(void*), void* context) {
    voskel::init_call = call;
    voskel::init_call_context = context;
}

// With output on, a successful Play calls SetInfo, opens outMod, starts the
// visualisation and writes one block of silence; Stop closes both again.
RECORDER_EXPORT void recorder_set_output(int on) { voskel::answers.uses_output = on != 0; }

#if defined(RECORDER_EXTENDED_READ)
// Opens any file: writes down the name and the format asked for, and
// delivers stereo at 44100 Hz of no samples at all, in 16 bits or, opened
// through the float form, in 32-bit float.
namespace voskel {
template <typename Char>
intptr_t open_read(const char* call, const Char* file, int* size, int* bits, int* channels, int* rate, int delivered) {
    begin(call);
    field(file);
    field(*bits);
    field(*channels);
    field(*rate);
    end();
    *size = 0;
    *bits = delivered;
    *channels = 2;
    *rate = 44100;
    return 1;
}
}  // namespace voskel

#if defined(RECORDER_UNICODE)
RECORDER_EXPORT intptr_t winampGetExtendedRead_openW(const wchar_t* file, int* size, int* bits, int* channels,
                                                     int* rate) {
    return voskel::open_read("ExtendedRead_open", file, size, bits, channels, rate, 16);
}
RECORDER_EXPORT intptr_t winampGetExtendedRead_openW_float(const wchar_t* file, int* size, int* bits, int* channels,
                                                           int* rate) {
    return voskel::open_read("ExtendedRead_open_float", file, size, bits, channels, rate, 32);
}
#else
RECORDER_EXPORT intptr_t winampGetExtendedRead_open(const char* file, int* size, int* bits, int* channels, int* rate) {
    return voskel::open_read("ExtendedRead_open", file, size, bits, channels, rate, 16);
}
RECORDER_EXPORT intptr_t winampGetExtendedRead_open_float(const char* file, int* size, int* bits, int* channels,
                                                          int* rate) {
    return voskel::open_read("ExtendedRead_open_float", file, size, bits, channels, rate, 32);
}
#endif

RECORDER_EXPORT intptr_t winampGetExtendedRead_getData(intptr_t, char*, int, int*) { return 0; }

RECORDER_EXPORT void winampGetExtendedRead_close(intptr_t) {
    voskel::begin("ExtendedRead_close");
    voskel::end();
}
#endif

#if defined(RECORDER_INFO_DIALOG)
// Wants the host's own information dialog, and adds one pane of its own,
// which stands for a window: a number no window has.
RECORDER_EXPORT int winampUseUnifiedFileInfoDlg(const wchar_t* file) {
    voskel::begin("UseUnifiedFileInfoDlg");
    voskel::field(file);
    voskel::end();
    return 1;
}

RECORDER_EXPORT voskel::HostWindow winampAddUnifiedFileInfoPane(int n, const wchar_t* file, voskel::HostWindow parent,
                                                                wchar_t* name, size_t namelen) {
    voskel::begin("AddUnifiedFileInfoPane");
    voskel::field(n);
    voskel::field(file);
    voskel::pair("parent");
    voskel::put_address(parent);
    voskel::file_facts(file);
    voskel::end();
    if (n != 0) return nullptr;
    const wchar_t tab[] = L"Raw";
    for (size_t i = 0; i < namelen; ++i) {
        name[i] = i + 1 < namelen && i < 3 ? tab[i] : L'\0';
        if (name[i] == L'\0') break;
    }
    return reinterpret_cast<voskel::HostWindow>(static_cast<uintptr_t>(0x5a5a0));
}
#endif
