#include "ZipFile.h"

#include <algorithm>
#include <utility>

namespace {

const std::uint32_t endSignature = 0x06054b50;
const std::uint32_t zip64EndSignature = 0x06064b50;
const std::uint32_t zip64LocatorSignature = 0x07064b50;
const std::uint32_t directorySignature = 0x02014b50;
const std::uint32_t localSignature = 0x04034b50;
const std::size_t endSize = 22;
const std::size_t maxCommentSize = 0xffff;
const std::size_t zip64EndSize = 56;
const std::size_t zip64LocatorSize = 20;
const std::size_t directoryEntrySize = 46;
const std::size_t localHeaderSize = 30;
// A 32-bit size or offset that says "in the ZIP64 field".
const std::uint64_t inZip64 = 0xffffffffu;
// Holds the end record with the longest comment, and a directory entry with
// the longest name, extra field and comment.
const std::size_t windowSize = 256u << 10;
// Stored data is read, and shown to the caller's stop condition, in pieces
// of this size.
const std::size_t storedPiece = 16u << 10;

std::uint64_t le(const char* data, int bytes) {
    std::uint64_t value = 0;
    for (int i = bytes - 1; i >= 0; --i) {
        value = (value << 8) | static_cast<unsigned char>(data[i]);
    }
    return value;
}

bool hasSignature(const ReadOnlyFile& file, std::uint64_t offset,
                  std::uint32_t signature) {
    char bytes[4];
    return file.read(offset, bytes, sizeof(bytes))
            && le(bytes, 4) == signature;
}

// Reads a file through a buffer of fixed size, for parsing that asks for a
// few bytes at a time at increasing offsets.
class Window {
public:
    explicit Window(const ReadOnlyFile& file) : file(file) {}

