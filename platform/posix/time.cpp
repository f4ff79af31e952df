// GetTickCount: milliseconds since boot (CLOCK_MONOTONIC, which neither NTP
// nor setting the date moves), as a wrapping 32-bit count.
//
// Windows reads its tick from a page the kernel keeps current: one load. The
// measured loops read it once per loop, so on Linux it has to cost as little,
// or the figures would measure the clock call instead of the device. A
// ticker thread therefore publishes the count in one word, and GetTickCount
// loads that word. It publishes as often as Windows advances its own tick,
// every 15.625 ms (64 times a second), and no more: each wake-up takes the
// worker's processor from it, and at a thousand a second the integer figure
// lost 9 to 15 % on a virtual machine, and varied as much from run to run.
// A phase therefore ends up to one tick after its deadline, as on Windows.
// The ticker only runs in spells, started when somebody reads the tick in a
// loop (64 reads of the clock within a millisecond) and ending four ticks
// later unless asked again; meanwhile it sleeps, the word says so, and
// GetTickCount reads the clock itself. So the process does not wake 64
// times a second while the results sit on screen.
#include <windows.h>

#include <pthread.h>
#include <time.h>

#include <atomic>
#include <cstddef>
#include <condition_variable>
#include <cstdint>
#include <limits>
#include <mutex>
#include <new>

namespace {

// The published word while the ticker sleeps. A real tick of 0 (1 ms every
// 49.7 days) also reads as "not published" and is then read from the clock.
constexpr DWORD NOT_PUBLISHED = 0;
constexpr std::int64_t TICK_NS = 15'625'000;
constexpr std::int64_t SPELL_NS = 4 * TICK_NS;
// A measured loop reads the clock this often in a few microseconds; the
// window thread, reading it a few times for each message, never does.
constexpr int BUSY_READS = 64;
constexpr std::int64_t BUSY_SPAN_NS = 1'000'000;

// The published word lies where Windows keeps its own tick count in the page
// its kernel shares with every process (0x7FFE0320), alone in its page: the
// measured loops then touch the same cache sets on both builds, and nothing
// else another thread writes shares its line.
constexpr std::size_t TICK_PAGE_SIZE = 4096;
constexpr std::size_t TICK_AT = 0x320;
struct alignas(TICK_PAGE_SIZE) TickPage {
    std::byte before[TICK_AT];
    std::atomic<DWORD> tick{NOT_PUBLISHED};
};
TickPage tickPage;
constexpr std::atomic<DWORD>& publishedTick = tickPage.tick;
static_assert(offsetof(TickPage, tick) == TICK_AT);

struct Ticker {
    std::mutex lock;
    std::condition_variable asked;
    bool started = false;      // the thread exists
    bool unavailable = false;  // it could not be started: always read the clock
    bool wanted = false;       // a spell has been asked for
    bool ticking = false;      // publishing
    DWORD lastHanded = 0;      // the latest tick handed out from the clock
    std::int64_t spanStartNs = std::numeric_limits<std::int64_t>::min() / 2;
    int readsInSpan = 0;  // clock reads since spanStartNs
};

// In static storage, made without allocating and never destroyed: the
// ticker thread lives until the process ends, and a tick is always readable.
Ticker& TheTicker()
{
    alignas(Ticker) static unsigned char storage[sizeof(Ticker)];
    static Ticker* const ticker = new (storage) Ticker;
    return *ticker;
}

std::int64_t ReadClockNs()
{
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return std::int64_t{now.tv_sec} * 1'000'000'000 + now.tv_nsec;
}

DWORD ToTick(std::int64_t ns)
{
    return static_cast<DWORD>(static_cast<std::uint64_t>(ns / 1'000'000));
}

// The later of two ticks, in wrapping arithmetic.
DWORD Later(DWORD a, DWORD b)
{
    return static_cast<std::int32_t>(b - a) > 0 ? b : a;
}

void* TickerThread(void*)
{
    pthread_setname_np(pthread_self(), "koru-ticker");
    Ticker& ticker = TheTicker();
    for (;;) {
        std::int64_t now;
        {
            std::unique_lock hold(ticker.lock);
            ticker.asked.wait(hold, [&ticker] { return ticker.wanted; });
            ticker.wanted = false;
            // Under the lock: no value read from the clock meanwhile may be
            // later than the first one published.
            now = ReadClockNs();
            publishedTick.store(Later(ToTick(now), ticker.lastHanded), std::memory_order_relaxed);
            ticker.ticking = true;
        }
        const std::int64_t spellEnd = now + SPELL_NS;
        std::int64_t next = now - now % TICK_NS + TICK_NS;
        for (;;) {
            const timespec due{static_cast<time_t>(next / 1'000'000'000), static_cast<long>(next % 1'000'000'000)};
            clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &due, nullptr);
            now = ReadClockNs();
            if (now >= spellEnd) {
                break;
            }
            publishedTick.store(ToTick(now), std::memory_order_relaxed);
            next = now - now % TICK_NS + TICK_NS;
        }
        std::lock_guard hold(ticker.lock);
        publishedTick.store(NOT_PUBLISHED, std::memory_order_relaxed);
        ticker.ticking = false;
    }
    return nullptr;
}

// Starts a spell of ticking; the caller holds the lock.
void AskForTicks(Ticker& ticker)
{
    if (!ticker.started) {
        pthread_attr_t attributes;
        pthread_attr_init(&attributes);
        pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
        pthread_t thread;
        ticker.started = pthread_create(&thread, &attributes, TickerThread, nullptr) == 0;
        pthread_attr_destroy(&attributes);
        if (!ticker.started) {
            ticker.unavailable = true;
            return;
        }
    }
    ticker.wanted = true;
    ticker.asked.notify_one();
}

// Out of line, so that GetTickCount's published path is a load and a test:
// inlined, it gave GetTickCount a frame and a stack check on every read,
// and the Linux integer figure fell to 0.6 of the Windows build's.
[[gnu::noinline]] DWORD ReadTickFromClock()
{
    Ticker& ticker = TheTicker();
    std::lock_guard hold(ticker.lock);
    if (ticker.ticking) {
        // A spell began since the caller looked, or the tick really is 0.
        return publishedTick.load(std::memory_order_relaxed);
    }
    const std::int64_t now = ReadClockNs();
    // Never behind a value already handed out, whichever path gave it.
    ticker.lastHanded = Later(ToTick(now), ticker.lastHanded);
    if (now - ticker.spanStartNs >= BUSY_SPAN_NS) {
        ticker.spanStartNs = now;
        ticker.readsInSpan = 0;
    }
    if (++ticker.readsInSpan == BUSY_READS && !ticker.ticking && !ticker.unavailable) {
        AskForTicks(ticker);
    }
    return ticker.lastHanded;
}

}  // namespace

DWORD WINAPI GetTickCount(void)
{
    const DWORD tick = publishedTick.load(std::memory_order_relaxed);
    if (tick != NOT_PUBLISHED) [[likely]] {
        return tick;
    }
    return ReadTickFromClock();
}

void WINAPI Sleep(DWORD milliseconds)
{
    timespec left{static_cast<time_t>(milliseconds / 1000), static_cast<long>(milliseconds % 1000) * 1000000L};
    while (nanosleep(&left, &left) != 0) {
        // interrupted by a signal: sleep the rest
    }
}
