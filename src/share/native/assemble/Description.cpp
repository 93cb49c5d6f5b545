#include "Description.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>

#include "ContentInto.h"
#include "ErrorHandling.h"
#include "DesktopEntry.h"
#include "FileUtils.h"
#include "InstallDir.h"
#include "PackageInfo.h"
#include "TextRules.h"

namespace {

const CfgFile::SectionId bundleSection("Bundle");

namespace Key {
const CfgFile::PropertyId name("bundle.name");
const CfgFile::PropertyId identifier("bundle.identifier");
const CfgFile::PropertyId version("bundle.version");
const CfgFile::PropertyId displayName("bundle.display-name");
const CfgFile::PropertyId content("bundle.content");
const CfgFile::PropertyId contentInto("bundle.content-into");
const CfgFile::PropertyId runtime("bundle.runtime");
const CfgFile::PropertyId modules("bundle.modules");
const CfgFile::PropertyId jdk("bundle.jdk");
const CfgFile::PropertyId icon("bundle.icon");
const CfgFile::PropertyId package("bundle.package");
const CfgFile::PropertyId fileType("bundle.file-type");
const CfgFile::PropertyId urlScheme("bundle.url-scheme");
const CfgFile::PropertyId usage("bundle.usage");
const CfgFile::PropertyId categories("bundle.categories");
const CfgFile::PropertyId installDir("bundle.install-dir");
const CfgFile::PropertyId wmClass("bundle.wm-class");
const CfgFile::PropertyId comment("bundle.comment");
const CfgFile::PropertyId keywords("bundle.keywords");
} // namespace Key

const CfgFile::SectionId* const extraSections[] = {&bundleSection};
const CfgFile::PropertyId* const extraProperties[] = {
    &Key::name, &Key::identifier, &Key::version, &Key::displayName,
    &Key::content, &Key::contentInto, &Key::runtime, &Key::modules, &Key::jdk, &Key::icon,
    &Key::package, &Key::fileType, &Key::urlScheme, &Key::usage,
    &Key::categories, &Key::installDir, &Key::wmClass, &Key::comment,
    &Key::keywords,
    &PackageKeys::formats, &PackageKeys::packageName, &PackageKeys::release,
    &PackageKeys::maintainer, &PackageKeys::description,
    &PackageKeys::copyright, &PackageKeys::section, &PackageKeys::homepage,
    &PackageKeys::license,
};

const CfgFile::Vocabulary bundleVocabulary = {
    extraSections, sizeof(extraSections) / sizeof(extraSections[0]),
    extraProperties, sizeof(extraProperties) / sizeof(extraProperties[0]),
};

// The permissions whose request texts a description may give, by the
// short name it uses; each becomes NS<name>UsageDescription.
const char* const usageKinds[] = {
    "AppleEvents", "BluetoothAlways", "Calendars", "Camera", "Contacts",
    "DesktopFolder", "DocumentsFolder", "DownloadsFolder", "LocalNetwork",
    "Location", "Microphone", "NetworkVolumes", "PhotoLibrary", "Reminders",
    "RemovableVolumes", "SpeechRecognition", "SystemAdministration",
};

const char* const fileTypeRoles[] = {"Viewer", "Editor", "Shell", "None"};

[[noreturn]] void invalid(const std::string& path,
                          const CfgFile::PropertyId& key,
                          const std::string& value, const std::string& why) {
    VT_THROW(tstrings::any() << "Invalid value \"" << printable(value) << "\" of "
             << key.name() << " in \"" << path << "\": " << why);
}

bool isAsciiAlnum(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')
            || (c >= '0' && c <= '9');
}

bool isDigits(const std::string& text) {
    return !text.empty()
            && text.find_first_not_of("0123456789") == std::string::npos;
}

StringArray splitAll(const std::string& text, const std::string& separator) {
    StringArray parts;
    tstrings::split(parts, text, separator, tstrings::SPLIT_ALL);
    if (text.empty()) {
        parts.push_back(std::string());
    }
    return parts;
}

bool contains(const char* const* begin, const char* const* end,
              const std::string& word) {
    for (const char* const* it = begin; it != end; ++it) {
        if (word == *it) {
            return true;
        }
    }
    return false;
}

class Reader {
public:
    Reader(const CfgFile& config, const std::string& path)
        : config(config), path(path), dir(FileUtils::dirname(path)) {}

