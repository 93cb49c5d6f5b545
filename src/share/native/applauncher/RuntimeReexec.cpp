#include "RuntimeReexec.h"

#include <cstdint>
#include <cstring>
#include <memory>

#include "JvmLauncher.h"
#include "Log.h"
#include "SysInfo.h"

namespace RuntimeReexec {

const char* const markerVariable = "VANTRY_LAUNCHER_REEXEC";

namespace {

// Mixes 64 bits into the hash: a multiply and an xor-shift. Not meant to
// resist anybody: whoever sets this process's environment controls it anyway.
std::uint64_t mix(std::uint64_t hash, std::uint64_t word) {
    hash = (hash ^ word) * 0x9e3779b97f4a7c15ull;
    return hash ^ (hash >> 29);
}

// A fingerprint of the vector, computed at every start and so eight bytes at
// a time: the number of arguments, then each argument's length, its whole
// 8-byte words and one word with the bytes after them.
std::string fingerprint(const StringArray& args) {
    std::uint64_t hash = mix(0, args.size());
    for (const std::string& arg : args) {
        hash = mix(hash, arg.size());
        const std::size_t whole = arg.size() / 8 * 8;
        for (std::size_t i = 0; i != whole; i += 8) {
            std::uint64_t word;
            std::memcpy(&word, arg.data() + i, sizeof(word));
            hash = mix(hash, word);
        }
        std::uint64_t tail = 0;
        for (std::size_t i = whole; i != arg.size(); ++i) {
            tail = (tail << 8) | static_cast<unsigned char>(arg[i]);
        }
        hash = mix(hash, tail);
    }
    std::string text(16, '0');
    for (std::size_t i = text.size(); i-- > 0; hash >>= 4) {
        text[i] = "0123456789abcdef"[hash & 0xf];
    }
    return text;
}

// The marker's text up to the library path.
std::string markerPrefix(const StringArray& args) {
    return std::to_string(SysInfo::getProcessId()) + " " + fingerprint(args)
           + " ";
}

} // namespace

void mark(const Jvm& jvm) {
    SysInfo::setEnvVariable(markerVariable,
                            markerPrefix(jvm.getArguments()) + jvm.getPath());
}

Jvm* findReexecutedJvm(int argc, const char* const* argv) {
    const std::string marker =
            SysInfo::getEnvVariable(std::nothrow, markerVariable, "");
    if (marker.empty()) {
        return nullptr;
    }
    const StringArray args(argv, argv + argc);
    const std::string prefix = markerPrefix(args);
    if (marker.size() <= prefix.size()
            || marker.compare(0, prefix.size(), prefix) != 0) {
        return nullptr;
    }
    const std::string libPath = marker.substr(prefix.size());
    LOG_TRACE("Executed again by the runtime's launcher library: handing on"
              " its " << args.size() << " arguments to \"" << libPath << "\"");
    std::unique_ptr<Jvm> jvm(new Jvm());
    jvm->setPath(libPath);
    for (const std::string& arg : args) {
        jvm->addArgument(arg);
    }
    return jvm.release();
}

} // namespace RuntimeReexec
