// ZIP where no unzip32.dll exists: libarchive reads the song (song_choice.h) and it
// is written where the returned path says, folders created as needed.
#include <archive.h>
#include <archive_entry.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <string>

#include "extract/member_path.h"
#include "extract/temp_dir.h"
#include "extract/zip_member.h"
#include "platform/platform.h"

namespace voskel {

namespace {

struct ReaderDeleter {
    void operator()(archive* reader) const { archive_read_free(reader); }
};
using Reader = std::unique_ptr<archive, ReaderDeleter>;

class Descriptor {
public:
    explicit Descriptor(int fd = -1) : fd_(fd) {}
    ~Descriptor() { reset(); }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }
    void reset(int fd = -1) {
        if (fd_ >= 0) close(fd_);
        fd_ = fd;
    }
    int release() {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }

private:
    int fd_;
};

// Walks down the folders of name below folder_fd, creating those missing;
// never follows a symbolic link on the way. On success parent holds the
// innermost folder and leaf points at the file name within name.
bool open_parent(int folder_fd, const char* name, Descriptor& parent, const char*& leaf) {
    parent.reset(dup(folder_fd));
    if (parent.get() < 0) return false;
    leaf = name;
    for (const char* p = name; *p != '\0'; ++p) {
        if (*p != '/') continue;
        const std::string component(leaf, static_cast<std::size_t>(p - leaf));
        if (mkdirat(parent.get(), component.c_str(), 0777) != 0 && errno != EEXIST) return false;
        const int next = openat(parent.get(), component.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (next < 0) return false;
        parent.reset(next);
        leaf = p + 1;
    }
    return true;
}

bool write_all(int out, const char* bytes, std::size_t count) {
    for (std::size_t done = 0; done < count;) {
        const ssize_t written = write(out, bytes + done, count - done);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        done += static_cast<std::size_t>(written);
    }
    return true;
}

// The current entry's data, a block at a time, never more than its
// declared size in all: data beyond it is an error, not written.
class MemberData {
public:
    MemberData(archive* reader, uint64_t declared_size) : reader_(reader), left_(declared_size) {}

    // The next block into block(), and its size into count: 0 at the end.
    // False when the data cannot be read or would exceed the declared size.
    bool next(std::size_t& count) {
        const la_ssize_t read = archive_read_data(reader_, buffer_, sizeof buffer_);
        if (read < 0 || static_cast<uint64_t>(read) > left_) return false;
        left_ -= static_cast<uint64_t>(read);
        count = static_cast<std::size_t>(read);
        return true;
    }
    const char* block() const { return buffer_; }

private:
    archive* reader_;
    uint64_t left_;
    char buffer_[16384];
};

// The rest of the data after a first block already in hand.
bool copy_data(MemberData& data, std::size_t count, int out) {
    while (count > 0) {
        if (!write_all(out, data.block(), count) || !data.next(count)) return false;
    }
    return true;
}

// Writes the current entry's data to target, name below folder; on failure leaves
// no file of that name behind. The first block is read before the file is
// opened, so that a member that cannot be read at all (encrypted, an
// unknown method) leaves a file of that name that was there before alone.
bool write_member(archive* reader, uint64_t declared_size, const TextString& folder, const char* name,
                  const TextString& target) {
    MemberData data(reader, declared_size);
    std::size_t first_count = 0;
    if (!data.next(first_count)) return false;
    // The file's folder: for a name without folders the extraction folder,
    // which the file is opened in by its full path; else the name's folders,
    // walked one by one below it, following no link.
    Descriptor parent(AT_FDCWD);
    const char* leaf = target.chars();
    if (std::strchr(name, '/') != nullptr) {
        const Descriptor folder_fd(open(folder.empty() ? "." : folder.chars(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (folder_fd.get() < 0 || !open_parent(folder_fd.get(), name, parent, leaf)) return false;
    }
    Descriptor out(openat(parent.get(), leaf, O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0666));
    if (out.get() < 0) return false;
    const bool copied = copy_data(data, first_count, out.get());
    const bool closed = close(out.release()) == 0;
    if (copied && closed) return true;
    unlinkat(parent.get(), leaf, 0);
    return false;
}

}  // namespace

Extraction extract_zip_member(const TextString& archive, const TextString& own_folder, const SongChoice& choice) {
    TextString folder;
    if (!find_destination(own_folder, folder)) return {};

    // File names here are UTF-8. libarchive converts a name that carries
    // ZIP's UTF-8 flag into the character set of the calling thread's
    // locale, and fails (ARCHIVE_WARN, no name) where that cannot hold it,
    // as the C locale cannot hold anything beyond ASCII. Names without the
    // flag keep their bytes as stored either way.
    const Utf8Conversions utf8_names;
    Reader reader(archive_read_new());
    if (!reader || archive_read_support_format_zip(reader.get()) != ARCHIVE_OK ||
        archive_read_open_filename(reader.get(), archive.chars(), 65536) != ARCHIVE_OK) {
        return {};
    }
    // Only a plain file is a song; folder, link and device entries are passed over.
    archive_entry* entry = nullptr;
    TextString name;
    for (;;) {
        if (archive_read_next_header(reader.get(), &entry) != ARCHIVE_OK) return {};
        if (archive_entry_filetype(entry) != AE_IFREG) continue;
        name = archive_entry_pathname(entry);
        if (!names_a_folder(name) && choice.takes(name)) break;
    }
    // Without a size in the archive (streamed data), the bound stands in for it.
    const uint64_t declared_size = archive_entry_size_is_set(entry) && archive_entry_size(entry) >= 0
                                       ? static_cast<uint64_t>(archive_entry_size(entry))
                                       : largest_member_size;
    TextString target;
    if (!accept_member(folder, name, declared_size, target)) return {};
    const TextString missing_folder = first_missing_folder(folder, target);
    const bool written = write_member(reader.get(), declared_size, folder, name.chars(), target);
    const TextString made_folder = made_folder_after(missing_folder);
    if (!written) {
        remove_made_folders(target, made_folder);
        return {};
    }
    return {.file = target, .made_folder = made_folder};
}

}  // namespace voskel
