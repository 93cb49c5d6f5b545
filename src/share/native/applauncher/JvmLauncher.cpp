#include "JvmLauncher.h"

#include <climits>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "Dll.h"
#include "ErrorHandling.h"
#include "Log.h"
#include "RuntimeArguments.h"
#include "SysInfo.h"

static_assert(sizeof(void*) == 8, "the launch data block is 64-bit only");
static_assert(offsetof(JvmlLauncherData, jliLibPath) == 0, "block layout");
static_assert(offsetof(JvmlLauncherData, jliLaunchArgc) == 8, "block layout");
static_assert(offsetof(JvmlLauncherData, envVarCount) == 12, "block layout");
static_assert(offsetof(JvmlLauncherData, jliLaunchArgv) == 16, "block layout");
static_assert(offsetof(JvmlLauncherData, envVarNames) == 24, "block layout");
static_assert(offsetof(JvmlLauncherData, envVarValues) == 32, "block layout");
static_assert(sizeof(JvmlLauncherData) == 40, "block layout");

namespace {

// Walks the block's body. With a null base it only measures; with a buffer
// it also writes. Pointer arrays may sit at any offset, so their entries are
// written byte-wise.
class BlockCursor {
public:
    explicit BlockCursor(char* base)
        : base(base), offset(sizeof(JvmlLauncherData)) {}

    std::size_t size() const { return offset; }

    /// Copies the string and its zero byte; returns where it went.
    char* putString(const std::string& s) {
        char* dest = at(offset);
        if (dest != nullptr) {
            std::memcpy(dest, s.c_str(), s.size() + 1);
        }
        offset += s.size() + 1;
        return dest;
    }

    /// Reserves an array of `count` pointers; returns where it starts.
    char** putArray(std::size_t count) {
        char** array = reinterpret_cast<char**>(at(offset));
        offset += count * sizeof(char*);
        return array;
    }

    void setEntry(char** array, std::size_t index, const char* value) {
        if (base != nullptr) {
            std::memcpy(reinterpret_cast<char*>(array) + index * sizeof(char*),
                        &value, sizeof(value));
        }
    }

    /// An array of pointers to copies of `strings`.
    char** putStrings(const StringArray& strings, bool nullTerminated) {
        char** array = putArray(strings.size() + (nullTerminated ? 1 : 0));
        for (std::size_t i = 0; i != strings.size(); ++i) {
            setEntry(array, i, putString(strings[i]));
        }
        if (nullTerminated) {
            setEntry(array, strings.size(), nullptr);
        }
        return array;
    }

private:
    char* at(std::size_t pos) const { return base ? base + pos : nullptr; }

    char* base;
    std::size_t offset;
};

class JliLaunchData {
public:
    std::string jliLibPath;
    StringArray args;
    StringArray envVarNames;
    StringArray envVarValues;

