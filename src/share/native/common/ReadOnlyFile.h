// Bytes read at any offset, as the zip reader takes them: a regular file
// opened for reading, or bytes held in memory. The parsing above it thus
// never touches the system and runs the same on bytes a test or a fuzzer
// makes up.
#ifndef READONLYFILE_H
#define READONLYFILE_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>

/// A file's bytes, read at any offset.
class ReadOnlyFile {
public:
    virtual ~ReadOnlyFile() = default;

    /// The number of bytes, as it was when the file was opened.
    virtual std::uint64_t size() const = 0;

    /// Reads exactly `count` bytes at `offset` into `buffer`; false when
    /// they are not all there or cannot be read.
    virtual bool read(std::uint64_t offset, char* buffer,
                      std::size_t count) const = 0;

    /// The regular file at `path`, opened for reading (close-on-exec, and
    /// without waiting on a FIFO or device put in its place); null when it
    /// cannot be opened or is not a regular file, and `why` says why,
    /// naming the path.
    static std::unique_ptr<ReadOnlyFile> open(const std::string& path,
                                              std::string& why);
};

/// Bytes held in memory.
class MemoryFile : public ReadOnlyFile {
public:
    explicit MemoryFile(std::string bytes) : bytes(std::move(bytes)) {}

    std::uint64_t size() const override { return bytes.size(); }

    bool read(std::uint64_t offset, char* buffer,
              std::size_t count) const override {
        if (offset > bytes.size() || count > bytes.size() - offset) {
            return false;
        }
        bytes.copy(buffer, count, static_cast<std::size_t>(offset));
        return true;
    }

private:
    const std::string bytes;
};

#endif // READONLYFILE_H
