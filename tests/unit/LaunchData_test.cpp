// The flat launch data block as the callbacks of jvmLauncherAPI() measure
// and write it from a handle made by Jvm::exportLauncher: exact offsets, no
// alignment gaps, buffers too small, trace lines and blocks too large for
// the format.
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "ErrorHandling.h"
#include "JvmLauncher.h"
#include "Log.h"
#include "LogCapture.h"
using testing_support::RecordingSink;

namespace {

const JvmlLauncherAPI& api() {
    return *jvmLauncherAPI();
}

// Header fields and array entries may sit at any offset: read them bytewise.
std::uintptr_t ptrAt(const char* block, std::size_t offset) {
    std::uintptr_t value;
    std::memcpy(&value, block + offset, sizeof(value));
    return value;
}

std::int32_t intAt(const char* block, std::size_t offset) {
    std::int32_t value;
    std::memcpy(&value, block + offset, sizeof(value));
    return value;
}

std::uintptr_t addr(const char* block, std::size_t offset) {
    return reinterpret_cast<std::uintptr_t>(block + offset);
}

std::string pointerText(const void* p) {
    std::ostringstream text;
    text << p;
    return text.str();
}

struct Content {
    std::string path;
    StringArray args;
    StringArray names;
    StringArray values;
};

JvmlLauncherHandle exportContent(const Content& c) {
    Jvm jvm;
    jvm.setPath(c.path);
    for (const std::string& a : c.args) {
        jvm.addArgument(a);
    }
    for (std::size_t i = 0; i != c.names.size(); ++i) {
        jvm.addEnvVariable(c.names[i], c.values[i]);
    }
    return jvm.exportLauncher();
}

// The strings that an array of `count` entries at `offset` points to.
StringArray stringsAt(const char* block, std::size_t offset, int count) {
    StringArray result;
    for (int i = 0; i != count; ++i) {
        result.push_back(reinterpret_cast<const char*>(
                ptrAt(block, offset + 8 * static_cast<std::size_t>(i))));
    }
    return result;
}

const unsigned char kPattern = 0xA5;

bool untouchedFrom(const std::vector<unsigned char>& buf, std::size_t from) {
    for (std::size_t i = from; i < buf.size(); ++i) {
        if (buf[i] != kPattern) {
            return false;
        }
    }
    return true;
}

} // namespace

// Library path "/x", nothing else: the smallest block.
TEST(LaunchData, SmallestBlockLayout) {
    RecordingSink quiet;
    JvmlLauncherHandle h = exportContent({"/x", {}, {}, {}});
    ASSERT_NE(nullptr, h);
    ASSERT_EQ(51, api().getJvmlLauncherDataSize(h));

    std::vector<unsigned char> buf(64, kPattern);
    char* b = reinterpret_cast<char*>(buf.data());
    ASSERT_EQ(reinterpret_cast<JvmlLauncherData*>(b),
              api().initJvmlLauncherData(h, b, 51));
    api().closeHandle(h);

    EXPECT_EQ(addr(b, 40), ptrAt(b, 0));
    EXPECT_EQ(0, intAt(b, 8));
    EXPECT_EQ(0, intAt(b, 12));
    EXPECT_EQ(addr(b, 43), ptrAt(b, 16));
    EXPECT_EQ(addr(b, 51), ptrAt(b, 24));
    EXPECT_EQ(addr(b, 51), ptrAt(b, 32));
    EXPECT_EQ(0, std::memcmp(b + 40, "/x", 3));
    EXPECT_EQ(0u, ptrAt(b, 43));
    EXPECT_TRUE(untouchedFrom(buf, 51));
}

