/* A library that a forged environment could try to have loaded in place of
 * the runtime's: when loaded, it creates the file that FOREIGN_LOADED names,
 * before anything of it is called. */
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

__attribute__((constructor)) static void loaded(void) {
    const char* mark = getenv("FOREIGN_LOADED");
    if (mark != NULL) {
        close(open(mark, O_WRONLY | O_CREAT, 0600));
    }
}

int JLI_Launch(int argc, char** argv, int jargc, const char** jargv,
               int appclassc, const char** appclassv, const char* fullversion,
               const char* dotversion, const char* pname, const char* lname,
               unsigned char javaargs, unsigned char cpwildcard,
               unsigned char javaw, int ergo) {
    (void)argc, (void)argv, (void)jargc, (void)jargv, (void)appclassc;
    (void)appclassv, (void)fullversion, (void)dotversion, (void)pname;
    (void)lname, (void)javaargs, (void)cpwildcard, (void)javaw, (void)ergo;
    return 0;
}
