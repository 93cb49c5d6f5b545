#include "PackageInfo.h"

#include <algorithm>

#include "Description.h"
#include "ErrorHandling.h"
#include "FileUtils.h"
#include "TextRules.h"

namespace PackageKeys {
const CfgFile::PropertyId formats("bundle.formats");
const CfgFile::PropertyId packageName("bundle.package-name");
const CfgFile::PropertyId release("bundle.release");
const CfgFile::PropertyId maintainer("bundle.maintainer");
const CfgFile::PropertyId description("bundle.description");
const CfgFile::PropertyId copyright("bundle.copyright");
const CfgFile::PropertyId section("bundle.section");
const CfgFile::PropertyId homepage("bundle.homepage");
const CfgFile::PropertyId license("bundle.license");
} // namespace PackageKeys

namespace {

const CfgFile::SectionId bundleSection("Bundle");

struct FormatName {
    PackageFormat format;
    const char* name;
    Target target;
};

const FormatName formatNames[] = {
    {PackageFormat::TarGz, "tar.gz", Target::Image},
    {PackageFormat::Deb, "deb", Target::Image},
    {PackageFormat::Rpm, "rpm", Target::Image},
    {PackageFormat::Zip, "zip", Target::Bundle},
    {PackageFormat::Dmg, "dmg", Target::Bundle},
    {PackageFormat::Pkg, "pkg", Target::Bundle},
};

[[noreturn]] void invalid(const std::string& path,
                          const CfgFile::PropertyId& key,
                          const std::string& value, const std::string& why) {
    VT_THROW(tstrings::any() << "Invalid value \"" << printable(value)
             << "\" of " << key.name() << " in \"" << path << "\": " << why);
}

std::string trimmed(const std::string& text) {
    const std::size_t begin = text.find_first_not_of(" \t");
    if (begin == std::string::npos) {
        return std::string();
    }
    return text.substr(begin, text.find_last_not_of(" \t") - begin + 1);
}

bool hasControl(const std::string& text) {
    return std::any_of(text.begin(), text.end(), [](char c) {
        return static_cast<unsigned char>(c) < 0x20 || c == 0x7f;
    });
}

bool isLowerAlnum(char c) {
    return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
}

std::size_t longestWord(const std::string& text) {
    std::size_t longest = 0;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find(' ', start);
        end = end == std::string::npos ? text.size() : end;
        longest = std::max(longest, end - start);
        start = end + 1;
    }
    return longest;
}

class Keys {
public:
    explicit Keys(const Description& d) : d(d) {}

    const StringArray& all(const CfgFile::PropertyId& key) const {
        return d.config.values(bundleSection, key);
    }
    bool has(const CfgFile::PropertyId& key) const { return !all(key).empty(); }
    std::string last(const CfgFile::PropertyId& key) const {
        return d.config.lastValue(bundleSection, key);
    }
    // The last value, checked to be non-empty text without control
    // characters; `fallback` when the key is not given.
    std::string text(const CfgFile::PropertyId& key,
                     const std::string& fallback) const {
        if (!has(key)) {
            return fallback;
        }
        const std::string value = last(key);
        if (trimmed(value).empty() || !isPlainText(value)) {
            invalid(d.file, key, value, "a one-line text in UTF-8 without "
                    "control characters is needed");
        }
        return value;
    }

    const Description& d;
};

void readDescriptionText(const Keys& keys, PackageInfo& info) {
    const StringArray& values = keys.all(PackageKeys::description);
    for (std::size_t i = 0; i < values.size(); ++i) {
        const std::string& value = values[i];
        if (trimmed(value).empty() || !isPlainText(value)) {
            invalid(keys.d.file, PackageKeys::description, value, "a one-line "
                    "text in UTF-8 without control characters is needed");
        }
        if (i == 0 && value.size() > 80) {
            invalid(keys.d.file, PackageKeys::description, value, "the first "
                    "line is the summary, at most 80 characters; the lines "
                    "after it describe the application at length");
        }
        if (i > 0 && longestWord(value) > 79) {
            invalid(keys.d.file, PackageKeys::description, value, "the lines "
                    "after the summary are folded into lines of at most 79 "
                    "characters, so no word may be longer");
        }
        if (i == 0) {
            info.summary = trimmed(value);
        } else {
            info.paragraphs.push_back(trimmed(value));
        }
    }
}

