// Prints the absolute path of its own executable as the launcher finds it,
// so that tests can start it by absolute and relative paths and through
// links. On failure prints the error's raw message and exits with 1.
#include <iostream>

#include "ErrorHandling.h"
#include "SysInfo.h"

int main(int argc, char** argv) {
    SysInfo::argc = argc;
    SysInfo::argv = argv;
    try {
        std::cout << SysInfo::getProcessModulePath() << std::endl;
    } catch (const VtErrorBase& e) {
        std::cout << e.rawMessage() << std::endl;
        return 1;
    }
    return 0;
}
