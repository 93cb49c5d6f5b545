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

sigset_t bothSignals() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    return set;
}

} // namespace

void install() {
    struct sigaction action = {};
    action.sa_handler = note;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

int received() {
    return receivedSignal;
}

void check() {
    if (receivedSignal != 0) {
        VT_THROW(tstrings::any() << "Interrupted by "
                 << (receivedSignal == SIGINT ? "SIGINT" : "SIGTERM")
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
    const sigset_t set = bothSignals();
    sigprocmask(SIG_UNBLOCK, &set, nullptr);
    raise(signal);
}

Deferral::Deferral() {
    const sigset_t set = bothSignals();
    sigprocmask(SIG_BLOCK, &set, nullptr);
}

Deferral::~Deferral() {
    const sigset_t set = bothSignals();
    sigprocmask(SIG_UNBLOCK, &set, nullptr);
}

} // namespace Interrupts