    /// The `count` bytes at `offset` (count at most the window's size); null
    /// when they are not all in the file. Valid until the next call.
    const char* at(std::uint64_t offset, std::size_t count) {
        if (offset >= start && offset - start <= buffer.size()
                && count <= buffer.size() - (offset - start)) {
            return buffer.data() + (offset - start);
        }
        const std::uint64_t size = file.size();
        if (offset > size || count > size - offset || count > windowSize) {
            return nullptr;
        }
        buffer.resize(static_cast<std::size_t>(
                std::min<std::uint64_t>(windowSize, size - offset)));
        if (!file.read(offset, &buffer[0], buffer.size())) {
            buffer.clear();
            return nullptr;
        }
        start = offset;
        return buffer.data();
    }

private:
    const ReadOnlyFile& file;
    std::string buffer;
    std::uint64_t start = 0;
};

// What the end record (or the ZIP64 end record) says about the directory.
struct EndRecord {
    /// Where the record lies in the file; the directory ends there.
    std::uint64_t position = 0;
    std::uint64_t directorySize = 0;
    /// Where the directory starts, counted from the start of the zip data.
    std::uint64_t directoryOffset = 0;
};

// An end record whose comment does not reach the end of the file is taken
// when the directory and the first local header lie where it says (bytes
// appended to an archive).
bool pointsAtArchive(const ReadOnlyFile& file, const EndRecord& end) {
    if (end.directorySize > end.position) {
        return false;
    }
    const std::uint64_t directory = end.position - end.directorySize;
    return end.directoryOffset <= directory
            && hasSignature(file, directory, directorySignature)
            && hasSignature(file, directory - end.directoryOffset,
                            localSignature);
}

// The last end record of the file: the one whose comment ends the file, or
// one that points at an archive.
bool findEnd(const ReadOnlyFile& file, Window& window, EndRecord& end) {
    const std::uint64_t fileSize = file.size();
    const std::size_t tailSize = static_cast<std::size_t>(
            std::min<std::uint64_t>(fileSize, endSize + maxCommentSize));
    const char* bytes = window.at(fileSize - tailSize, tailSize);
    if (tailSize < endSize || bytes == nullptr) {
        return false;
    }
    const std::string tail(bytes, tailSize);
    for (std::size_t pos = tailSize - endSize + 1; pos-- > 0;) {
        const char* record = tail.data() + pos;
        if (le(record, 4) != endSignature) {
            continue;
        }
        end.position = fileSize - tailSize + pos;
        end.directorySize = le(record + 12, 4);
        end.directoryOffset = le(record + 16, 4);
        if (end.position + endSize + le(record + 20, 2) == fileSize
                || pointsAtArchive(file, end)) {
            return true;
        }
    }
    return false;
}

// Takes the directory's size and offset from the ZIP64 end record when a
// ZIP64 locator precedes the end record and the record agrees with the end
// record (whose fields may say "in the ZIP64 record" instead). False when
// the record is not where the locator says: the runtime refuses such an
// archive, also when a script in front has moved the record.
bool useZip64End(const ReadOnlyFile& file, EndRecord& end) {
    char locator[zip64LocatorSize];
    if (end.position < zip64LocatorSize
            || !file.read(end.position - zip64LocatorSize, locator,
                          sizeof(locator))
            || le(locator, 4) != zip64LocatorSignature) {
        return true;
    }
    const std::uint64_t position = le(locator + 8, 8);
    const std::uint64_t room = end.position - zip64LocatorSize;
    char record[zip64EndSize];
    if (position > room || room - position < zip64EndSize
            || !file.read(position, record, sizeof(record))
            || le(record, 4) != zip64EndSignature) {
        return false;
    }
    const std::uint64_t size = le(record + 40, 8);
    const std::uint64_t offset = le(record + 48, 8);
    if ((end.directorySize == inZip64 || end.directorySize == size)
            && (end.directoryOffset == inZip64
                || end.directoryOffset == offset)) {
        end = EndRecord{position, size, offset};
    }
    return true;
}

// The place of the directory in the file and the length of what lies in
// front of the zip data: the directory ends where its end record really
// lies, and its recorded offset counts from the start of the zip data.
struct Directory {
    std::uint64_t start = 0;
    std::uint64_t end = 0;
    std::uint64_t prefix = 0;
};

bool locate(const EndRecord& end, Directory& dir, std::string& why) {
    if (end.directorySize > end.position) {
        why = "the central directory's size is larger than the file";
        return false;
    }
    dir.end = end.position;
    dir.start = end.position - end.directorySize;
    if (end.directoryOffset > dir.start) {
        why = "the central directory's offset lies beyond the directory";
        return false;
    }
    dir.prefix = dir.start - end.directoryOffset;
    return true;
}

// The values of a ZIP64 extended information field (tag 1) in the extra
// field `extra`: each present only when the 32-bit field says so, in this
// order.
void readZip64Field(const char* extra, std::size_t length, ZipEntry& entry,
                    std::uint64_t& offset) {
    for (std::size_t pos = 0; length - pos >= 4;) {
        const std::size_t size = le(extra + pos + 2, 2);
        if (length - pos - 4 < size) {
            return;
        }
        if (le(extra + pos, 2) == 1) {
            const char* value = extra + pos + 4;
            const char* end = value + size;
            for (std::uint64_t* field :
                 {&entry.size, &entry.compressedSize, &offset}) {
                if (*field != inZip64) {
                    continue;
                }
                if (end - value < 8) {
                    return;
                }
                *field = le(value, 8);
                value += 8;
            }
            return;
        }
        pos += 4 + size;
    }
}

// The directory entry at `pos`, which then moves to the next one; false
// when it is damaged or does not fit in the directory.
bool readEntry(Window& window, const Directory& dir, std::uint64_t fileSize,
               std::uint64_t& pos, ZipEntry& entry) {
    const char* header = dir.end - pos < directoryEntrySize
            ? nullptr : window.at(pos, directoryEntrySize);
    if (header == nullptr || le(header, 4) != directorySignature) {
        return false;
    }
    entry.flags = static_cast<unsigned>(le(header + 8, 2));
    entry.method = static_cast<unsigned>(le(header + 10, 2));
    entry.compressedSize = le(header + 20, 4);
    entry.size = le(header + 24, 4);
    std::uint64_t offset = le(header + 42, 4);
    const std::size_t nameLength = le(header + 28, 2);
    const std::size_t extraLength = le(header + 30, 2);
    const std::size_t total = directoryEntrySize + nameLength + extraLength
            + le(header + 32, 2);
    const char* name = window.at(pos + directoryEntrySize,
                                 nameLength + extraLength);
    if (dir.end - pos < total || name == nullptr) {
        return false;
    }
    entry.name.assign(name, nameLength);
    readZip64Field(name + nameLength, extraLength, entry, offset);
    // An offset beyond the file stays beyond it: reading the entry fails.
    entry.localHeader = offset <= fileSize - dir.prefix ? dir.prefix + offset
                                                        : fileSize;
    pos += total;
    return true;
}

// Where the data of `entry` begins: after its local header, whose name and
// extra field may differ in length from the directory's. False when the
// header or the data do not lie in the file.
bool dataStart(const ReadOnlyFile& file, const ZipEntry& entry,
               std::uint64_t& start) {
    const std::uint64_t size = file.size();
    char header[localHeaderSize];
    if (entry.localHeader > size
            || size - entry.localHeader < localHeaderSize
            || !file.read(entry.localHeader, header, sizeof(header))
            || le(header, 4) != localSignature) {
        return false;
    }
    start = entry.localHeader + localHeaderSize + le(header + 26, 2)
            + le(header + 28, 2);
    return start <= size && entry.compressedSize <= size - start;
}

// Stored data, taken from `input` piece by piece under the same rules as
// the inflater's output.
Inflater::Result copy(const Inflater::Input& input, std::string& out,
                      std::size_t limit, const Inflater::Stop& stop) {
    char piece[storedPiece];
    for (;;) {
        const std::size_t n = input(piece, sizeof(piece));
        if (n == 0) {
            return Inflater::Result::Complete;
        }
        out.append(piece, n);
        if (stop && stop(out)) {
            return Inflater::Result::Stopped;
        }
        if (out.size() > limit) {
            return Inflater::Result::TooLarge;
        }
    }
}

} // namespace

