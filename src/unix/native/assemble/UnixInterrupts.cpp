#include "Interrupts.h"

#include <signal.h>
#include <unistd.h>

#include "ErrorHandling.h"

namespace Interrupts {

namespace {

volatile sig_atomic_t receivedSignal = 0;

void note(int signal) {
    if (receivedSignal == 0) {
        receivedSignal = signal;
    }
}

// A closed terminal or ssh session (SIGHUP) and the quit key (SIGQUIT) end
// the command as Ctrl-C and kill do.
const int handledSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

sigset_t allHandled() {
    sigset_t set;
    sigemptyset(&set);
    for (const int signal : handledSignals) {
        sigaddset(&set, signal);
    }
    return set;
}

const char* nameOf(int signal) {
    switch (signal) {
    case SIGINT: return "SIGINT";
    case SIGTERM: return "SIGTERM";
    case SIGHUP: return "SIGHUP";
    default: return "SIGQUIT";
    }
}

} // namespace

void install() {
    struct sigaction action = {};
    action.sa_handler = note;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;
    for (const int signal : handledSignals) {
        sigaction(signal, &action, nullptr);
    }
}

int received() {
    return receivedSignal;
}

void check() {
    if (receivedSignal != 0) {
        VT_THROW(tstrings::any() << "Interrupted by "
                 << nameOf(receivedSignal)
                 << ": nothing was written");
    }
}

void endAsReceived() {
    const int signal = receivedSignal;
    if (signal == 0) {
        return;
    }
    struct sigaction action = {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    sigaction(signal, &action, nullptr);
    const sigset_t set = allHandled();
    sigprocmask(SIG_UNBLOCK, &set, nullptr);
    raise(signal);
}

Deferral::Deferral() {
    const sigset_t set = allHandled();
    sigprocmask(SIG_BLOCK, &set, nullptr);
}

Deferral::~Deferral() {
    const sigset_t set = allHandled();
    sigprocmask(SIG_UNBLOCK, &set, nullptr);
}

} // namespace Interrupts
