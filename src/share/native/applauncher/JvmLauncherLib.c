/*
 * The launcher library interface: the plain functions between the launcher
 * and the runtime's JLI_Launch. They use no C++ and no exceptions, only the
 * data block, the callback table and the C library.
 */
#include "JvmLauncher.h"

#include <errno.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#define LAUNCHER_LOG(...) jvmLauncherLog(__FILE__, __LINE__, __VA_ARGS__)

/* Entry `index` of a pointer array of the block; arrays sit at any offset. */
static char* entryAt(char* const* array, int index) {
    char* value;
    memcpy(&value, (const char*)array + (size_t)index * sizeof(char*),
           sizeof(value));
    return value;
}

JvmlLauncherData* jvmLauncherCreateJvmlLauncherData(const JvmlLauncherAPI* api,
                                                    JvmlLauncherHandle h,
                                                    int* size) {
    JvmlLauncherData* result = NULL;
    void* buffer = NULL;
    int dataSize;

    if (h == NULL) {
        return NULL;
    }

    dataSize = api->getJvmlLauncherDataSize(h);
    if (dataSize > 0) {
        buffer = malloc((size_t)dataSize);
        if (buffer == NULL) {
            LAUNCHER_LOG("%s", strerror(errno));
        } else {
            result = api->initJvmlLauncherData(h, buffer, dataSize);
            if (result == NULL) {
                free(buffer);
            } else if (size != NULL) {
                *size = dataSize;
            }
        }
    }

    api->closeHandle(h);
    return result;
}

int jvmLauncherStartJvm(const JvmlLauncherData* data, void* func) {
    JvmlLauncherLaunchFunc launch;
    int i;

    LAUNCHER_LOG("jli lib: [%s]", data->jliLibPath);
    for (i = 0; i < data->jliLaunchArgc; ++i) {
        LAUNCHER_LOG("jli arg[%d]: [%s]", i, entryAt(data->jliLaunchArgv, i));
    }
    for (i = 0; i < data->envVarCount; ++i) {
        LAUNCHER_LOG("env var[%d]: %s=[%s]", i, entryAt(data->envVarNames, i),
                     entryAt(data->envVarValues, i));
    }
    for (i = 0; i < data->envVarCount; ++i) {
        if (setenv(entryAt(data->envVarNames, i),
                   entryAt(data->envVarValues, i), 1) != 0) {
            LAUNCHER_LOG("setenv(%d) failed", i);
        }
    }

    /* A function address travels as an untyped pointer through the loader. */
    memcpy(&launch, &func, sizeof(launch));
    return launch(data->jliLaunchArgc, data->jliLaunchArgv, 0, NULL, 0, NULL,
                  "", "", "java", "java", 0, 0, 0, 0);
}

void jvmLauncherLog(const char* path, int line, const char* format, ...) {
    const char* debug = getenv("VANTRY_DEBUG");
    const char* fileName;
    va_list args;

    if (debug == NULL || strcmp(debug, "true") != 0) {
        return;
    }

    fileName = strrchr(path, '/');
    fileName = (fileName == NULL) ? path : fileName + 1;
    fprintf(stderr, "%s:%d: ", fileName, line);
    va_start(args, format);
    vfprintf(stderr, format, args);
    va_end(args);
    fputc('\n', stderr);
}
