/*
 * The floor of the launcher's cost: what any native program pays to start,
 * open the runtime's launcher library, resolve JLI_Launch and call it once.
 * Usage: bench_floor <library>
 */
#include <dlfcn.h>
#include <stdio.h>
#include <string.h>

typedef int (*LaunchFunc)(int, char**, int, const char**, int, const char**,
                          const char*, const char*, const char*, const char*,
                          unsigned char, unsigned char, unsigned char, int);

int main(int argc, char** argv) {
    static char arg0[] = "floor";
    static char arg1[] = "-jar";
    static char arg2[] = "app.jar";
    char* args[] = {arg0, arg1, arg2, NULL};
    void* lib;
    void* sym;
    LaunchFunc launch;
    int result;

    if (argc != 2) {
        fprintf(stderr, "usage: %s <library>\n", argv[0]);
        return 2;
    }
    lib = dlopen(argv[1], RTLD_LAZY);
    if (lib == NULL) {
        fprintf(stderr, "%s\n", dlerror());
        return 1;
    }
    sym = dlsym(lib, "JLI_Launch");
    if (sym == NULL) {
        fprintf(stderr, "%s\n", dlerror());
        return 1;
    }
    memcpy(&launch, &sym, sizeof(launch));
    result = launch(3, args, 0, NULL, 0, NULL, "", "", "java", "java", 0, 0, 0,
                    0);
    dlclose(lib);
    return result;
}
