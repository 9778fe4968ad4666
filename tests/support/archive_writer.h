// Small archives written byte by byte, for stored names that no archiver
// produces (absolute, "..", drives) and for broken contents. Checksums are
// computed properly, so that the real libraries read what is meant.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace voskel::test {

// The CRC-32 of ZIP and RAR.
uint32_t crc32(const std::string& bytes);

struct ZipEntry {
    std::string name;
    std::string data;
    uint16_t flags = 0;                // general purpose bits
    uint8_t host = 3;                  // "version made by" system: 0 FAT, 3 Unix
    uint32_t external_attributes = 0;  // 0x10 marks a folder made on FAT
    bool wrong_crc = false;            // store a CRC that the data does not have
    uint16_t method = 0;               // the compression method named: 0 stored; the data stays as given
    // The uncompressed size written in both headers, in place of the data's
    // own; above 4 GiB through a ZIP64 extra field.
    std::optional<uint64_t> declared_size = std::nullopt;
};

// A ZIP archive of stored (uncompressed) entries, in the order given.
std::string zip_archive(const std::vector<ZipEntry>& entries);

struct RarEntry {
    std::string name;  // stored as given; RAR 4 archives made on Windows use '\'
    std::string data;
    uint8_t host = 2;  // 0 MS-DOS, 2 Win32, 3 Unix
    bool folder = false;
    bool wrong_crc = false;
    uint16_t flags = 0;  // further header flags: 0x04 marks an encrypted entry
    // The file attributes; by default a plain file of its host, or a folder.
    std::optional<uint32_t> attributes = std::nullopt;
    uint8_t method = 0x30;  // the compression method named: 0x30 stored; the data stays as given
    uint8_t version = 20;   // the version needed to extract: 20 for 2.0
    // The unpacked size written in the header, in place of the data's own;
    // above 4 GiB in the header's high words.
    std::optional<uint64_t> declared_size = std::nullopt;
};

// A RAR 4 archive of stored entries, in the order given.
std::string rar4_archive(const std::vector<RarEntry>& entries);

// A ZIP archive of one member holding `size` zero bytes, deflated to about
// a 160th of that: a member far larger than its archive. Its headers say
// `declared_size` bytes when that is given.
std::string zip_of_zeros(const std::string& name, uint32_t size,
                         std::optional<uint32_t> declared_size = std::nullopt);

}  // namespace voskel::test