void readSystemKeys(const Keys& keys, PackageInfo& info) {
    const std::string& file = keys.d.file;
    info.packageName = keys.has(PackageKeys::packageName)
            ? keys.last(PackageKeys::packageName)
            : derivedPackageName(keys.d.name);
    if (!isDebianPackageName(info.packageName)) {
        invalid(file, keys.has(PackageKeys::packageName)
                ? PackageKeys::packageName : CfgFile::PropertyId("bundle.name"),
                info.packageName, "a package name of lower-case letters, "
                "digits, '+', '-' and '.' is needed, two or more, starting "
                "with a letter or digit; give one with bundle.package-name");
    }
    info.release = keys.has(PackageKeys::release)
            ? keys.last(PackageKeys::release) : "1";
    if (info.release.empty() || info.release.size() > 9
            || info.release.find_first_not_of("0123456789")
                    != std::string::npos) {
        invalid(file, PackageKeys::release, info.release, "the package's "
                "release is a number, such as 1");
    }
    info.maintainer = keys.text(PackageKeys::maintainer, "");
    if (!info.maintainer.empty() && !isMaintainer(info.maintainer)) {
        invalid(file, PackageKeys::maintainer, info.maintainer, "\"Name "
                "<address>\" is needed, such as \"Jane Doe <jane@example.com>\"");
    }
    readDescriptionText(keys, info);
    if (keys.has(PackageKeys::copyright)) {
        const std::string value = keys.last(PackageKeys::copyright);
        if (value.empty()) {
            invalid(file, PackageKeys::copyright, value, "the file with the "
                    "copyright and licence text is needed");
        }
        info.copyrightFile = value[0] == '/' ? value
                : FileUtils::combinePath(FileUtils::dirname(file), value);
    }
    info.section = keys.text(PackageKeys::section, "misc");
    if (!std::all_of(info.section.begin(), info.section.end(), [](char c) {
            return isLowerAlnum(c) || c == '-' || c == '/';
        })) {
        invalid(file, PackageKeys::section, info.section, "a Debian section "
                "such as misc, utils, java or devel is needed");
    }
    info.homepage = keys.text(PackageKeys::homepage, "");
    if (!info.homepage.empty()
            && (!(tstrings::startsWith(info.homepage, "https://")
                  || tstrings::startsWith(info.homepage, "http://"))
                || info.homepage.find(' ') != std::string::npos)) {
        invalid(file, PackageKeys::homepage, info.homepage, "an http:// or "
                "https:// address is needed");
    }
    info.license = keys.text(PackageKeys::license, "Proprietary");
}

bool wants(const PackageInfo& info, PackageFormat format) {
    return std::find(info.formats.begin(), info.formats.end(), format)
            != info.formats.end();
}

void requireSystemKeys(const Keys& keys, const PackageInfo& info) {
    const char* format = wants(info, PackageFormat::Deb) ? "deb" : "rpm";
    const std::pair<const CfgFile::PropertyId*, bool> required[] = {
        {&PackageKeys::maintainer, info.maintainer.empty()},
        {&PackageKeys::description, info.summary.empty()},
        {&PackageKeys::copyright, info.copyrightFile.empty()},
    };
    for (const auto& key : required) {
        if (key.second) {
            VT_THROW(tstrings::any() << "The description \"" << keys.d.file
                     << "\" has no " << key.first->name() << ", which a "
                     << format << " package needs");
        }
    }
}

} // namespace

const char* packageFormatName(PackageFormat format) {
    for (const FormatName& entry : formatNames) {
        if (entry.format == format) {
            return entry.name;
        }
    }
    return "?";
}

void addPackageFormats(const std::string& list, Target target,
                       const std::string& source,
                       std::vector<PackageFormat>& formats) {
    StringArray names;
    tstrings::split(names, list, ",", tstrings::SPLIT_ALL);
    if (list.empty()) {
        names.push_back(std::string());
    }
    for (const std::string& raw : names) {
        const std::string name = trimmed(raw);
        const auto known = std::find_if(
                std::begin(formatNames), std::end(formatNames),
                [&](const FormatName& f) { return name == f.name; });
        if (known == std::end(formatNames)) {
            VT_THROW(tstrings::any() << "Unknown package format \"" << name
                     << "\" in " << source << ": tar.gz, deb and rpm are made "
                        "from an image, zip, dmg and pkg from a bundle");
        }
        if (known->target != target) {
            VT_THROW(tstrings::any() << "A " << name << " package (" << source
                     << ") is made from " << (known->target == Target::Image
                             ? "an image" : "a bundle") << ", not from "
                     << (target == Target::Image ? "an image" : "a bundle")
                     << ": give --target " << targetName(known->target));
        }
        if (std::find(formats.begin(), formats.end(), known->format)
                == formats.end()) {
            formats.push_back(known->format);
        }
    }
}

std::vector<PackageFormat> describedFormats(const Description& d,
                                            Target target) {
    std::vector<PackageFormat> formats;
    for (const std::string& list : Keys(d).all(PackageKeys::formats)) {
        addPackageFormats(list, target, std::string("bundle.formats of \"")
                          + d.file + "\"", formats);
    }
    return formats;
}

PackageInfo readPackageInfo(const Description& d, Target target,
                            const std::vector<PackageFormat>& formats) {
    const Keys keys(d);
    PackageInfo info;
    info.formats = formats;
    for (PackageFormat format : describedFormats(d, target)) {
        if (!wants(info, format)) {
            info.formats.push_back(format);
        }
    }
    info.version = d.version;
    readSystemKeys(keys, info);
    if (wants(info, PackageFormat::Deb) || wants(info, PackageFormat::Rpm)) {
        requireSystemKeys(keys, info);
    }
    return info;
}

std::string derivedPackageName(const std::string& name) {
    std::string out;
    for (char c : name) {
        out += c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a')
                : c == ' ' || c == '_' ? '-' : c;
    }
    return out;
}

bool isDebianPackageName(const std::string& name) {
    return name.size() >= 2 && isLowerAlnum(name[0])
            && std::all_of(name.begin(), name.end(), [](char c) {
                   return isLowerAlnum(c) || c == '+' || c == '-' || c == '.';
               });
}

bool isMaintainer(const std::string& text) {
    const std::size_t open = text.find(" <");
    if (open == std::string::npos || open == 0 || text.back() != '>'
            || hasControl(text) || !isPlainText(text)) {
        return false;
    }
    const std::string address = text.substr(open + 2, text.size() - open - 3);
    const std::size_t at = address.find('@');
    return at != std::string::npos && at > 0 && at + 1 < address.size()
            && address.find_first_of(" <>,") == std::string::npos
            && text.substr(0, open).find_first_of("<>,") == std::string::npos
            && !trimmed(text.substr(0, open)).empty();
}
