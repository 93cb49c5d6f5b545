#include "ReadOnlyFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "PrivateFiles.h"

namespace {

class UnixFile : public ReadOnlyFile {
public:
    UnixFile(PrivateFiles::FileDescriptor fd, std::uint64_t bytes)
        : fd(std::move(fd)), bytes(bytes) {}

    std::uint64_t size() const override { return bytes; }

    bool read(std::uint64_t offset, char* buffer,
              std::size_t count) const override {
        while (count > 0) {
            const ssize_t n = ::pread(fd.get(), buffer, count,
                                      static_cast<off_t>(offset));
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                return false;
            }
            buffer += n;
            offset += static_cast<std::uint64_t>(n);
            count -= static_cast<std::size_t>(n);
        }
        return true;
    }

private:
    const PrivateFiles::FileDescriptor fd;
    const std::uint64_t bytes;
};

} // namespace

std::unique_ptr<ReadOnlyFile> ReadOnlyFile::open(const std::string& path,
                                                 std::string& why) {
    PrivateFiles::FileDescriptor fd(
            ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    struct stat st;
    if (!fd.valid() || ::fstat(fd.get(), &st) != 0) {
        why = "\"" + path + "\" cannot be opened: " + std::strerror(errno);
        return nullptr;
    }
    if (!S_ISREG(st.st_mode)) {
        why = "\"" + path + "\" is not a regular file";
        return nullptr;
    }
    const auto size = static_cast<std::uint64_t>(st.st_size);
    return std::unique_ptr<ReadOnlyFile>(new UnixFile(std::move(fd), size));
}
