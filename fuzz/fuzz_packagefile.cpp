// Fuzzes the package file reader: whatever the bytes of ".package", the
// package name is exactly the bytes before the first line feed (all of them
// when there is none), carriage returns, NUL bytes and all.
#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzSupport.h"
#include "Log.h"
#include "PackageFile.h"

namespace {

NopLogAppender nopAppender;

ScratchFile& packageFile() {
    static ScratchFile file(".package");
    return file;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    Logger::defaultLogger().installAppender(nopAppender);
    packageFile();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
    ScratchFile& file = packageFile();
    file.write(data, size);

    std::size_t lineLength = 0;
    while (lineLength != size && data[lineLength] != '\n') {
        ++lineLength;
    }
    const std::string expected(data, data + lineLength);

    // The directory as the launcher derives it, and with a trailing slash.
    CHECK(PackageFile::loadFromAppDir(file.dir()).getPackageName() == expected);
    CHECK(PackageFile::loadFromAppDir(file.dir() + "/").getPackageName()
          == expected);
    return 0;
}
