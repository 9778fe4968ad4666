// Writes the seed corpora the archivers cannot make: archives with hostile
// and broken members (through the tests' archive writer), byte scripts for
// the string target and extension lists.
//   voskel_make_seeds SEED-DIR
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "support/archive_writer.h"

namespace fs = std::filesystem;
using voskel::test::RarEntry;
using voskel::test::ZipEntry;

namespace {

void write(const fs::path& path, const std::string& bytes) {
    fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string with_length(const std::string& text) { return std::string(1, static_cast<char>(text.size())) + text; }

void archives(const fs::path& folder) {
    const std::vector<std::string> names = {
        "song.mod", "songs/deep/tune.mod", "songs\\tune.mod", "../escaped.mod", "..\\escaped.mod",
        "/tmp/absolute.mod", "C:escaped.mod", "C:\\escaped.mod", "songs/", ".. /x.mod", "a/./b.mod",
        "\xe9t\xe9.mod", "\xc3\xa9t\xc3\xa9.mod", std::string(300, 'n') + ".mod",
        std::string(120, 'd') + "/" + std::string(120, 'e') + "/" + std::string(40, 'f') + ".mod",
    };
    int n = 0;
    for (const std::string& name : names) {
        ++n;
        write(folder / ("zip-" + std::to_string(n) + ".zip"),
              voskel::test::zip_archive({{.name = name, .data = "first"}, {.name = "second.mod", .data = "second"}}));
        write(folder / ("rar-" + std::to_string(n) + ".rar"),
              voskel::test::rar4_archive({{.name = name, .data = "first"}, {.name = "second.mod", .data = "second"}}));
        write(folder / ("rar-unix-" + std::to_string(n) + ".rar"),
              voskel::test::rar4_archive({{.name = name, .data = "first", .host = 3}}));
    }
    write(folder / "zip-utf8.zip", voskel::test::zip_archive({{.name = "\xc3\xa9t\xc3\xa9.mod", .data = "x", .flags = 0x800}}));
    write(folder / "zip-encrypted-first.zip",
          voskel::test::zip_archive({{.name = "locked.mod", .data = "xxxxxxxxxxxxxxxx", .flags = 1}, {.name = "open.mod", .data = "y"}}));
    write(folder / "zip-folder.zip", voskel::test::zip_archive({{.name = "songs/", .data = "", .external_attributes = 0x10}}));
    write(folder / "zip-bad-crc.zip", voskel::test::zip_archive({{.name = "bad.mod", .data = "damaged", .wrong_crc = true}}));
    write(folder / "zip-empty.zip", voskel::test::zip_archive({}));
    write(folder / "rar-folder.rar", voskel::test::rar4_archive({{.name = "songs", .folder = true}, {.name = "songs\\x.mod", .data = "x"}}));
    write(folder / "rar-bad-crc.rar", voskel::test::rar4_archive({{.name = "bad.mod", .data = "damaged", .wrong_crc = true}}));
    write(folder / "rar-empty.rar", voskel::test::rar4_archive({}));
}

void scripts(const fs::path& folder) {
    // One script per operation, on strings made by the first two steps, then
    // a few that chain path operations and crowd copies past the share limit.
    const std::string setup = std::string("\x00\x00\x00", 3) + with_length("C:\\Music\\Song.Mdz") +
                              std::string("\x00\x01\x00", 3) + with_length("/tmp/dir.x/song.mod");
    for (int op = 0; op < 24; ++op) {
        std::string script = setup;
        script += static_cast<char>(op);
        script += '\x00';
        script += '\x01';
        script += with_length("songs/../x.mod");
        write(folder / ("op-" + std::to_string(op)), script);
    }
    write(folder / "crowd", setup + std::string("\x12\x00\x00\x90\x12\x00\x00\x90\x13\x00\x00\x10\x14\x02\x00\x05\x00", 17));
    write(folder / "paths", setup + std::string("\x0d\x00\x02\x00\x0e\x01\x03\x01\x0f\x00\x01\x01\x0e\x00\x04\x00", 16));
    write(folder / "module", std::string("\x11\x00\x00\x03", 4) + with_length(std::string(40, 'm')));
}

void extension_lists(const fs::path& folder) {
    const std::vector<std::pair<std::string, std::string>> lists = {
        {"XM", std::string("MOD;S3M;XM\0Alpha modules\0", 25)},
        {"mod", std::string("mod;it\0Beta modules\0WAV\0Beta waves\0", 35)},
        {"", std::string(";WAV\0Gap files\0", 15)},
        {"", std::string("MOD;;XM\0Second gap files\0", 25)},
        {"XM", std::string("MOD;XM", 6)},
        {"MDZ", std::string("MDZ\0ZIP Compressed Song (*.MDZ)\0MDR\0RAR Compressed Song (*.MDR)\0", 64)},
    };
    int n = 0;
    for (const auto& [extension, list] : lists) write(folder / ("list-" + std::to_string(++n)), with_length(extension) + list);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    const fs::path seeds(argv[1]);
    archives(seeds / "extract");
    scripts(seeds / "text_string");
    extension_lists(seeds / "extension_list");
    return 0;
}
