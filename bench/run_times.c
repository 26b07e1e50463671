/* run_times N COMMAND [ARGS...] [-- COMMAND [ARGS...]]...: runs the commands
 * in turn, N rounds (so a change in the machine's load falls on all of them
 * alike), their output thrown away, and prints for each command one line
 * "median_us MEDIAN MIN MAX" of its wall times in microseconds. Built static
 * for the QEMU guest, which has only busybox (whose date has no nanoseconds). */
#define _GNU_SOURCE
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

enum { MaxCommands = 8 };

static int cmp(const void* a, const void* b) {
    const long x = *(const long*)a, y = *(const long*)b;
    return x < y ? -1 : x > y;
}

static long RunOnce(char** argv) {
    struct timespec t0, t1;
    clock_gettime(CLOCK_MONOTONIC, &t0);
    const pid_t pid = fork();
    if (pid == 0) {
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, 1);
        dup2(null, 2);
        execvp(argv[0], argv);
        _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    clock_gettime(CLOCK_MONOTONIC, &t1);
    if (!WIFEXITED(status) || WEXITSTATUS(status) == 127)
        return -1;
    return (t1.tv_sec - t0.tv_sec) * 1000000L + (t1.tv_nsec - t0.tv_nsec) / 1000;
}

int main(int argc, char** argv) {
    const int n = argc > 1 ? atoi(argv[1]) : 0;
    if (argc < 3 || n < 1 || n > 10000) {
        fprintf(stderr, "usage: run_times N COMMAND [ARGS...] [-- COMMAND [ARGS...]]...\n");
        return 2;
    }
    char** commands[MaxCommands];
    int count = 0;
    commands[count++] = argv + 2;
    for (int i = 2; i < argc; ++i) {
        if (strcmp(argv[i], "--") == 0) {
            argv[i] = NULL;
            if (count == MaxCommands || i + 1 >= argc) {
                fprintf(stderr, "run_times: 1 to %d commands\n", MaxCommands);
                return 2;
            }
            commands[count++] = argv + i + 1;
        }
    }
    long* us = calloc((size_t)(n * count), sizeof *us);
    if (!us)
        return 1;
    for (int round = 0; round < n; ++round)
        for (int c = 0; c < count; ++c) {
            const long t = RunOnce(commands[c]);
            if (t < 0) {
                fprintf(stderr, "run_times: %s did not run\n", commands[c][0]);
                return 1;
            }
            us[c * n + round] = t;
        }
    for (int c = 0; c < count; ++c) {
        long* mine = us + c * n;
        qsort(mine, (size_t)n, sizeof *mine, cmp);
        const long median = n % 2 ? mine[n / 2] : (mine[n / 2 - 1] + mine[n / 2]) / 2;
        printf("median_us %ld %ld %ld\n", median, mine[0], mine[n - 1]);
    }
    return 0;
}