    const StringArray& all(const CfgFile::PropertyId& key) const {
        return config.values(bundleSection, key);
    }

    std::string last(const CfgFile::PropertyId& key) const {
        return config.lastValue(bundleSection, key);
    }

    bool has(const CfgFile::PropertyId& key) const {
        return !all(key).empty();
    }

    std::string absolute(const CfgFile::PropertyId& key,
                         const std::string& value) const {
        if (value.empty()) {
            invalid(path, key, value, "a path is needed");
        }
        return value[0] == '/' ? value : FileUtils::combinePath(dir, value);
    }

    const CfgFile& config;
    const std::string& path;
    const std::string dir;
};

std::string readName(const Reader& in) {
    if (!in.has(Key::name)) {
        VT_THROW(tstrings::any() << "The description \"" << in.path
                 << "\" has no bundle.name in a [Bundle] section");
    }
    const std::string name = in.last(Key::name);
    for (char c : name) {
        if (!isAsciiAlnum(c) && std::strchr("._- ", c) == nullptr) {
            invalid(in.path, Key::name, name, "only letters, digits, '.', "
                    "'_', '-' and blanks may make up a name");
        }
    }
    if (name.empty() || name[0] == '.' || name[0] == '-'
            || name.back() == ' ') {
        invalid(in.path, Key::name, name, "a name may not be empty, start "
                "with '.' or '-' or end with a blank");
    }
    return name;
}

std::string readIdentifier(const Reader& in) {
    const std::string value = in.last(Key::identifier);
    if (!in.has(Key::identifier)) {
        return value;
    }
    const StringArray parts = splitAll(value, ".");
    bool valid = parts.size() >= 2;
    for (const std::string& part : parts) {
        valid = valid && !part.empty();
        for (char c : part) {
            valid = valid && (isAsciiAlnum(c) || c == '-');
        }
    }
    if (!valid) {
        invalid(in.path, Key::identifier, value, "a reverse-DNS name of two "
                "or more parts of letters, digits and '-' is needed, such as "
                "com.example.demo");
    }
    return value;
}

std::string readVersion(const Reader& in) {
    if (!in.has(Key::version)) {
        return "1.0";
    }
    const std::string value = in.last(Key::version);
    const StringArray parts = splitAll(value, ".");
    bool valid = parts.size() <= 3;
    for (const std::string& part : parts) {
        valid = valid && isDigits(part) && part.size() <= 9;
    }
    if (!valid) {
        invalid(in.path, Key::version, value, "one to three numbers "
                "separated by dots are needed, such as 1.2.3");
    }
    return value;
}

std::string readText(const Reader& in, const CfgFile::PropertyId& key,
                     const std::string& value) {
    if (value.empty() || !isPlainText(value)) {
        invalid(in.path, key, value, "a one-line text in UTF-8 without "
                "control characters (C0, DEL, C1), U+FFFE or U+FFFF is "
                "needed");
    }
    return value;
}

std::string readPackage(const Reader& in) {
    const std::string value = in.last(Key::package);
    if (in.has(Key::package)
            && (!isPlainText(value) || value.empty() || value == "."
                || value == ".." || value.find('/') != std::string::npos)) {
        invalid(in.path, Key::package, value, "a package name is one folder "
                "name: not empty, no '/', not \".\" or \"..\"");
    }
    return value;
}

bool isModuleName(const std::string& name) {
    bool atStart = true;
    for (char c : name) {
        const bool letter = !isAsciiAlnum(c) ? c == '_' || c == '$'
                || static_cast<unsigned char>(c) >= 0x80 : true;
        if (c == '.') {
            if (atStart) {
                return false;
            }
            atStart = true;
        } else if (!letter || (atStart && c >= '0' && c <= '9')) {
            return false;
        } else {
            atStart = false;
        }
    }
    return !atStart;
}

FileType readFileType(const Reader& in, const std::string& value) {
    const StringArray fields = splitAll(value, "|");
    FileType type;
    bool valid = fields.size() == 3 || fields.size() == 4;
    if (valid) {
        type.name = fields[0];
        type.extensions = splitAll(fields[1], ",");
        type.mimeType = fields[2];
        type.role = fields.size() == 4 ? fields[3] : "Viewer";
        valid = !type.name.empty() && isPlainText(type.name);
        for (const std::string& ext : type.extensions) {
            valid = valid && !ext.empty() && isPlainText(ext)
                    && ext.find_first_of("./ ") == std::string::npos;
        }
        const StringArray mime = splitAll(type.mimeType, "/");
        valid = valid && mime.size() == 2 && !mime[0].empty()
                && !mime[1].empty() && isPlainText(type.mimeType)
                && type.mimeType.find_first_of(" ;") == std::string::npos;
        valid = valid && contains(std::begin(fileTypeRoles),
                                  std::end(fileTypeRoles), type.role);
    }
    if (!valid) {
        invalid(in.path, Key::fileType, value, "NAME|EXTENSIONS|MIME-TYPE"
                "[|ROLE] is needed, such as \"Demo document|demo,dmo|"
                "application/x-demo|Editor\" (ROLE: Viewer, Editor, Shell "
                "or None)");
    }
    return type;
}

std::string readUrlScheme(const Reader& in, const std::string& value) {
    bool valid = !value.empty() && !(value[0] >= '0' && value[0] <= '9');
    for (char c : value) {
        valid = valid && (isAsciiAlnum(c) || std::strchr("+-.", c) != nullptr);
    }
    if (!valid || !isAsciiAlnum(value[0])) {
        invalid(in.path, Key::urlScheme, value, "a URL scheme starts with a "
                "letter, followed by letters, digits, '+', '-' or '.'");
    }
    return value;
}

UsageText readUsage(const Reader& in, const std::string& value) {
    const std::string::size_type colon = value.find(": ");
    const std::string kind =
            colon == std::string::npos ? value : value.substr(0, colon);
    if (colon == std::string::npos
            || !contains(std::begin(usageKinds), std::end(usageKinds), kind)) {
        invalid(in.path, Key::usage, value, "KIND: TEXT is needed, KIND one "
                "of " + tstrings::join(std::begin(usageKinds),
                                       std::end(usageKinds), ", "));
    }
    return UsageText{"NS" + kind + "UsageDescription",
                     readText(in, Key::usage, value.substr(colon + 2))};
}

std::string readCategories(const Reader& in) {
    if (!in.has(Key::categories)) {
        return "Utility;";
    }
    const std::string value = in.last(Key::categories);
    StringArray names;
    tstrings::split(names, value, ";", tstrings::SPLIT_EXCLUDE_EMPTY);
    if (names.empty()) {
        invalid(in.path, Key::categories, value, "desktop menu categories "
                "separated by ';' are needed, such as \"Development;IDE;\"");
    }
    for (const std::string& name : names) {
        if (!isKnownCategory(name)) {
            invalid(in.path, Key::categories, value, "\"" + printable(name)
                    + "\" is not a registered desktop menu category; use one "
                    "of the freedesktop menu specification, or a name of your "
                    "own that starts with \"X-\"");
        }
    }
    const std::string fault = categoriesFault(names);
    if (!fault.empty()) {
        invalid(in.path, Key::categories, value, fault);
    }
    return tstrings::join(names.begin(), names.end(), ";") + ";";
}

StringArray readKeywords(const Reader& in) {
    StringArray keywords;
    for (const std::string& value : in.all(Key::keywords)) {
        StringArray words;
        tstrings::split(words, value, ";", tstrings::SPLIT_EXCLUDE_EMPTY);
        for (const std::string& word : words) {
            keywords.push_back(readText(in, Key::keywords, word));
        }
    }
    return keywords;
}

std::string readInstallDir(const Reader& in, const std::string& name) {
    if (!in.has(Key::installDir)) {
        return "/opt/" + name;
    }
    const std::string value = in.last(Key::installDir);
    const std::string problem = installDirProblem(value);
    if (!problem.empty()) {
        invalid(in.path, Key::installDir, value, problem);
    }
    return value;
}

void readRuntime(const Reader& in, Description& d) {
    if (in.has(Key::runtime) && in.has(Key::modules)) {
        VT_THROW(tstrings::any() << "The description \"" << in.path
                 << "\" gives both bundle.runtime and bundle.modules: a "
                    "runtime is either copied or linked, not both");
    }
    if (!in.has(Key::runtime) && !in.has(Key::modules)) {
        VT_THROW(tstrings::any() << "The description \"" << in.path
                 << "\" names no runtime: give bundle.runtime (a Java home) "
                    "or bundle.modules (for a runtime made by jlink)");
    }
    if (in.has(Key::jdk) && !in.has(Key::modules)) {
        VT_THROW(tstrings::any() << "The description \"" << in.path
                 << "\" gives bundle.jdk without bundle.modules: the JDK "
                    "only serves to link the modules");
    }
    if (in.has(Key::runtime)) {
        d.runtime = in.absolute(Key::runtime, in.last(Key::runtime));
    }
    for (const std::string& module : in.all(Key::modules)) {
        if (!isModuleName(module)) {
            invalid(in.path, Key::modules, module, "one module name a line "
                    "is needed, such as java.desktop");
        }
        d.modules.push_back(module);
    }
    if (in.has(Key::jdk)) {
        d.jdk = in.absolute(Key::jdk, in.last(Key::jdk));
    }
}

void rejectUnknownKey(const std::string& line, const std::string& path,
                      unsigned long long number) {
    const std::string name = line.substr(0, line.find('='));
    for (const CfgFile::PropertyId* key : extraProperties) {
        if (name == key->name()) {
            return;
        }
    }
    VT_THROW(tstrings::any() << "Unknown key \"" << name << "\" in the "
             "[Bundle] section of \"" << path << "\" at line " << number);
}

std::string readText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)),
                     std::istreambuf_iterator<char>());
    if (in.bad()) {
        VT_THROW(tstrings::any() << "Failed to read \"" << path
                 << "\" file up to the end: " << lastCRTError());
    }
    return text;
}

