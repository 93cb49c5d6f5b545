// Fuzzes the road from configuration file bytes to the launch data block:
// CfgFile::load (against a plain reading of the format), expandMacros with the three macros the launcher supplies,
// Jvm::initFromConfigFile, then measuring and filling the flat block through
// the callback table. Every pointer in the filled block must stay inside it,
// the layout must be the packed one, and the strings must be the Jvm's own.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>

#include "CfgFile.h"
#include "ErrorHandling.h"
#include "FileUtils.h"
#include "FuzzSupport.h"
#include "JvmLauncher.h"
#include "Log.h"
#include "SysInfo.h"

namespace {

const char* const rootDir = "/Applications/Demo.app";
const char* const appDir = "/Applications/Demo.app/Contents/app";
const char* const binDir = "/Applications/Demo.app/Contents/MacOS";
const char* const runtimeDir = "/Applications/Demo.app/Contents/runtime";
const char* const jliSuffix = "/Contents/Home/lib/libjli.dylib";

std::string executablePath;
NopLogAppender nopAppender;

ScratchFile& cfgFileOnDisk() {
    static ScratchFile file("Demo.cfg");
    return file;
}

const CfgFile::SectionId* const allSections[] = {
    &SectionName::Application,
    &SectionName::JavaOptions,
    &SectionName::AppCDSJavaOptions,
    &SectionName::AppCDSGenerateCacheJavaOptions,
    &SectionName::ArgOptions,
};

// The file format read the plain way, section and property names as text:
// lines end at line feeds; empty and ";" lines are skipped; "[" opens a
// section whose name runs to the last "]"; any other line is a property
// split at the first "=" that has no backslash before it. A section's lines
// replace an earlier occurrence's as a whole, at the next header or at the
// end, unless they hold no recognized property. False for a header without
// its "]".
typedef std::map<std::string, std::map<std::string, StringArray>> TextSections;

bool expectedLoad(const std::uint8_t* data, std::size_t size,
                  TextSections& out) {
    static const char* const sectionTexts[] = {
        "Application", "JavaOptions", "AppCDSJavaOptions",
        "AppCDSGenerateCacheJavaOptions", "ArgOptions"};
    static const char* const propertyTexts[] = {
        "app.version", "app.mainjar", "app.mainmodule", "app.mainclass",
        "app.classpath", "app.modulepath", "app.runtime", "app.splash",
        "app.memory", "app.cds", "app.locked", "arguments", "java-options"};
    auto known = [](const auto& texts, const std::string& name) {
        for (const char* text : texts) {
            if (name == text) {
                return true;
            }
        }
        return false;
    };

    // The last line needs no line feed; a final line feed ends no line.
    StringArray lines = splitAtLineFeeds(data, size);
    if (lines.back().empty()) {
        lines.pop_back();
    }

    std::string current;
    std::map<std::string, StringArray> pending;
    auto purge = [&]() {
        if (!current.empty() && !pending.empty()) {
            out[current] = pending;
            current.clear();
            pending.clear();
        }
    };
    for (const std::string& l : lines) {
        if (l.empty() || l[0] == ';') {
            continue;
        }
        if (l[0] == '[') {
            const std::size_t close = l.rfind(']');
            if (close == std::string::npos) {
                return false;
            }
            purge();
            const std::string name = l.substr(1, close - 1);
            current = known(sectionTexts, name) ? name : std::string();
            continue;
        }
        if (current.empty()) {
            continue;
        }
        std::size_t sep = 0;
        while (sep < l.size() && !(l[sep] == '=' && (sep == 0 || l[sep - 1] != '\\'))) {
            ++sep;
        }
        const std::string name = l.substr(0, sep);
        if (known(propertyTexts, name)) {
            pending[name].push_back(sep < l.size() ? l.substr(sep + 1)
                                                   : std::string());
        }
    }
    purge();
    return true;
}

void checkLoaded(const CfgFile& loaded, const TextSections& expected) {
    std::size_t sectionsSeen = 0;
    for (const CfgFile::SectionId* section : allSections) {
        const CfgFile::Properties& props = loaded.getProperties(*section);
        const TextSections::const_iterator want =
                expected.find(section->name());
        if (want == expected.end()) {
            CHECK(props.empty());
            continue;
        }
        ++sectionsSeen;
        CHECK(props.size() == want->second.size());
        for (const CfgFile::Properties::value_type& p : props) {
            const std::map<std::string, StringArray>::const_iterator values =
                    want->second.find(p.first.name());
            CHECK(values != want->second.end());
            CHECK(p.second == values->second);
        }
    }
    CHECK(sectionsSeen == expected.size());
}

// What expandMacros must make of one value: passes over the macros in key
// order until a pass changes nothing. With the launcher's macro texts (none
// contains a macro name) that happens after at most two passes.
std::string expectedExpansion(std::string value,
                              const CfgFile::Macros& macros) {
    for (int pass = 0; pass != 4; ++pass) {
        std::string next = value;
        for (const CfgFile::Macros::value_type& m : macros) {
            next = naiveReplace(next, m.first, m.second);
        }
        if (next == value) {
            return value;
        }
        value.swap(next);
    }
    CHECK(!"expansion with the launcher's macros did not settle");
    return value;
}

// Both files hold the same sections and properties with the same number of
// values, and each expanded value is what the macros make of the original.
void checkExpansion(const CfgFile& loaded, const CfgFile& expanded,
                    const CfgFile::Macros& macros) {
    for (const CfgFile::SectionId* section : allSections) {
        const CfgFile::Properties& before = loaded.getProperties(*section);
        const CfgFile::Properties& after = expanded.getProperties(*section);
        CHECK(before.size() == after.size());
        CfgFile::Properties::const_iterator a = after.begin();
        for (const CfgFile::Properties::value_type& p : before) {
            CHECK(p.first == a->first);
            CHECK(!p.second.empty());
            CHECK(p.second.size() == a->second.size());
            for (std::size_t i = 0; i != p.second.size(); ++i) {
                CHECK(a->second[i] == expectedExpansion(p.second[i], macros));
                for (const CfgFile::Macros::value_type& m : macros) {
                    CHECK(a->second[i].find(m.first) == std::string::npos);
                }
            }
            ++a;
        }
    }
}

// A string as every C reader of the block sees it: cut at its first NUL.
std::string cText(const std::string& s) {
    return s.substr(0, s.find('\0'));
}

class BlockChecker {
public:
    BlockChecker(const char* base, std::size_t size)
        : base(base), end(base + size), cursor(base + sizeof(JvmlLauncherData)) {}

