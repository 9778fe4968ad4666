#include "support/archive_writer.h"

#include <array>

namespace voskel::test {

namespace {

// 2024-12-31 23:58:58 as a DOS date and time.
constexpr uint16_t dos_time = (23 << 11) | (58 << 5) | (58 / 2);
constexpr uint16_t dos_date = ((2024 - 1980) << 9) | (12 << 5) | 31;

void put16(std::string& out, uint32_t value) {
    out += static_cast<char>(value & 0xff);
    out += static_cast<char>((value >> 8) & 0xff);
}

void put32(std::string& out, uint32_t value) {
    put16(out, value & 0xffff);
    put16(out, value >> 16);
}

uint32_t stored_crc(const std::string& data, bool wrong) { return crc32(data) ^ (wrong ? 0xffffffffu : 0); }

}  // namespace

namespace {

// Byte-at-a-time, so that the bomb's hundred megabytes take moments.
const std::array<uint32_t, 256>& crc_table() {
    static const std::array<uint32_t, 256> table = [] {
        std::array<uint32_t, 256> made{};
        for (uint32_t n = 0; n < 256; ++n) {
            uint32_t crc = n;
            for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xedb88320u & (0u - (crc & 1)));
            made[n] = crc;
        }
        return made;
    }();
    return table;
}

// The running CRC, inverted before the first byte and after the last by the caller.
uint32_t crc_update(uint32_t crc, const char* bytes, std::size_t count) {
    const std::array<uint32_t, 256>& table = crc_table();
    for (std::size_t i = 0; i < count; ++i) crc = table[(crc ^ static_cast<unsigned char>(bytes[i])) & 0xff] ^ (crc >> 8);
    return crc;
}

// Deflate's bit order: values from the low bit up, Huffman codes from their top bit.
class BitWriter {
public:
    void value(uint32_t bits, int count) {
        for (int i = 0; i < count; ++i) bit((bits >> i) & 1);
    }
    void code(uint32_t bits, int count) {
        for (int i = count - 1; i >= 0; --i) bit((bits >> i) & 1);
    }
    std::string finish() {
        if (used_ != 0) out_ += static_cast<char>(pending_);
        return out_;
    }

private:
    void bit(uint32_t b) {
        pending_ |= b << used_;
        if (++used_ == 8) {
            out_ += static_cast<char>(pending_);
            pending_ = 0;
            used_ = 0;
        }
    }
    std::string out_;
    uint32_t pending_ = 0;
    int used_ = 0;
};

}  // namespace

uint32_t crc32(const std::string& bytes) { return ~crc_update(0xffffffffu, bytes.data(), bytes.size()); }

std::string zip_archive(const std::vector<ZipEntry>& entries) {
    std::string out;
    std::string directory;
    for (const ZipEntry& entry : entries) {
        const uint32_t offset = static_cast<uint32_t>(out.size());
        const uint32_t crc = stored_crc(entry.data, entry.wrong_crc);
        const uint32_t packed = static_cast<uint32_t>(entry.data.size());
        const uint64_t unpacked = entry.declared_size.value_or(entry.data.size());
        const uint32_t name_size = static_cast<uint32_t>(entry.name.size());
        // ZIP64: the 32-bit fields say "see the extra field", which holds both sizes.
        const bool zip64 = unpacked > 0xffffffffu;
        std::string extra;
        if (zip64) {
            put16(extra, 0x0001);
            put16(extra, 16);
            put32(extra, static_cast<uint32_t>(unpacked));
            put32(extra, static_cast<uint32_t>(unpacked >> 32));
            put32(extra, packed);
            put32(extra, 0);
        }
        const uint16_t version_needed = zip64 ? 45 : 10;
        const uint32_t size_field_unpacked = zip64 ? 0xffffffffu : static_cast<uint32_t>(unpacked);
        const uint32_t size_field_packed = zip64 ? 0xffffffffu : packed;

        put32(out, 0x04034b50);
        put16(out, version_needed);
        put16(out, entry.flags);
        put16(out, entry.method);
        put16(out, dos_time);
        put16(out, dos_date);
        put32(out, crc);
        put32(out, size_field_packed);
        put32(out, size_field_unpacked);
        put16(out, name_size);
        put16(out, static_cast<uint32_t>(extra.size()));
        out += entry.name;
        out += extra;
        out += entry.data;

        put32(directory, 0x02014b50);
        put16(directory, (static_cast<uint32_t>(entry.host) << 8) | (zip64 ? 45 : 30));
        put16(directory, version_needed);
        put16(directory, entry.flags);
        put16(directory, entry.method);
        put16(directory, dos_time);
        put16(directory, dos_date);
        put32(directory, crc);
        put32(directory, size_field_packed);
        put32(directory, size_field_unpacked);
        put16(directory, name_size);
        put16(directory, static_cast<uint32_t>(extra.size()));
        put16(directory, 0);  // comment
        put16(directory, 0);  // disk
        put16(directory, 0);  // internal attributes
        put32(directory, entry.external_attributes);
        put32(directory, offset);
        directory += entry.name;
        directory += extra;
    }
    const uint32_t directory_offset = static_cast<uint32_t>(out.size());
    out += directory;
    put32(out, 0x06054b50);
    put16(out, 0);
    put16(out, 0);
    put16(out, static_cast<uint32_t>(entries.size()));
    put16(out, static_cast<uint32_t>(entries.size()));
    put32(out, static_cast<uint32_t>(directory.size()));
    put32(out, directory_offset);
    put16(out, 0);
    return out;
}

