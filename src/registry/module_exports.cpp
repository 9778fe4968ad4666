#include "registry/module_exports.h"

#include <cstring>
#include <cwchar>
#include <vector>

#include "platform/platform.h"

namespace voskel {

namespace {

template <typename Function>
Function find_export(const In_Module& module, const char* name) {
    // A null handle would search the whole process on some platforms.
    if (module.hDllInstance == nullptr) return nullptr;
    return reinterpret_cast<Function>(system_calls().find_symbol(module.hDllInstance, name));
}

// The 8-bit and the UTF-16 form of one export, whichever the library has.
template <typename Narrow, typename Wide>
struct ExportPair {
    Narrow narrow = nullptr;
    Wide wide = nullptr;

    ExportPair(const In_Module& module, const char* narrow_name, const char* wide_name)
        : narrow(find_export<Narrow>(module, narrow_name)), wide(find_export<Wide>(module, wide_name)) {
        // The one that matches the module's width, when it has both.
        if (narrow != nullptr && wide != nullptr) {
            if (has_unicode_names(module.version)) {
                narrow = nullptr;
            } else {
                wide = nullptr;
            }
        }
    }
};

std::vector<wchar_t> wide_name(const char* file) {
    std::vector<wchar_t> wide(std::strlen(file) + 1);
    if (!system_calls().ansi_to_wide(file, wide.data(), static_cast<uint32_t>(wide.size()))) wide.clear();
    return wide;
}

// 8-bit text into destlen wide characters, cut between characters.
bool narrow_into_wide(const char* text, wchar_t* dest, int destlen) {
    const std::vector<wchar_t> wide = wide_name(text);
    if (wide.empty()) return false;
    std::size_t count = std::wcslen(wide.data());
    if (count > static_cast<std::size_t>(destlen - 1)) {
        count = static_cast<std::size_t>(destlen - 1);
        // Not between the halves of a surrogate pair.
        if (count > 0 && wide[count - 1] >= 0xD800 && wide[count - 1] <= 0xDBFF) --count;
    }
    std::memcpy(dest, wide.data(), count * sizeof(wchar_t));
    dest[count] = L'\0';
    return true;
}

// 8-bit text into destlen bytes, cut between characters.
void narrow_into_narrow(const char* text, char* dest, int destlen) {
    const std::size_t length = std::strlen(text);
    if (length < static_cast<std::size_t>(destlen)) {
        std::memcpy(dest, text, length + 1);
        return;
    }
    const std::vector<wchar_t> wide = wide_name(text);
    if (!wide.empty()) {
        system_calls().wide_to_ansi_for_display(wide.data(), dest, static_cast<uint32_t>(destlen));
        return;
    }
    std::memcpy(dest, text, static_cast<std::size_t>(destlen - 1));
    dest[destlen - 1] = '\0';
}

using InfoExports = ExportPair<GetExtendedFileInfoFunction, GetExtendedFileInfoWFunction>;

// A module's answer, in the width of the export that gave it.
struct Answer {
    bool answered = false;
    bool wide = false;
    std::vector<char> narrow_text;
    std::vector<wchar_t> wide_text;
};

// Asks the module with room for destlen characters of the export's width,
// which is room enough for what fits into destlen of the caller's.
Answer ask(const In_Module& module, const char* file, const char* key, int destlen) {
    Answer answer;
    if (file == nullptr || key == nullptr || destlen <= 0) return answer;
    const InfoExports exports(module, get_extended_file_info_export, get_extended_file_info_w_export);
    const std::size_t room = static_cast<std::size_t>(destlen);
    if (exports.wide != nullptr) {
        const std::vector<wchar_t> name = wide_name(file);
        if (name.empty()) return answer;
        answer.wide_text.assign(room, L'\0');
        answer.answered = exports.wide(name.data(), key, answer.wide_text.data(), destlen) != 0;
        answer.wide_text.back() = L'\0';
        answer.wide = true;
    } else if (exports.narrow != nullptr) {
        answer.narrow_text.assign(room, '\0');
        answer.answered = exports.narrow(file, key, answer.narrow_text.data(), destlen) != 0;
        answer.narrow_text.back() = '\0';
    }
    return answer;
}

}  // namespace

int module_extended_info(const In_Module& module, const char* file, const char* key, char* dest, int destlen) {
    if (dest == nullptr) return 0;
    const Answer answer = ask(module, file, key, destlen);
    if (!answer.answered) return 0;
    if (answer.wide) {
        system_calls().wide_to_ansi_for_display(answer.wide_text.data(), dest, static_cast<uint32_t>(destlen));
    } else {
        narrow_into_narrow(answer.narrow_text.data(), dest, destlen);
    }
    return 1;
}

int module_extended_info_wide(const In_Module& module, const char* file, const char* key, wchar_t* dest,
                              int destlen) {
    if (dest == nullptr) return 0;
    const Answer answer = ask(module, file, key, destlen);
    if (!answer.answered) return 0;
    if (!answer.wide) return narrow_into_wide(answer.narrow_text.data(), dest, destlen) ? 1 : 0;
    std::memcpy(dest, answer.wide_text.data(), answer.wide_text.size() * sizeof(wchar_t));
    return 1;
}

int module_use_unified_dialog(const In_Module& module, const char* file) {
    const auto use = find_export<UseUnifiedFileInfoDlgFunction>(module, use_unified_file_info_dlg_export);
    if (use == nullptr || file == nullptr) return 0;
    const std::vector<wchar_t> name = wide_name(file);
    return name.empty() ? 0 : use(name.data());
}

HostWindow module_add_info_pane(const In_Module& module, int n, const wchar_t* file, HostWindow parent,
                                wchar_t* name, std::size_t namelen) {
    const auto add = find_export<AddUnifiedFileInfoPaneFunction>(module, add_unified_file_info_pane_export);
    return add != nullptr ? add(n, file, parent, name, namelen) : nullptr;
}

bool has_extended_info(const In_Module& module) {
    const InfoExports exports(module, get_extended_file_info_export, get_extended_file_info_w_export);
    return exports.narrow != nullptr || exports.wide != nullptr;
}

bool open_module_read(const In_Module& module, const char* file, ModuleRead& read, SampleFormat format) {
    ModuleRead opened;
    opened.bits = read.bits;
    opened.channels = read.channels;
    opened.rate = read.rate;
    read = ModuleRead{};
    if (file == nullptr) return false;
    const bool floating = format == SampleFormat::floating_point;
    const ExportPair<ExtendedReadOpenFunction, ExtendedReadOpenWFunction> open(
        module, floating ? extended_read_open_float_export : extended_read_open_export,
        floating ? extended_read_open_w_float_export : extended_read_open_w_export);
    const auto get_data = find_export<ExtendedReadGetDataFunction>(module, extended_read_get_data_export);
    const auto close = find_export<ExtendedReadCloseFunction>(module, extended_read_close_export);
    if ((open.narrow == nullptr && open.wide == nullptr) || get_data == nullptr || close == nullptr) return false;

    if (open.wide != nullptr) {
        const std::vector<wchar_t> name = wide_name(file);
        if (name.empty()) return false;
        opened.handle = open.wide(name.data(), &opened.size, &opened.bits, &opened.channels, &opened.rate);
    } else {
        opened.handle = open.narrow(file, &opened.size, &opened.bits, &opened.channels, &opened.rate);
    }
    if (opened.handle == 0) return false;
    opened.get_data = get_data;
    opened.set_time = find_export<ExtendedReadSetTimeFunction>(module, extended_read_set_time_export);
    opened.close = close;
    read = opened;
    return true;
}

}  // namespace voskel
