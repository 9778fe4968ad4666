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

// Asks the module into a buffer of the export's width; convert(narrow, wide)
// then takes whichever was written into the caller's buffer.
template <typename Convert>
int ask(const In_Module& module, const char* file, const char* key, int destlen, Convert convert) {
    if (file == nullptr || key == nullptr || destlen <= 0) return 0;
    const InfoExports exports(module, get_extended_file_info_export, get_extended_file_info_w_export);
    if (exports.wide != nullptr) {
        const std::vector<wchar_t> name = wide_name(file);
        if (name.empty()) return 0;
        std::vector<wchar_t> answer(static_cast<std::size_t>(destlen) + 1, L'\0');
        if (exports.wide(name.data(), key, answer.data(), destlen) == 0) return 0;
        answer[static_cast<std::size_t>(destlen - 1)] = L'\0';
        return convert(static_cast<const char*>(nullptr), answer.data()) ? 1 : 0;
    }
    if (exports.narrow != nullptr) {
        std::vector<char> answer(static_cast<std::size_t>(destlen) + 1, '\0');
        if (exports.narrow(file, key, answer.data(), destlen) == 0) return 0;
        answer[static_cast<std::size_t>(destlen - 1)] = '\0';
        return convert(answer.data(), static_cast<const wchar_t*>(nullptr)) ? 1 : 0;
    }
    return 0;
}

}  // namespace

int module_extended_info(const In_Module& module, const char* file, const char* key, char* dest, int destlen) {
    if (dest == nullptr) return 0;
    return ask(module, file, key, destlen, [&](const char* narrow, const wchar_t* wide) {
        if (wide != nullptr) {
            system_calls().wide_to_ansi_for_display(wide, dest, static_cast<uint32_t>(destlen));
        } else {
            narrow_into_narrow(narrow, dest, destlen);
        }
        return true;
    });
}

int module_extended_info_wide(const In_Module& module, const char* file, const char* key, wchar_t* dest,
                              int destlen) {
    if (dest == nullptr) return 0;
    return ask(module, file, key, destlen, [&](const char* narrow, const wchar_t* wide) {
        if (narrow != nullptr) return narrow_into_wide(narrow, dest, destlen);
        const std::size_t count = std::wcslen(wide);
        std::memcpy(dest, wide, (count + 1) * sizeof(wchar_t));
        return true;
    });
}

bool open_module_read(const In_Module& module, const char* file, ModuleRead& read) {
    read = ModuleRead{};
    if (file == nullptr) return false;
    const ExportPair<ExtendedReadOpenFunction, ExtendedReadOpenWFunction> open(
        module, extended_read_open_export, extended_read_open_w_export);
    const auto get_data = find_export<ExtendedReadGetDataFunction>(module, extended_read_get_data_export);
    const auto close = find_export<ExtendedReadCloseFunction>(module, extended_read_close_export);
    if ((open.narrow == nullptr && open.wide == nullptr) || get_data == nullptr || close == nullptr) return false;

    ModuleRead opened;
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
