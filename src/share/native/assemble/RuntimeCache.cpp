#include "RuntimeCache.h"

#include <algorithm>
#include <cstdint>

std::string runtimeKeyText(const RuntimeKey& key) {
    StringArray modules = key.modules;
    std::sort(modules.begin(), modules.end());
    modules.erase(std::unique(modules.begin(), modules.end()), modules.end());
    std::string text = "applauncher linked runtime 1\n";
    auto add = [&](const char* label, const StringArray& values) {
        text += label;
        text += " " + std::to_string(values.size()) + "\n";
        for (const std::string& value : values) {
            text += std::to_string(value.size()) + ":" + value + "\n";
        }
    };
    add("release", StringArray{key.release});
    add("identities", key.identities);
    add("modules", modules);
    add("options", key.options);
    return text;
}

// The 64-bit FNV-1a hash of the key, as 16 hexadecimal digits.
std::string runtimeEntryName(const std::string& keyText) {
    std::uint64_t hash = 14695981039346656037ull;
    for (const char c : keyText) {
        hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ull;
    }
    static const char digits[] = "0123456789abcdef";
    std::string name(16, '0');
    for (std::size_t i = 0; i != name.size(); ++i) {
        name[name.size() - 1 - i] = digits[(hash >> (4 * i)) & 0xf];
    }
    return name;
}

StringArray entriesToEvict(std::vector<CacheEntryAge> entries,
                           const std::string& current, std::size_t keep) {
    std::stable_sort(entries.begin(), entries.end(),
                     [&](const CacheEntryAge& a, const CacheEntryAge& b) {
                         if ((a.name == current) != (b.name == current)) {
                             return a.name == current;
                         }
                         return a.usedNanoseconds > b.usedNanoseconds;
                     });
    StringArray evicted;
    for (std::size_t i = keep; i < entries.size(); ++i) {
        evicted.push_back(entries[i].name);
    }
    return evicted;
}

std::string whyUntrusted(const CacheFolderFacts& facts, unsigned euid) {
    if (facts.isLink) {
        return "it is a link";
    }
    if (!facts.isFolder) {
        return "it is not a folder";
    }
    if (facts.owner != euid) {
        return "another user owns it";
    }
    if ((facts.mode & 022) != 0) {
        return "others may write in it";
    }
    return std::string();
}

std::string jlinkErrorLine(const std::string& output) {
    StringArray lines;
    tstrings::split(lines, output, "\n", tstrings::SPLIT_EXCLUDE_EMPTY);
    for (const std::string& line : lines) {
        if (tstrings::startsWith(line, "Error:")) {
            return line;
        }
    }
    for (auto it = lines.rbegin(); it != lines.rend(); ++it) {
        if (it->find_first_not_of(" \t\r") != std::string::npos) {
            return *it;
        }
    }
    return std::string();
}
