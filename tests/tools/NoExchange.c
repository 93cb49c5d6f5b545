/*
 * Preloaded into a process, makes it see a file system without the atomic
 * exchange: renameat2 with RENAME_EXCHANGE fails with EINVAL, as on NFS, SMB
 * and some FUSE file systems. Each refused exchange appends a line to the
 * file NO_EXCHANGE_LOG names, so that a test knows the fallback ran.
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
