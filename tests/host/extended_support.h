// A library's extended exports as a test calls them, and what a folder holds.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "support/scratch.h"
#include "winamp/input_plugin.h"

namespace voskel::test {

constexpr int info_size = 256;

struct Exports {
    GetExtendedFileInfoFunction info = nullptr;
    GetExtendedFileInfoWFunction info_wide = nullptr;
    ExtendedReadOpenFunction open = nullptr;
    ExtendedReadOpenWFunction open_wide = nullptr;
    ExtendedReadGetDataFunction get_data = nullptr;
    ExtendedReadSetTimeFunction set_time = nullptr;
    ExtendedReadCloseFunction close = nullptr;

    explicit Exports(LibraryHandle library)
        : info(find<GetExtendedFileInfoFunction>(library, get_extended_file_info_export)),
          info_wide(find<GetExtendedFileInfoWFunction>(library, get_extended_file_info_w_export)),
          open(find<ExtendedReadOpenFunction>(library, extended_read_open_export)),
          open_wide(find<ExtendedReadOpenWFunction>(library, extended_read_open_w_export)),
          get_data(find<ExtendedReadGetDataFunction>(library, extended_read_get_data_export)),
          set_time(find<ExtendedReadSetTimeFunction>(library, extended_read_set_time_export)),
          close(find<ExtendedReadCloseFunction>(library, extended_read_close_export)) {}

    template <typename Function>
    static Function find(LibraryHandle library, const char* name) {
        return reinterpret_cast<Function>(platform_system_calls().find_symbol(library, name));
    }

    // The answer about file for key, or "(no answer)".
    std::string answer(const std::string& file, const char* key) const {
        char value[info_size] = "(none)";
        return info(file.c_str(), key, value, info_size) != 0 ? value : "(no answer)";
    }

    // Everything an extended read of file gives, or "(no read)".
    std::string read_all(const std::string& file, int& rate) const {
        int size = 0, bits = 0, channels = 0;
        const intptr_t handle = open(file.c_str(), &size, &bits, &channels, &rate);
        if (handle == 0) return "(no read)";
        std::string pcm = read_to_end(handle);
        close(handle);
        return pcm;
    }

    // What an open read gives from here to its end.
    std::string read_to_end(intptr_t handle) const {
        std::string pcm;
        char buffer[1000];  // not a whole number of blocks: the reader must piece them together
        int kill = 0;
        for (intptr_t got; (got = get_data(handle, buffer, sizeof buffer, &kill)) > 0;) pcm.append(buffer, got);
        return pcm;
    }
};

// The folders and files directly in a folder, by their names in the code
// page of the file calls.
inline std::vector<std::string> all_entries_in(const std::string& folder) {
    std::vector<std::string> names;
    const auto collect = [](const char* name, bool, void* context) {
        static_cast<std::vector<std::string>*>(context)->push_back(name);
    };
    platform_system_calls().find_files(test::join(folder, "*").c_str(), collect, &names);
    std::erase_if(names, [](const std::string& name) { return name == "." || name == ".."; });
    return names;
}

// The same but for the plugin's idle private folders, which hold nothing
// but their lock file and stay from one copy to the next: what copies left.
inline std::vector<std::string> entries_in(const std::string& folder) {
    std::vector<std::string> names = all_entries_in(folder);
    std::erase_if(names, [&](const std::string& name) {
        return name.starts_with("in_voskel-") &&
               all_entries_in(test::join(folder, name)) == std::vector<std::string>{"in_voskel-lock"};
    });
    return names;
}

// Whether path names member in a folder of the plugin's own directly below
// temp (temp/in_voskel-N/member), where a query extracts: never where a
// song plays.
inline ::testing::AssertionResult in_own_folder(const std::string& path, const std::string& temp,
                                                const std::string& member) {
    const std::string folder = join(temp, "in_voskel-");
    const std::string tail = join("x", member).substr(1);  // the separator, then member
    const bool own = path.starts_with(folder) && path.ends_with(tail) && path.size() > folder.size() + tail.size() &&
                     path.find_first_not_of("0123456789", folder.size()) == path.size() - tail.size();
    if (own) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << path << " is not " << member << " in a folder of its own in " << temp;
}

}  // namespace voskel::test
