#include "LaunchLog.h"

#include <vector>

#include "FileUtils.h"

namespace LaunchLog {

namespace {

const std::uint64_t rotationSize = 10 * 1024 * 1024;
const std::size_t alertLines = 10;
const std::size_t alertCharacters = 2000;
const char cutMark[] = "...";
const char headerStart[] = "=== started ";

// UTF-8 continuation bytes do not start a character.
bool startsCharacter(char c) {
    return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
}

std::size_t characterCount(const std::string& text) {
    std::size_t count = 0;
    for (const char c : text) {
        count += startsCharacter(c) ? 1 : 0;
    }
    return count;
}

// The first `count` characters of `text`.
std::string firstCharacters(const std::string& text, std::size_t count) {
    std::size_t end = 0;
    for (std::size_t seen = 0; end != text.size(); ++end) {
        if (startsCharacter(text[end]) && seen++ == count) {
            break;
        }
    }
    return text.substr(0, end);
}

// The lines of `text`; a line feed at the very end opens no further line.
std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::string::size_type start = 0;
    while (start < text.size()) {
        std::string::size_type end = text.find('\n', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

void dropEmptyLinesAtEnd(std::vector<std::string>& lines) {
    while (!lines.empty() && lines.back().empty()) {
        lines.pop_back();
    }
}

} // namespace

std::string Location::path() const {
    return FileUtils::combinePath(FileUtils::combinePath(home, directory),
                                  fileName);
}

Location locate(const std::string& home, const std::string& applicationName,
                const std::string& executableName) {
    if (home.empty() || !FileUtils::isDirSeparator(home[0])
            || applicationName.empty() || executableName.empty()) {
        return Location();
    }
    return Location{home, "Library/Logs/" + applicationName,
                    executableName + ".log", executableName + ".1.log",
                    executableName + ".lock"};
}

bool needsRotation(std::uint64_t size) {
    return size > rotationSize;
}

std::string headerLine(const std::tm& when, long processId) {
    char stamp[64];
    if (std::strftime(stamp, sizeof(stamp), "%Y-%m-%d %H:%M:%S %z", &when)
            == 0) {
        stamp[0] = '\0';
    }
    return headerStart + std::string(stamp) + ", process "
            + std::to_string(processId) + " ===\n";
}

std::size_t otherStartAt(const std::string& written) {
    // Anywhere, not only at the start of a line: a header appended after a
    // line that is still being written continues that line.
    const std::string::size_type at = written.find(headerStart);
    return at == std::string::npos ? written.size() : at;
}

bool reportsFailedStart(const std::string& written) {
    static const std::string noVm =
            "Error: Could not create the Java Virtual Machine.";
    for (const std::string& line : splitLines(written)) {
        // What the runtime may say before it starts anything: its log
        // records, its warnings, the options it picked up.
        if (line.compare(0, 1, "[") == 0
                || line.find(" VM warning: ") != std::string::npos
                || line.compare(0, 10, "Picked up ") == 0) {
            continue;
        }
        return line.compare(0, 7, "Error: ") == 0
                || line.compare(0, 15, "Error occurred ") == 0
                || written.find(noVm) != std::string::npos;
    }
    return false;
}

std::string pickAlertLines(const std::string& written,
                           const std::string& errorLine) {
    std::vector<std::string> lines = splitLines(written);
    dropEmptyLinesAtEnd(lines);
    if (!lines.empty() && lines.back() == errorLine) {
        lines.pop_back();
        dropEmptyLinesAtEnd(lines);
    }
    std::string picked;
    std::size_t used = 0;
    for (std::size_t taken = 0; taken != alertLines && !lines.empty();
         ++taken) {
        const std::string& line = lines.back();
        const std::size_t cost = characterCount(line) + (taken ? 1 : 0);
        if (used + cost > alertCharacters) {
            if (taken == 0) {
                picked = firstCharacters(line, alertCharacters
                                                 - (sizeof(cutMark) - 1))
                        + cutMark;
            }
            break;
        }
        picked = taken ? line + "\n" + picked : line;
        used += cost;
        lines.pop_back();
    }
    return picked;
}

} // namespace LaunchLog
