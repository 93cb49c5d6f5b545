#include "JarManifest.h"

#include <algorithm>
#include <cctype>

namespace JarManifest {

namespace {

// Main sections are a few kilobytes; anything much larger is not one.
const std::size_t mainSectionLimit = 1u << 20;

bool equalsIgnoringCase(const std::string& a, const std::string& b) {
    return a.size() == b.size()
            && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
                   return std::tolower(static_cast<unsigned char>(x))
                           == std::tolower(static_cast<unsigned char>(y));
               });
}

// The manifest's entry: the one of exactly its name, else the first whose
// name differs only in case, as the runtime looks for it.
const ZipEntry* manifestEntry(const ZipFile& jar) {
    static const std::string name = "META-INF/MANIFEST.MF";
    const ZipEntry* exact = jar.find(name);
    if (exact != nullptr) {
        return exact;
    }
    for (const ZipEntry& entry : jar.entries()) {
        if (equalsIgnoringCase(entry.name, name)) {
            return &entry;
        }
    }
    return nullptr;
}

// Finds the end of the main section in a manifest that arrives piece by
// piece: the first empty line. Lines end with CR LF, LF or CR.
class MainSectionEnd {
public:
    /// Looks at what has arrived since the last call; true once the end is
    /// found.
    bool find(const std::string& text) {
        while (end == std::string::npos && pos < text.size()) {
            const char c = text[pos];
            if (c != '\r' && c != '\n') {
                atLineStart = false;
                ++pos;
            } else if (atLineStart) {
                end = pos;
            } else if (c == '\r' && pos + 1 == text.size()) {
                break; // CR or CR LF: the next piece tells
            } else {
                pos += c == '\r' && text[pos + 1] == '\n' ? 2 : 1;
                atLineStart = true;
            }
        }
        return end != std::string::npos;
    }

    /// Where the empty line starts; npos while none was seen.
    std::size_t end = std::string::npos;

private:
    std::size_t pos = 0;
    bool atLineStart = true;
};

// The attributes of the main section, continuation lines joined. Lines end
// with CR LF, LF or CR; a line that starts with a blank continues the one
// before; the main section ends at the first empty line.
StringArray mainSection(const std::string& manifest) {
    StringArray lines;
    std::string line;
    for (std::size_t i = 0; i <= manifest.size(); ++i) {
        const char c = i < manifest.size() ? manifest[i] : '\n';
        if (c != '\r' && c != '\n') {
            line += c;
            continue;
        }
        if (c == '\r' && i + 1 < manifest.size() && manifest[i + 1] == '\n') {
            ++i;
        }
        if (line.empty()) {
            break;
        }
        if (line[0] == ' ' && !lines.empty()) {
            lines.back() += line.substr(1);
        } else {
            lines.push_back(line);
        }
        line.clear();
    }
    return lines;
}

// True when `attribute` is "<name>:" followed by its value, the name in
// any case.
bool isAttribute(const std::string& attribute, const std::string& name) {
    return attribute.size() > name.size() && attribute[name.size()] == ':'
            && equalsIgnoringCase(attribute.substr(0, name.size()), name);
}

} // namespace

bool read(const ZipFile& jar, std::string& text) {
    text.clear();
    const ZipEntry* entry = manifestEntry(jar);
    if (!jar.error().empty() || entry == nullptr) {
        return jar.error().empty();
    }
    MainSectionEnd section;
    if (!jar.read(*entry, text, mainSectionLimit,
                  [&section](const std::string& t) {
                      return section.find(t);
                  })) {
        return false;
    }
    // The read ends at the entry's end or a little past the empty line,
    // cut at the limit.
    if (section.find(text) && section.end > text.size()) {
        text.clear();
        return false;
    }
    text.resize(std::min(section.end, text.size()));
    return true;
}

bool read(const std::string& jarPath, std::string& text) {
    return read(ZipFile(jarPath), text);
}

std::string mainAttribute(const std::string& manifest,
                          const std::string& name) {
    std::string value;
    for (const std::string& attribute : mainSection(manifest)) {
        if (isAttribute(attribute, name)) {
            value = attribute.substr(name.size() + 1);
            value.erase(0, value.find_first_not_of(' '));
        }
    }
    return value;
}

StringArray classPath(const std::string& manifest) {
    StringArray entries;
    for (const std::string& attribute : mainSection(manifest)) {
        if (!isAttribute(attribute, "Class-Path")) {
            continue;
        }
        StringArray words;
        tstrings::split(words, attribute.substr(11), " ",
                        tstrings::SPLIT_EXCLUDE_EMPTY);
        entries.insert(entries.end(), words.begin(), words.end());
    }
    return entries;
}

} // namespace JarManifest
