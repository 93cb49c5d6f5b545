// The macOS runtime library starts the Java runtime on a thread of this
// process and never executes the launcher again: every start is a start of
// its own.
#include "RuntimeReexec.h"

namespace RuntimeReexec {

bool findApplicationArguments(const StringArray&, const OwnVector&,
                              bool (*)(const std::string&), StringArray&) {
    return false;
}

void preventReexecution() {}

} // namespace RuntimeReexec
