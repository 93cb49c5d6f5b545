#include "StandardStreams.h"

#include <cstdio>
#include <new>
#include <ostream>
#include <streambuf>

namespace {

// Hands every character straight to a C stream, which does the buffering.
class StdioStreamBuf : public std::streambuf {
public:
    explicit StdioStreamBuf(std::FILE* file) : file(file) {}

protected:
    int_type overflow(int_type c) override {
        if (traits_type::eq_int_type(c, traits_type::eof())) {
            return traits_type::not_eof(c);
        }
        return std::fputc(c, file) == EOF ? traits_type::eof() : c;
    }

    std::streamsize xsputn(const char* s, std::streamsize n) override {
        return static_cast<std::streamsize>(
                std::fwrite(s, 1, static_cast<std::size_t>(n), file));
    }

    int sync() override { return std::fflush(file) == 0 ? 0 : -1; }

private:
    std::FILE* file;
};

class StdioStream : public std::ostream {
public:
    explicit StdioStream(std::FILE* file) : std::ostream(nullptr), buf(file) {
        rdbuf(&buf);
    }

private:
    StdioStreamBuf buf;
};

alignas(StdioStream) unsigned char outMemory[sizeof(StdioStream)];
alignas(StdioStream) unsigned char errMemory[sizeof(StdioStream)];
bool prepared = false;

} // namespace

std::ostream& standardOutputStream() {
    return *reinterpret_cast<StdioStream*>(outMemory);
}

std::ostream& standardErrorStream() {
    return *reinterpret_cast<StdioStream*>(errMemory);
}

void prepareStandardStreams() {
    if (!prepared) {
        new (outMemory) StdioStream(stdout);
        new (errMemory) StdioStream(stderr);
        prepared = true;
    }
}
