/* The cheapest thread that wakes once a millisecond: the floor under the
 * ticker's CPU time on this machine. Sleeps to each millisecond for 3 s and
 * prints its CPU time then, as a share of the time that passed. */
#define _GNU_SOURCE
#include <stdio.h>
#include <time.h>

int main(void)
{
    enum { WAKES = 3000, PERIOD_NS = 1000000 };
    struct timespec due;
    clock_gettime(CLOCK_MONOTONIC, &due);
    for (int i = 0; i < WAKES; ++i) {
        due.tv_nsec += PERIOD_NS;
        if (due.tv_nsec >= 1000000000) {
            due.tv_nsec -= 1000000000;
            ++due.tv_sec;
        }
        clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &due, NULL);
    }
    double ns = 0;
    FILE* stat = fopen("/proc/thread-self/schedstat", "r");
    if (stat == NULL || fscanf(stat, "%lf", &ns) != 1) {
        return 1;
    }
    printf("%.2f %% (%.1f us a wake-up)\n", ns / (WAKES * 1e6) * 100, ns / WAKES / 1e3);
    return 0;
}
