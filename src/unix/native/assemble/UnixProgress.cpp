#include "Progress.h"

#include <unistd.h>

#include <iostream>

#include "TextRules.h"

namespace Progress {

void step(const std::string& what) {
    if (::isatty(STDERR_FILENO) == 1) {
        std::cerr << "applauncher-assemble: " << what << "..." << std::endl;
    }
}

void note(const std::string& text) {
    std::cerr << "applauncher-assemble: note: " << printable(text)
              << std::endl;
}

} // namespace Progress
