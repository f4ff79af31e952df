// Shows one of the seven screens with sample figures, composed by the
// program's own screen routines, so that every picture can be looked at with
// its text over it without waiting for a run to land in each band.
//
//   screen_gallery N     N = 0: the countdown screen (10 seconds left);
//                        N = 1 to 6: the results screen of band N
//
// The window is titled "KORU BENCH" like the program's; close it to quit.
// tools/screen_gallery.sh takes a screenshot of every screen on both builds.
#include "background.h"
#include "bench_state.h"
#include "grading.h"
#include "run_window.h"
#include "screens.h"

#include <cstdlib>

namespace {

struct SampleRun {
    std::uint64_t cpuLoops, fpuLoops, sdWrites;
};

// Index 0: a countdown 6 s into a run. Index b: a run graded into band b
// (levels 0.71, 1.60, 2.56, 3.54, 4.53, 5.31).
constexpr SampleRun SAMPLE_RUNS[BACKGROUND_COUNT] = {
    {913000000, 19000000, 0},   {1550000, 1365000, 500},  {3100000, 2730000, 500},
    {3100000, 2730000, 1500},   {3100000, 2730000, 3000}, {3100000, 2730000, 5000},
    {3100000, 2730000, 7000},
};
constexpr DWORD SAMPLE_SECONDS_LEFT = 10;

int shownIndex = 0;

LRESULT CALLBACK GalleryWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    case WM_PAINT: {
        PAINTSTRUCT paint;
        HDC dc = BeginPaint(window, &paint);
        if (shownIndex == 0) {
            ComposeCountdownScreen(window, dc, SAMPLE_SECONDS_LEFT);
        } else {
            ComposeResultsScreen(window, dc);
        }
        EndPaint(window, &paint);
        return 0;
    }
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previousInstance, LPSTR commandLine, int showCommand)
{
    const int index = std::atoi(commandLine);
    if (index < 0 || index >= BACKGROUND_COUNT) {
        return 2;
    }
    shownIndex = index;
    // The screens read the run as it stands; here nothing else writes it.
    const SampleRun& sample = SAMPLE_RUNS[index];
    StoreCount(BenchState.cpuLoops, sample.cpuLoops);
    StoreCount(BenchState.fpuLoops, sample.fpuLoops);
    StoreCount(BenchState.sdWrites, sample.sdWrites);
    BenchState.running.store(index == 0, std::memory_order_release);
    if (index > 0 && GradeRun(sample.cpuLoops, sample.fpuLoops, sample.sdWrites).band != index) {
        return 3;  // the sample table no longer matches the grading
    }
    return RunWindow(instance, previousInstance, showCommand,
                     {"KORU_BENCH_Gallery", "KORU BENCH", GalleryWndProc});
}
