// GetTickCount: milliseconds as a wrapping 32-bit count. The measured loops
// read it once per loop, so its cost is part of every figure: the coarse
// monotonic clock is read in user space through the vDSO (about 5 ns, a few
// ms resolution, like the Windows tick), where CLOCK_MONOTONIC costs ~24 ns.
// Neither is adjusted by NTP or by setting the date.
#include <windows.h>

#include <ctime>

DWORD WINAPI GetTickCount(void)
{
    timespec now;
    clock_gettime(CLOCK_MONOTONIC_COARSE, &now);
    return static_cast<DWORD>(static_cast<std::uint64_t>(now.tv_sec) * 1000u +
                              static_cast<std::uint64_t>(now.tv_nsec) / 1000000u);
}

void WINAPI Sleep(DWORD milliseconds)
{
    timespec left{static_cast<time_t>(milliseconds / 1000), static_cast<long>(milliseconds % 1000) * 1000000L};
    while (nanosleep(&left, &left) != 0) {
        // interrupted by a signal: sleep the rest
    }
}
