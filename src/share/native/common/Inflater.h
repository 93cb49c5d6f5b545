// Decompression of raw deflate data (RFC 1951), the compression of zip
// entries, by the system's zlib. The compressed bytes are pulled from the
// caller piece by piece, and the caller may end the work early once the
// output holds what it needs (the start of a long entry), so neither the
// input nor the output has to be held whole.
#ifndef INFLATER_H
#define INFLATER_H

#include <cstddef>
#include <functional>
#include <string>

namespace Inflater {

/// Fills `buffer` with up to `capacity` further bytes of the compressed
/// stream and returns how many it wrote; 0 when there are no more (or they
/// cannot be read).
using Input = std::function<std::size_t(char* buffer, std::size_t capacity)>;

/// Asked with the output so far whenever it has grown by a few kilobytes,
/// and before the output is refused for being over its limit; true ends the
/// decompression there.
using Stop = std::function<bool(const std::string& output)>;

enum class Result {
    /// The stream's last block was decoded.
    Complete,
    /// `stop` asked to end.
    Stopped,
    /// The output grew past its limit.
    TooLarge,
    /// The stream is damaged or ends early.
    Damaged,
};

/// Decompresses the stream given by `input` into `out` (cleared first).
/// Unless the result is Complete,
/// `out` holds what was decoded up to there, which may run past `limit` by
/// at most one block of stored data (64 KiB).
Result inflate(const Input& input, std::string& out, std::size_t limit,
               const Stop& stop = Stop());

} // namespace Inflater

#endif // INFLATER_H
