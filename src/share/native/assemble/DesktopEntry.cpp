#include "DesktopEntry.h"

#include "FileUtils.h"

namespace {

// A value of the string type: backslashes and line ends escaped.
std::string escapeString(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\\') {
            out += "\\\\";
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\t') {
            out += "\\t";
        } else if (c == '\r') {
            out += "\\r";
        } else {
            out += c;
        }
    }
    return out;
}

std::string mimeTypes(const Description& d) {
    std::string list;
    for (const FileType& type : d.fileTypes) {
        list += type.mimeType + ";";
    }
    for (const std::string& scheme : d.urlSchemes) {
        list += "x-scheme-handler/" + scheme + ";";
    }
    return list;
}

} // namespace

std::string execValue(const std::string& program,
                      const std::string& fieldCode) {
    std::string quoted = "\"";
    for (char c : program) {
        if (c == '"' || c == '`' || c == '$' || c == '\\') {
            quoted += '\\';
        }
        quoted += c == '%' ? std::string("%%") : std::string(1, c);
    }
    quoted += '"';
    return escapeString(fieldCode.empty() ? quoted : quoted + " " + fieldCode);
}

std::string desktopEntry(const Description& d, const std::string& wmClass,
                         bool withIcon) {
    const std::string root = d.installDir;
    const std::string fieldCode = !d.urlSchemes.empty() ? "%U"
            : !d.fileTypes.empty() ? "%F" : "";
    std::string text = "[Desktop Entry]\n"
                       "Type=Application\n"
                       "Version=1.0\n"
                       "Name=" + escapeString(d.displayName) + "\n"
                       "Exec=" + execValue(FileUtils::combinePath(
                               root, "bin/" + d.name), fieldCode) + "\n";
    if (withIcon) {
        text += "Icon=" + escapeString(FileUtils::combinePath(
                root, "lib/" + d.name + ".png")) + "\n";
    }
    text += "Terminal=false\n"
            "StartupWMClass=" + escapeString(wmClass) + "\n"
            "Categories=" + d.categories + "\n";
    const std::string mime = mimeTypes(d);
    if (!mime.empty()) {
        text += "MimeType=" + mime + "\n";
    }
    return text;
}
