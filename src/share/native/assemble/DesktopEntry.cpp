#include "DesktopEntry.h"

#include <algorithm>
#include <cstring>
#include <iterator>

#include "FileUtils.h"

namespace {

// The main and the additional categories of the desktop menu
// specification (its registries, version 1.1). The reserved ones
// (Screensaver, TrayIcon, Applet, Shell) are left out: an entry may name
// them only together with OnlyShowIn.
const char* const registeredCategories[] = {
    "AudioVideo", "Audio", "Video", "Development", "Education", "Game",
    "Graphics", "Network", "Office", "Science", "Settings", "System",
    "Utility",
    "Building", "Debugger", "IDE", "GUIDesigner", "Profiling",
    "RevisionControl", "Translation", "Calendar", "ContactManagement",
    "Database", "Dictionary", "Chart", "Email", "Finance", "FlowChart", "PDA",
    "ProjectManagement", "Presentation", "Spreadsheet", "WordProcessor",
    "2DGraphics", "VectorGraphics", "RasterGraphics", "3DGraphics",
    "Scanning", "OCR", "Photography", "Publishing", "Viewer", "TextTools",
    "DesktopSettings", "HardwareSettings", "Printing", "PackageManager",
    "Dialup", "InstantMessaging", "Chat", "IRCClient", "Feed", "FileTransfer",
    "HamRadio", "News", "P2P", "RemoteAccess", "Telephony", "TelephonyTools",
    "VideoConference", "WebBrowser", "WebDevelopment", "Midi", "Mixer",
    "Sequencer", "Tuner", "TV", "AudioVideoEditing", "Player", "Recorder",
    "DiscBurning", "ActionGame", "AdventureGame", "ArcadeGame", "BoardGame",
    "BlocksGame", "CardGame", "KidsGame", "LogicGame", "RolePlaying",
    "Shooter", "Simulation", "SportsGame", "StrategyGame", "Art",
    "Construction", "Music", "Languages", "ArtificialIntelligence",
    "Astronomy", "Biology", "Chemistry", "ComputerScience",
    "DataVisualization", "Economy", "Electricity", "Geography", "Geology",
    "Geoscience", "History", "Humanities", "ImageProcessing", "Literature",
    "Maps", "Math", "NumericalAnalysis", "MedicalSoftware", "Physics",
    "Robotics", "Spirituality", "Sports", "ParallelComputing", "Amusement",
    "Archiving", "Compression", "Electronics", "Emulator", "Engineering",
    "FileTools", "FileManager", "TerminalEmulator", "Filesystem", "Monitor",
    "Security", "Accessibility", "Calculator", "Clock", "TextEditor",
    "Documentation", "Adult", "Core", "KDE", "GNOME", "XFCE", "DDE", "GTK",
    "Qt", "Motif", "Java", "ConsoleOnly",
};

// The categories that need another one beside them, with those of which
// one must be there (the specification's table of additional categories;
// Audio and Video, main categories, need AudioVideo).
struct RelatedCategories {
    const char* name;
    const char* related;
};

const char* const science = "Education;Science";
const RelatedCategories relatedCategories[] = {
    {"Audio", "AudioVideo"}, {"Video", "AudioVideo"},
    {"Building", "Development"}, {"Debugger", "Development"},
    {"IDE", "Development"}, {"GUIDesigner", "Development"},
    {"Profiling", "Development"}, {"RevisionControl", "Development"},
    {"Translation", "Development"}, {"Calendar", "Office"},
    {"ContactManagement", "Office"},
    {"Database", "Office;Development;AudioVideo"},
    {"Dictionary", "Office;TextTools"}, {"Chart", "Office"},
    {"Email", "Office;Network"}, {"Finance", "Office"},
    {"FlowChart", "Office"}, {"PDA", "Office"},
    {"ProjectManagement", "Office;Development"}, {"Presentation", "Office"},
    {"Spreadsheet", "Office"}, {"WordProcessor", "Office"},
    {"2DGraphics", "Graphics"}, {"VectorGraphics", "Graphics;2DGraphics"},
    {"RasterGraphics", "Graphics;2DGraphics"}, {"3DGraphics", "Graphics"},
    {"Scanning", "Graphics"}, {"OCR", "Graphics;Scanning"},
    {"Photography", "Graphics;Office"}, {"Publishing", "Graphics;Office"},
    {"Viewer", "Graphics;Office"}, {"TextTools", "Utility"},
    {"DesktopSettings", "Settings"}, {"HardwareSettings", "Settings"},
    {"Printing", "HardwareSettings;Settings"}, {"PackageManager", "Settings"},
    {"Dialup", "Network"}, {"InstantMessaging", "Network"},
    {"Chat", "Network"}, {"IRCClient", "Network"}, {"Feed", "Network"},
    {"FileTransfer", "Network"}, {"HamRadio", "Network;Audio"},
    {"News", "Network"}, {"P2P", "Network"}, {"RemoteAccess", "Network"},
    {"Telephony", "Network"}, {"TelephonyTools", "Utility"},
    {"VideoConference", "Network"}, {"WebBrowser", "Network"},
    {"WebDevelopment", "Network;Development"}, {"Midi", "AudioVideo;Audio"},
    {"Mixer", "AudioVideo;Audio"}, {"Sequencer", "AudioVideo;Audio"},
    {"Tuner", "AudioVideo;Audio"}, {"TV", "AudioVideo;Video"},
    {"AudioVideoEditing", "Audio;Video;AudioVideo"},
    {"Player", "Audio;Video;AudioVideo"},
    {"Recorder", "Audio;Video;AudioVideo"}, {"DiscBurning", "AudioVideo"},
    {"ActionGame", "Game"}, {"AdventureGame", "Game"},
    {"ArcadeGame", "Game"}, {"BoardGame", "Game"}, {"BlocksGame", "Game"},
    {"CardGame", "Game"}, {"KidsGame", "Game"}, {"LogicGame", "Game"},
    {"RolePlaying", "Game"}, {"Shooter", "Game"}, {"Simulation", "Game"},
    {"SportsGame", "Game"}, {"StrategyGame", "Game"},
    {"Art", science}, {"Construction", science},
    {"Music", "AudioVideo;Education"}, {"Languages", science},
    {"ArtificialIntelligence", science}, {"Astronomy", science},
    {"Biology", science}, {"Chemistry", science},
    {"ComputerScience", science}, {"DataVisualization", science},
    {"Economy", science}, {"Electricity", science}, {"Geography", science},
    {"Geology", science}, {"Geoscience", science}, {"History", science},
    {"Humanities", science}, {"ImageProcessing", science},
    {"Literature", science}, {"Maps", "Education;Science;Utility"},
    {"Math", science}, {"NumericalAnalysis", science},
    {"MedicalSoftware", science}, {"Physics", science},
    {"Robotics", science}, {"Spirituality", "Education;Science;Utility"},
    {"Sports", science}, {"ParallelComputing", science},
    {"Archiving", "Utility"}, {"Compression", "Utility"},
    {"Emulator", "System;Game"}, {"FileTools", "Utility;System"},
    {"FileManager", "System;FileTools"}, {"TerminalEmulator", "System"},
    {"Filesystem", "System"}, {"Monitor", "System;Network"},
    {"Security", "Settings;System"}, {"Accessibility", "Settings;Utility"},
    {"Calculator", "Utility"}, {"Clock", "Utility"},
    {"TextEditor", "Utility"}, {"KDE", "Qt"}, {"GNOME", "GTK"},
    {"XFCE", "GTK"}, {"DDE", "Qt"},
};

bool isNameChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')
            || (c >= '0' && c <= '9') || c == '-' || c == '_';
}

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

