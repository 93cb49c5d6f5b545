// The store's names, its record of failures and the clearing away of what
// processes left behind; the system calls are in UnixArchiveStore.cpp.
#include "ArchiveStore.h"

#include <algorithm>
#include <map>
#include <set>

#include "FileUtils.h"

namespace {

const std::size_t digestLength = 16;

// An update of the strikes takes a few milliseconds; a process that holds
// their lock longer is stopped or hung, and nobody waits for it.
const int strikeLockMilliseconds = 1000;

bool isHex(const std::string& text) {
    return !text.empty()
            && std::all_of(text.begin(), text.end(), [](char c) {
                   return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
               });
}

const char* strikeName(ArchiveStore::Strike kind) {
    switch (kind) {
    case ArchiveStore::Strike::failedStart:
        return "failed-start";
    case ArchiveStore::Strike::crashed:
        return "crashed";
    case ArchiveStore::Strike::refused:
        return "refused";
    case ArchiveStore::Strike::buildFailed:
        return "build-failed";
    case ArchiveStore::Strike::buildInterrupted:
        return "build-interrupted";
    case ArchiveStore::Strike::listDiscarded:
        return "list-discarded";
    }
    return "";
}

// The counts of a strikes file: "<kind> <count>" lines; anything else is
// ignored.
std::map<std::string, int> parseStrikes(const std::string& text) {
    std::map<std::string, int> counts;
    StringArray lines;
    tstrings::split(lines, text, "\n", tstrings::SPLIT_EXCLUDE_EMPTY);
    for (const std::string& line : lines) {
        const std::string::size_type blank = line.find(' ');
        const std::string number =
                blank == std::string::npos ? std::string() : line.substr(blank + 1);
        if (!number.empty() && number.size() < 6
                && number.find_first_not_of("0123456789") == std::string::npos) {
            counts[line.substr(0, blank)] = std::stoi(number);
        }
    }
    return counts;
}

std::string formatStrikes(const std::map<std::string, int>& counts) {
    std::string text;
    for (const auto& count : counts) {
        if (count.second > 0) {
            text += count.first + " " + std::to_string(count.second) + "\n";
        }
    }
    return text;
}

// The kinds of file that a running process holds locked.
bool isOwnFile(const std::string& kind) {
    return kind == "use" || kind == "recording" || kind == "build"
            || kind == "new";
}

} // namespace

std::string ArchiveStore::name(const std::string& digest,
                               const std::string& suffix) const {
    return launcherId + "-" + digest + suffix;
}

std::string ArchiveStore::processName(const std::string& digest,
                                      const std::string& id,
                                      const std::string& suffix) const {
    return name(digest, "." + id + suffix);
}

std::string ArchiveStore::path(const std::string& name) const {
    return FileUtils::combinePath(dirPath, name);
}

bool ArchiveStore::parseName(const std::string& name,
                             const std::string& launcherId,
                             FileName& parsed) {
    const std::string prefix = launcherId + "-";
    const std::size_t digestEnd = prefix.size() + digestLength;
    if (name.compare(0, prefix.size(), prefix) != 0
            || name.size() <= digestEnd + 1 || name[digestEnd] != '.') {
        return false;
    }
    parsed.digest = name.substr(prefix.size(), digestLength);
    const std::string rest = name.substr(digestEnd + 1);
    const std::string::size_type dot = rest.find('.');
    parsed.id = dot == std::string::npos ? std::string() : rest.substr(0, dot);
    parsed.kind = dot == std::string::npos ? rest : rest.substr(dot + 1);
    return isHex(parsed.digest) && !parsed.kind.empty()
            && (parsed.id.empty() || isHex(parsed.id));
}

