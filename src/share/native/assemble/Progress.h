// What the assembly command tells its user on standard error besides
// errors: a progress line as each slow step starts (copying a runtime,
// jlink, the start check, signing), shown only when standard error is a
// terminal, and notes, shown always. Standard output stays empty.
#ifndef PROGRESS_H
#define PROGRESS_H

#include <string>

namespace Progress {

/// "applauncher-assemble: <what>..." on its own line, when standard error
/// is a terminal; nothing otherwise.
void step(const std::string& what);

/// "applauncher-assemble: note: <text>" on its own line (control
/// characters in `text` escaped).
void note(const std::string& text);

} // namespace Progress

#endif // PROGRESS_H
