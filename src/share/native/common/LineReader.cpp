#include "LineReader.h"

#include <sys/types.h>

#include <cstdlib>

LineReader::LineReader(const std::string& path)
    : file(std::fopen(path.c_str(), "r")) {}

LineReader::~LineReader() {
    std::free(buffer);
    if (file != nullptr) {
        std::fclose(file);
    }
}

bool LineReader::next(std::string& line) {
    const ssize_t n = getline(&buffer, &capacity, file);
    if (n < 0) {
        return false;
    }
    std::size_t length = static_cast<std::size_t>(n);
    if (length > 0 && buffer[length - 1] == '\n') {
        --length;
    }
    line.assign(buffer, length);
    return true;
}

bool LineReader::atEnd() const {
    return std::feof(file) && !std::ferror(file);
}
