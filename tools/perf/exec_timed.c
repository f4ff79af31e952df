/* Starts a program with the CLOCK_MONOTONIC time of the exec in its
 * environment (KORU_PERF_EXEC_NS), so that first_paint.so can measure from
 * the exec itself rather than from a shell's fork. */
#include <stdio.h>
#include <stdlib.h>
#include <time.h>
#include <unistd.h>

int main(int argc, char** argv)
{
    if (argc < 2) {
        fprintf(stderr, "usage: exec_timed PROGRAM [ARGS...]\n");
        return 2;
    }
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    char value[32];
    snprintf(value, sizeof value, "%lld", now.tv_sec * 1000000000LL + now.tv_nsec);
    setenv("KORU_PERF_EXEC_NS", value, 1);
    execv(argv[1], argv + 1);
    perror("exec_timed");
    return 127;
}
