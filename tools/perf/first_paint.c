/* LD_PRELOAD shim for the start-up measurement: records when the program
 * first presents its window (the first SDL_UpdateWindowSurface[Rects] call
 * returns) and how many presents it makes in all. SDL's calls are the only
 * interposable point on the paint path; the product itself is untouched.
 *
 *   KORU_PERF_EXEC_NS   CLOCK_MONOTONIC ns just before exec (set by exec_timed)
 *   KORU_PERF_OUT       file to which "first_paint_ms" and "presents" lines go
 */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <stdio.h>
#include <stdlib.h>
#include <time.h>

typedef struct SDL_Window SDL_Window;
typedef struct SDL_Rect SDL_Rect;

static long presents;

static long long MonotonicNs(void)
{
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return now.tv_sec * 1000000000LL + now.tv_nsec;
}

static void Append(const char* line)
{
    const char* path = getenv("KORU_PERF_OUT");
    FILE* out = path ? fopen(path, "a") : NULL;
    if (out) {
        fputs(line, out);
        fclose(out);
    }
}

/* Called after the real present returns, so the time includes getting the
 * picture to the X server. */
static void Presented(void)
{
    if (presents++ == 0) {
        const char* start = getenv("KORU_PERF_EXEC_NS");
        char line[96];
        if (start) {
            snprintf(line, sizeof line, "first_paint_ms %.3f\n",
                     (MonotonicNs() - atoll(start)) / 1e6);
            Append(line);
        }
    }
}

int SDL_UpdateWindowSurfaceRects(SDL_Window* window, const SDL_Rect* rects, int count)
{
    static int (*real)(SDL_Window*, const SDL_Rect*, int);
    if (!real) {
        real = (int (*)(SDL_Window*, const SDL_Rect*, int))dlsym(RTLD_NEXT, "SDL_UpdateWindowSurfaceRects");
    }
    const int result = real(window, rects, count);
    Presented();
    return result;
}

int SDL_UpdateWindowSurface(SDL_Window* window)
{
    static int (*real)(SDL_Window*);
    if (!real) {
        real = (int (*)(SDL_Window*))dlsym(RTLD_NEXT, "SDL_UpdateWindowSurface");
    }
    const int result = real(window);
    Presented();
    return result;
}

/* Runs only on a normal exit (the window closed), not on a signal. */
__attribute__((destructor)) static void Report(void)
{
    char line[64];
    snprintf(line, sizeof line, "presents %ld\n", presents);
    Append(line);
}
