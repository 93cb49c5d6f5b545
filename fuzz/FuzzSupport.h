// Helpers shared by the fuzz targets: a check that stops the run, and the
// one scratch file per process into which a target writes its input.
#ifndef FUZZSUPPORT_H
#define FUZZSUPPORT_H

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

/// Stops the run with a crash that libFuzzer reports and saves the input for.
#define CHECK(cond)                                                           \
    do {                                                                      \
        if (!(cond)) {                                                        \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__,       \
                         __LINE__, #cond);                                    \
            __builtin_trap();                                                 \
        }                                                                     \
    } while (0)

/// A file named `name` in a fresh directory, created once and rewritten for
/// every input. The directory is on tmpfs when there is one and TMPDIR does
/// not say otherwise: on a disk file system, truncating and rewriting the
/// same file thousands of times a second waits on writeback.
class ScratchFile {
public:
    explicit ScratchFile(const std::string& name) {
        std::string base = "/tmp";
        struct stat st;
        const char* tmp = std::getenv("TMPDIR");
        if (tmp != nullptr && *tmp != '\0') {
            base = tmp;
        } else if (::stat("/dev/shm", &st) == 0 && S_ISDIR(st.st_mode)
                   && ::access("/dev/shm", W_OK) == 0) {
            base = "/dev/shm";
        }
        std::string pattern = base + "/applauncher-fuzz.XXXXXX";
        std::vector<char> buf(pattern.begin(), pattern.end());
        buf.push_back('\0');
        CHECK(::mkdtemp(buf.data()) != nullptr);
        dirPath = buf.data();
        filePath = dirPath + "/" + name;
        fd = ::open(filePath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        CHECK(fd >= 0);
    }

    ~ScratchFile() {
        ::close(fd);
        ::unlink(filePath.c_str());
        ::rmdir(dirPath.c_str());
    }

    ScratchFile(const ScratchFile&) = delete;
    ScratchFile& operator=(const ScratchFile&) = delete;

    /// Makes the file's content exactly these bytes.
    void write(const std::uint8_t* data, std::size_t size) {
        std::size_t done = 0;
        while (done < size) {
            const ssize_t n = ::pwrite(fd, data + done, size - done,
                                       static_cast<off_t>(done));
            CHECK(n > 0);
            done += static_cast<std::size_t>(n);
        }
        CHECK(::ftruncate(fd, static_cast<off_t>(size)) == 0);
    }

    const std::string& dir() const { return dirPath; }
    const std::string& path() const { return filePath; }

private:
    std::string dirPath;
    std::string filePath;
    int fd = -1;
};

/// The input cut at every line feed: n line feeds give n + 1 pieces, the
/// last one empty when the input ends with a line feed.
inline std::vector<std::string> splitAtLineFeeds(const std::uint8_t* data,
                                                 std::size_t size) {
    std::vector<std::string> pieces(1);
    for (std::size_t i = 0; i != size; ++i) {
        if (data[i] == '\n') {
            pieces.emplace_back();
        } else {
            pieces.back() += static_cast<char>(data[i]);
        }
    }
    return pieces;
}

// Replacement done the slow and obvious way: scan every position, copy the
// replacement and skip the match, never rescanning inserted text.
inline std::string naiveReplace(const std::string& s, const std::string& search,
                                const std::string& with) {
    if (search.empty()) {
        return s;
    }
    std::string out;
    std::size_t i = 0;
    while (i < s.size()) {
        if (s.size() - i >= search.size()
                && s.compare(i, search.size(), search) == 0) {
            out += with;
            i += search.size();
        } else {
            out += s[i++];
        }
    }
    return out;
}

#endif // FUZZSUPPORT_H
