// extract_to_temp on arbitrary bytes, as an *.MDZ and as an *.MDR archive.
//
// Everything happens inside one sentinel folder: the archives, files that
// must stay untouched at several depths, and the temporary folder, nested
// four deep and made afresh for every input, so that a name climbing out of
// it still lands where the check looks. After each extraction:
//   - nothing outside the temporary folder was created, changed or deleted;
//   - inside it, the only file is the one whose path was returned (in the
//     folders the extraction made for it), and it is a plain file;
//   - once that is removed with the folders made for it, as the plugin's
//     callers remove it, nothing is left.
#include <unistd.h>  // mkdtemp

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <system_error>

#include "byte_script.h"
#include "extract/temp_dir.h"
#include "host/playback.h"
#include "platform/platform.h"
#include "text/text_string.h"

namespace fs = std::filesystem;

namespace voskel::fuzz {
namespace {

struct Sandbox {
    fs::path root;
    fs::path temp;
    fs::path input;
    std::map<std::string, std::string> before;  // path -> content, or "<folder>"
};
Sandbox sandbox;

std::string read_all(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void write_all(const fs::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

bool inside(const fs::path& path, const fs::path& folder) {
    const std::string text = path.string();
    const std::string prefix = folder.string() + "/";
    return text.compare(0, prefix.size(), prefix) == 0;
}

// Everything below the root but the temporary folder's content.
std::map<std::string, std::string> outside_temp() {
    std::map<std::string, std::string> found;
    std::error_code error;
    for (auto it = fs::recursive_directory_iterator(sandbox.root, error); it != fs::recursive_directory_iterator();
         it.increment(error)) {
        if (inside(it->path(), sandbox.temp)) continue;
        const fs::file_status status = it->symlink_status();
        if (fs::is_directory(status)) {
            found[it->path().string()] = "<folder>";
        } else if (fs::is_regular_file(status)) {
            found[it->path().string()] = read_all(it->path());
        } else {
            found[it->path().string()] = "<other>";
        }
    }
    return found;
}

void fresh_temp() {
    std::error_code error;
    fs::remove_all(sandbox.temp, error);
    fs::create_directories(sandbox.temp);
}

void check_extraction(const char* kind, const Extraction& extraction) {
    const TextString& result = extraction.file;
    if (outside_temp() != sandbox.before) fail("something outside the temporary folder changed", kind);

    std::error_code error;
    for (auto it = fs::recursive_directory_iterator(sandbox.temp, error); it != fs::recursive_directory_iterator();
         it.increment(error)) {
        const fs::file_status status = it->symlink_status();
        if (fs::is_directory(status)) continue;
        if (!fs::is_regular_file(status)) fail("extraction made something other than a file", it->path().string());
        if (it->path().string() != result.chars()) {
            fail("a file other than the one returned", it->path().string() + " (returned \"" + result.chars() + "\")");
        }
    }
    if (!result.empty()) {
        if (!inside(fs::path(result.chars()), sandbox.temp)) fail("returned path outside the temporary folder", result.chars());
        if (!fs::is_regular_file(fs::symlink_status(result.chars(), error))) fail("returned path names no file", result.chars());
        remove_extracted(result, extraction.made_folder);
    }
    for (auto it = fs::recursive_directory_iterator(sandbox.temp, error); it != fs::recursive_directory_iterator();
         it.increment(error)) {
        fail("left behind after removing the result", it->path().string());
    }
}

void extract_as(const char* kind, const std::string& bytes) {
    fresh_temp();
    const fs::path archive = sandbox.input / (std::string("song.") + kind);
    write_all(archive, bytes);
    sandbox.before = outside_temp();
    check_extraction(kind, extract_to_temp(TextString(archive.c_str())));
    fs::remove(archive);
}

void remove_sandbox() {
    std::error_code error;
    fs::remove_all(sandbox.root, error);
}

}  // namespace
}  // namespace voskel::fuzz

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    using namespace voskel::fuzz;
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base != nullptr && base[0] != '\0' ? base : "/tmp") + "/voskel-fuzz-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) fail("cannot make the sentinel folder", pattern);
    sandbox.root = pattern;
    sandbox.input = sandbox.root / "input";
    sandbox.temp = sandbox.root / "1" / "2" / "3" / "temp";
    fs::create_directories(sandbox.input);
    for (const fs::path& folder : {sandbox.root, sandbox.root / "1", sandbox.root / "1" / "2", sandbox.root / "1" / "2" / "3"}) {
        fs::create_directories(folder);
        write_all(folder / "victim.mod", "must stay as it is");
    }
    fresh_temp();
    setenv("TEMP", sandbox.temp.c_str(), 1);
    setenv("TMP", sandbox.temp.c_str(), 1);
    std::atexit(remove_sandbox);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    voskel::fuzz::extract_as("mdz", bytes);
    voskel::fuzz::extract_as("mdr", bytes);
    return 0;
}
