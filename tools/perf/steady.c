/* How steady this machine runs a loop from one process to the next: the
 * floor under the spread of the CPU figure. Runs, for 2 s each, a loop of
 * the integer loop's shape (three volatile work values and a volatile
 * counter, but no tick read) and a loop on registers alone, and prints
 * their nanoseconds a loop. Run it in several processes and compare. */
#include <stdint.h>
#include <stdio.h>
#include <time.h>

static volatile uint32_t work[3] = {1, 2, 3};
static volatile uint32_t count;

static double Now(void)
{
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return now.tv_sec + now.tv_nsec * 1e-9;
}

int main(void)
{
    enum { BATCH = 100000 };
    const double seconds = 2.0;
    uint64_t loops = 0;
    double start = Now();
    while (Now() - start < seconds) {
        for (int i = 0; i < BATCH; ++i) {
            const uint32_t a = work[0], b = work[1], c = work[2];
            work[0] = a * b;
            work[1] = b + c;
            work[2] = a + b;
            count = count + 1;
        }
        loops += BATCH;
    }
    const double memoryNs = seconds * 1e9 / loops;
    uint64_t x = 1;
    loops = 0;
    start = Now();
    while (Now() - start < seconds) {
        for (int i = 0; i < BATCH; ++i) {
            x = x * 3 + 1;
            __asm__ volatile("" : "+r"(x));
        }
        loops += BATCH;
    }
    printf("memory %.3f registers %.3f\n", memoryNs, seconds * 1e9 / loops);
    return 0;
}
