/*
 * Preloaded into a process, sends it SIGTERM once, at the first call of the
 * function that SIGNAL_AT names ("syncfs" or "fsync"), right before that
 * call runs: a signal that arrives at a known step of the assembly.
 */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <signal.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

typedef int (*SyncFunction)(int);

static int sent = 0;

static int signalled(const char* name, int fd) {
    const char* at = getenv("SIGNAL_AT");
    SyncFunction next;
    void* sym = dlsym(RTLD_NEXT, name);
    if (at != NULL && strcmp(at, name) == 0 && !sent) {
        sent = 1;
        kill(getpid(), SIGTERM);
    }
    if (sym == NULL) {
        errno = ENOSYS;
        return -1;
    }
    memcpy(&next, &sym, sizeof(next));
    return next(fd);
}

int syncfs(int fd) {
    return signalled("syncfs", fd);
}

int fsync(int fd) {
    return signalled("fsync", fd);
}
