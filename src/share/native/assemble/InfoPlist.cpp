#include "InfoPlist.h"

namespace {

class PlistWriter {
public:
    void key(const std::string& name) {
        text += indent() + "<key>" + xmlEscape(name) + "</key>\n";
    }
    void string(const std::string& value) {
        text += indent() + "<string>" + xmlEscape(value) + "</string>\n";
    }
    void entry(const std::string& name, const std::string& value) {
        key(name);
        string(value);
    }
    void flag(const std::string& name, bool value) {
        key(name);
        text += indent() + (value ? "<true/>\n" : "<false/>\n");
    }
    void open(const char* tag) {
        text += indent() + "<" + tag + ">\n";
        ++depth;
    }
    void close(const char* tag) {
        --depth;
        text += indent() + "</" + tag + ">\n";
    }
    void strings(const std::string& name, const StringArray& values) {
        key(name);
        open("array");
        for (const std::string& value : values) {
            string(value);
        }
        close("array");
    }

    std::string text;

private:
    std::string indent() const { return std::string(depth * 2, ' '); }

    int depth = 0;
};

void documentTypes(PlistWriter& out, const Description& d) {
    out.key("CFBundleDocumentTypes");
    out.open("array");
    for (const FileType& type : d.fileTypes) {
        out.open("dict");
        out.entry("CFBundleTypeName", type.name);
        out.entry("CFBundleTypeRole", type.role);
        out.strings("CFBundleTypeExtensions", type.extensions);
        out.strings("CFBundleTypeMIMETypes", StringArray{type.mimeType});
        out.close("dict");
    }
    out.close("array");
}

void urlTypes(PlistWriter& out, const Description& d) {
    out.key("CFBundleURLTypes");
    out.open("array");
    out.open("dict");
    out.entry("CFBundleURLName", d.identifier);
    out.strings("CFBundleURLSchemes", d.urlSchemes);
    out.close("dict");
    out.close("array");
}

} // namespace

std::string xmlEscape(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        default: out += c;
        }
    }
    return out;
}

std::string infoPlist(const Description& d, const StringArray& architectures,
                      const StringArray& launcherArchitectures, bool withIcon) {
    const bool armOnly = launcherArchitectures.size() == 1
            && launcherArchitectures[0] == "arm64";
    PlistWriter out;
    out.text = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
               "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
               "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
               "<plist version=\"1.0\">\n";
    out.open("dict");
    out.entry("CFBundleDevelopmentRegion", "en");
    out.entry("CFBundleDisplayName", d.displayName);
    out.entry("CFBundleExecutable", d.name);
    if (withIcon) {
        out.entry("CFBundleIconFile", d.name + ".icns");
    }
    out.entry("CFBundleIdentifier", d.identifier);
    out.entry("CFBundleInfoDictionaryVersion", "6.0");
    out.entry("CFBundleName", d.name);
    out.entry("CFBundlePackageType", "APPL");
    out.entry("CFBundleShortVersionString", d.version);
    out.entry("CFBundleVersion", d.version);
    out.strings("LSArchitecturePriority", architectures);
    out.entry("LSMinimumSystemVersion", armOnly ? "11.0" : "10.15");
    out.flag("NSHighResolutionCapable", true);
    if (!d.fileTypes.empty()) {
        documentTypes(out, d);
    }
    if (!d.urlSchemes.empty()) {
        urlTypes(out, d);
    }
    for (const UsageText& usage : d.usages) {
        out.entry(usage.key, usage.text);
    }
    out.close("dict");
    return out.text + "</plist>\n";
}