std::vector<ArchiveStore::Leftover> ArchiveStore::sweep(long formerSelf) const {
    // The files of each process, by digest and id.
    std::map<std::pair<std::string, std::string>, StringArray> processes;
    for (const std::string& entry : list()) {
        FileName parsed;
        if (parseName(entry, launcherId, parsed) && !parsed.id.empty()) {
            processes[{parsed.digest, parsed.id}].push_back(entry);
        }
    }
    std::vector<Leftover> left;
    for (const auto& process : processes) {
        std::string ownKind, ownFile;
        bool running = false;
        for (const std::string& entry : process.second) {
            FileName parsed;
            parseName(entry, launcherId, parsed);
            if (isOwnFile(parsed.kind)) {
                ownKind = parsed.kind;
                ownFile = entry;
                running = running || isHeld(entry);
            }
        }
        // A build's list and archive without the build's own file: the
        // build is either gone or so young that its own file was not
        // listed; only the file itself tells.
        if (ownKind.empty()) {
            running = isHeld(processName(process.first.first,
                                         process.first.second, ".build"));
        }
        if (running) {
            continue;
        }
        const bool former = formerSelf != 0 && !ownFile.empty()
                && claimant(ownFile) == formerSelf;
        for (const std::string& entry : process.second) {
            remove(entry);
        }
        if (!former && (ownKind == "use" || ownKind == "recording"
                        || ownKind == "build")) {
            left.push_back(Leftover{process.first.first, ownKind});
        }
    }
    return left;
}

void ArchiveStore::removeOtherDigests(const std::string& digest) const {
    std::set<std::pair<std::string, std::string>> running;
    const StringArray entries = list();
    for (const std::string& entry : entries) {
        FileName parsed;
        if (parseName(entry, launcherId, parsed) && parsed.digest != digest
                && !parsed.id.empty() && isOwnFile(parsed.kind)
                && isHeld(entry)) {
            running.insert({parsed.digest, parsed.id});
        }
    }
    for (const std::string& entry : entries) {
        FileName parsed;
        // A lock file may be held by a build of the other digest: it
        // removes its own files when it is done.
        if (parseName(entry, launcherId, parsed) && parsed.digest != digest
                && running.count({parsed.digest, parsed.id}) == 0
                && !(parsed.kind == "lock" && isHeld(entry))) {
            remove(entry);
        }
    }
}

std::string ArchiveStore::countStrike(const std::string& text, Strike kind,
                                      int& count) {
    std::map<std::string, int> counts = parseStrikes(text);
    count = ++counts[strikeName(kind)];
    return formatStrikes(counts);
}

std::string ArchiveStore::withoutStrikes(const std::string& text,
                                         const std::vector<Strike>& kinds) {
    std::map<std::string, int> counts = parseStrikes(text);
    for (const Strike kind : kinds) {
        counts.erase(strikeName(kind));
    }
    return formatStrikes(counts);
}

int ArchiveStore::addStrike(const std::string& digest, Strike kind) const {
    const PrivateFiles::FileDescriptor held =
            lockWithin(name(digest, ".strikelock"), strikeLockMilliseconds);
    if (!held.valid()) {
        return 0;
    }
    const std::string strikes = name(digest, ".strikes");
    std::string text;
    read(strikes, text);
    int count = 0;
    text = countStrike(text, kind, count);
    write(strikes, text);
    return count;
}

void ArchiveStore::clearStrikes(const std::string& digest,
                                const std::vector<Strike>& kinds) const {
    const std::string strikes = name(digest, ".strikes");
    std::string text;
    // Most starts have nothing to forget: they never take the lock.
    if (!exists(strikes) || !read(strikes, text)
            || withoutStrikes(text, kinds) == text) {
        return;
    }
    const PrivateFiles::FileDescriptor held =
            lockWithin(name(digest, ".strikelock"), strikeLockMilliseconds);
    if (!held.valid() || !read(strikes, text)) {
        return;
    }
    const std::string rest = withoutStrikes(text, kinds);
    if (rest == text) {
        return;
    }
    if (rest.empty()) {
        remove(strikes);
    } else {
        write(strikes, rest);
    }
}
