/*
 * Times whole processes: runs two commands alternately, N times each, and
 * prints for each the median wall time and the largest peak resident set,
 * then the ratio of the medians (second / first).
 * Usage: bench_spawn_timer N name1 cmd1 [args...] -- name2 cmd2 [args...]
 * Standard output and error of the commands are discarded; a run that does
 * not exit with status 0 stops the benchmark.
 */
#define _GNU_SOURCE
#include <fcntl.h>
#include <spawn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

extern char** environ;

static double now(void) {
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec + ts.tv_nsec / 1e9;
}

static int compare(const void* a, const void* b) {
    double x = *(const double*)a;
    double y = *(const double*)b;
    return (x > y) - (x < y);
}

static double median(double* v, int n) {
    qsort(v, (size_t)n, sizeof(double), compare);
    return (n % 2) ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

/* Runs argv once; returns the wall time, stores the peak RSS in KiB. */
static double runOnce(char** argv, long* maxRssKiB) {
    posix_spawn_file_actions_t actions;
    struct rusage usage;
    pid_t pid;
    int status;
    double start;
    double end;

    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    start = now();
    if (posix_spawn(&pid, argv[0], &actions, NULL, argv, environ) != 0) {
        perror(argv[0]);
        exit(1);
    }
    if (wait4(pid, &status, 0, &usage) < 0) {
        perror("wait4");
        exit(1);
    }
    end = now();
    posix_spawn_file_actions_destroy(&actions);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        fprintf(stderr, "%s did not exit with status 0\n", argv[0]);
        exit(1);
    }
    if (usage.ru_maxrss > *maxRssKiB) {
        *maxRssKiB = usage.ru_maxrss;
    }
    return end - start;
}

int main(int argc, char** argv) {
    int runs;
    int split = 0;
    int i;
    char** cmd[2];
    const char* names[2];
    double* times[2];
    long rss[2] = {0, 0};
    double med[2];

    if (argc < 6) {
        fprintf(stderr, "usage: %s N name1 cmd1... -- name2 cmd2...\n",
                argv[0]);
        return 2;
    }
    runs = atoi(argv[1]);
    for (i = 2; i < argc; ++i) {
        if (strcmp(argv[i], "--") == 0) {
            split = i;
        }
    }
    if (runs <= 0 || split == 0 || split + 2 >= argc) {
        fprintf(stderr, "bad arguments\n");
        return 2;
    }
    argv[split] = NULL;
    names[0] = argv[2];
    cmd[0] = argv + 3;
    names[1] = argv[split + 1];
    cmd[1] = argv + split + 2;
    times[0] = calloc((size_t)runs, sizeof(double));
    times[1] = calloc((size_t)runs, sizeof(double));

    /* One unmeasured run each warms the page cache. */
    runOnce(cmd[0], &rss[0]);
    runOnce(cmd[1], &rss[1]);
    for (i = 0; i < runs; ++i) {
        times[0][i] = runOnce(cmd[0], &rss[0]);
        times[1][i] = runOnce(cmd[1], &rss[1]);
    }
    for (i = 0; i < 2; ++i) {
        med[i] = median(times[i], runs);
        printf("%-10s median %8.3f ms over %d runs, peak RSS %6ld KiB\n",
               names[i], med[i] * 1e3, runs, rss[i]);
    }
    printf("ratio %s / %s: %.3f\n", names[1], names[0], med[1] / med[0]);
    printf("peak RSS difference: %+ld KiB\n", rss[1] - rss[0]);
    free(times[0]);
    free(times[1]);
    return 0;
}