bool isKnownCategory(const std::string& name) {
    if (name.size() > 2 && name.compare(0, 2, "X-") == 0) {
        return std::all_of(name.begin(), name.end(), isNameChar);
    }
    return std::find_if(std::begin(registeredCategories),
                        std::end(registeredCategories),
                        [&](const char* known) { return name == known; })
            != std::end(registeredCategories);
}

std::string categoriesFault(const StringArray& names) {
    const auto has = [&](const std::string& name) {
        return std::find(names.begin(), names.end(), name) != names.end();
    };
    for (auto it = names.begin(); it != names.end(); ++it) {
        if (std::find(names.begin(), it, *it) != it) {
            return "\"" + *it + "\" is given twice";
        }
        for (const RelatedCategories& entry : relatedCategories) {
            if (*it != entry.name) {
                continue;
            }
            StringArray related;
            tstrings::split(related, entry.related, ";",
                            tstrings::SPLIT_EXCLUDE_EMPTY);
            if (std::none_of(related.begin(), related.end(), has)) {
                return "\"" + *it + "\" needs one of these categories beside "
                       "it: " + tstrings::join(related.begin(), related.end(),
                                               ", ");
            }
        }
    }
    return std::string();
}

bool isDbusName(const std::string& name) {
    if (name.empty() || name.size() > 255) {
        return false;
    }
    std::size_t elements = 0;
    for (std::size_t start = 0; start <= name.size(); ++elements) {
        std::size_t end = name.find('.', start);
        end = end == std::string::npos ? name.size() : end;
        const std::string element = name.substr(start, end - start);
        if (element.empty() || (element[0] >= '0' && element[0] <= '9')
                || !std::all_of(element.begin(), element.end(), isNameChar)) {
            return false;
        }
        start = end + 1;
    }
    return elements >= 2;
}

std::string desktopEntry(const Description& d, const std::string& wmClass,
                         bool withIcon) {
    const std::string root = d.installDir;
    const std::string fieldCode = !d.urlSchemes.empty() ? "%U"
            : !d.fileTypes.empty() ? "%F" : "";
    std::string text = "[Desktop Entry]\n"
                       "Type=Application\n"
                       "Version=1.0\n"
                       "Name=" + escapeString(d.displayName) + "\n";
    if (!d.comment.empty()) {
        text += "Comment=" + escapeString(d.comment) + "\n";
    }
    text +=
                       "Exec=" + execValue(FileUtils::combinePath(
                               root, "bin/" + d.name), fieldCode) + "\n";
    if (withIcon) {
        text += "Icon=" + escapeString(FileUtils::combinePath(
                root, "lib/" + d.name + ".png")) + "\n";
    }
    text += "Terminal=false\n"
            "StartupWMClass=" + escapeString(wmClass) + "\n"
            "Categories=" + d.categories + "\n";
    if (!d.keywords.empty()) {
        text += "Keywords=";
        for (const std::string& word : d.keywords) {
            text += escapeString(word) + ";";
        }
        text += "\n";
    }
    const std::string mime = mimeTypes(d);
    if (!mime.empty()) {
        text += "MimeType=" + mime + "\n";
    }
    return text;
}
