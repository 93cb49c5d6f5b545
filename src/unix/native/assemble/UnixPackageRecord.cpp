#include "PackageRecord.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <vector>

#include "PrivateFiles.h"

bool readFileIdentity(const std::string& path, FileIdentity& identity,
                      const std::function<bool(unsigned long long)>&
                              worthReading) {
    // Not blocking on a fifo put where a package was, not taking a terminal
    // as the command's own, not following a link.
    const PrivateFiles::FileDescriptor fd(::open(
            path.c_str(),
            O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    struct stat st;
    if (!fd.valid() || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
        return false;
    }
    const unsigned long long statSize =
            static_cast<unsigned long long>(st.st_size);
    if (worthReading && !worthReading(statSize)) {
        identity.size = statSize;
        identity.crc = 0;
        return true;
    }
    std::vector<unsigned char> buffer(1 << 20);
    uLong crc = ::crc32(0L, Z_NULL, 0);
    unsigned long long size = 0;
    for (;;) {
        const ssize_t n = ::read(fd.get(), buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            return false;
        }
        if (n == 0) {
            break;
        }
        crc = ::crc32(crc, buffer.data(), static_cast<uInt>(n));
        size += static_cast<unsigned long long>(n);
    }
    identity.size = size;
    identity.crc = static_cast<std::uint32_t>(crc);
    return true;
}