// The worked example with a 30-byte path, two arguments and one variable:
// every piece starts right where the previous one ends.
TEST(LaunchData, PackedLayoutWithoutGaps) {
    RecordingSink quiet;
    const std::string path = "/opt/runtime/lib/libjli.dylib!";
    ASSERT_EQ(30u, path.size());
    const Content content{path, {"a", "bc"}, {"N"}, {"v"}};

    JvmlLauncherHandle h = exportContent(content);
    ASSERT_EQ(120, api().getJvmlLauncherDataSize(h));
    std::vector<unsigned char> buf(160, kPattern);
    char* b = reinterpret_cast<char*>(buf.data());
    ASSERT_EQ(reinterpret_cast<JvmlLauncherData*>(b),
              api().initJvmlLauncherData(h, b, 160));
    api().closeHandle(h);

    EXPECT_EQ(addr(b, 40), ptrAt(b, 0));
    EXPECT_EQ(0, std::memcmp(b + 40, path.c_str(), 31));
    EXPECT_EQ(2, intAt(b, 8));
    EXPECT_EQ(1, intAt(b, 12));
    EXPECT_EQ(addr(b, 71), ptrAt(b, 16));
    EXPECT_EQ(addr(b, 95), ptrAt(b, 71));
    EXPECT_EQ(addr(b, 97), ptrAt(b, 79));
    EXPECT_EQ(0u, ptrAt(b, 87));
    EXPECT_EQ(0, std::memcmp(b + 95, "a\0bc", 5));
    EXPECT_EQ(addr(b, 100), ptrAt(b, 24));
    EXPECT_EQ(addr(b, 108), ptrAt(b, 100));
    EXPECT_EQ(0, std::memcmp(b + 108, "N", 2));
    EXPECT_EQ(addr(b, 110), ptrAt(b, 32));
    EXPECT_EQ(addr(b, 118), ptrAt(b, 110));
    EXPECT_EQ(0, std::memcmp(b + 118, "v", 2));
    // Nothing is written past the block in a larger buffer.
    EXPECT_TRUE(untouchedFrom(buf, 120));

    // The same through the plain function, which allocates the block.
    int size = 0;
    JvmlLauncherData* data = jvmLauncherCreateJvmlLauncherData(
            jvmLauncherAPI(), exportContent(content), &size);
    ASSERT_NE(nullptr, data);
    EXPECT_EQ(120, size);
    const char* d = reinterpret_cast<const char*>(data);
    EXPECT_EQ(addr(d, 71), ptrAt(d, 16));
    EXPECT_EQ(addr(d, 118), ptrAt(d, 110));
    std::free(data);
}

// An empty argument is one zero byte with its own array entry.
TEST(LaunchData, EmptyStringsKeepTheirEntries) {
    RecordingSink quiet;
    JvmlLauncherHandle h = exportContent({"/p", {"", "z"}, {"E"}, {""}});
    // 40 + 3 + 3*8 + 1 + 2 + 8 + 2 + 8 + 1
    ASSERT_EQ(89, api().getJvmlLauncherDataSize(h));
    std::vector<unsigned char> buf(89, kPattern);
    char* b = reinterpret_cast<char*>(buf.data());
    ASSERT_NE(nullptr, api().initJvmlLauncherData(h, b, 89));
    api().closeHandle(h);

    EXPECT_EQ(2, intAt(b, 8));
    EXPECT_EQ(addr(b, 43), ptrAt(b, 16));
    EXPECT_EQ(addr(b, 67), ptrAt(b, 43));
    EXPECT_EQ(0, b[67]);
    EXPECT_EQ(addr(b, 68), ptrAt(b, 51));
    EXPECT_EQ(0u, ptrAt(b, 59));
    EXPECT_EQ(addr(b, 70), ptrAt(b, 24));
    EXPECT_EQ(addr(b, 78), ptrAt(b, 70));
    EXPECT_EQ(addr(b, 80), ptrAt(b, 32));
    EXPECT_EQ(addr(b, 88), ptrAt(b, 80));
    EXPECT_EQ(0, b[88]);
}

