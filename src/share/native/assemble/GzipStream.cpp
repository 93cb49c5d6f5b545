#include "PackageArchive.h"

#include <zlib.h>

#include "ErrorHandling.h"

struct GzipStream::State {
    z_stream stream{};
    gz_header header{};
    bool open = false;
};

GzipStream::GzipStream(std::function<void(const char*, std::size_t)> sink,
                       long long time, int level)
    : state(new State), sink(std::move(sink)) {
    // 15 window bits, +16 for a gzip wrapper; memory level 8 as gzip uses.
    if (deflateInit2(&state->stream, level, Z_DEFLATED, 15 + 16, 8,
                     Z_DEFAULT_STRATEGY) != Z_OK) {
        delete state;
        VT_THROW("Cannot start gzip compression");
    }
    state->open = true;
    state->header.time = static_cast<uLong>(time);
    state->header.os = 3;
    deflateSetHeader(&state->stream, &state->header);
}

GzipStream::~GzipStream() {
    if (state->open) {
        deflateEnd(&state->stream);
    }
    delete state;
}

void GzipStream::pump(int flush) {
    char out[65536];
    int result;
    do {
        state->stream.next_out = reinterpret_cast<Bytef*>(out);
        state->stream.avail_out = sizeof(out);
        result = deflate(&state->stream, flush);
        if (result == Z_STREAM_ERROR) {
            VT_THROW("gzip compression failed");
        }
        const std::size_t made = sizeof(out) - state->stream.avail_out;
        if (made > 0) {
            sink(out, made);
        }
    } while (state->stream.avail_out == 0
             || (flush == Z_FINISH && result != Z_STREAM_END));
}

void GzipStream::write(const char* data, std::size_t size) {
    while (size > 0) {
        const uInt piece = size > (1u << 30) ? (1u << 30)
                                             : static_cast<uInt>(size);
        state->stream.next_in =
                reinterpret_cast<Bytef*>(const_cast<char*>(data));
        state->stream.avail_in = piece;
        pump(Z_NO_FLUSH);
        data += piece;
        size -= piece;
    }
}

void GzipStream::finish() {
    state->stream.next_in = nullptr;
    state->stream.avail_in = 0;
    pump(Z_FINISH);
}

std::string gzipped(const std::string& data, long long time, int level) {
    std::string out;
    GzipStream gzip([&](const char* bytes, std::size_t size) {
        out.append(bytes, size);
    }, time, level);
    gzip.write(data.data(), data.size());
    gzip.finish();
    return out;
}
