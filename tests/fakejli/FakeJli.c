/*
 * A substitute for the Java runtime's launcher library, for tests. It exports
 * JLI_Launch with the runtime's fourteen parameters and, instead of starting
 * a runtime, records what it receives. The test steers it through the
 * environment:
 *
 *   FAKE_JLI_RECORD   file to which every call appends its record
 *   FAKE_JLI_ENV      comma-separated names of variables to record
 *   FAKE_JLI_RESULT   the value to return (default 0)
 *   FAKE_JLI_REENTER  "1": enter the executable's `main` once more, on a new
 *                     thread, while this call runs, as the macOS runtime
 *                     library does, and record what it returned
 *   FAKE_JLI_STDOUT   text to print on standard output, as an application
 *                     would
 *   FAKE_JLI_EXEC     after recording, execute this process's program again
 *                     in its place (once: the variable is removed first):
 *                     "runtime" with the complete argument vector received,
 *                     as the Linux runtime library does when it has to
 *                     change LD_LIBRARY_PATH; "restart" with only the
 *                     program name and the argument "restarted", as an
 *                     application restarting itself in place would
 *
 * A record is a sequence of fields "key=<length>:<bytes>\n", so that every
 * byte of an argument survives.
 */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <limits.h>
#include <pthread.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

static int depth = 0;

static void putField(FILE* f, const char* key, const char* value) {
    if (value == NULL) {
        fprintf(f, "%s=null\n", key);
        return;
    }
    fprintf(f, "%s=%zu:", key, strlen(value));
    fwrite(value, 1, strlen(value), f);
    fputc('\n', f);
}

static void putInt(FILE* f, const char* key, long value) {
    char text[32];
    snprintf(text, sizeof(text), "%ld", value);
    putField(f, key, text);
}

/* argv may sit at any address: the launcher packs its data without gaps. */
static char* entryAt(char** array, int index) {
    char* value;
    memcpy(&value, (const char*)array + (size_t)index * sizeof(char*),
           sizeof(value));
    return value;
}

static void putEnv(FILE* f) {
    const char* names = getenv("FAKE_JLI_ENV");
    char* copy;
    char* name;
    char* save = NULL;
    if (names == NULL) {
        return;
    }
    copy = strdup(names);
    for (name = strtok_r(copy, ",", &save); name != NULL;
         name = strtok_r(NULL, ",", &save)) {
        char key[256];
        snprintf(key, sizeof(key), "env %s", name);
        putField(f, key, getenv(name));
    }
    free(copy);
}

struct Reentry {
    int (*mainFunc)(int, char**);
    int argc;
    char** argv;
    int result;
};

static void* runMain(void* arg) {
    struct Reentry* r = (struct Reentry*)arg;
    r->result = r->mainFunc(r->argc, r->argv);
    return NULL;
}

/* Enters the executable's main again; returns its result, or -1000 when the
 * executable does not export main. */
static int reenterMain(void) {
    static char arg0[] = "reentry";
    static char arg1[] = "second-entry-argument";
    static char* argv[] = {arg0, arg1, NULL};
    struct Reentry r;
    pthread_t thread;
    void* sym = dlsym(RTLD_DEFAULT, "main");
    if (sym == NULL) {
        return -1000;
    }
    memcpy(&r.mainFunc, &sym, sizeof(sym));
    r.argc = 2;
    r.argv = argv;
    r.result = -1001;
    if (pthread_create(&thread, NULL, runMain, &r) != 0) {
        return -1002;
    }
    pthread_join(thread, NULL);
    return r.result;
}

/* Executes the program of this process again in its place, as FAKE_JLI_EXEC
 * asks; returns only when that fails. */
static void execAgain(const char* mode, int argc, char** argv) {
    static char restarted[] = "restarted";
    char program[PATH_MAX];
    char** args = calloc((size_t)argc + 2, sizeof(char*));
    ssize_t n = readlink("/proc/self/exe", program, sizeof(program) - 1);
    int i;
    for (i = 0; args != NULL && i < argc; ++i) {
        args[i] = (i == 1 && strcmp(mode, "restart") == 0) ? restarted
                                                           : entryAt(argv, i);
    }
    if (args != NULL && n > 0) {
        program[n] = '\0';
        args[strcmp(mode, "restart") == 0 ? 2 : argc] = NULL;
        unsetenv("FAKE_JLI_EXEC");
        execv(program, args);
    }
    free(args);
}

int JLI_Launch(int argc, char** argv, int jargc, const char** jargv,
               int appclassc, const char** appclassv, const char* fullversion,
               const char* dotversion, const char* pname, const char* lname,
               unsigned char javaargs, unsigned char cpwildcard,
               unsigned char javaw, int ergo) {
    const char* recordPath = getenv("FAKE_JLI_RECORD");
    const char* result = getenv("FAKE_JLI_RESULT");
    const char* reenter = getenv("FAKE_JLI_REENTER");
    const char* out = getenv("FAKE_JLI_STDOUT");
    const char* exec = getenv("FAKE_JLI_EXEC");
    int entry = depth++;
    int i;

    if (recordPath != NULL) {
        FILE* f = fopen(recordPath, "ab");
        if (f != NULL) {
            putInt(f, "call", entry);
            putInt(f, "argc", argc);
            for (i = 0; i < argc; ++i) {
                putField(f, "arg", entryAt(argv, i));
            }
            putField(f, "argv-end", entryAt(argv, argc) == NULL ? "null"
                                                                : "not null");
            putInt(f, "jargc", jargc);
            putField(f, "jargv", jargv == NULL ? "null" : "not null");
            putInt(f, "appclassc", appclassc);
            putField(f, "appclassv", appclassv == NULL ? "null" : "not null");
            putField(f, "fullversion", fullversion);
            putField(f, "dotversion", dotversion);
            putField(f, "pname", pname);
            putField(f, "lname", lname);
            putInt(f, "javaargs", javaargs);
            putInt(f, "cpwildcard", cpwildcard);
            putInt(f, "javaw", javaw);
            putInt(f, "ergo", ergo);
            putEnv(f);
            fclose(f);
        }
    }

    if (exec != NULL) {
        execAgain(exec, argc, argv);
    }

    if (out != NULL) {
        fputs(out, stdout);
        fflush(stdout);
    }

    if (entry == 0 && reenter != NULL && strcmp(reenter, "1") == 0) {
        int reentryResult = reenterMain();
        if (recordPath != NULL) {
            FILE* f = fopen(recordPath, "ab");
            if (f != NULL) {
                putInt(f, "reentry-result", reentryResult);
                fclose(f);
            }
        }
    }

    --depth;
    return result == NULL ? 0 : atoi(result);
}
