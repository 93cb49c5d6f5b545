#include "Inflater.h"

#include <zlib.h>

namespace Inflater {

namespace {

// How much output is decoded between two questions to `stop`.
const std::size_t outputPiece = 4096;
const std::size_t inputPiece = 16384;

// A raw deflate stream of zlib, ended with its owner.
class Stream {
public:
    Stream() { valid = ::inflateInit2(&z, -MAX_WBITS) == Z_OK; }
    ~Stream() {
        if (valid) {
            ::inflateEnd(&z);
        }
    }
    Stream(const Stream&) = delete;
    Stream& operator=(const Stream&) = delete;

    z_stream z{};
    bool valid = false;
};

} // namespace

Result inflate(const Input& input, std::string& out, std::size_t limit,
               const Stop& stop) {
    out.clear();
    Stream stream;
    if (!stream.valid) {
        return Result::Damaged;
    }
    z_stream& z = stream.z;
    char in[inputPiece];
    char piece[outputPiece];
    bool inputEnded = false;
    for (;;) {
        if (z.avail_in == 0 && !inputEnded) {
            const std::size_t n = input(in, sizeof(in));
            inputEnded = n == 0;
            z.next_in = reinterpret_cast<Bytef*>(in);
            z.avail_in = static_cast<uInt>(n);
        }
        z.next_out = reinterpret_cast<Bytef*>(piece);
        z.avail_out = sizeof(piece);
        const int rc = ::inflate(&z, Z_NO_FLUSH);
        out.append(piece, sizeof(piece) - z.avail_out);
        if (rc == Z_STREAM_END && out.size() <= limit) {
            return Result::Complete;
        }
        const bool stalled = rc == Z_BUF_ERROR && z.avail_in == 0
                && inputEnded;
        if (rc != Z_STREAM_END
                && ((rc != Z_OK && rc != Z_BUF_ERROR) || stalled)) {
            return Result::Damaged;
        }
        if (stop && stop(out)) {
            return Result::Stopped;
        }
        if (out.size() > limit) {
            return Result::TooLarge;
        }
    }
}

} // namespace Inflater
