// Linux only: no allocation failure ends the program. With operator new
// made to fail (this test program replaces it), every operation of the
// Linux layer that allocates answers with its Win32 failure result instead
// of throwing, and works again once memory is back; a back buffer too
// large to be had keeps its old size and the paint is clipped to it.
#include "user_state.h"

#include <gtest/gtest.h>

#include <SDL.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <new>
#include <string>

namespace {

std::atomic<bool> memoryGone{false};

void* Allocate(std::size_t size)
{
    return memoryGone.load(std::memory_order_relaxed) ? nullptr : std::malloc(size != 0 ? size : 1);
}

}  // namespace

void* operator new(std::size_t size)
{
    if (void* block = Allocate(size)) {
        return block;
    }
    throw std::bad_alloc();
}
void* operator new[](std::size_t size)
{
    return operator new(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept
{
    return Allocate(size);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept
{
    return Allocate(size);
}
void operator delete(void* block) noexcept
{
    std::free(block);
}
void operator delete[](void* block) noexcept
{
    std::free(block);
}
void operator delete(void* block, std::size_t) noexcept
{
    std::free(block);
}
void operator delete[](void* block, std::size_t) noexcept
{
    std::free(block);
}

namespace {

// Memory is gone while one of these lives.
struct NoMemory {
    NoMemory() { memoryGone = true; }
    ~NoMemory() { memoryGone = false; }
};

template <class Call>
auto WithoutMemory(Call call)
{
    const NoMemory gone;
    return call();
}

constexpr char CLASS_NAME[] = "KORU memory test window class";  // too long to be kept inline

LRESULT CALLBACK BlackPaintProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_PAINT) {
        PAINTSTRUCT paint;
        HDC dc = BeginPaint(window, &paint);
        PatBlt(dc, 0, 0, 1 << 20, 1 << 20, BLACKNESS);
        EndPaint(window, &paint);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

WNDCLASSA TestClass()
{
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = BlackPaintProc;
    windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    windowClass.lpszClassName = CLASS_NAME;
    return windowClass;
}

HWND CreateTestWindow()
{
    return CreateWindowExA(0, CLASS_NAME, "KORU memory test", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                           CW_USEDEFAULT, 640, 480, nullptr, nullptr, nullptr, nullptr);
}

HFONT TestFont()
{
    return CreateFontA(30, 0, 0, 0, FW_NORMAL, 0, 0, 0, SHIFTJIS_CHARSET, OUT_DEFAULT_PRECIS,
                       CLIP_DEFAULT_PRECIS, PROOF_QUALITY, FIXED_PITCH | FF_MODERN, "IPAGothic");
}

// Every call that allocates, in a process of its own so that each also
// meets memory running out on its first use: the failure result, then
// success once memory is back. The child reports what went wrong on
// stderr and exits with how many did.
int EveryCallWithoutMemory()
{
    int wrong = 0;
    auto check = [&wrong](bool ok, const char* what) {
        if (!ok) {
            std::fprintf(stderr, "wrong: %s\n", what);
            ++wrong;
        }
    };
    char cache[] = "/tmp/koru-memory-XXXXXX";
    check(mkdtemp(cache) != nullptr, "temporary directory");
    setenv("XDG_CACHE_HOME", cache, 1);

    check(WithoutMemory([] { return GetStockObject(WHITE_BRUSH); }) == nullptr, "GetStockObject");
    const WNDCLASSA windowClass = TestClass();
    check(WithoutMemory([&] { return RegisterClassA(&windowClass); }) == 0, "RegisterClassA");
    check(WithoutMemory([] { return CreateFontA(30, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, ""); }) ==
              nullptr,
          "CreateFontA");
    check(WithoutMemory([] { return GetDC(nullptr); }) == nullptr, "GetDC");
    check(WithoutMemory([] { return CreateCompatibleDC(nullptr); }) == nullptr,
          "CreateCompatibleDC");
    check(WithoutMemory([] { return LoadBitmapA(nullptr, "BG_BMP"); }) == nullptr, "LoadBitmapA");
    check(WithoutMemory([] {
              return CreateFileA("c:\\tmp.dat", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
          }) == INVALID_HANDLE_VALUE,
          "CreateFileA");

    // Memory is back: the same calls work.
    check(RegisterClassA(&windowClass) != 0, "RegisterClassA after");
    HDC dc = CreateCompatibleDC(nullptr);
    check(dc != nullptr, "CreateCompatibleDC after");
    check(WithoutMemory([&] { return CreateCompatibleBitmap(dc, 64, 64); }) == nullptr,
          "CreateCompatibleBitmap");
    HBITMAP page = CreateCompatibleBitmap(dc, 64, 64);
    SelectObject(dc, page);
    HFONT font = TestFont();
    check(font != nullptr, "CreateFontA after");
    SelectObject(dc, font);
    check(!WithoutMemory([&] { return TextOutA(dc, 0, 0, "\x82\xa0", 2); }), "TextOutA");
    check(TextOutA(dc, 0, 0, "\x82\xa0", 2), "TextOutA after");
    check(!WithoutMemory([&] { return BitBlt(dc, 1, 1, 32, 32, dc, 0, 0, SRCCOPY); }),
          "BitBlt within one bitmap");
    HANDLE file = CreateFileA("c:\\tmp.dat", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    check(file != INVALID_HANDLE_VALUE, "CreateFileA after");
    CloseHandle(file);

    check(WithoutMemory(CreateTestWindow) == nullptr, "CreateWindowExA");
    HWND window = CreateTestWindow();
    check(window != nullptr, "CreateWindowExA after");
    ShowWindow(window, SW_SHOW);
    check(WithoutMemory([&] { return PostMessageA(window, WM_USER, 0, 0); }) == FALSE,
          "PostMessageA");
    check(WithoutMemory([&] { return SetTimer(window, 1, 50, nullptr); }) == 0, "SetTimer");
    PAINTSTRUCT paint;
    check(WithoutMemory([&] { return BeginPaint(window, &paint); }) == nullptr, "BeginPaint");
    EndPaint(window, &paint);
    // The paint was validated all the same: no WM_PAINT comes to spin on.
    check(SetTimer(window, 1, 50, nullptr) == 1, "SetTimer after");
    // A close request with no memory to queue it is dropped; the loop goes on.
    SDL_Event quit{};
    quit.type = SDL_QUIT;
    SDL_PushEvent(&quit);
    MSG msg{};
    const BOOL got = WithoutMemory([&] { return GetMessageA(&msg, nullptr, 0, 0); });
    check(got == TRUE && msg.message == WM_TIMER, "GetMessageA with a close request to queue");
    std::filesystem::remove_all(cache);
    return wrong;
}

TEST(NoMemory, EveryCallThatAllocatesFailsAsWin32DoesAndWorksAgainAfter)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(std::_Exit(EveryCallWithoutMemory()), ::testing::ExitedWithCode(0), "");
}

TEST(NoMemory, ABackBufferTooLargeKeepsItsSizeAndThePaintIsClipped)
{
    const WNDCLASSA windowClass = TestClass();
    RegisterClassA(&windowClass);
    HWND window = CreateTestWindow();
    ASSERT_NE(window, nullptr);
    ShowWindow(window, SW_SHOW);
    UpdateWindow(window);
    // As SDL reports a window maximized on a display far beyond any memory.
    SDL_Event resized{};
    resized.type = SDL_WINDOWEVENT;
    resized.window.event = SDL_WINDOWEVENT_SIZE_CHANGED;
    resized.window.windowID = koru::posix::LookUpWindow(window)->sdlWindowId;
    resized.window.data1 = 1 << 20;
    resized.window.data2 = 1 << 20;
    ASSERT_EQ(SDL_PushEvent(&resized), 1);
    SetTimer(window, 7, 2000, nullptr);  // gives up if the resize is lost
    MSG msg;
    ASSERT_TRUE(GetMessageA(&msg, nullptr, 0, 0));
    ASSERT_EQ(msg.message, static_cast<UINT>(WM_PAINT));
    DispatchMessageA(&msg);

    RECT client;
    GetClientRect(window, &client);
    EXPECT_EQ(client.right, 640);
    EXPECT_EQ(client.bottom, 480);
    const koru::posix::Window* record = koru::posix::LookUpWindow(window);
    EXPECT_EQ(record->pixels[0], 0u) << "the paint reached the buffer it has";
    EXPECT_EQ(record->pixels[640 * 480 - 1], 0u);
    DestroyWindow(window);
}

}  // namespace
