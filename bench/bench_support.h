// What the archive benchmarks share: folders, a small host that loads
// in_voskel as the player does, and the bare extraction the build's own
// library offers (libarchive natively, unzip32.dll on Windows).
#pragma once

#include <string>

#include "winamp/input_plugin.h"
#include "platform/platform.h"

namespace voskel::bench {

// folder + the build's separator + name.
std::string join(const std::string& folder, const std::string& name);

// A fresh, empty folder under the benchmarks' scratch folder.
std::string fresh_folder(const std::string& name);

// A file the build made for the benchmarks (bench/make_archives.py).
std::string data_file(const std::string& name);

// TEMP and TMP both name folder.
void use_temp_folder(const std::string& folder);

// in_voskel and `null_plugins` differently named copies of the null plugin.
void fill_plugin_folder(const std::string& folder, int null_plugins);

// Loads in_voskel from a plugin folder and calls Init; Quit and unload at the end.
class Host {
public:
    explicit Host(const std::string& plugin_folder);
    ~Host();
    Host(const Host&) = delete;
    Host& operator=(const Host&) = delete;

    bool ok() const { return plugin_ != nullptr; }
    int play(const std::string& file);
    void stop() { plugin_->Stop(); }
    // The playlist's question; returns the length the inner plugin gave.
    int file_info(const std::string& file);

private:
    LibraryHandle library_ = nullptr;
    In_Module* plugin_ = nullptr;
};

// Extracts one member, named beforehand, with the library alone, and
// deletes it again: the least any extraction of it costs.
// What the plugin does besides, on Windows, each to be measured apart: a
// listing pass before the extraction, and a load of the library for every
// archive. Natively the plugin does neither.
struct DirectExtra {
    bool list_first = false;
    bool load_each = false;
};

class DirectExtractor {
public:
    using Extra = DirectExtra;
    explicit DirectExtractor(Extra extra = Extra());
    ~DirectExtractor();
    DirectExtractor(const DirectExtractor&) = delete;
    DirectExtractor& operator=(const DirectExtractor&) = delete;

    bool ok() const;
    bool extract_and_delete(const std::string& archive, const std::string& member, const std::string& folder);

private:
    bool load();

    Extra extra_;
    LibraryHandle library_ = nullptr;
    void* entry_ = nullptr;
};

}  // namespace voskel::bench