// Arbitrary content survives byte for byte, and the size is the sum of its
// parts.
TEST(LaunchData, ContentRoundTripsAndSizeAddsUp) {
    RecordingSink quiet;
    const Content cases[] = {
        {"", {}, {}, {}},
        {"/lib with space/libjli.dylib", {"/exe", "-Dk=\xc3\xa4\xff", "\t"},
         {"DYLD_LIBRARY_PATH", "X"}, {"/a:/b", ""}},
        {"/l", {std::string(1000, 'q'), "", "", "end"}, {"A", "B", "C"},
         {"1", "22", "333"}},
    };
    for (const Content& c : cases) {
        std::size_t expectedSize = 40 + c.path.size() + 1
                + 8 * (c.args.size() + 1) + 8 * c.names.size()
                + 8 * c.values.size();
        for (const StringArray* list : {&c.args, &c.names, &c.values}) {
            for (const std::string& s : *list) {
                expectedSize += s.size() + 1;
            }
        }
        JvmlLauncherHandle h = exportContent(c);
        const int size = api().getJvmlLauncherDataSize(h);
        ASSERT_EQ(static_cast<int>(expectedSize), size);
        std::vector<unsigned char> buf(expectedSize + 16, kPattern);
        char* b = reinterpret_cast<char*>(buf.data());
        ASSERT_NE(nullptr, api().initJvmlLauncherData(h, b, size));
        api().closeHandle(h);

        EXPECT_EQ(c.path, reinterpret_cast<const char*>(ptrAt(b, 0)));
        const int argc = intAt(b, 8);
        const int envc = intAt(b, 12);
        ASSERT_EQ(static_cast<int>(c.args.size()), argc);
        ASSERT_EQ(static_cast<int>(c.names.size()), envc);
        const std::size_t argv = ptrAt(b, 16) - addr(b, 0);
        EXPECT_EQ(c.args, stringsAt(b, argv, argc));
        EXPECT_EQ(0u, ptrAt(b, argv + 8 * c.args.size()));
        EXPECT_EQ(c.names, stringsAt(b, ptrAt(b, 24) - addr(b, 0), envc));
        EXPECT_EQ(c.values, stringsAt(b, ptrAt(b, 32) - addr(b, 0), envc));
        EXPECT_TRUE(untouchedFrom(buf, expectedSize));
    }
}

// A buffer one byte short is not written at all; exact and larger ones are.
TEST(LaunchData, BufferSizeIsChecked) {
    RecordingSink quiet;
    JvmlLauncherHandle h = exportContent({"/x", {"arg"}, {"N"}, {"v"}});
    const int size = api().getJvmlLauncherDataSize(h);
    ASSERT_GT(size, 40);

    for (const int bufferSize : {size - 1, 0, -1, INT_MIN}) {
        std::vector<unsigned char> buf(static_cast<std::size_t>(size) + 8,
                                       kPattern);
        EXPECT_EQ(nullptr, api().initJvmlLauncherData(h, buf.data(),
                                                      bufferSize));
        EXPECT_TRUE(untouchedFrom(buf, 0)) << bufferSize;
    }
    std::vector<unsigned char> exact(static_cast<std::size_t>(size), kPattern);
    EXPECT_EQ(reinterpret_cast<JvmlLauncherData*>(exact.data()),
              api().initJvmlLauncherData(h, exact.data(), size));
    std::vector<unsigned char> larger(static_cast<std::size_t>(size) + 100,
                                      kPattern);
    EXPECT_EQ(reinterpret_cast<JvmlLauncherData*>(larger.data()),
              api().initJvmlLauncherData(h, larger.data(), size + 100));
    EXPECT_TRUE(untouchedFrom(larger, static_cast<std::size_t>(size)));
    // The same block except for the addresses, which point into each buffer.
    EXPECT_EQ(0, std::memcmp(exact.data() + 8, larger.data() + 8, 8));
    const std::size_t body = 40;
    EXPECT_EQ(addr(reinterpret_cast<char*>(exact.data()), body),
              ptrAt(reinterpret_cast<char*>(exact.data()), 0));
    EXPECT_EQ(addr(reinterpret_cast<char*>(larger.data()), body),
              ptrAt(reinterpret_cast<char*>(larger.data()), 0));
    api().closeHandle(h);
    api().closeHandle(nullptr);
}

// The handle is a copy: changing the Jvm afterwards does not change it.
TEST(LaunchData, ExportedHandleIsACopy) {
    RecordingSink quiet;
    Jvm jvm;
    jvm.setPath("/x");
    jvm.addArgument("a");
    jvm.addEnvVariable("N", "v");
    JvmlLauncherHandle h = jvm.exportLauncher();
    jvm.setPath("/longer/path");
    jvm.addArgument("b");
    jvm.addEnvVariable("M", "w");

    const int size = api().getJvmlLauncherDataSize(h);
    EXPECT_EQ(40 + 3 + 16 + 2 + 8 + 2 + 8 + 2, size);
    std::vector<unsigned char> buf(static_cast<std::size_t>(size));
    char* b = reinterpret_cast<char*>(buf.data());
    ASSERT_NE(nullptr, api().initJvmlLauncherData(h, b, size));
    api().closeHandle(h);
    EXPECT_STREQ("/x", reinterpret_cast<const char*>(ptrAt(b, 0)));
    EXPECT_EQ(1, intAt(b, 8));
    EXPECT_EQ(1, intAt(b, 12));
}

