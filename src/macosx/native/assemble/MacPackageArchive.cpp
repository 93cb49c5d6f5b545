#include "PackageArchive.h"

#include "ErrorHandling.h"
#include "FileUtils.h"
#include "Process.h"

namespace {

[[noreturn]] void linuxOnly(const std::string& path) {
    VT_THROW(tstrings::any() << "\"" << FileUtils::basename(path)
             << "\": tar.gz and deb packages are made on Linux");
}

} // namespace

void writeTarGz(const ArchiveEntries&, const std::string& path, long long,
                int) {
    linuxOnly(path);
}

void writeZip(const ArchiveEntries&, const std::string& path, long long) {
    linuxOnly(path);
}

void writeAr(const std::vector<std::pair<std::string, std::string>>&,
             const std::string& path, long long) {
    linuxOnly(path);
}

void zipFolder(const std::string& folder, const std::string& path,
               long long) {
    const Process::Outcome outcome = Process::run(
            "/usr/bin/ditto", {"-c", "-k", "--keepParent", folder, path});
    if (outcome.status != 0) {
        VT_THROW(tstrings::any() << "ditto failed on \""
                 << FileUtils::basename(path) << "\" (exit status "
                 << outcome.status << "): "
                 << Process::lastLine(outcome.output));
    }
}
