#include "PackageFile.h"

#include "ErrorHandling.h"
#include "FileUtils.h"
#include "LineReader.h"
#include "Log.h"

PackageFile PackageFile::loadFromAppDir(const std::string& appDir) {
    const std::string path = FileUtils::combinePath(
            FileUtils::combinePath(std::string(), appDir), ".package");
    std::string packageName;
    if (!FileUtils::isFileExists(path)) {
        return PackageFile(packageName);
    }

    LOG_TRACE("Read \"" << path << "\" package file");

    LineReader reader(path);
    if (!reader.isOpen()) {
        VT_THROW(tstrings::any() << "Error opening \"" << path << "\" file: "
                                 << lastCRTError());
    }

    if (reader.next(packageName)) {
        LOG_TRACE("Package name is [" << packageName << "]");
    }
    return PackageFile(packageName);
}