// The launcher reads a byte-order mark as part of the first line and keeps
// a carriage return at the end of a value: a description saved so would
// ship a configuration that the launcher misreads.
void checkLineEnds(const std::string& text, const std::string& path) {
    if (text.compare(0, 3, "\xef\xbb\xbf") == 0) {
        VT_THROW(tstrings::any() << "The description \"" << path << "\" "
                 "starts with a byte-order mark, which the launcher would "
                 "read as part of its first line: save it as UTF-8 without "
                 "one");
    }
    const std::string::size_type cr = text.find('\r');
    if (cr != std::string::npos) {
        const long long line = 1 + std::count(text.begin(),
                                              text.begin() + cr, '\n');
        VT_THROW(tstrings::any() << "The description \"" << path << "\" has "
                 "a carriage return at line " << line << ", which the launcher "
                 "would keep at the end of a value: save it with line feed "
                 "(Unix) line ends only");
    }
}

} // namespace

std::string withoutBundleSection(
        const std::string& text, const std::string& path,
        void (*bundleLine)(const std::string& line, const std::string& path,
                           unsigned long long number)) {
    std::string copy;
    // Lines before the first header are the packager's notes.
    bool inBundle = true;
    bool inNotes = true;
    unsigned long long number = 0;
    for (std::size_t start = 0; start < text.size();) {
        std::size_t end = text.find('\n', start);
        end = end == std::string::npos ? text.size() : end + 1;
        const std::string line = text.substr(
                start, end - start - (text[end - 1] == '\n' ? 1 : 0));
        ++number;
        std::size_t nameLength = 0;
        const CfgFile::LineKind kind = CfgFile::lineKind(line, nameLength);
        if (kind == CfgFile::LineKind::HeaderWithoutBracket) {
            VT_THROW(CfgFile::missingBracket(path, number));
        }
        if (kind == CfgFile::LineKind::Header) {
            inNotes = false;
            inBundle = line.compare(1, nameLength, bundleSection.name()) == 0
                    && nameLength == std::strlen(bundleSection.name());
        } else if (inBundle && !inNotes && !line.empty() && line[0] != ';') {
            bundleLine(line, path, number);
        }
        if (!inBundle) {
            copy.append(text, start, end - start);
        }
        start = end;
    }
    return copy;
}

