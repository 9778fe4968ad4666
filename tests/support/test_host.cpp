#include "support/test_host.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sstream>
#include <utility>

#include "host_message.h"
#include "registry/inner_module.h"
#include "registry/plugin_registry.h"
#include "text/text_string.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace fs = std::filesystem;

namespace voskel::test {

namespace {

// The stand-ins below are plain functions, as the record demands; they
// write into the one host alive.
TestHost* active_host = nullptr;

void note(const std::string& line) {
    if (active_host != nullptr) active_host->note(line);
}

template <typename... Values>
void note_call(const char* call, Values... values) {
    std::ostringstream line;
    line << call;
    ((line << ' ' << values), ...);
    note(line.str());
}

// ---- the host's services --------------------------------------------------

void host_SAVSAInit(int max_latency_ms, int sample_rate) { note_call("SAVSAInit", max_latency_ms, sample_rate); }
void host_SAVSADeInit() { note_call("SAVSADeInit"); }
void host_SAAddPCMData(void*, int channels, int bits_per_sample, int timestamp) {
    note_call("SAAddPCMData", channels, bits_per_sample, timestamp);
}
int host_SAGetMode() { return 0; }
int host_SAAdd(void*, int, int) { return 0; }
void host_VSAAddPCMData(void*, int channels, int bits_per_sample, int timestamp) {
    note_call("VSAAddPCMData", channels, bits_per_sample, timestamp);
}
int host_VSAGetMode(int* spectrum_channels, int* wave_channels) {
    if (spectrum_channels != nullptr) *spectrum_channels = 0;
    if (wave_channels != nullptr) *wave_channels = 0;
    return 0;
}
int host_VSAAdd(void*, int) { return 0; }
void host_VSASetInfo(int sample_rate, int channels) { note_call("VSASetInfo", sample_rate, channels); }
int host_dsp_isactive() { return 0; }
int host_dsp_dosamples(short*, int sample_count, int, int, int) { return sample_count; }
void host_SetInfo(int bitrate, int sample_rate, int stereo, int synched) {
    note_call("SetInfo", bitrate, sample_rate, stereo, synched);
}

// ---- the host's output ----------------------------------------------------

constexpr int output_latency_ms = 100;
int output_paused = 0;

void output_Config(HostWindow) { note_call("Config"); }
void output_About(HostWindow) { note_call("About"); }
void output_Init() { note_call("Init"); }
void output_Quit() { note_call("Quit"); }
int output_Open(int sample_rate, int channels, int bits_per_sample, int buffer_length_ms, int prebuffer_ms) {
    note_call("Open", sample_rate, channels, bits_per_sample, buffer_length_ms, prebuffer_ms);
    output_paused = 0;
    return output_latency_ms;
}
void output_Close() { note_call("Close"); }
int output_Write(char*, int len) {
    note_call("Write", len);
    return 0;
}
// Polled by decoders; not written down.
int output_CanWrite() { return 65536; }
int output_IsPlaying() { return 0; }
int output_Pause(int pause) {
    note_call("Pause", pause);
    return std::exchange(output_paused, pause);
}
void output_SetVolume(int volume) { note_call("SetVolume", volume); }
void output_SetPan(int pan) { note_call("SetPan", pan); }
void output_Flush(int position_ms) { note_call("Flush", position_ms); }
int output_GetOutputTime() { return 0; }
int output_GetWrittenTime() { return 0; }

char output_description[] = "Test Host Output";

Out_Module host_output = {
    .version = 0x10,
    .description = output_description,
    .id = 1,
    .hMainWindow = nullptr,
    .hDllInstance = nullptr,
    .Config = output_Config,
    .About = output_About,
    .Init = output_Init,
    .Quit = output_Quit,
    .Open = output_Open,
    .Close = output_Close,
    .Write = output_Write,
    .CanWrite = output_CanWrite,
    .IsPlaying = output_IsPlaying,
    .Pause = output_Pause,
    .SetVolume = output_SetVolume,
    .SetPan = output_SetPan,
    .Flush = output_Flush,
    .GetOutputTime = output_GetOutputTime,
    .GetWrittenTime = output_GetWrittenTime,
};

// Stands for the player's main window. On Windows it is no window, and
// what a plugin posts to it goes nowhere; elsewhere it is the sink that the
// native convention of the example plugins posts the end of a song to.
#if defined(_WIN32)
const HostWindow host_main_window = reinterpret_cast<HostWindow>(static_cast<std::uintptr_t>(0x10010));
#else
void sink_post_message(HostMessageSink*, unsigned message, intptr_t, intptr_t) { note_call("PostMessage", message); }
HostMessageSink host_message_sink{HostMessageSink::expected_magic, sink_post_message, nullptr};
const HostWindow host_main_window = &host_message_sink;
#endif

template <typename Function>
Function recorder_export(LibraryHandle library, const char* name) {
    return reinterpret_cast<Function>(platform_system_calls().find_symbol(library, name));
}

}  // namespace

// ---- libraries and journals -------------------------------------------------

std::string library_file_name(const std::string& base) {
    return base + (native_path_style() == PathStyle::windows ? ".dll" : ".so");
}

std::string built_test_plugin(const std::string& base, PluginWidth width) {
    const std::string name = width == PluginWidth::unicode ? base + "_unicode" : base;
    return join(host_path(VOSKEL_TEST_PLUGIN_DIR), library_file_name(name));
}

std::string width_name(const ::testing::TestParamInfo<PluginWidth>& info) {
    return info.param == PluginWidth::unicode ? "Unicode" : "Narrow";
}

LibraryHandle loaded_library(const std::string& path) {
#if defined(_WIN32)
    return reinterpret_cast<LibraryHandle>(GetModuleHandleA(path.c_str()));
#else
    // A load that finds the library already there adds one; give it back.
    void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (library != nullptr) dlclose(library);
    return library;
#endif
}

bool is_library_loaded(const std::string& path) { return loaded_library(path) != nullptr; }

std::optional<std::string> JournalEntry::value(const std::string& key) const {
    const std::string prefix = key + "=";
    for (const std::string& field : fields) {
        if (field.compare(0, prefix.size(), prefix) == 0) return field.substr(prefix.size());
    }
    return std::nullopt;
}

std::uintptr_t JournalEntry::number(const std::string& key) const {
    const std::optional<std::string> text = value(key);
    return text ? static_cast<std::uintptr_t>(std::stoull(*text)) : 0;
}

std::vector<JournalEntry> parse_journal(const std::string& text) {
    std::vector<JournalEntry> entries;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        JournalEntry entry;
        std::size_t start = 0;
        const std::size_t first_tab = line.find('\t');
        entry.call = line.substr(0, first_tab);
        start = first_tab;
        while (start != std::string::npos) {
            const std::size_t next = line.find('\t', start + 1);
            entry.fields.push_back(line.substr(start + 1, next == std::string::npos ? next : next - start - 1));
            start = next;
        }
        entries.push_back(std::move(entry));
    }
    return entries;
}

