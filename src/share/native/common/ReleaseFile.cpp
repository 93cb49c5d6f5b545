#include "ReleaseFile.h"

#include "tstrings.h"

namespace ReleaseFile {

std::map<std::string, std::string> parse(const std::string& text) {
    std::map<std::string, std::string> values;
    StringArray lines;
    tstrings::split(lines, text, "\n", tstrings::SPLIT_EXCLUDE_EMPTY);
    for (std::string line : lines) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        const std::string::size_type equals = line.find('=');
        if (equals == std::string::npos) {
            continue;
        }
        std::string value = line.substr(equals + 1);
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
            value = value.substr(1, value.size() - 2);
        }
        values[line.substr(0, equals)] = value;
    }
    return values;
}

} // namespace ReleaseFile
