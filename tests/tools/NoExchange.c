/*
 * Preloaded into a process, makes it see a file system without the atomic
 * exchange: renameat2 with RENAME_EXCHANGE or RENAME_NOREPLACE fails with
 * EINVAL, as on NFS, SMB and some FUSE file systems. Each refused exchange
 * appends a line to the file NO_EXCHANGE_LOG names, so that a test knows the
 * fallback ran. With NO_EXCHANGE_SAVE_AT naming a path, a file is saved
 * there just before the first rename or link to that path, as a user might
 * save one in the moment the command moves its own there.
 */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/syscall.h>
#include <unistd.h>

#ifndef RENAME_NOREPLACE
#define RENAME_NOREPLACE (1 << 0)
#endif
#ifndef RENAME_EXCHANGE
#define RENAME_EXCHANGE (1 << 1)
#endif

typedef long (*SyscallFunction)(long, ...);

long syscall(long number, ...) {
    long args[6];
    va_list list;
    int i;
    va_start(list, number);
    for (i = 0; i < 6; ++i) {
        args[i] = va_arg(list, long);
    }
    va_end(list);
    if (number == SYS_renameat2 && (args[4] & RENAME_NOREPLACE) != 0) {
        errno = EINVAL;
        return -1;
    }
    if (number == SYS_renameat2 && (args[4] & RENAME_EXCHANGE) != 0) {
        const char* log = getenv("NO_EXCHANGE_LOG");
        if (log != NULL) {
            FILE* file = fopen(log, "a");
            if (file != NULL) {
                fprintf(file, "refused\n");
                fclose(file);
            }
        }
        errno = EINVAL;
        return -1;
    }
    SyscallFunction next;
    void* sym = dlsym(RTLD_NEXT, "syscall");
    if (sym == NULL) {
        errno = ENOSYS;
        return -1;
    }
    memcpy(&next, &sym, sizeof(next));
    return next(number, args[0], args[1], args[2], args[3], args[4], args[5]);
}

static void saveBefore(const char* to) {
    static int saved = 0;
    const char* at = getenv("NO_EXCHANGE_SAVE_AT");
    int fd;
    if (saved || at == NULL || strcmp(at, to) != 0) {
        return;
    }
    saved = 1;
    fd = open(at, O_WRONLY | O_CREAT | O_EXCL, 0644);
    if (fd >= 0) {
        if (write(fd, "saved meanwhile\n", 16) != 16) {
            saved = 2;
        }
        close(fd);
    }
}

typedef int (*TwoPathFunction)(const char*, const char*);

static int callNext(const char* name, const char* from, const char* to) {
    TwoPathFunction next;
    void* sym = dlsym(RTLD_NEXT, name);
    if (sym == NULL) {
        errno = ENOSYS;
        return -1;
    }
    memcpy(&next, &sym, sizeof(next));
    return next(from, to);
}

int rename(const char* from, const char* to) {
    saveBefore(to);
    return callNext("rename", from, to);
}

int link(const char* from, const char* to) {
    saveBefore(to);
    return callNext("link", from, to);
}
