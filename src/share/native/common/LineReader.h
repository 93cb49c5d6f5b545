// Reads a byte file line by line. A line ends at a line feed, which is not
// part of it; every other byte (carriage returns, NUL bytes, a byte-order
// mark) stays in the line, and the last line needs no line feed.
#ifndef LINEREADER_H
#define LINEREADER_H

#include <cstddef>
#include <cstdio>
#include <string>

class LineReader {
public:
    /// Opens the file for reading; see `isOpen`. errno tells why it failed.
    explicit LineReader(const std::string& path);
    ~LineReader();

    LineReader(const LineReader&) = delete;
    LineReader& operator=(const LineReader&) = delete;

    bool isOpen() const { return file != nullptr; }

    /// The next line into `line`; false at the end of the file or when
    /// reading fails (errno then tells why).
    bool next(std::string& line);

    /// True when reading has stopped at the end of the file rather than on
    /// an error.
    bool atEnd() const;

private:
    std::FILE* file;
    char* buffer = nullptr;
    std::size_t capacity = 0;
};

#endif // LINEREADER_H
