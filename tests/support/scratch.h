// Folders, files and environment variables for tests.
#pragma once

#include <string>
#include <vector>

#include "platform/platform.h"

namespace voskel::test {

// The build hands paths to the tests as POSIX paths. Under Wine the same
// folders are reached through drive Z:, so the win32 build converts them.
std::string host_path(const std::string& build_path);

// folder + separator + name, with the build's own separator.
std::string join(const std::string& folder, const std::string& name);

std::string read_file(const std::string& path);
void write_file(const std::string& path, const std::string& bytes);
bool file_exists(const std::string& path);
bool is_directory(const std::string& path);

// A fresh, empty folder under the build tree, removed with everything in it
// when the test ends.
class ScratchFolder {
public:
    explicit ScratchFolder(const std::string& label);
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return join(path_, name); }
    // Every file below the folder, as paths relative to it, sorted.
    std::vector<std::string> files() const;

private:
    std::string path_;
};

// Whether a file's path below a temporary folder (its components parted by
// '/' or '\\') is the lock file of one of the plugin's private folders,
// which it keeps, emptied, from one copy to the next.
bool is_private_folder_lock(const std::string& relative);

// Sets (or, with a null value, removes) an environment variable of this
// process, as the C runtime's getenv sees it.
void set_env(const char* name, const char* value);

// Remembers TEMP and TMP and puts them back when the test ends.
class SavedTempVariables {
public:
    SavedTempVariables();
    ~SavedTempVariables();

private:
    std::string temp_, tmp_;
    bool had_temp_, had_tmp_;
};

// Shift JIS (code page 932) as Windows steps through it, for
// SystemCalls::character_length: a lead byte takes the next byte with it,
// which may be 0x5C ('\\'), 0x7C ('|') or a letter.
uint32_t shift_jis_character_length(const char* text);

// Restores every entry of system_calls() when the test ends, so that a test
// may replace entries freely.
class ScopedSystemCalls {
public:
    ScopedSystemCalls() : saved_(system_calls()) {}
    ~ScopedSystemCalls() { system_calls() = saved_; }
    SystemCalls& calls() { return system_calls(); }

private:
    SystemCalls saved_;
};

}  // namespace voskel::test
