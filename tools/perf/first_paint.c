/* LD_PRELOAD shim for the start-up and paint measurements. SDL's present
 * calls are the only interposable point on the paint path, so the product
 * itself is untouched.
 *
 *   KORU_PERF_EXEC_NS   CLOCK_MONOTONIC ns just before exec (set by exec_timed)
 *   KORU_PERF_OUT       gets "first_paint_ms WALL CPU" once: time from exec to
 *                       the first present returning, and the presenting
 *                       thread's CPU time by then
 *   KORU_PERF_PRESENTS  rewritten after every present with "presents N MS":
 *                       the count, and the CPU ms spent inside the SDL calls
 *                       (the program ends with _exit, so no exit hook runs)
 */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <stdio.h>
#include <stdlib.h>
#include <time.h>

typedef struct SDL_Window SDL_Window;
typedef struct SDL_Rect SDL_Rect;

static long presents;
static long long presentCpuNs;

static long long Now(clockid_t clock)
{
    struct timespec now;
    clock_gettime(clock, &now);
    return now.tv_sec * 1000000000LL + now.tv_nsec;
}

static void Write(const char* variable, const char* mode, const char* line)
{
    const char* path = getenv(variable);
    FILE* out = path ? fopen(path, mode) : NULL;
    if (out) {
        fputs(line, out);
        fclose(out);
    }
}

/* Called after the real present returns, so the time includes handing the
 * picture to the X server. */
static void Presented(long long cpuBefore)
{
    const long long cpuAfter = Now(CLOCK_THREAD_CPUTIME_ID);
    char line[128];
    presentCpuNs += cpuAfter - cpuBefore;
    if (presents++ == 0) {
        const char* start = getenv("KORU_PERF_EXEC_NS");
        if (start) {
            snprintf(line, sizeof line, "first_paint_ms %.3f %.3f\n",
                     (Now(CLOCK_MONOTONIC) - atoll(start)) / 1e6, cpuAfter / 1e6);
            Write("KORU_PERF_OUT", "a", line);
        }
    }
    snprintf(line, sizeof line, "presents %ld %.3f\n", presents, presentCpuNs / 1e6);
    Write("KORU_PERF_PRESENTS", "w", line);
}

int SDL_UpdateWindowSurfaceRects(SDL_Window* window, const SDL_Rect* rects, int count)
{
    static int (*real)(SDL_Window*, const SDL_Rect*, int);
    if (!real) {
        real = (int (*)(SDL_Window*, const SDL_Rect*, int))dlsym(RTLD_NEXT, "SDL_UpdateWindowSurfaceRects");
    }
    const long long cpu = Now(CLOCK_THREAD_CPUTIME_ID);
    const int result = real(window, rects, count);
    Presented(cpu);
    return result;
}

int SDL_UpdateWindowSurface(SDL_Window* window)
{
    static int (*real)(SDL_Window*);
    if (!real) {
        real = (int (*)(SDL_Window*))dlsym(RTLD_NEXT, "SDL_UpdateWindowSurface");
    }
    const long long cpu = Now(CLOCK_THREAD_CPUTIME_ID);
    const int result = real(window);
    Presented(cpu);
    return result;
}
