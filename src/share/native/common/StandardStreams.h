// The process's standard output and error streams as std::ostream objects
// over the C library's stdout and stderr.
//
// The launcher does not use <iostream>: its static initialisation of the
// standard streams and their locale would be paid on every start, although
// the launcher writes nothing on a successful start. These objects are built
// only when something is about to be written.
#ifndef STANDARDSTREAMS_H
#define STANDARDSTREAMS_H

#include <iosfwd>

/// The standard output stream. Until `prepareStandardStreams` has run, only
/// its address may be taken.
std::ostream& standardOutputStream();

/// The standard error stream. Until `prepareStandardStreams` has run, only
/// its address may be taken.
std::ostream& standardErrorStream();

/// Builds both stream objects on its first call; cheap afterwards. Every
/// write to one of them comes after a call of this function. The objects are
/// never destroyed, so they stay usable until the process ends.
void prepareStandardStreams();

#endif // STANDARDSTREAMS_H
