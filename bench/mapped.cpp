// What the class data archive's check at exit costs a start that was given
// an archive: MappedFiles::isMapped over a process with as many mappings as
// a Java runtime has at exit (about 210 measured on JDK 17 and 25), for a
// file that is not among them, so that every line is read. Prints the
// median and the slowest of 201 checks in microseconds.
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "MappedFiles.h"

int main() {
    char path[] = "/tmp/bench-mapped-XXXXXX";
    const int fd = mkstemp(path);
    if (fd < 0 || ftruncate(fd, 1 << 16) != 0) {
        std::perror("mkstemp");
        return 1;
    }
    // Mappings of one file that the kernel cannot merge: each starts at
    // the file's first page.
    for (int i = 0; i < 200; ++i) {
        if (mmap(nullptr, 4096, PROT_READ, MAP_PRIVATE, fd, 0) == MAP_FAILED) {
            std::perror("mmap");
            return 1;
        }
    }
    unlink(path);
    std::ifstream maps("/proc/self/maps");
    int lines = 0;
    for (std::string line; std::getline(maps, line);) {
        ++lines;
    }
    std::vector<double> micros;
    for (int i = 0; i < 201; ++i) {
        const auto start = std::chrono::steady_clock::now();
        const bool mapped = MappedFiles::isMapped("L-D.jsa");
        micros.push_back(std::chrono::duration<double, std::micro>(
                                 std::chrono::steady_clock::now() - start)
                                 .count());
        if (mapped) {
            return 1;
        }
    }
    std::sort(micros.begin(), micros.end());
    std::printf("mapped-file check over %d mappings: median %.0f us, slowest"
                " %.0f us\n",
                lines, micros[micros.size() / 2], micros.back());
    return 0;
}