ZipFile::ZipFile(const std::string& path) {
    file = ReadOnlyFile::open(path, why);
    if (file) {
        readDirectory();
        if (!why.empty()) {
            why = "\"" + path + "\": " + why;
        }
    }
}

ZipFile::ZipFile(std::unique_ptr<ReadOnlyFile> file) : file(std::move(file)) {
    readDirectory();
}

void ZipFile::readDirectory() {
    if (!file) {
        why = "there is no file";
        return;
    }
    Window window(*file);
    EndRecord end;
    Directory dir;
    if (!findEnd(*file, window, end)) {
        why = "not a zip archive: there is no end of central directory record";
        return;
    }
    if (!useZip64End(*file, end)) {
        why = "the ZIP64 end record is not where its locator says";
        return;
    }
    if (!locate(end, dir, why)) {
        return;
    }
    std::vector<ZipEntry> entries;
    for (std::uint64_t pos = dir.start; pos < dir.end;) {
        ZipEntry entry;
        if (!readEntry(window, dir, file->size(), pos, entry)) {
            why = "the central directory is damaged at offset "
                    + std::to_string(pos);
            return;
        }
        entries.push_back(std::move(entry));
    }
    list.swap(entries);
}

const ZipEntry* ZipFile::find(const std::string& name) const {
    const auto found = std::find_if(
            list.rbegin(), list.rend(),
            [&name](const ZipEntry& entry) { return entry.name == name; });
    return found == list.rend() ? nullptr : &*found;
}

bool ZipFile::read(const ZipEntry& entry, std::string& data,
                   std::size_t limit, const Inflater::Stop& stop) const {
    data.clear();
    std::uint64_t pos = 0;
    if (!file || (entry.flags & 1u) != 0
            || (entry.method != 0 && entry.method != 8)
            || !dataStart(*file, entry, pos)) {
        return false;
    }
    std::uint64_t left = entry.compressedSize;
    bool unreadable = false;
    const Inflater::Input input = [&](char* buffer, std::size_t capacity) {
        const std::size_t n = static_cast<std::size_t>(
                std::min<std::uint64_t>(capacity, left));
        if (n != 0 && !file->read(pos, buffer, n)) {
            unreadable = true;
            return std::size_t(0);
        }
        pos += n;
        left -= n;
        return n;
    };
    const Inflater::Result result =
            entry.method == 8 ? Inflater::inflate(input, data, limit, stop)
                              : copy(input, data, limit, stop);
    // A file cut short while it is read ends stored data early too.
    if (!unreadable && (result == Inflater::Result::Complete
                        || result == Inflater::Result::Stopped)) {
        data.resize(std::min(data.size(), limit));
        return true;
    }
    data.clear();
    return false;
}