    // The string at `p` must start at the cursor, end inside the block and
    // read as `expected`.
    void string(const char* p, const std::string& expected) {
        CHECK(p >= base && p < end);
        CHECK(p == cursor);
        const void* nul = std::memchr(p, 0, static_cast<std::size_t>(end - p));
        CHECK(nul != nullptr);
        CHECK(std::string(p) == cText(expected));
        // The copy is byte for byte, embedded NUL bytes included.
        CHECK(static_cast<std::size_t>(end - p) >= expected.size() + 1);
        CHECK(std::memcmp(p, expected.data(), expected.size()) == 0);
        CHECK(p[expected.size()] == '\0');
        cursor = p + expected.size() + 1;
    }

    // A pointer array of `count` entries at `array`, right at the cursor;
    // entries are read byte-wise since the array may sit at any offset.
    void array(char* const* array, std::size_t count, const StringArray& strings,
               bool nullTerminated) {
        const char* a = reinterpret_cast<const char*>(array);
        const std::size_t entries = count + (nullTerminated ? 1 : 0);
        CHECK(a >= base && a <= end);
        CHECK(a == cursor);
        CHECK(static_cast<std::size_t>(end - a) >= entries * sizeof(char*));
        CHECK(count == strings.size());
        cursor = a + entries * sizeof(char*);
        for (std::size_t i = 0; i != count; ++i) {
            string(entry(a, i), strings[i]);
        }
        if (nullTerminated) {
            CHECK(entry(a, count) == nullptr);
        }
    }

    bool atEnd() const { return cursor == end; }

private:
    static const char* entry(const char* array, std::size_t i) {
        const char* value;
        std::memcpy(&value, array + i * sizeof(char*), sizeof(value));
        return value;
    }

