// The Linux runtime library executes the launcher again with the runtime
// vector it was handed (see RuntimeReexec.h).
#include "RuntimeReexec.h"

#include "Log.h"
#include "SysInfo.h"

namespace RuntimeReexec {

namespace {

typedef StringArray::const_iterator Word;

// True when the words from `from` on start with the words [first, last).
bool startsWith(Word from, Word end, Word first, Word last) {
    for (; first != last; ++first, ++from) {
        if (from == end || *from != *first) {
            return false;
        }
    }
    return true;
}

} // namespace

bool findApplicationArguments(const StringArray& commandLine,
                              const OwnVector& own,
                              bool (*isInserted)(const std::string& word),
                              StringArray& appArgs) {
    const Word ownOptionsEnd = own.args.begin() + own.optionsEnd;
    const Word ownAppArgs = own.args.begin() + own.appArgsPos;
    if (!own.hasMainTarget
            || !startsWith(commandLine.begin(), commandLine.end(),
                           own.args.begin(), ownOptionsEnd)) {
        return false;
    }
    Word word = commandLine.begin() + own.optionsEnd;
    while (word != commandLine.end() && isInserted(*word)) {
        ++word;
    }
    if (!startsWith(word, commandLine.end(), ownOptionsEnd, ownAppArgs)) {
        return false;
    }
    word += ownAppArgs - ownOptionsEnd;
    appArgs.assign(word, commandLine.end());
    LOG_TRACE("Executed again by the runtime's launcher library with the"
              " vector of this configuration; " << appArgs.size()
              << " application arguments");
    return true;
}

void preventReexecution() {
    SysInfo::unsetEnvVariable("LD_LIBRARY_PATH");
}

} // namespace RuntimeReexec
