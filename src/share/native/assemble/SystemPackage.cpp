#include "SystemPackage.h"

#include <algorithm>
#include <ctime>

#include "ErrorHandling.h"

namespace {

struct ArchName {
    const char* arch;
    const char* debian;
    const char* rpm;
};

const ArchName archNames[] = {
    {"x86_64", "amd64", "x86_64"},
    {"arm64", "arm64", "aarch64"},
};

const ArchName& archName(const std::string& arch) {
    for (const ArchName& entry : archNames) {
        if (arch == entry.arch) {
            return entry;
        }
    }
    VT_THROW(tstrings::any() << "No package for the architecture \"" << arch
             << "\": deb and rpm packages are made for x86_64 and arm64");
}

// `text` in lines of at most `width` characters, broken at blanks.
StringArray wrapped(const std::string& text, std::size_t width) {
    StringArray lines;
    std::string line;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find(' ', start);
        end = end == std::string::npos ? text.size() : end;
        const std::string word = text.substr(start, end - start);
        start = end + 1;
        if (word.empty()) {
            continue;
        }
        if (!line.empty() && line.size() + 1 + word.size() > width) {
            lines.push_back(line);
            line.clear();
        }
        line += (line.empty() ? "" : " ") + word;
    }
    if (!line.empty()) {
        lines.push_back(line);
    }
    return lines;
}

std::string twoDigits(int value) {
    return std::string(1, static_cast<char>('0' + value / 10))
            + static_cast<char>('0' + value % 10);
}

} // namespace

std::string debianArchitecture(const std::string& arch) {
    return archName(arch).debian;
}

std::string rpmArchitecture(const std::string& arch) {
    return archName(arch).rpm;
}

std::string debianVersion(const PackageInfo& info) {
    return info.version + "-" + info.release;
}

std::string debFileName(const PackageInfo& info, const std::string& arch) {
    return info.packageName + "_" + debianVersion(info) + "_" + arch + ".deb";
}

std::string rpmFileName(const PackageInfo& info, const std::string& arch) {
    return info.packageName + "-" + info.version + "-" + info.release + "."
            + arch + ".rpm";
}

std::string debianDescription(const PackageInfo& info,
                              const std::string& fallback) {
    std::string text = info.summary;
    const StringArray paragraphs = info.paragraphs.empty()
            ? StringArray{fallback} : info.paragraphs;
    for (std::size_t i = 0; i < paragraphs.size(); ++i) {
        if (i > 0) {
            text += "\n .";
        }
        for (const std::string& line : wrapped(paragraphs[i], 79)) {
            text += "\n " + (line == "." ? std::string("..") : line);
        }
    }
    return text;
}

std::string debianControl(const PackageInfo& info, const std::string& arch,
                          unsigned long long installedKiB,
                          const std::string& depends,
                          const std::string& fallbackParagraph) {
    std::string text = "Package: " + info.packageName + "\n"
            "Version: " + debianVersion(info) + "\n"
            "Architecture: " + arch + "\n"
            "Maintainer: " + info.maintainer + "\n"
            "Installed-Size: " + std::to_string(installedKiB) + "\n";
    if (!depends.empty()) {
        text += "Depends: " + depends + "\n";
    }
    text += "Section: " + info.section + "\n"
            "Priority: optional\n";
    if (!info.homepage.empty()) {
        text += "Homepage: " + info.homepage + "\n";
    }
    return text + "Description: "
            + debianDescription(info, fallbackParagraph) + "\n";
}

std::string rpmDescription(const PackageInfo& info,
                           const std::string& fallback) {
    const StringArray paragraphs = info.paragraphs.empty()
            ? StringArray{fallback} : info.paragraphs;
    std::string text;
    for (const std::string& paragraph : paragraphs) {
        for (const std::string& line : wrapped(paragraph, 79)) {
            text += (line[0] == '%' ? " " : "") + rpmLiteral(line) + "\n";
        }
        text += "\n";
    }
    return text;
}

std::string rpmLiteral(const std::string& text) {
    return tstrings::replace(text, "%", "%%");
}

std::string rpmFolderProblem(const std::string& path) {
    for (char c : path) {
        if (c == '%' || c == '\'' || c == '"' || c == '\\') {
            return std::string("it holds the character ") + c
                    + ", which rpmbuild cannot take in a path";
        }
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) {
            return "it holds a control character, which rpmbuild cannot "
                   "take in a path";
        }
    }
    return std::string();
}

std::string rpmbuildError(const std::string& output) {
    StringArray lines;
    tstrings::split(lines, output, "\n", tstrings::SPLIT_EXCLUDE_EMPTY);
    for (const std::string& line : lines) {
        if (tstrings::startsWith(line, "error:")) {
            return line;
        }
    }
    return lines.empty() ? std::string() : lines.back();
}

std::string rpmChangelogDate(long long time) {
    const std::string date = rfc2822Date(time);
    return date.substr(0, 3) + " " + date.substr(8, 3) + " "
            + date.substr(5, 2) + " " + date.substr(12, 4);
}

