#include "registry/inner_module.h"

#include <cstring>
#include <vector>

#include "platform/platform.h"

namespace voskel {

namespace {

constexpr char host_maker[] = "Nullsoft";
constexpr std::size_t host_maker_length = sizeof host_maker - 1;

template <typename Char>
bool begins_with_host_maker(const Char* text) {
    for (std::size_t i = 0; i < host_maker_length; ++i) {
        Char c = text[i];
        if (c >= 'a' && c <= 'z') c = static_cast<Char>(c - 'a' + 'A');
        Char wanted = static_cast<Char>(host_maker[i]);
        if (wanted >= 'a' && wanted <= 'z') wanted = static_cast<Char>(wanted - 'a' + 'A');
        if (c != wanted) return false;  // a NUL ends a shorter text here
    }
    return true;
}

const wchar_t* wide_description(const In_Module& module) {
    return reinterpret_cast<const wchar_t*>(module.description);
}

// A file name in a Unicode module's width. Each 8-bit character gives at
// most one wchar_t, so the text's length bounds the buffer.
class WideName {
public:
    // A null file stays null: the playing file.
    explicit WideName(const char* file) {
        if (file == nullptr) {
            ok_ = true;
            return;
        }
        text_.resize(std::strlen(file) + 1);
        ok_ = system_calls().ansi_to_wide(file, text_.data(), static_cast<uint32_t>(text_.size()));
    }
    bool ok() const { return ok_; }
    const wchar_t* get() const { return text_.empty() ? nullptr : text_.data(); }

private:
    std::vector<wchar_t> text_;
    bool ok_ = false;
};

// An 8-bit module knows the playing file as the empty string.
char* narrow_name(const char* file) { return const_cast<char*>(file != nullptr ? file : ""); }

// What a Unicode module's title buffer holds before the call; it cannot
// begin a title (U+FFFF is no character), so a module that leaves it wrote
// nothing.
constexpr wchar_t untouched_title = static_cast<wchar_t>(0xFFFF);

}  // namespace

bool is_host_makers_module(const In_Module& module) {
    if (module.description == nullptr) return false;
    return has_wide_description(module.version) ? begins_with_host_maker(wide_description(module))
                                                : begins_with_host_maker(module.description);
}

TextString description_text(const In_Module& module) {
    if (module.description == nullptr) return TextString();
    if (!has_wide_description(module.version)) return TextString(module.description);
    // A description is a line of text; more than this is not shown.
    char text[1024];
    system_calls().wide_to_ansi_for_display(wide_description(module), text, sizeof text);
    return TextString(text);
}

bool init_module(In_Module& module) {
    if (!init_returns_result(module.version)) {
        module.Init();
        return true;
    }
    return slot_as<InitWithResult>(module.Init)() == IN_INIT_SUCCESS;
}

int module_is_our_file(In_Module& module, const char* file) {
    if (!has_unicode_names(module.version)) return module.IsOurFile(narrow_name(file));
    const WideName name(file);
    return name.ok() ? slot_as<WideIsOurFile>(module.IsOurFile)(name.get()) : 0;
}

int play_module(In_Module& module, const char* file) {
    if (!has_unicode_names(module.version)) return module.Play(narrow_name(file));
    const WideName name(file);
    constexpr int file_not_found = -1;
    return name.ok() ? slot_as<WidePlay>(module.Play)(name.get()) : file_not_found;
}

void get_module_file_info(In_Module& module, const char* file, char* title, int* length_ms) {
    if (!has_unicode_names(module.version)) {
        module.GetFileInfo(narrow_name(file), title, length_ms);
        return;
    }
    const WideName name(file);
    if (!name.ok()) return;
    wchar_t wide_title[GETFILEINFO_TITLE_LENGTH];
    wide_title[0] = untouched_title;
    wide_title[GETFILEINFO_TITLE_LENGTH - 1] = L'\0';
    slot_as<WideGetFileInfo>(module.GetFileInfo)(name.get(), wide_title, length_ms);
    if (title == nullptr || wide_title[0] == untouched_title) return;
    // A module that filled the whole buffer without a NUL is cut at its end.
    wide_title[GETFILEINFO_TITLE_LENGTH - 1] = L'\0';
    system_calls().wide_to_ansi_for_display(wide_title, title, GETFILEINFO_TITLE_LENGTH);
}

int module_info_box(In_Module& module, const char* file, HostWindow parent) {
    if (!has_unicode_names(module.version)) return module.InfoBox(narrow_name(file), parent);
    const WideName name(file);
    return name.ok() ? slot_as<WideInfoBox>(module.InfoBox)(name.get(), parent) : 0;
}

}  // namespace voskel