Description readDescription(const std::string& path) {
    Description d;
    d.file = FileUtils::toAbsolutePath(path);
    const std::string text = readText(d.file);
    checkLineEnds(text, d.file);
    d.config = CfgFile::load(d.file, bundleVocabulary);
    d.launcherConfig = withoutBundleSection(text, d.file, rejectUnknownKey);
    const Reader in(d.config, d.file);
    d.name = readName(in);
    d.identifier = readIdentifier(in);
    d.version = readVersion(in);
    d.displayName = in.has(Key::displayName)
            ? readText(in, Key::displayName, in.last(Key::displayName))
            : d.name;
    d.package = readPackage(in);
    if (!in.has(Key::content) && !in.has(Key::contentInto)) {
        VT_THROW(tstrings::any() << "The description \"" << d.file
                 << "\" has no bundle.content: name the application's jars "
                    "or the folders that hold them");
    }
    for (const std::string& item : in.all(Key::content)) {
        d.content.push_back(in.absolute(Key::content, item));
        d.contentDest.push_back(std::string());
    }
    d.contentLines = d.content.size();
    for (const std::string& value : in.all(Key::contentInto)) {
        std::string why;
        const ContentInto into = parseContentInto(value, why);
        if (!why.empty()) {
            invalid(in.path, Key::contentInto, value, why);
        }
        d.content.push_back(in.absolute(Key::contentInto, into.source));
        d.contentDest.push_back(into.dest);
    }
    readRuntime(in, d);
    for (const std::string& icon : in.all(Key::icon)) {
        d.icons.push_back(in.absolute(Key::icon, icon));
    }
    for (const std::string& value : in.all(Key::fileType)) {
        d.fileTypes.push_back(readFileType(in, value));
    }
    for (const std::string& value : in.all(Key::urlScheme)) {
        d.urlSchemes.push_back(readUrlScheme(in, value));
    }
    for (const std::string& value : in.all(Key::usage)) {
        // A kind given again replaces its text: a property list holds each
        // key once.
        const UsageText usage = readUsage(in, value);
        auto same = std::find_if(d.usages.begin(), d.usages.end(),
                                 [&](const UsageText& u) {
                                     return u.key == usage.key;
                                 });
        if (same == d.usages.end()) {
            d.usages.push_back(usage);
        } else {
            *same = usage;
        }
    }
    d.categories = readCategories(in);
    d.installDir = readInstallDir(in, d.name);
    if (in.has(Key::wmClass)) {
        d.wmClass = readText(in, Key::wmClass, in.last(Key::wmClass));
    }
    if (in.has(Key::comment)) {
        d.comment = readText(in, Key::comment, in.last(Key::comment));
    }
    d.keywords = readKeywords(in);
    return d;
}