    const char* base;
    const char* end;
    const char* cursor;
};

std::size_t stringsSize(const StringArray& strings) {
    std::size_t size = 0;
    for (const std::string& s : strings) {
        size += s.size() + 1;
    }
    return size;
}

void checkBlock(const Jvm& jvm) {
    const JvmlLauncherAPI* api = jvmLauncherAPI();
    const JvmlLauncherHandle handle = jvm.exportLauncher();
    CHECK(handle != nullptr);

    const int measured = api->getJvmlLauncherDataSize(handle);
    const std::size_t expectedSize = sizeof(JvmlLauncherData)
            + jvm.getPath().size() + 1
            + sizeof(char*) * (jvm.getArguments().size() + 1)
            + stringsSize(jvm.getArguments())
            + sizeof(char*) * jvm.getEnvVariableNames().size()
            + stringsSize(jvm.getEnvVariableNames())
            + sizeof(char*) * jvm.getEnvVariableValues().size()
            + stringsSize(jvm.getEnvVariableValues());
    CHECK(measured > 0);
    const std::size_t size = static_cast<std::size_t>(measured);
    CHECK(size == expectedSize);

    // One byte too few: refused, nothing written.
    char* small = static_cast<char*>(std::malloc(size - 1));
    CHECK(small != nullptr);
    std::memset(small, 0xA5, size - 1);
    CHECK(api->initJvmlLauncherData(handle, small, measured - 1) == nullptr);
    for (std::size_t i = 0; i != size - 1; ++i) {
        CHECK(static_cast<unsigned char>(small[i]) == 0xA5);
    }
    std::free(small);

    // Exactly the measured size: the whole block, nothing beyond it (ASan
    // catches a write past the end).
    char* buffer = static_cast<char*>(std::malloc(size));
    CHECK(buffer != nullptr);
    JvmlLauncherData* filled =
            api->initJvmlLauncherData(handle, buffer, measured);
    CHECK(filled == reinterpret_cast<JvmlLauncherData*>(buffer));

    JvmlLauncherData header;
    std::memcpy(&header, buffer, sizeof(header));
    CHECK(header.jliLaunchArgc >= 0);
    CHECK(static_cast<std::size_t>(header.jliLaunchArgc)
          == jvm.getArguments().size());
    CHECK(header.envVarCount >= 0);
    CHECK(static_cast<std::size_t>(header.envVarCount)
          == jvm.getEnvVariableNames().size());

    BlockChecker block(buffer, size);
    block.string(header.jliLibPath, jvm.getPath());
    block.array(header.jliLaunchArgv,
                static_cast<std::size_t>(header.jliLaunchArgc),
                jvm.getArguments(), true);
    block.array(header.envVarNames,
                static_cast<std::size_t>(header.envVarCount),
                jvm.getEnvVariableNames(), false);
    block.array(header.envVarValues, jvm.getEnvVariableValues().size(),
                jvm.getEnvVariableValues(), false);
    CHECK(block.atEnd());

    std::free(buffer);
    api->closeHandle(handle);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    Logger::defaultLogger().installAppender(nopAppender);
    cfgFileOnDisk();
    executablePath = SysInfo::getProcessModulePath();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
    ScratchFile& file = cfgFileOnDisk();
    file.write(data, size);

    CfgFile::Macros macros;
    macros["$APPDIR"] = appDir;
    macros["$BINDIR"] = binDir;
    macros["$ROOTDIR"] = rootDir;

    TextSections expected;
    const bool parses = expectedLoad(data, size, expected);

    CfgFile cfgFile;
    try {
        const CfgFile loaded = CfgFile::load(file.path());
        CHECK(parses);
        checkLoaded(loaded, expected);
        cfgFile = loaded.expandMacros(macros);
        checkExpansion(loaded, cfgFile, macros);
    } catch (const VtErrorBase&) {
        // A header without "]" is the only failure a readable file can give.
        CHECK(!parses);
        return 0;
    }

    // What the application launcher does with a loaded configuration.
    Jvm jvm;
    jvm.addEnvVariable("DYLD_LIBRARY_PATH", appDir);
    const CfgFile::Properties& app =
            cfgFile.getProperties(SectionName::Application);
    const CfgFile::Properties::const_iterator runtime =
            app.find(PropertyName::runtime);
    jvm.setPath(FileUtils::combinePath(
            runtime == app.end() ? runtimeDir : CfgFile::asString(*runtime),
            jliSuffix));
    jvm.addArgument(executablePath);
    jvm.initFromConfigFile(cfgFile);

    const StringArray& args = jvm.getArguments();
    CHECK(args.size() >= 2);
    CHECK(args[0] == executablePath);
    bool appPathSeen = false;
    for (const std::string& arg : args) {
        appPathSeen = appPathSeen
                || arg == "-Dvantry.app-path=" + executablePath;
    }
    CHECK(appPathSeen);

    checkBlock(jvm);
    return 0;
}
