// The console window procedures: the title rule of HIDE and SHOW, and
// CWINDOWTITLE on a console of the test's own.
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "inc/console.hpp"
#include "support/support.hpp"

namespace {

bool eventually(bool (*ok)(HWND), HWND w)
{
    for (int i = 0; i < 200; ++i) {
        if (ok(w))
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return ok(w);
}

bool visible(HWND w) { return IsWindowVisible(w) != 0; }
bool hidden(HWND w) { return IsWindowVisible(w) == 0; }

// A top-level window of the given title, shown.
HWND make_window(const char* title)
{
    WNDCLASSA wc{};
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "velmora_console_test";
    RegisterClassA(&wc);
    HWND w = CreateWindowA(wc.lpszClassName, title, WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, nullptr, nullptr,
                           wc.hInstance, nullptr);
    if (w)
        ShowWindow(w, SW_SHOW);
    return w;
}

TEST(ConsoleWindow, HideAndShowFindTheWindowByTitle)
{
    HWND w = make_window("velmora Titelprobe");
    if (!w)
        GTEST_SKIP() << "no window could be created (no display?)";
    ASSERT_TRUE(visible(w));
    console::HIDE("velmora Titelprobe");
    EXPECT_TRUE(eventually(hidden, w));
    console::SHOW("velmora Titelprobe");
    EXPECT_TRUE(eventually(visible, w));
    console::HIDE("velmora Titelprobe, ein anderer Titel"); // no such window: nothing happens
    EXPECT_TRUE(visible(w));
    DestroyWindow(w);
}

TEST(ConsoleWindow, TheOwnConsoleIsFoundUnderItsNewTitle)
{
    auto r = testsupport::run_child([] {
        FreeConsole();
        if (!AllocConsole()) {
            std::fputs("no console", stdout);
            return;
        }
        console::CWINDOWTITLE("velmora Konsole");
        char title[260] = {};
        GetConsoleTitleA(title, sizeof title);
        std::printf("title=%s;", title);
        HWND w = FindWindowA(nullptr, "velmora Konsole");
        if (!w) {
            std::fputs("no console window", stdout);
            return;
        }
        console::SHOW("");
        std::printf("shown=%d;", eventually(visible, w) ? 1 : 0);
        console::HIDE("");
        std::printf("hidden=%d;", eventually(hidden, w) ? 1 : 0);
    });
    if (r.out == "no console" || r.out.find("no console window") != std::string::npos)
        GTEST_SKIP() << "this system gives the test no console window: " << r.out;
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "title=velmora Konsole;shown=1;hidden=1;");
}

TEST(ConsoleWindow, WithoutAConsoleNothingIsHidden)
{
    // An empty title would match some untitled window; no console means no lookup.
    HWND w = make_window("");
    if (!w)
        GTEST_SKIP() << "no window could be created (no display?)";
    auto r = testsupport::run_child([] {
        FreeConsole();
        console::HIDE("");
    });
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(visible(w));
    DestroyWindow(w);
}

} // namespace
