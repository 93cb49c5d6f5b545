// Writing the containers that packages are made of: a gzip-compressed tar,
// a zip and the ar archive of a Debian package, from a list of entries in
// the order given. The formats come from libarchive (Linux) or the
// system's own tools (macOS); the gzip stream from zlib, so that its header
// carries the package's time and no file name.
#ifndef PACKAGEARCHIVE_H
#define PACKAGEARCHIVE_H

#include <functional>
#include <string>
#include <vector>

struct ArchiveEntry {
    enum Kind { Directory, File, Link };

    Kind kind = File;
    /// The name in the archive ("opt/demo/bin/demo"; folders without a
    /// trailing '/').
    std::string path;
    /// File: the file to read, or empty to store `data`.
    std::string source;
    std::string data;
    /// Link: its text.
    std::string linkText;
    unsigned mode = 0644;
};

typedef std::vector<ArchiveEntry> ArchiveEntries;

/// Writes a tar of `entries` (GNU format, owner and group root/0, every
/// time `time`), gzip-compressed at `level` with `time` in the header, to
/// the new file `path`. Checks for SIGINT and SIGTERM between entries.
void writeTarGz(const ArchiveEntries& entries, const std::string& path,
                long long time, int level);

/// Writes a zip of `entries` (links stored as links, modes kept) to the
/// new file `path`.
void writeZip(const ArchiveEntries& entries, const std::string& path,
              long long time);

/// Zips the folder `folder` into the new file `path` as one top folder of
/// its name (what `ditto -c -k --keepParent` makes): links stored as links,
/// modes kept, every time `time`.
void zipFolder(const std::string& folder, const std::string& path,
               long long time);

/// Writes an ar archive of `members` (name, file) to the new file `path`,
/// each member with `time`, owner 0 and mode 0644.
void writeAr(const std::vector<std::pair<std::string, std::string>>& members,
             const std::string& path, long long time);

/// The size of the file in bytes and its modification time in seconds.
unsigned long long fileSize(const std::string& path);
long long modificationTime(const std::string& path);

/// Compresses what `write` is given into gzip, handing the compressed
/// bytes to `sink`; the header holds `time` and no name.
class GzipStream {
public:
    GzipStream(std::function<void(const char*, std::size_t)> sink,
               long long time, int level);
    ~GzipStream();
    GzipStream(const GzipStream&) = delete;
    GzipStream& operator=(const GzipStream&) = delete;

    void write(const char* data, std::size_t size);
    /// Ends the stream; nothing may be written after it.
    void finish();

private:
    void pump(int flush);

    struct State;
    State* state;
    std::function<void(const char*, std::size_t)> sink;
};

/// `data` in gzip (header time `time`, no name).
std::string gzipped(const std::string& data, long long time, int level);

#endif // PACKAGEARCHIVE_H