// Measuring traces the size; writing measures first and then traces the
// size and the block's address.
TEST(LaunchData, TraceLines) {
    RecordingSink quiet;
    JvmlLauncherHandle h = exportContent({"/x", {"a"}, {}, {}});
    std::vector<unsigned char> buf(64, kPattern);
    {
        RecordingSink sink;
        ASSERT_EQ(61, api().getJvmlLauncherDataSize(h));
        ASSERT_EQ(1u, sink.events.size());
        const LogEvent& need = sink.events[0];
        EXPECT_EQ("TRACE", need.levelName);
        EXPECT_EQ("Need 61 bytes for JvmlLauncherData buffer", need.message);
        EXPECT_EQ("JvmLauncher.cpp", need.sourceFile);
        EXPECT_EQ("initJvmlLauncherData", need.functionName);
    }
    {
        RecordingSink sink;
        ASSERT_EQ(nullptr, api().initJvmlLauncherData(h, buf.data(), 60));
        EXPECT_EQ((std::vector<std::string>{
                          "Need 61 bytes for JvmlLauncherData buffer"}),
                  sink.messages());
    }
    {
        RecordingSink sink;
        ASSERT_NE(nullptr, api().initJvmlLauncherData(h, buf.data(), 64));
        EXPECT_EQ((std::vector<std::string>{
                          "Need 61 bytes for JvmlLauncherData buffer",
                          "Initialized 61 bytes at "
                                  + pointerText(buf.data()) + " address"}),
                  sink.messages());
        ASSERT_EQ(2u, sink.events.size());
        const LogEvent& done = sink.events[1];
        EXPECT_EQ("TRACE", done.levelName);
        EXPECT_EQ("JvmLauncher.cpp", done.sourceFile);
        EXPECT_EQ("initJvmlLauncherData", done.functionName);
        EXPECT_NE(sink.events[0].lineNumber, done.lineNumber);
    }
    {
        RecordingSink sink;
        api().closeHandle(h);
        EXPECT_TRUE(sink.events.empty());
    }
}

// A block beyond 2 GiB does not fit the format's 32-bit size: the callbacks
// fail with an ERROR record instead of a wrapped size, nothing is written,
// and launching refuses to go on. Slow: it copies a 2 GiB path three times.
TEST(LaunchDataLarge, BlockBeyond32BitsFailsCleanly) {
    RecordingSink quiet;
    std::unique_ptr<Jvm> jvm(new Jvm());
    {
        const std::string huge(std::size_t(1) << 31, 'p');
        jvm->setPath(huge);
    }
    jvm->addArgument("/exe");

    JvmlLauncherHandle h = jvm->exportLauncher();
    {
        RecordingSink sink;
        EXPECT_EQ(-1, api().getJvmlLauncherDataSize(h));
        ASSERT_EQ(1u, sink.events.size());
        EXPECT_EQ("ERROR", sink.events[0].levelName);
        EXPECT_EQ("getJvmlLauncherDataSize", sink.events[0].functionName);
        EXPECT_EQ("JvmLauncher.cpp", sink.events[0].sourceFile);
        EXPECT_EQ(0u, sink.events[0].message.find("Exception with message '"))
                << sink.events[0].message;
    }
    {
        // The buffer claims to be as large as possible; it must not be
        // written to.
        std::vector<unsigned char> buf(4096, kPattern);
        RecordingSink sink;
        EXPECT_EQ(nullptr,
                  api().initJvmlLauncherData(h, buf.data(), INT_MAX));
        EXPECT_TRUE(untouchedFrom(buf, 0));
        ASSERT_EQ(1u, sink.events.size());
        EXPECT_EQ("ERROR", sink.events[0].levelName);
        EXPECT_EQ("initJvmlLauncherData", sink.events[0].functionName);
    }
    api().closeHandle(h);

    RecordingSink sink;
    try {
        jvm->launch();
        FAIL() << "launch succeeded";
    } catch (const VtError<std::runtime_error>& e) {
        EXPECT_STREQ("Failed to prepare the launch data of the JVM",
                     e.rawMessage());
    }
    ASSERT_FALSE(sink.events.empty());
    EXPECT_EQ("ERROR", sink.events[0].levelName);
    EXPECT_EQ("getJvmlLauncherDataSize", sink.events[0].functionName);
    // No library was loaded.
    for (const LogEvent& e : sink.events) {
        EXPECT_EQ(std::string::npos, e.message.find("JVM library"));
    }
}
