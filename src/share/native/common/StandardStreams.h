// The process's standard output and error streams, reached through one unit
// so that the rest of the launcher does not include <iostream>.
#ifndef STANDARDSTREAMS_H
#define STANDARDSTREAMS_H

#include <iosfwd>

/// The standard output stream.
std::ostream& standardOutputStream();

/// The standard error stream.
std::ostream& standardErrorStream();

#endif // STANDARDSTREAMS_H
