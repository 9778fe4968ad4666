#include "support/message_capture.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

#if defined(_WIN32)
#include <windows.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace voskel::test {

MessageCapture* MessageCapture::active_ = nullptr;

MessageCapture::MessageCapture() {
    active_ = this;
    calls_.calls().show_message = record;
}

MessageCapture::~MessageCapture() { active_ = nullptr; }

void MessageCapture::record(WindowHandle owner, const char* text, const char* caption) {
    active_->messages_.push_back({owner, text ? text : "", caption ? caption : "", 0});
    if (active_->while_shown_ != nullptr) active_->while_shown_();
}

#if defined(_WIN32)

namespace {

std::vector<CapturedMessage> plugin_messages;

int WINAPI record_message_box(HWND owner, LPCSTR text, LPCSTR caption, UINT style) {
    plugin_messages.push_back({owner, text ? text : "", caption ? caption : "", style});
    return IDOK;
}

// Points one import slot of a loaded module at a replacement; returns the
// previous target, or null if the module does not import that function.
void* redirect_import(HMODULE module, const char* library, const char* function, void* replacement) {
    auto* base = reinterpret_cast<BYTE*>(module);
    auto* dos = reinterpret_cast<IMAGE_DOS_HEADER*>(base);
    auto* headers = reinterpret_cast<IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& imports = headers->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (imports.VirtualAddress == 0) return nullptr;
    for (auto* entry = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress); entry->Name; ++entry) {
        if (_stricmp(reinterpret_cast<char*>(base + entry->Name), library) != 0) continue;
        auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + entry->OriginalFirstThunk);
        auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + entry->FirstThunk);
        for (; names->u1.AddressOfData != 0; ++names, ++slots) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
            auto* by_name = reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
            if (std::strcmp(reinterpret_cast<char*>(by_name->Name), function) != 0) continue;
            DWORD protection = 0;
            VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, PAGE_READWRITE, &protection);
            void* previous = reinterpret_cast<void*>(slots->u1.Function);
            slots->u1.Function = reinterpret_cast<ULONG_PTR>(replacement);
            VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, protection, &protection);
            return previous;
        }
    }
    return nullptr;
}

}  // namespace

PluginMessageCapture::PluginMessageCapture(LibraryHandle plugin, std::string caption)
    : plugin_(plugin), caption_(std::move(caption)) {
    plugin_messages.clear();
    original_ = redirect_import(static_cast<HMODULE>(plugin_), "USER32.dll",
                                "MessageBoxA", reinterpret_cast<void*>(record_message_box));
    EXPECT_NE(original_, nullptr) << "the plugin does not import MessageBoxA";
}

PluginMessageCapture::~PluginMessageCapture() {
    if (original_ != nullptr) redirect_import(static_cast<HMODULE>(plugin_), "USER32.dll", "MessageBoxA", original_);
}

std::vector<CapturedMessage> PluginMessageCapture::messages() const {
    std::vector<CapturedMessage> found;
    for (const CapturedMessage& message : plugin_messages) {
        if (message.caption == caption_) found.push_back(message);
    }
    return found;
}

#else

namespace {
int capture_counter = 0;
}

PluginMessageCapture::PluginMessageCapture(LibraryHandle plugin, std::string caption)
    : plugin_(plugin), caption_(std::move(caption)) {
    stderr_file_ = join(host_path(VOSKEL_TEST_SCRATCH_DIR),
                        "stderr-" + std::to_string(getpid()) + "-" + std::to_string(++capture_counter));
    write_file(stderr_file_, "");
    std::fflush(stderr);
    saved_stderr_ = dup(STDERR_FILENO);
    const int file = open(stderr_file_.c_str(), O_WRONLY | O_TRUNC);
    dup2(file, STDERR_FILENO);
    close(file);
}

PluginMessageCapture::~PluginMessageCapture() {
    std::fflush(stderr);
    dup2(saved_stderr_, STDERR_FILENO);
    close(saved_stderr_);
    std::remove(stderr_file_.c_str());
}

// Each message starts a line with "caption: "; the text runs up to the next
// such line, without the final line feed.
std::vector<CapturedMessage> PluginMessageCapture::messages() const {
    std::fflush(stderr);
    const std::string output = read_file(stderr_file_);
    const std::string marker = caption_ + ": ";
    std::vector<CapturedMessage> found;
    std::size_t start = output.rfind(marker, 0) == 0 ? 0 : output.find("\n" + marker);
    while (start != std::string::npos) {
        if (output[start] == '\n') ++start;
        const std::size_t text_start = start + marker.size();
        const std::size_t next = output.find("\n" + marker, text_start);
        std::size_t text_end = next;
        if (next == std::string::npos) {
            text_end = output.size();
            if (text_end > text_start && output[text_end - 1] == '\n') --text_end;
        }
        found.push_back({nullptr, output.substr(text_start, text_end - text_start), caption_, 0});
        start = next;
    }
    return found;
}

#endif

}  // namespace voskel::test
