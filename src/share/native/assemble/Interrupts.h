// SIGINT, SIGTERM, SIGHUP and SIGQUIT while the assembly command runs: the
// handlers only note the signal; the long steps (copying, waiting for jlink
// or codesign) check for it and stop with an error, so that the unwinding
// removes what was made, and the command then ends as the signal would have
// ended it.
#ifndef INTERRUPTS_H
#define INTERRUPTS_H

namespace Interrupts {

/// Installs the handlers. Blocking system calls then return early with
/// EINTR when a signal arrives instead of being restarted.
void install();

/// The signal that arrived, or 0.
int received();

/// Throws when a signal arrived.
void check();

/// Ends the process as the received signal would have, with the default
/// action; returns when none arrived.
void endAsReceived();

/// Holds those signals back for its lifetime (they arrive afterwards),
/// around steps that must not be cut in two.
class Deferral {
public:
    Deferral();
    ~Deferral();
    Deferral(const Deferral&) = delete;
    Deferral& operator=(const Deferral&) = delete;
};

} // namespace Interrupts

#endif // INTERRUPTS_H