Recorder::Recorder(const std::string& path) : library_(loaded_library(path)) {}

std::string Recorder::journal() const {
    auto read = recorder_export<const char* (*)()>(library_, "recorder_journal");
    EXPECT_NE(read, nullptr) << "not a recording plugin, or not loaded";
    return read != nullptr ? read() : "";
}

std::vector<JournalEntry> Recorder::entries() const { return parse_journal(journal()); }

std::vector<JournalEntry> Recorder::calls(const std::string& call) const {
    std::vector<JournalEntry> found;
    for (JournalEntry& entry : entries()) {
        if (entry.call == call) found.push_back(std::move(entry));
    }
    return found;
}

int Recorder::count(const std::string& call) const { return static_cast<int>(calls(call).size()); }

std::vector<std::string> Recorder::call_names() const {
    std::vector<std::string> names;
    for (const JournalEntry& entry : entries()) names.push_back(entry.call);
    return names;
}

void Recorder::reset() const {
    auto reset = recorder_export<void (*)()>(library_, "recorder_reset");
    ASSERT_NE(reset, nullptr);
    reset();
}

bool Recorder::set_result(const std::string& call, int value) const {
    auto set = recorder_export<int (*)(const char*, int)>(library_, "recorder_set_result");
    EXPECT_NE(set, nullptr);
    return set != nullptr && set(call.c_str(), value) != 0;
}