    /// Writes the block at `ptr`, or only measures it when `ptr` is null;
    /// returns its size either way. Throws when the block does not fit the
    /// format's 32-bit sizes and counts.
    int initJvmlLauncherData(JvmlLauncherData* ptr) const {
        char* base = reinterpret_cast<char*>(ptr);
        BlockCursor cursor(base);
        JvmlLauncherData header;
        header.jliLibPath = cursor.putString(jliLibPath);
        header.jliLaunchArgc = static_cast<int>(args.size());
        header.jliLaunchArgv = cursor.putStrings(args, true);
        header.envVarCount = static_cast<int>(envVarNames.size());
        header.envVarNames = cursor.putStrings(envVarNames, false);
        header.envVarValues = cursor.putStrings(envVarValues, false);
        const std::size_t size = cursor.size();
        if (size > INT_MAX || args.size() >= INT_MAX) {
            VT_THROW(tstrings::any() << "The launch data of "
                     << static_cast<unsigned long long>(size) << " bytes for "
                     << static_cast<unsigned long long>(args.size())
                     << " arguments exceeds the limit of " << INT_MAX
                     << " bytes");
        }
        if (base != nullptr) {
            std::memcpy(base, &header, sizeof(header));
            LOG_TRACE("Initialized " << static_cast<int>(size) << " bytes at "
                      << static_cast<const void*>(ptr) << " address");
        } else {
            LOG_TRACE("Need " << static_cast<int>(size)
                      << " bytes for JvmlLauncherData buffer");
        }
        return static_cast<int>(size);
    }
};

JliLaunchData* toData(JvmlLauncherHandle h) {
    return static_cast<JliLaunchData*>(h);
}

void closeHandle(JvmlLauncherHandle h) {
    delete toData(h);
}

int getJvmlLauncherDataSize(JvmlLauncherHandle h) {
    try {
        return toData(h)->initJvmlLauncherData(nullptr);
    } catch (...) {
        reportCurrentError(VT_SOURCE_CODE_POS);
    }
    return -1;
}

JvmlLauncherData* initJvmlLauncherData(JvmlLauncherHandle h, void* ptr,
                                       int bufferSize) {
    try {
        const JliLaunchData* data = toData(h);
        if (data->initJvmlLauncherData(nullptr) > bufferSize) {
            return nullptr;
        }
        JvmlLauncherData* block = static_cast<JvmlLauncherData*>(ptr);
        data->initJvmlLauncherData(block);
        return block;
    } catch (...) {
        reportCurrentError(VT_SOURCE_CODE_POS);
    }
    return nullptr;
}

const JvmlLauncherAPI api = {
    closeHandle,
    getJvmlLauncherDataSize,
    initJvmlLauncherData
};

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};

// Written by the entry that called JLI_Launch, read after it returned.
bool runtimeStartFailed = false;

} // namespace

bool hasRuntimeStartFailed() {
    return runtimeStartFailed;
}

const JvmlLauncherAPI* jvmLauncherAPI() {
    return &api;
}

Jvm::Jvm() {
    LOG_TRACE("Jvm(" << static_cast<const void*>(this) << ")::Jvm()");
}

Jvm::~Jvm() {
    LOG_TRACE("Jvm(" << static_cast<const void*>(this) << ")::~Jvm()");
}

Jvm& Jvm::initFromConfigFile(const CfgFile& cfgFile,
                              const StringArray& moreOptions) {
    const RuntimeArguments built = runtimeArguments(
            cfgFile, moreOptions, SysInfo::getProcessModulePath());
    if (built.splashLeftOut) {
        LOG_WARNING("Splash property ignored. File \"" << built.missingSplash
                    << "\" not found");
    }
    const std::size_t before = args.size();
    args.insert(args.end(), built.args.begin(), built.args.end());
    optionsEnd = before + built.optionsEnd;
    appArgsPos = before + built.appArgsPos;
    mainTarget = built.mainTarget;
    return *this;
}

Jvm& Jvm::insertOptions(const StringArray& options) {
    args.insert(args.begin() + static_cast<std::ptrdiff_t>(optionsEnd),
                options.begin(), options.end());
    optionsEnd += options.size();
    appArgsPos += options.size();
    return *this;
}

Jvm& Jvm::setApplicationArguments(const StringArray& appArgs) {
    args.resize(appArgsPos);
    args.insert(args.end(), appArgs.begin(), appArgs.end());
    return *this;
}

JvmlLauncherHandle Jvm::exportLauncher() const {
    std::unique_ptr<JliLaunchData> result(new JliLaunchData());
    result->jliLibPath = jvmPath;
    result->args = args;
    result->envVarNames = envVarNames;
    result->envVarValues = envVarValues;
    return result.release();
}

void Jvm::launch() {
    const std::unique_ptr<JvmlLauncherData, FreeDeleter> block(
            jvmLauncherCreateJvmlLauncherData(&api, exportLauncher(), nullptr));
    if (!block) {
        VT_THROW(tstrings::any() << "Failed to prepare the launch data of the"
                                    " JVM");
    }

    LOG_TRACE("JVM library: \"" << jvmPath << "\"");

    const DllFunction<void*> func{Dll(jvmPath), "JLI_Launch"};
    const int exitStatus = jvmLauncherStartJvm(block.get(), func);
    if (exitStatus != 0) {
        runtimeStartFailed = true;
        VT_THROW("Failed to launch JVM");
    }
}