std::string rpmPattern(const std::set<std::string>& names) {
    std::string pattern;
    for (const std::string& name : names) {
        pattern += pattern.empty() ? "" : "|";
        for (char c : name) {
            if (std::string("\\.^$|()[]{}*+?").find(c) != std::string::npos) {
                pattern += '\\';
            }
            pattern += c;
        }
    }
    return pattern;
}

std::string rfc2822Date(long long time) {
    static const char* const days[] = {"Sun", "Mon", "Tue", "Wed", "Thu",
                                       "Fri", "Sat"};
    static const char* const months[] = {"Jan", "Feb", "Mar", "Apr", "May",
                                         "Jun", "Jul", "Aug", "Sep", "Oct",
                                         "Nov", "Dec"};
    const std::time_t t = static_cast<std::time_t>(time);
    std::tm tm{};
    gmtime_r(&t, &tm);
    return std::string(days[tm.tm_wday]) + ", " + twoDigits(tm.tm_mday) + " "
            + months[tm.tm_mon] + " " + std::to_string(tm.tm_year + 1900)
            + " " + twoDigits(tm.tm_hour) + ":" + twoDigits(tm.tm_min) + ":"
            + twoDigits(tm.tm_sec) + " +0000";
}

std::string debianChangelog(const PackageInfo& info, long long time) {
    return info.packageName + " (" + debianVersion(info)
            + ") unstable; urgency=medium\n\n"
              "  * Release " + info.version + " of the application.\n\n"
              " -- " + info.maintainer + "  " + rfc2822Date(time) + "\n";
}

unsigned long long installedSizeKiB(
        const std::vector<unsigned long long>& fileSizes,
        std::size_t otherEntries) {
    unsigned long long total = otherEntries;
    for (unsigned long long size : fileSizes) {
        total += (size + 1023) / 1024;
    }
    return total;
}

std::vector<ShlibsEntry> parseShlibs(const std::string& text) {
    std::vector<ShlibsEntry> entries;
    StringArray lines;
    tstrings::split(lines, text, "\n", tstrings::SPLIT_EXCLUDE_EMPTY);
    for (const std::string& line : lines) {
        StringArray words;
        tstrings::split(words, line, " ", tstrings::SPLIT_EXCLUDE_EMPTY);
        if (words.size() < 3 || words[0][0] == '#' || words[0].back() == ':') {
            continue;
        }
        std::string dependency = words[2];
        for (std::size_t i = 3; i < words.size(); ++i) {
            dependency += " " + words[i];
        }
        entries.push_back(ShlibsEntry{words[0], words[1], dependency});
    }
    return entries;
}

bool splitSoname(const std::string& soname, std::string& library,
                 std::string& version) {
    const std::size_t so = soname.find(".so.");
    if (so != std::string::npos && so > 0 && so + 4 < soname.size()) {
        library = soname.substr(0, so);
        version = soname.substr(so + 4);
        return true;
    }
    if (soname.size() > 3 && soname.compare(soname.size() - 3, 3, ".so") == 0) {
        const std::string stem = soname.substr(0, soname.size() - 3);
        const std::size_t dash = stem.rfind('-');
        if (dash != std::string::npos && dash > 0 && dash + 1 < stem.size()
                && (stem[dash + 1] >= '0' && stem[dash + 1] <= '9')) {
            library = stem.substr(0, dash);
            version = stem.substr(dash + 1);
            return true;
        }
    }
    return false;
}

std::string dependsValue(StringArray dependencies) {
    std::sort(dependencies.begin(), dependencies.end());
    dependencies.erase(std::unique(dependencies.begin(), dependencies.end()),
                       dependencies.end());
    return tstrings::join(dependencies.begin(), dependencies.end(), ", ");
}

std::string withIcon(const std::string& entry, const std::string& icon) {
    std::string out;
    std::size_t start = 0;
    while (start < entry.size()) {
        std::size_t end = entry.find('\n', start);
        end = end == std::string::npos ? entry.size() : end + 1;
        const std::string line = entry.substr(start, end - start);
        out += tstrings::startsWith(line, "Icon=") ? "Icon=" + icon + "\n"
                                                   : line;
        start = end;
    }
    return out;
}

bool pngSize(const std::string& png, unsigned& width, unsigned& height) {
    if (png.size() < 24 || png.compare(0, 8, "\x89PNG\r\n\x1a\n") != 0
            || png.compare(12, 4, "IHDR") != 0) {
        return false;
    }
    auto be32 = [&](std::size_t at) {
        unsigned value = 0;
        for (std::size_t i = 0; i < 4; ++i) {
            value = (value << 8) | static_cast<unsigned char>(png[at + i]);
        }
        return value;
    };
    width = be32(16);
    height = be32(20);
    return width > 0 && height > 0;
}

std::string lintianOverrides(const std::string& packageName) {
    // An application installed as one folder under /opt, with the Java
    // runtime it was tested with inside it (see the README).
    static const char* const tags[] = {
        "dir-or-file-in-opt",
        "jar-not-in-usr-share",
    };
    std::string text;
    for (const char* tag : tags) {
        text += packageName + ": " + tag + "\n";
    }
    return text;
}
