// Raw deflate data: what gzip deflates comes back whole, however the input
// is cut into pieces, and the caller may end the work early.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "Inflater.h"
#include "TestSupport.h"

using namespace testing_support;

namespace {

// `data` deflated by gzip at `level`: its member without the 10-byte header
// (no name, -n) and the 8-byte trailer.
std::string deflated(const std::string& data, const char* level) {
    TempDir dir;
    writeFile(dir / "in", data);
    const ProcessResult gzip = runProcess(
            "/bin/sh", {"sh", "-c", "gzip -n -c \"$0\" \"$1\"", level,
                        dir / "in"});
    EXPECT_EQ(0, gzip.exitStatus) << gzip.err;
    return gzip.out.size() < 18 ? std::string()
                                : gzip.out.substr(10, gzip.out.size() - 18);
}

// Inflates `in`, handed over at most `piece` bytes at a time.
Inflater::Result inflate(const std::string& in, std::size_t piece,
                         std::string& out, std::size_t limit,
                         const Inflater::Stop& stop = Inflater::Stop()) {
    std::size_t pos = 0;
    return Inflater::inflate(
            [&](char* buffer, std::size_t capacity) {
                const std::size_t n =
                        std::min({piece, capacity, in.size() - pos});
                pos += in.copy(buffer, n, pos);
                return n;
            },
            out, limit, stop);
}

} // namespace

TEST(Inflater, InflatesWhatGzipDeflates) {
    std::mt19937 random(7);
    std::string noise, text;
    for (int i = 0; i < 70000; ++i) {
        noise += static_cast<char>(random() & 0xff);
        text += "Class-Path: lib/a" + std::to_string(i % 97) + ".jar\n";
    }
    // Fixed codes for a short text, dynamic ones for a long one, stored
    // blocks for what does not compress.
    for (const std::string& data : {std::string("Manifest-Version: 1.0\n"),
                                    text, noise, std::string()}) {
        for (const char* level : {"-1", "-9"}) {
            for (const std::size_t piece : {1, 1 << 20}) {
                std::string out;
                EXPECT_EQ(Inflater::Result::Complete,
                          inflate(deflated(data, level), piece, out, 1 << 24));
                EXPECT_EQ(data, out) << data.size() << level << piece;
            }
        }
    }
    std::string out;
    EXPECT_EQ(Inflater::Result::TooLarge,
              inflate(deflated(text, "-9"), 4096, out, 1000));
    EXPECT_EQ(Inflater::Result::Damaged,
              inflate(deflated(text, "-9").substr(0, 100), 4096, out, 1 << 24));
}

TEST(Inflater, StopsOnceTheCallerHasWhatItNeeds) {
    std::string text;
    for (int i = 0; i < 200000; ++i) {
        text += "line " + std::to_string(i) + "\n";
    }
    const std::size_t wanted = text.find("line 1000\n") + 10;
    // Asked as the output grows, and before a limit just past what is
    // wanted refuses it.
    for (const std::size_t limit : {std::size_t(10u << 20), wanted}) {
        std::string out;
        const Inflater::Stop stop = [&](const std::string& o) {
            return o.size() >= wanted;
        };
        EXPECT_EQ(Inflater::Result::Stopped,
                  inflate(deflated(text, "-9"), 4096, out, limit, stop));
        EXPECT_GE(out.size(), wanted);
        EXPECT_LT(out.size(), wanted + (64u << 10));
        EXPECT_EQ(text.substr(0, out.size()), out);
    }
}