void Recorder::set_file_info(const std::string& title, int length_ms) const {
    auto set = recorder_export<void (*)(const char*, int)>(library_, "recorder_set_file_info");
    ASSERT_NE(set, nullptr);
    set(title.c_str(), length_ms);
}

void Recorder::set_wide_title(const std::wstring& title, int length_ms) const {
    auto set = recorder_export<void (*)(const wchar_t*, int, int)>(library_, "recorder_set_wide_title");
    ASSERT_NE(set, nullptr);
    set(title.c_str(), static_cast<int>(title.size()), length_ms);
}

int Recorder::version() const {
    auto read = recorder_export<int (*)()>(library_, "recorder_version");
    EXPECT_NE(read, nullptr);
    return read != nullptr ? read() : 0;
}

void Recorder::set_output(bool on) const {
    auto set = recorder_export<void (*)(int)>(library_, "recorder_set_output");
    ASSERT_NE(set, nullptr);
    set(on ? 1 : 0);
}

// ---- the host -----------------------------------------------------------------

TestHost::TestHost(const std::string& label, PluginWidth inner_width)
    : folder_(label), temp_(label + "-temp"), inner_width_(inner_width) {
    EXPECT_EQ(active_host, nullptr) << "one host at a time";
    active_host = this;
    set_env("TEMP", temp_.path().c_str());
    set_env("TMP", temp_.path().c_str());
    const std::string built = join(host_path(VOSKEL_PLUGIN_DIR), library_file_name("in_voskel"));
    std::error_code error;
    fs::copy_file(built, plugin_path(), fs::copy_options::overwrite_existing, error);
    EXPECT_FALSE(error) << built << ": " << error.message();
}

TestHost::~TestHost() {
    quit();
    unload_libraries();
    active_host = nullptr;
}

std::vector<std::string> TestHost::temp_files() const {
    std::vector<std::string> files = temp_.files();
    std::erase_if(files, is_private_folder_lock);
    return files;
}

std::string TestHost::path_of(const std::string& base) const { return folder_.file(library_file_name(base)); }

void TestHost::install(const std::string& base) {
    const std::string built = built_test_plugin(base, inner_width_);
    std::error_code error;
    fs::copy_file(built, path_of(base), fs::copy_options::overwrite_existing, error);
    EXPECT_FALSE(error) << built << ": " << error.message();
}

void TestHost::install_example(const std::string& base) {
    const std::string built = join(host_path(VOSKEL_PLUGIN_DIR), library_file_name(base));
    std::error_code error;
    fs::copy_file(built, path_of(base), fs::copy_options::overwrite_existing, error);
    EXPECT_FALSE(error) << built << ": " << error.message();
}

std::vector<std::string> TestHost::journal() const {
    const std::lock_guard<std::mutex> guard(journal_lock_);
    return journal_;
}

void TestHost::clear_journal() {
    const std::lock_guard<std::mutex> guard(journal_lock_);
    journal_.clear();
}

void TestHost::note(std::string line) {
    const std::lock_guard<std::mutex> guard(journal_lock_);
    journal_.push_back(std::move(line));
}

HostWindow TestHost::main_window() const { return host_main_window; }

void* TestHost::set_info_address() const { return reinterpret_cast<void*>(host_SetInfo); }

Out_Module* TestHost::output() { return &host_output; }

In_Module* TestHost::load_and_set_up(const std::string& base, bool with_savsainit, LibraryHandle& library) {
    const SystemCalls& system = platform_system_calls();
    library = system.load_library(path_of(base).c_str());
    EXPECT_NE(library, nullptr) << path_of(base);
    if (library == nullptr) return nullptr;
    auto get_module = reinterpret_cast<GetInModuleFunction>(system.find_symbol(library, get_in_module_export));
    In_Module* module = get_module != nullptr ? get_module() : nullptr;
    if (module == nullptr || !is_known_version(module->version)) {
        system.unload_library(library);
        library = nullptr;
        return nullptr;
    }
    module->hMainWindow = host_main_window;
    module->hDllInstance = library;
    module->SAVSAInit = with_savsainit ? host_SAVSAInit : nullptr;
    module->SAVSADeInit = host_SAVSADeInit;
    module->SAAddPCMData = host_SAAddPCMData;
    module->SAGetMode = host_SAGetMode;
    module->SAAdd = host_SAAdd;
    module->VSAAddPCMData = host_VSAAddPCMData;
    module->VSAGetMode = host_VSAGetMode;
    module->VSAAdd = host_VSAAdd;
    module->VSASetInfo = host_VSASetInfo;
    module->dsp_isactive = host_dsp_isactive;
    module->dsp_dosamples = host_dsp_dosamples;
    module->SetInfo = nullptr;
    module->UsesOutputPlug &= ~(2 | 4 | 8 | 16);
    if (!init_module(*module)) {
        system.unload_library(library);
        library = nullptr;
        return nullptr;
    }
    module->SetInfo = host_SetInfo;
    loaded_.push_back({library, module});
    return module;
}

