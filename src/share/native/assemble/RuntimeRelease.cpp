#include "RuntimeRelease.h"

#include <algorithm>
#include <map>

#include "ErrorHandling.h"
#include "ReleaseFile.h"

namespace {

std::string architectureName(const std::string& osArch) {
    if (osArch == "x86_64" || osArch == "amd64") {
        return "x86_64";
    }
    if (osArch == "aarch64" || osArch == "arm64") {
        return "arm64";
    }
    return osArch;
}

bool has(const StringArray& list, const std::string& item) {
    return std::find(list.begin(), list.end(), item) != list.end();
}

} // namespace

RuntimeRelease parseRelease(const std::string& text) {
    const std::map<std::string, std::string> values = ReleaseFile::parse(text);
    RuntimeRelease release;
    for (const auto& value : values) {
        if (value.first == "OS_NAME") {
            release.osName = value.second;
        } else if (value.first == "OS_ARCH") {
            release.architectures = StringArray{architectureName(value.second)};
        } else if (value.first == "JAVA_VERSION") {
            release.javaVersion = value.second;
        } else if (value.first == "MODULES") {
            tstrings::split(release.modules, value.second, " ",
                            tstrings::SPLIT_EXCLUDE_EMPTY);
        }
    }
    return release;
}

void completeFromLibrary(RuntimeRelease& release, const ExecutableInfo& jli) {
    if (release.osName.empty()) {
        release.osName = systemOf(jli.format);
    }
    if (release.architectures.empty()) {
        release.architectures = jli.architectures;
    }
}

void checkRuntimeFits(const RuntimeRelease& release,
                      const std::string& runtimePath,
                      const ExecutableInfo& launcher,
                      const std::string& launcherPath) {
    const std::string system = systemOf(launcher.format);
    if (release.osName.empty() || release.architectures.empty()) {
        VT_THROW(tstrings::any() << "Cannot tell the system and architecture "
                 "of the runtime \"" << runtimePath << "\": its release file "
                 "names none (OS_NAME, OS_ARCH) and its libjli is no Mach-O "
                 "or ELF file");
    }
    if (release.osName != system
            || commonArchitectures(launcher, release).empty()) {
        const StringArray& archs = launcher.architectures;
        const StringArray& own = release.architectures;
        VT_THROW(tstrings::any() << "The runtime \"" << runtimePath
                 << "\" is built for " << release.osName << " "
                 << tstrings::join(own.begin(), own.end(), ", ")
                 << ", but the launcher \""
                 << launcherPath << "\" (" << formatName(launcher.format)
                 << ": " << tstrings::join(archs.begin(), archs.end(), ", ")
                 << ") runs " << system << " runtimes for "
                 << tstrings::join(archs.begin(), archs.end(), " or "));
    }
}

StringArray commonArchitectures(const ExecutableInfo& launcher,
                                const RuntimeRelease& release) {
    StringArray common;
    for (const char* arch : {"arm64", "x86_64"}) {
        if (has(launcher.architectures, arch)
                && has(release.architectures, arch)) {
            common.push_back(arch);
        }
    }
    return common;
}