std::string rar4_archive(const std::vector<RarEntry>& entries) {
    // A block's CRC is the low half of the CRC-32 of the block after the CRC field.
    auto block = [](std::string body) {
        std::string out;
        put16(out, crc32(body) & 0xffff);
        return out + body;
    };

    std::string out("Rar!\x1a\x07\x00", 7);
    std::string main_header;
    main_header += '\x73';
    put16(main_header, 0);   // flags
    put16(main_header, 13);  // size
    put16(main_header, 0);
    put32(main_header, 0);
    out += block(main_header);

    for (const RarEntry& entry : entries) {
        const std::string data = entry.folder ? std::string() : entry.data;
        const uint64_t unpacked = entry.declared_size.value_or(data.size());
        // 0x100: the sizes have high words, after the attributes.
        const bool high_sizes = unpacked > 0xffffffffu;
        std::string header;
        header += '\x74';
        // 0x8000: the data size follows; 0xe0 in the dictionary bits marks a folder.
        put16(header, 0x8000 | (entry.folder ? 0xe0 : 0) | (high_sizes ? 0x100 : 0) | entry.flags);
        put16(header, 32 + (high_sizes ? 8 : 0) + static_cast<uint32_t>(entry.name.size()));
        put32(header, static_cast<uint32_t>(data.size()));  // packed
        put32(header, static_cast<uint32_t>(unpacked));
        header += static_cast<char>(entry.host);
        put32(header, stored_crc(data, entry.wrong_crc));
        put32(header, (static_cast<uint32_t>(dos_date) << 16) | dos_time);
        header += static_cast<char>(entry.version);
        header += static_cast<char>(entry.method);
        put16(header, static_cast<uint32_t>(entry.name.size()));
        if (entry.attributes) {
            put32(header, *entry.attributes);
        } else if (entry.host == 3) {
            put32(header, entry.folder ? 040755 : 0100644);
        } else {
            put32(header, entry.folder ? 0x10 : 0x20);
        }
        if (high_sizes) {
            put32(header, 0);  // packed, high word
            put32(header, static_cast<uint32_t>(unpacked >> 32));
        }
        header += entry.name;
        out += block(header);
        out += data;
    }

    std::string end;
    end += '\x7b';
    put16(end, 0x4000);
    put16(end, 7);
    out += block(end);
    return out;
}

std::string zip_of_zeros(const std::string& name, uint32_t size, std::optional<uint32_t> declared_size) {
    // One fixed-Huffman block: a literal zero, then copies of the byte
    // before (length 258, distance 1), then literal zeros for the rest.
    BitWriter bits;
    bits.value(1, 1);  // the final block
    bits.value(1, 2);  // fixed codes
    auto literal_zero = [&bits] { bits.code(0x30, 8); };
    uint32_t written = 0;
    if (size > 0) {
        literal_zero();
        written = 1;
    }
    for (; size - written >= 258; written += 258) {
        bits.code(0xc5, 8);  // length 258: code 285, no extra bits
        bits.code(0, 5);     // distance 1: code 0
    }
    for (; written < size; ++written) literal_zero();
    bits.code(0, 7);  // end of block
    const std::string deflated = bits.finish();

    uint32_t crc = 0xffffffffu;
    const std::string zeros(1 << 16, '\0');
    for (uint32_t left = size; left > 0;) {
        const uint32_t chunk = left < zeros.size() ? left : static_cast<uint32_t>(zeros.size());
        crc = crc_update(crc, zeros.data(), chunk);
        left -= chunk;
    }
    crc = ~crc;

    const uint32_t name_size = static_cast<uint32_t>(name.size());
    const uint32_t packed = static_cast<uint32_t>(deflated.size());
    const uint32_t unpacked = declared_size.value_or(size);
    std::string out;
    put32(out, 0x04034b50);
    put16(out, 20);  // version needed: 2.0, deflated
    put16(out, 0);
    put16(out, 8);   // deflated
    put16(out, dos_time);
    put16(out, dos_date);
    put32(out, crc);
    put32(out, packed);
    put32(out, unpacked);
    put16(out, name_size);
    put16(out, 0);
    out += name;
    out += deflated;

    const uint32_t directory_offset = static_cast<uint32_t>(out.size());
    std::string directory;
    put32(directory, 0x02014b50);
    put16(directory, (3u << 8) | 30);
    put16(directory, 20);
    put16(directory, 0);
    put16(directory, 8);
    put16(directory, dos_time);
    put16(directory, dos_date);
    put32(directory, crc);
    put32(directory, packed);
    put32(directory, unpacked);
    put16(directory, name_size);
    put16(directory, 0);
    put16(directory, 0);
    put16(directory, 0);
    put16(directory, 0);
    put32(directory, 0100644u << 16);
    put32(directory, 0);
    directory += name;
    out += directory;
    put32(out, 0x06054b50);
    put16(out, 0);
    put16(out, 0);
    put16(out, 1);
    put16(out, 1);
    put32(out, static_cast<uint32_t>(directory.size()));
    put32(out, directory_offset);
    put16(out, 0);
    return out;
}

}  // namespace voskel::test