bool TestHost::start(const HostOptions& options) {
    EXPECT_EQ(plugin_, nullptr) << "started twice";
    if (plugin_ != nullptr) return false;
    plugin_ = load_and_set_up("in_voskel", !options.leave_savsainit_null, library_);
    EXPECT_NE(plugin_, nullptr) << "no usable record from " << plugin_path();
    return plugin_ != nullptr;
}

In_Module* TestHost::set_up_inner(const std::string& base) {
    LibraryHandle library = nullptr;
    return load_and_set_up(base, true, library);
}

int TestHost::is_our_file(const std::string& file) { return module_is_our_file(*plugin_, file.c_str()); }

In_Module* TestHost::claim(const std::string& file) {
    for (const LoadedModule& loaded : loaded_) {
        if (module_is_our_file(*loaded.module, file.c_str()) != 0) return loaded.module;
    }
    const TextString extension = TextString(file.c_str()).extension();
    for (const LoadedModule& loaded : loaded_) {
        if (extension_list_matches(loaded.module->FileExtensions, extension)) return loaded.module;
    }
    return nullptr;
}

int TestHost::play(const std::string& file) {
    if (playing_) stop();
    plugin_->outMod = &host_output;
    plugin_->SetVolume(volume_);
    plugin_->SetPan(pan_);
    const int result = play_module(*plugin_, file.c_str());
    playing_ = result == 0;
    return result;
}

void TestHost::stop() {
    if (playing_) plugin_->Stop();
    playing_ = false;
}

void TestHost::set_volume(int volume) {
    volume_ = volume;
    if (playing_) plugin_->SetVolume(volume);
}

void TestHost::set_pan(int pan) {
    pan_ = pan;
    if (playing_) plugin_->SetPan(pan);
}

TestHost::FileInfo TestHost::get_file_info(const char* file, const FileInfo& before) {
    constexpr char guard_byte = static_cast<char>(0xA5);
    std::vector<char> title(GETFILEINFO_TITLE_LENGTH + title_guard_size, guard_byte);
    std::fill(title.begin(), title.begin() + GETFILEINFO_TITLE_LENGTH, '\0');
    before.title.copy(title.data(), GETFILEINFO_TITLE_LENGTH - 1);
    int length_ms = before.length_ms;
    get_module_file_info(*plugin_, file, title.data(), &length_ms);
    const bool guard_intact = std::all_of(title.begin() + GETFILEINFO_TITLE_LENGTH, title.end(),
                                          [](char c) { return c == guard_byte; });
    EXPECT_TRUE(guard_intact) << "GetFileInfo wrote past the player's " << GETFILEINFO_TITLE_LENGTH << " bytes";
    const auto end = std::find(title.begin(), title.begin() + GETFILEINFO_TITLE_LENGTH, '\0');
    EXPECT_NE(end, title.begin() + GETFILEINFO_TITLE_LENGTH) << "the title has no NUL within the player's buffer";
    return {std::string(title.begin(), end), length_ms};
}

int TestHost::info_box(const char* file) { return module_info_box(*plugin_, file, host_main_window); }

void TestHost::quit() {
    if (quit_ || loaded_.empty()) return;
    if (playing_) stop();
    for (auto loaded = loaded_.rbegin(); loaded != loaded_.rend(); ++loaded) loaded->module->Quit();
    quit_ = true;
}

void TestHost::unload_libraries(bool quit_first) {
    if (quit_first) quit();
    for (const LoadedModule& loaded : loaded_) platform_system_calls().unload_library(loaded.library);
    loaded_.clear();
    plugin_ = nullptr;
    library_ = nullptr;
}

}  // namespace voskel::test
