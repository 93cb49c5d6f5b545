// The Linux runtime library executes the launcher again with the runtime
// vector it was handed (see RuntimeReexec.h).
#include "RuntimeReexec.h"

#include "ClassDataArchive.h"
#include "JvmLauncher.h"
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

bool findApplicationArguments(const StringArray& commandLine, const Jvm& jvm,
                              StringArray& appArgs) {
    const StringArray& own = jvm.getArguments();
    const Word ownOptionsEnd = own.begin() + jvm.getOptionsEnd();
    const Word ownAppArgs = own.begin() + jvm.getApplicationArgumentsPos();
    if (!jvm.hasMainTarget()
            || !startsWith(commandLine.begin(), commandLine.end(), own.begin(),
                           ownOptionsEnd)) {
        return false;
    }
    Word word = commandLine.begin() + jvm.getOptionsEnd();
    while (word != commandLine.end()
           && ClassDataArchive::isArchiveOption(*word)) {
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
