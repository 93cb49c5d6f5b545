/*
 * Preloaded into a process, holds its first rename of a file to a name that
 * ends in ".1.log" (the rotation of a launch log) until the test lets it go,
 * so that another start can run in between. HOLD_RENAME_DIR names a
 * directory: the rename creates "held" there, waits until "go" exists (a
 * minute at most) and then renames.
 */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

static int endsWith(const char* text, const char* end) {
    size_t n = strlen(text);
    size_t m = strlen(end);
    return n >= m && strcmp(text + n - m, end) == 0;
}

static void holdOnce(void) {
    static int held = 0;
    const char* dir = getenv("HOLD_RENAME_DIR");
    char path[4096];
    struct timespec pause = {0, 1000000};
    int waited;
    if (dir == NULL || held) {
        return;
    }
    held = 1;
    snprintf(path, sizeof(path), "%s/held", dir);
    close(open(path, O_WRONLY | O_CREAT | O_CLOEXEC, 0600));
    snprintf(path, sizeof(path), "%s/go", dir);
    for (waited = 0; waited < 60000 && access(path, F_OK) != 0; ++waited) {
        nanosleep(&pause, NULL);
    }
}

int renameat(int olddirfd, const char* oldpath, int newdirfd,
             const char* newpath) {
    int (*real)(int, const char*, int, const char*);
    void* sym = dlsym(RTLD_NEXT, "renameat");
    if (sym == NULL) {
        return -1;
    }
    memcpy(&real, &sym, sizeof(real));
    if (endsWith(newpath, ".1.log")) {
        holdOnce();
    }
    return real(olddirfd, oldpath, newdirfd, newpath);
}
