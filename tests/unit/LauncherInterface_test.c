/*
 * The plain functions of the launcher library interface, driven from C as
 * the runtime's side sees them: a fake callback table, hand-packed data
 * blocks and a fake JLI_Launch. Each scenario returns the failed checks, one
 * per line, or an empty text; LauncherInterface_main.cpp runs them.
 */
#define _POSIX_C_SOURCE 200809L

#include "JvmLauncher.h"

#include <errno.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/resource.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

/* ---- checks ----------------------------------------------------------- */

static char failures[16384];

static void addFailure(int line, const char* format, ...) {
    size_t used = strlen(failures);
    va_list args;
    if (used + 2 >= sizeof(failures)) {
        return;
    }
    used += (size_t)snprintf(failures + used, sizeof(failures) - used,
                             "LauncherInterface_test.c:%d: ", line);
    if (used + 2 >= sizeof(failures)) {
        return;
    }
    va_start(args, format);
    used += (size_t)vsnprintf(failures + used, sizeof(failures) - used,
                              format, args);
    va_end(args);
    if (used + 2 < sizeof(failures)) {
        strcat(failures, "\n");
    }
}

#define CHECK(cond)                                                          \
    do {                                                                     \
        if (!(cond)) {                                                       \
            addFailure(__LINE__, "%s", #cond);                               \
        }                                                                    \
    } while (0)

#define CHECK_INT(expected, actual)                                          \
    do {                                                                     \
        long e_ = (long)(expected);                                          \
        long a_ = (long)(actual);                                            \
        if (e_ != a_) {                                                      \
            addFailure(__LINE__, "%s: expected %ld, got %ld", #actual, e_,   \
                       a_);                                                  \
        }                                                                    \
    } while (0)

#define CHECK_STR(expected, actual)                                          \
    do {                                                                     \
        const char* e_ = (expected);                                         \
        const char* a_ = (actual);                                           \
        if (e_ == NULL || a_ == NULL ? e_ != a_ : strcmp(e_, a_) != 0) {     \
            addFailure(__LINE__, "%s: expected [%s], got [%s]", #actual,     \
                       e_ ? e_ : "(null)", a_ ? a_ : "(null)");              \
        }                                                                    \
    } while (0)

static const char* finish(void) {
    return failures;
}

static void start(void) {
    failures[0] = '\0';
}

/* ---- environment ------------------------------------------------------ */

struct SavedVar {
    const char* name;
    int wasSet;
    char value[256];
};

static void saveVar(struct SavedVar* v, const char* name) {
    const char* value = getenv(name);
    v->name = name;
    v->wasSet = value != NULL;
    snprintf(v->value, sizeof(v->value), "%s", value ? value : "");
}

static void restoreVar(const struct SavedVar* v) {
    if (v->wasSet) {
        setenv(v->name, v->value, 1);
    } else {
        unsetenv(v->name);
    }
}

static void setDebug(const char* value) {
    if (value == NULL) {
        unsetenv("VANTRY_DEBUG");
    } else {
        setenv("VANTRY_DEBUG", value, 1);
    }
}

/* ---- standard error capture ------------------------------------------- */

struct Capture {
    int savedFd;
    int fileFd;
    char path[64];
};

static int captureStart(struct Capture* c) {
    strcpy(c->path, "/tmp/launcher-interface-XXXXXX");
    c->fileFd = mkstemp(c->path);
    if (c->fileFd < 0) {
        return 0;
    }
    fflush(stderr);
    c->savedFd = dup(2);
    dup2(c->fileFd, 2);
    return 1;
}

/* Bytes written to standard error since the capture started. */
static long capturedSize(const struct Capture* c) {
    fflush(stderr);
    return (long)lseek(c->fileFd, 0, SEEK_CUR);
}

/* Ends the capture; the text captured, to be freed by the caller. */
static char* captureEnd(struct Capture* c) {
    long size;
    char* text;
    fflush(stderr);
    dup2(c->savedFd, 2);
    close(c->savedFd);
    size = (long)lseek(c->fileFd, 0, SEEK_END);
    text = (char*)calloc((size_t)size + 1, 1);
    if (text != NULL && size > 0) {
        if (pread(c->fileFd, text, (size_t)size, 0) != size) {
            text[0] = '\0';
        }
    }
    close(c->fileFd);
    unlink(c->path);
    return text;
}

/* ---- the interface's source lines ------------------------------------- */

/* The number of the first line of the interface's source that contains
 * `needle`: the debug lines must name the line of their own log site. */
static int sourceLine(const char* needle) {
    static const char self[] = "tests/unit/LauncherInterface_test.c";
    static const char lib[] = "src/share/native/applauncher/JvmLauncherLib.c";
    char path[4096];
    char line[1024];
    size_t rootLength = strlen(__FILE__) - strlen(self);
    FILE* f;
    int number = 0;
    if (strlen(__FILE__) < strlen(self)
            || strcmp(&__FILE__[rootLength], self) != 0
            || rootLength + sizeof(lib) > sizeof(path)) {
        return -1;
    }
    memcpy(path, __FILE__, rootLength);
    strcpy(path + rootLength, lib);
    f = fopen(path, "r");
    if (f == NULL) {
        return -1;
    }
    while (fgets(line, sizeof(line), f) != NULL) {
        ++number;
        if (strstr(line, needle) != NULL) {
            fclose(f);
            return number;
        }
    }
    fclose(f);
    return -1;
}

/* ---- a fake callback table -------------------------------------------- */

static struct {
    char calls[16];      /* S(ize), I(nit), C(lose), in order */
    JvmlLauncherHandle handles[3];
    int size;            /* what the size callback answers */
    int initFails;
    void* initBuffer;
    int initBufferSize;
} fakeApi;

static void noteCall(char kind, JvmlLauncherHandle h) {
    size_t n = strlen(fakeApi.calls);
    if (n + 1 < sizeof(fakeApi.calls)) {
        fakeApi.calls[n] = kind;
        fakeApi.calls[n + 1] = '\0';
    }
    fakeApi.handles[kind == 'S' ? 0 : kind == 'I' ? 1 : 2] = h;
}

static void fakeClose(JvmlLauncherHandle h) {
    noteCall('C', h);
}

static int fakeSize(JvmlLauncherHandle h) {
    noteCall('S', h);
    return fakeApi.size;
}

static JvmlLauncherData* fakeInit(JvmlLauncherHandle h, void* ptr,
                                  int bufferSize) {
    noteCall('I', h);
    fakeApi.initBuffer = ptr;
    fakeApi.initBufferSize = bufferSize;
    if (fakeApi.initFails) {
        return NULL;
    }
    /* The whole buffer is ours to write. */
    memset(ptr, 0x5a, (size_t)bufferSize);
    return (JvmlLauncherData*)ptr;
}

static const JvmlLauncherAPI fakeTable = {fakeClose, fakeSize, fakeInit};

static void resetFakeApi(int size, int initFails) {
    memset(&fakeApi, 0, sizeof(fakeApi));
    fakeApi.size = size;
    fakeApi.initFails = initFails;
}

static int handleObject;

/* True when built with AddressSanitizer, whose allocator aborts instead of
 * failing when the address space runs out. */
int liSanitized(void) {
#if defined(__SANITIZE_ADDRESS__)
    return 1;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
    return 1;
#else
    return 0;
#endif
#else
    return 0;
#endif
}

const char* liCreateDataChecks(void) {
    JvmlLauncherHandle h = &handleObject;
    JvmlLauncherData* data;
    int size;
    int sizes[2] = {-1, 0};
    int i;
    struct SavedVar debug;
    struct Capture capture;
    char* text;

    start();
    /* Only a failed allocation is worth a debug line. */
    saveVar(&debug, "VANTRY_DEBUG");
    if (!captureStart(&capture)) {
        addFailure(__LINE__, "cannot capture standard error");
        return finish();
    }
    setDebug("true");

    /* A null handle: no callback at all. */
    resetFakeApi(64, 0);
    size = 12345;
    CHECK(jvmLauncherCreateJvmlLauncherData(&fakeTable, NULL, &size) == NULL);
    CHECK_STR("", fakeApi.calls);
    CHECK_INT(12345, size);

    /* Measuring fails: null, the handle is still closed, no buffer. */
    for (i = 0; i != 2; ++i) {
        resetFakeApi(sizes[i], 0);
        size = 12345;
        CHECK(jvmLauncherCreateJvmlLauncherData(&fakeTable, h, &size) == NULL);
        CHECK_STR("SC", fakeApi.calls);
        CHECK(fakeApi.handles[0] == h);
        CHECK(fakeApi.handles[2] == h);
        CHECK_INT(12345, size);
    }

    /* Filling fails: null, the buffer is freed (see the leak check), the
     * handle closed after the fill. */
    resetFakeApi(100, 1);
    size = 12345;
    CHECK(jvmLauncherCreateJvmlLauncherData(&fakeTable, h, &size) == NULL);
    CHECK_STR("SIC", fakeApi.calls);
    CHECK(fakeApi.handles[1] == h);
    CHECK(fakeApi.handles[2] == h);
    CHECK(fakeApi.initBuffer != NULL);
    CHECK_INT(100, fakeApi.initBufferSize);
    CHECK_INT(12345, size);

    /* Success: the filled buffer of exactly the size measured, the size
     * reported, the handle closed last. */
    resetFakeApi(77, 0);
    size = 0;
    data = jvmLauncherCreateJvmlLauncherData(&fakeTable, h, &size);
    CHECK(data != NULL);
    CHECK(data == fakeApi.initBuffer);
    CHECK_INT(77, fakeApi.initBufferSize);
    CHECK_INT(77, size);
    CHECK_STR("SIC", fakeApi.calls);
    CHECK(fakeApi.handles[2] == h);
    if (data != NULL) {
        CHECK_INT(0x5a, ((unsigned char*)data)[76]);
    }
    free(data);

    /* Success without a place for the size. */
    resetFakeApi(41, 0);
    data = jvmLauncherCreateJvmlLauncherData(&fakeTable, h, NULL);
    CHECK(data != NULL);
    CHECK_INT(41, fakeApi.initBufferSize);
    CHECK_STR("SIC", fakeApi.calls);
    free(data);

    restoreVar(&debug);
    text = captureEnd(&capture);
    CHECK_STR("", text);
    free(text);
    return finish();
}

/* Memory that cannot be had: null, the reason as a debug line, the handle
 * closed and nothing filled. Runs in a child process whose address space is
 * limited. */
const char* liCreateDataAllocationFailureChecks(void) {
    struct Capture capture;
    pid_t pid;
    int status = 0;
    char* text;
    char expected[256];

    start();
    if (!captureStart(&capture)) {
        addFailure(__LINE__, "cannot capture standard error");
        return finish();
    }
    pid = fork();
    if (pid == 0) {
        struct rlimit limit;
        JvmlLauncherData* data;
        int code = 0;
        setDebug("true");
        limit.rlim_cur = limit.rlim_max = (rlim_t)1 << 30;
        if (setrlimit(RLIMIT_AS, &limit) != 0) {
            _exit(100);
        }
        resetFakeApi(0x7fffffff, 0);
        data = jvmLauncherCreateJvmlLauncherData(&fakeTable, &handleObject,
                                                 NULL);
        code |= data == NULL ? 0 : 1;
        code |= strcmp(fakeApi.calls, "SC") == 0 ? 0 : 2;
        _exit(code);
    }
    if (pid < 0 || waitpid(pid, &status, 0) != pid) {
        addFailure(__LINE__, "no child process");
    }
    text = captureEnd(&capture);
    CHECK(WIFEXITED(status));
    CHECK_INT(0, WEXITSTATUS(status));
    snprintf(expected, sizeof(expected), "JvmLauncherLib.c:%d: %s\n",
             sourceLine("strerror(errno)"), strerror(ENOMEM));
    CHECK_STR(expected, text);
    free(text);
    return finish();
}

/* ---- blocks and a fake JLI_Launch ------------------------------------- */

/* Room for a block, aligned for its header as malloc would give it. */
typedef union BlockBuffer {
    char bytes[512];
    JvmlLauncherData header;
} BlockBuffer;

/* Packs a block the way the launcher lays it out: no gaps, so the pointer
 * arrays may sit at odd offsets. `buf` must be large enough. */
static JvmlLauncherData* packBlock(char* buf, const char* lib, int argc,
                                   const char* const* argv, int envc,
                                   const char* const* names,
                                   const char* const* values) {
    JvmlLauncherData header;
    char* cursor = buf + sizeof(JvmlLauncherData);
    int pass;
    int i;

    header.jliLibPath = cursor;
    memcpy(cursor, lib, strlen(lib) + 1);
    cursor += strlen(lib) + 1;

    header.jliLaunchArgc = argc;
    header.jliLaunchArgv = (char**)(void*)cursor;
    {
        char* array = cursor;
        char* entry = NULL;
        cursor += sizeof(char*) * (size_t)(argc + 1);
        for (i = 0; i != argc; ++i) {
            memcpy(array + sizeof(char*) * (size_t)i, &cursor, sizeof(char*));
            memcpy(cursor, argv[i], strlen(argv[i]) + 1);
            cursor += strlen(argv[i]) + 1;
        }
        memcpy(array + sizeof(char*) * (size_t)argc, &entry, sizeof(char*));
    }

    header.envVarCount = envc;
    for (pass = 0; pass != 2; ++pass) {
        const char* const* strings = pass == 0 ? names : values;
        char* array = cursor;
        if (pass == 0) {
            header.envVarNames = (char**)(void*)cursor;
        } else {
            header.envVarValues = (char**)(void*)cursor;
        }
        cursor += sizeof(char*) * (size_t)envc;
        for (i = 0; i != envc; ++i) {
            memcpy(array + sizeof(char*) * (size_t)i, &cursor, sizeof(char*));
            memcpy(cursor, strings[i], strlen(strings[i]) + 1);
            cursor += strlen(strings[i]) + 1;
        }
    }
    memcpy(buf, &header, sizeof(header));
    return (JvmlLauncherData*)(void*)buf;
}

static struct {
    int calls;
    int argc;
    char** argv;
    int jargc;
    const char** jargv;
    int appclassc;
    const char** appclassv;
    const char* fullversion;
    const char* dotversion;
    const char* pname;
    const char* lname;
    int javaargs;
    int cpwildcard;
    int javaw;
    int ergo;
    int result;
    /* What the process looked like when the launch function ran. */
    const struct Capture* capture;
    long stderrSize;
    char seenVar[3][64];
    int seenVarSet[3];
} fakeLaunch;

static const char* const watchedVars[3] = {"LI_TEST_A", "LI_TEST_B",
                                           "LI_TEST_C"};

static int fakeJliLaunch(int argc, char** argv, int jargc, const char** jargv,
                         int appclassc, const char** appclassv,
                         const char* fullversion, const char* dotversion,
                         const char* pname, const char* lname,
                         unsigned char javaargs, unsigned char cpwildcard,
                         unsigned char javaw, int ergo) {
    int i;
    ++fakeLaunch.calls;
    fakeLaunch.argc = argc;
    fakeLaunch.argv = argv;
    fakeLaunch.jargc = jargc;
    fakeLaunch.jargv = jargv;
    fakeLaunch.appclassc = appclassc;
    fakeLaunch.appclassv = appclassv;
    fakeLaunch.fullversion = fullversion;
    fakeLaunch.dotversion = dotversion;
    fakeLaunch.pname = pname;
    fakeLaunch.lname = lname;
    fakeLaunch.javaargs = javaargs;
    fakeLaunch.cpwildcard = cpwildcard;
    fakeLaunch.javaw = javaw;
    fakeLaunch.ergo = ergo;
    fakeLaunch.stderrSize =
            fakeLaunch.capture ? capturedSize(fakeLaunch.capture) : -1;
    for (i = 0; i != 3; ++i) {
        const char* value = getenv(watchedVars[i]);
        fakeLaunch.seenVarSet[i] = value != NULL;
        snprintf(fakeLaunch.seenVar[i], sizeof(fakeLaunch.seenVar[i]), "%s",
                 value ? value : "");
    }
    return fakeLaunch.result;
}

static void* launchFunc(void) {
    JvmlLauncherLaunchFunc f = fakeJliLaunch;
    void* p;
    memcpy(&p, &f, sizeof(p));
    return p;
}

static void resetFakeLaunch(int result, const struct Capture* capture) {
    memset(&fakeLaunch, 0, sizeof(fakeLaunch));
    fakeLaunch.result = result;
    fakeLaunch.capture = capture;
}

/* The argument entry `i` of a block, read bytewise. */
static char* argAt(const JvmlLauncherData* data, int i) {
    char* value;
    memcpy(&value, (const char*)data->jliLaunchArgv + sizeof(char*) * (size_t)i,
           sizeof(value));
    return value;
}

/* The fourteen arguments, the result passed back, and a block that is only
 * read. No debug output without VANTRY_DEBUG. */
const char* liStartJvmArgumentsChecks(void) {
    static const char* const args[] = {"/exe", "a", "", "b c"};
    static BlockBuffer block;
    static char copy[sizeof(BlockBuffer)];
    char* buf = block.bytes;
    int results[4] = {7, 0, -1, 1};
    struct SavedVar debug;
    struct Capture capture;
    JvmlLauncherData* data;
    char* text;
    int i;

    start();
    saveVar(&debug, "VANTRY_DEBUG");
    setDebug(NULL);
    /* A library path of 30 bytes puts the argument array at offset 71. */
    data = packBlock(buf, "/opt/runtime/lib/libjli.dylib!", 4, args, 0, NULL,
                     NULL);
    CHECK((char*)data->jliLaunchArgv == buf + 71);
    memcpy(copy, buf, sizeof(copy));

    if (!captureStart(&capture)) {
        addFailure(__LINE__, "cannot capture standard error");
        restoreVar(&debug);
        return finish();
    }
    for (i = 0; i != 4; ++i) {
        resetFakeLaunch(results[i], NULL);
        CHECK_INT(results[i], jvmLauncherStartJvm(data, launchFunc()));
        CHECK_INT(1, fakeLaunch.calls);
        CHECK_INT(4, fakeLaunch.argc);
        CHECK(fakeLaunch.argv == data->jliLaunchArgv);
        CHECK_INT(0, fakeLaunch.jargc);
        CHECK(fakeLaunch.jargv == NULL);
        CHECK_INT(0, fakeLaunch.appclassc);
        CHECK(fakeLaunch.appclassv == NULL);
        CHECK_STR("", fakeLaunch.fullversion);
        CHECK_STR("", fakeLaunch.dotversion);
        CHECK_STR("java", fakeLaunch.pname);
        CHECK_STR("java", fakeLaunch.lname);
        CHECK_INT(0, fakeLaunch.javaargs);
        CHECK_INT(0, fakeLaunch.cpwildcard);
        CHECK_INT(0, fakeLaunch.javaw);
        CHECK_INT(0, fakeLaunch.ergo);
    }
    text = captureEnd(&capture);
    restoreVar(&debug);

    CHECK_STR("", text);
    free(text);
    CHECK(memcmp(copy, buf, sizeof(copy)) == 0);
    CHECK_STR("b c", argAt(data, 3));
    CHECK(argAt(data, 4) == NULL);
    return finish();
}

/* Runs jvmLauncherStartJvm on `data` with VANTRY_DEBUG set to `debugValue`
 * (null: unset) and returns what it wrote on standard error. */
static char* startCaptured(const JvmlLauncherData* data,
                           const char* debugValue, int result) {
    struct SavedVar debug;
    struct Capture capture;
    char* text;
    saveVar(&debug, "VANTRY_DEBUG");
    if (!captureStart(&capture)) {
        addFailure(__LINE__, "cannot capture standard error");
        return NULL;
    }
    setDebug(debugValue);
    resetFakeLaunch(result, &capture);
    CHECK_INT(result, jvmLauncherStartJvm(data, launchFunc()));
    restoreVar(&debug);
    text = captureEnd(&capture);
    CHECK_INT(1, fakeLaunch.calls);
    return text;
}

/* The debug lines, exactly, and only for VANTRY_DEBUG "true". */
const char* liStartJvmDebugLinesChecks(void) {
    static const char* const args[] = {"x", "y z"};
    static const char* const names[] = {"LI_TEST_A"};
    static const char* const values[] = {"v"};
    static const char* const quiet[] = {NULL, "TRUE", "1", "true ", " true",
                                        "", "True", "truee"};
    static BlockBuffer block;
    char* buf = block.bytes;
    struct SavedVar var;
    JvmlLauncherData* data;
    char expected[1024];
    char* text;
    size_t i;

    start();
    saveVar(&var, "LI_TEST_A");
    data = packBlock(buf, "L", 2, args, 1, names, values);

    snprintf(expected, sizeof(expected),
             "JvmLauncherLib.c:%d: jli lib: [L]\n"
             "JvmLauncherLib.c:%d: jli arg[0]: [x]\n"
             "JvmLauncherLib.c:%d: jli arg[1]: [y z]\n"
             "JvmLauncherLib.c:%d: env var[0]: LI_TEST_A=[v]\n",
             sourceLine("\"jli lib: [%s]\""), sourceLine("\"jli arg[%d]: [%s]\""),
             sourceLine("\"jli arg[%d]: [%s]\""),
             sourceLine("\"env var[%d]: %s=[%s]\""));
    CHECK(strstr(expected, ":-1:") == NULL);

    unsetenv("LI_TEST_A");
    text = startCaptured(data, "true", 3);
    CHECK_STR(expected, text);
    /* Everything was written before the launch function ran, and the
     * variable was set by then. */
    CHECK_INT((long)strlen(expected), fakeLaunch.stderrSize);
    CHECK(fakeLaunch.seenVarSet[0]);
    CHECK_STR("v", fakeLaunch.seenVar[0]);
    free(text);

    for (i = 0; i != sizeof(quiet) / sizeof(quiet[0]); ++i) {
        unsetenv("LI_TEST_A");
        text = startCaptured(data, quiet[i], 0);
        if (text != NULL && text[0] != '\0') {
            addFailure(__LINE__, "VANTRY_DEBUG=[%s] wrote [%s]",
                       quiet[i] ? quiet[i] : "(unset)", text);
        }
        /* The variable is set whatever the debug switch says. */
        CHECK_STR("v", fakeLaunch.seenVar[0]);
        free(text);
    }
    restoreVar(&var);
    return finish();
}

/* Every variable is logged before the first is set: a variable that cannot
 * be set reports its failure only after all the variable lines. Failures do
 * not stop the others or the launch; existing values are overwritten. */
const char* liStartJvmEnvironmentChecks(void) {
    static const char* const args[] = {"/exe"};
    static const char* const names[] = {"BAD=NAME", "LI_TEST_B", "",
                                        "LI_TEST_C"};
    static const char* const values[] = {"x", "new value", "z", ""};
    static BlockBuffer block;
    char* buf = block.bytes;
    struct SavedVar saved[2];
    JvmlLauncherData* data;
    char expected[1024];
    char* text;
    int envLine = sourceLine("\"env var[%d]: %s=[%s]\"");
    int setenvLine = sourceLine("\"setenv(%d) failed\"");

    start();
    saveVar(&saved[0], "LI_TEST_B");
    saveVar(&saved[1], "LI_TEST_C");
    setenv("LI_TEST_B", "old value", 1);
    setenv("LI_TEST_C", "old", 1);
    data = packBlock(buf, "/lib", 1, args, 4, names, values);

    snprintf(expected, sizeof(expected),
             "JvmLauncherLib.c:%d: jli lib: [/lib]\n"
             "JvmLauncherLib.c:%d: jli arg[0]: [/exe]\n"
             "JvmLauncherLib.c:%d: env var[0]: BAD=NAME=[x]\n"
             "JvmLauncherLib.c:%d: env var[1]: LI_TEST_B=[new value]\n"
             "JvmLauncherLib.c:%d: env var[2]: =[z]\n"
             "JvmLauncherLib.c:%d: env var[3]: LI_TEST_C=[]\n"
             "JvmLauncherLib.c:%d: setenv(0) failed\n"
             "JvmLauncherLib.c:%d: setenv(2) failed\n",
             sourceLine("\"jli lib: [%s]\""), sourceLine("\"jli arg[%d]: [%s]\""),
             envLine, envLine, envLine, envLine, setenvLine, setenvLine);
    CHECK(strstr(expected, ":-1:") == NULL);

    text = startCaptured(data, "true", 0);
    CHECK_STR(expected, text);
    CHECK_INT((long)strlen(expected), fakeLaunch.stderrSize);
    CHECK_STR("new value", fakeLaunch.seenVar[1]);
    CHECK(fakeLaunch.seenVarSet[2]);
    CHECK_STR("", fakeLaunch.seenVar[2]);
    /* The variables stay set afterwards. */
    CHECK_STR("new value", getenv("LI_TEST_B"));
    free(text);

    restoreVar(&saved[0]);
    restoreVar(&saved[1]);
    return finish();
}

/* Without variables nothing about them is logged and the name and value
 * arrays are never touched: here they are null, so a touch would crash. */
const char* liStartJvmNoVariablesChecks(void) {
    static const char* const args[] = {"/exe", "-jar", "a.jar"};
    static BlockBuffer block;
    JvmlLauncherData* data;
    char expected[1024];
    char* text;

    start();
    data = packBlock(block.bytes, "/lib", 3, args, 0, NULL, NULL);
    data->envVarNames = NULL;
    data->envVarValues = NULL;

    snprintf(expected, sizeof(expected),
             "JvmLauncherLib.c:%d: jli lib: [/lib]\n"
             "JvmLauncherLib.c:%d: jli arg[0]: [/exe]\n"
             "JvmLauncherLib.c:%d: jli arg[1]: [-jar]\n"
             "JvmLauncherLib.c:%d: jli arg[2]: [a.jar]\n",
             sourceLine("\"jli lib: [%s]\""), sourceLine("\"jli arg[%d]: [%s]\""),
             sourceLine("\"jli arg[%d]: [%s]\""),
             sourceLine("\"jli arg[%d]: [%s]\""));

    text = startCaptured(data, "true", 0);
    CHECK_STR(expected, text);
    CHECK_INT(3, fakeLaunch.argc);
    free(text);
    return finish();
}

/* The prefix is the last component of the path and the line, then the
 * printf text and a newline. */
const char* liLogFormatChecks(void) {
    struct SavedVar debug;
    struct Capture capture;
    char* text;

    start();
    saveVar(&debug, "VANTRY_DEBUG");
    if (!captureStart(&capture)) {
        addFailure(__LINE__, "cannot capture standard error");
        return finish();
    }
    setDebug("true");
    jvmLauncherLog("/a/b/JvmLauncherLib.c", 90, "jli lib: [%s]", "L");
    jvmLauncherLog("plain.c", 7, "%d%%|%s|%5.2f", -3, "", 1.5);
    jvmLauncherLog("dir/", 0, "%s", "no name");
    jvmLauncherLog("x/y.c", -1, "no values");
    setDebug("false");
    jvmLauncherLog("x/y.c", 1, "hidden");
    setDebug("true");
    /* The switch is read on every call. */
    jvmLauncherLog("x/y.c", 2, "shown");
    restoreVar(&debug);
    text = captureEnd(&capture);

    CHECK_STR("JvmLauncherLib.c:90: jli lib: [L]\n"
              "plain.c:7: -3%|| 1.50\n"
              ":0: no name\n"
              "y.c:-1: no values\n"
              "y.c:2: shown\n",
              text);
    free(text);
    return finish();
}
