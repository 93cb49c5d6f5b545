#include "PackageArchive.h"

#include <archive.h>
#include <archive_entry.h>
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>

#include "ErrorHandling.h"
#include "FileUtils.h"
#include "Interrupts.h"
#include "Packages.h"

namespace {

class Fd {
public:
    Fd(const std::string& path, int flags, unsigned mode = 0644)
        : fd(::open(path.c_str(), flags | O_CLOEXEC, mode)) {
        if (fd < 0) {
            VT_THROW(tstrings::any() << "Cannot open \"" << path << "\": "
                     << lastCRTError());
        }
    }
    ~Fd() { ::close(fd); }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;

    int get() const { return fd; }

private:
    int fd;
};

void writeAll(int fd, const char* data, std::size_t size,
              const std::string& path) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR) {
            Interrupts::check();
            continue;
        }
        if (n < 0) {
            VT_THROW(tstrings::any() << "Cannot write \"" << path << "\": "
                     << lastCRTError());
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
}

struct ArchiveDeleter {
    void operator()(archive* a) const { archive_write_free(a); }
};
struct EntryDeleter {
    void operator()(archive_entry* e) const { archive_entry_free(e); }
};
typedef std::unique_ptr<archive, ArchiveDeleter> Archive;
typedef std::unique_ptr<archive_entry, EntryDeleter> Entry;

// Where libarchive's output goes: a file, or a file through gzip.
struct Sink {
    int fd;
    std::string path;
    GzipStream* gzip;
};

la_ssize_t writeCallback(archive*, void* data, const void* buffer,
                         std::size_t size) {
    Sink* sink = static_cast<Sink*>(data);
    try {
        if (sink->gzip != nullptr) {
            sink->gzip->write(static_cast<const char*>(buffer), size);
        } else {
            writeAll(sink->fd, static_cast<const char*>(buffer), size,
                     sink->path);
        }
    } catch (const std::exception&) {
        return -1;
    }
    return static_cast<la_ssize_t>(size);
}

[[noreturn]] void fail(archive* a, const std::string& path) {
    VT_THROW(tstrings::any() << "Cannot write \"" << path << "\": "
             << (archive_error_string(a) ? archive_error_string(a)
                                         : "libarchive failed"));
}

void check(int result, archive* a, const std::string& path) {
    if (result < ARCHIVE_WARN) {
        fail(a, path);
    }
}

void writeData(archive* a, const ArchiveEntry& entry, const std::string& path) {
    if (entry.source.empty()) {
        if (!entry.data.empty() && archive_write_data(
                    a, entry.data.data(), entry.data.size()) < 0) {
            fail(a, path);
        }
        return;
    }
    const Fd in(entry.source, O_RDONLY);
    char buffer[1 << 16];
    for (;;) {
        const ssize_t n = ::read(in.get(), buffer, sizeof(buffer));
        if (n < 0 && errno == EINTR) {
            Interrupts::check();
            continue;
        }
        if (n < 0) {
            VT_THROW(tstrings::any() << "Cannot read \"" << entry.source
                     << "\": " << lastCRTError());
        }
        if (n == 0) {
            return;
        }
        if (archive_write_data(a, buffer, static_cast<std::size_t>(n)) < 0) {
            fail(a, path);
        }
    }
}

void writeEntries(archive* a, const ArchiveEntries& entries,
                  const std::string& path, long long time) {
    for (const ArchiveEntry& item : entries) {
        Interrupts::check();
        Entry entry(archive_entry_new());
        archive_entry_set_pathname(entry.get(), item.path.c_str());
        archive_entry_set_mtime(entry.get(), time, 0);
        archive_entry_set_uid(entry.get(), 0);
        archive_entry_set_gid(entry.get(), 0);
        archive_entry_set_uname(entry.get(), "root");
        archive_entry_set_gname(entry.get(), "root");
        if (item.kind == ArchiveEntry::Directory) {
            archive_entry_set_filetype(entry.get(), AE_IFDIR);
            archive_entry_set_perm(entry.get(), item.mode);
        } else if (item.kind == ArchiveEntry::Link) {
            archive_entry_set_filetype(entry.get(), AE_IFLNK);
            archive_entry_set_perm(entry.get(), 0777);
            archive_entry_set_symlink(entry.get(), item.linkText.c_str());
        } else {
            archive_entry_set_filetype(entry.get(), AE_IFREG);
            archive_entry_set_perm(entry.get(), item.mode);
            archive_entry_set_size(entry.get(), static_cast<la_int64_t>(
                    item.source.empty() ? item.data.size()
                                        : fileSize(item.source)));
        }
        check(archive_write_header(a, entry.get()), a, path);
        if (item.kind == ArchiveEntry::File) {
            writeData(a, item, path);
        }
    }
}

void writeArchive(const ArchiveEntries& entries, const std::string& path,
                  long long time, int (*setFormat)(archive*),
                  GzipStream* gzip, Sink& sink) {
    Archive a(archive_write_new());
    check(setFormat(a.get()), a.get(), path);
    check(archive_write_set_bytes_in_last_block(a.get(), 1), a.get(), path);
    check(archive_write_open2(a.get(), &sink, nullptr, writeCallback, nullptr,
                              nullptr), a.get(), path);
    writeEntries(a.get(), entries, path, time);
    check(archive_write_close(a.get()), a.get(), path);
    if (gzip != nullptr) {
        gzip->finish();
    }
}

} // namespace

void writeTarGz(const ArchiveEntries& entries, const std::string& path,
                long long time, int level) {
    const Fd out(path, O_WRONLY | O_CREAT | O_EXCL);
    Sink sink{out.get(), path, nullptr};
    GzipStream gzip([&](const char* data, std::size_t size) {
        writeAll(out.get(), data, size, path);
    }, time, level);
    sink.gzip = &gzip;
    writeArchive(entries, path, time, archive_write_set_format_gnutar, &gzip,
                 sink);
}

void writeZip(const ArchiveEntries& entries, const std::string& path,
              long long time) {
    const Fd out(path, O_WRONLY | O_CREAT | O_EXCL);
    Sink sink{out.get(), path, nullptr};
    writeArchive(entries, path, time, archive_write_set_format_zip, nullptr,
                 sink);
}

void writeAr(const std::vector<std::pair<std::string, std::string>>& members,
             const std::string& path, long long time) {
    ArchiveEntries entries;
    for (const auto& member : members) {
        ArchiveEntry entry;
        entry.path = member.first;
        entry.source = member.second;
        entries.push_back(entry);
    }
    const Fd out(path, O_WRONLY | O_CREAT | O_EXCL);
    Sink sink{out.get(), path, nullptr};
    Archive a(archive_write_new());
    check(archive_write_set_format_ar_bsd(a.get()), a.get(), path);
    check(archive_write_set_bytes_in_last_block(a.get(), 1), a.get(), path);
    check(archive_write_open2(a.get(), &sink, nullptr, writeCallback, nullptr,
                              nullptr), a.get(), path);
    writeEntries(a.get(), entries, path, time);
    check(archive_write_close(a.get()), a.get(), path);
}

void zipFolder(const std::string& folder, const std::string& path,
               long long time) {
    writeZip(imageEntries(folder, FileUtils::basename(folder)), path, time);
}
