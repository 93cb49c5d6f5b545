#include "StandardStreams.h"

#include <iostream>

std::ostream& standardOutputStream() {
    return std::cout;
}

std::ostream& standardErrorStream() {
    return std::cerr;
}
