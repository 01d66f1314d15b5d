// The Win32 window backend under a real window: client size, title,
// presentation into the window, and keys and the mouse from its messages.
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <thread>

#include "screen/backend.hpp"
#include "screen/screen.hpp"
#include "screen/testing.hpp"

namespace screen {
std::unique_ptr<Backend> make_window_backend();
}

using namespace screen;
namespace st = screen::testing;

namespace {

bool eventually(const std::function<bool()>& ok)
{
    for (int i = 0; i < 200; ++i) {
        if (ok())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return ok();
}

LPARAM key_lparam(int scan, bool extended, bool up)
{
    return static_cast<LPARAM>(1 | (scan << 16) | (extended ? 1 << 24 : 0) | (up ? 0xC0000000u : 0));
}

class Window : public ::testing::Test {
protected:
    void SetUp() override
    {
        st::reset();
        set_backend_factory(make_window_backend);
        if (SCREEN_OPEN(800, 400, 32) != 0)
            GTEST_SKIP() << "no window could be created (no display?)";
        ASSERT_TRUE(eventually([this] { return (hwnd = FindWindowA("velmora_window", nullptr)) != nullptr; }));
    }
    void TearDown() override { st::reset(); }

    void post(UINT msg, WPARAM wp, LPARAM lp) { PostMessageA(hwnd, msg, wp, lp); }

    HWND hwnd = nullptr;
};

TEST_F(Window, ClientAreaIsTheRequestedSizeAndTheTitleFollows)
{
    RECT r{};
    GetClientRect(hwnd, &r);
    EXPECT_EQ(r.right - r.left, 800);
    EXPECT_EQ(r.bottom - r.top, 400);
    EXPECT_STREQ(SCREEN_INFO().driver.c_str(), "Win32 GDI");

    WINDOW_TITLE("Copiert MP3 Dateien \xD6");
    char title[256] = {};
    EXPECT_TRUE(eventually([&] {
        GetWindowTextA(hwnd, title, sizeof title);
        return std::string(title) == "Copiert MP3 Dateien \xD6";
    })) << title;
}

TEST_F(Window, ChangedRowsReachTheWindow)
{
    TEXT_COLOR(0xFFFFFFFF, 0xFF0000FF, k_set_both);
    TEXT_CLEAR();
    HDC dc = GetDC(hwnd);
    // The cleared window shows the background; GetPixel answers 0x00BBGGRR.
    EXPECT_TRUE(eventually([&] { return GetPixel(dc, 400, 390) == RGB(0, 0, 255); }));
    TEXT_LOCATE(25, 1);
    TEXT_PRINT("\xDB", false); // a full block: foreground in every pixel of the cell
    EXPECT_TRUE(eventually([&] { return GetPixel(dc, 3, 392) == RGB(255, 255, 255); }));
    EXPECT_EQ(GetPixel(dc, 12, 392), RGB(0, 0, 255));
    ReleaseDC(hwnd, dc);
}

TEST_F(Window, KeyMessagesFeedHeldKeysAndTheKeyBuffer)
{
    post(WM_KEYDOWN, VK_UP, key_lparam(72, true, false));
    EXPECT_TRUE(eventually([] { return KEY_DOWN(scan::up) == -1; }));
    EXPECT_EQ(KEY_POLL(), std::string("\xFF" "H"));
    post(WM_KEYUP, VK_UP, key_lparam(72, true, true));
    EXPECT_TRUE(eventually([] { return KEY_DOWN(scan::up) == 0; }));

    // The window's own TranslateMessage posts the WM_CHAR behind what is queued.
    post(WM_KEYDOWN, VK_SPACE, key_lparam(57, false, false));
    EXPECT_TRUE(eventually([] { return st::pending_keys() == 1; }));
    post(WM_CHAR, 0xE4, 0); // an ANSI byte stays one byte
    post(WM_CHAR, 27, key_lparam(1, false, false));
    post(WM_SYSKEYDOWN, VK_F10, key_lparam(68, false, false));
    post(WM_KEYDOWN, VK_DELETE, key_lparam(83, true, false));
    EXPECT_TRUE(eventually([] { return st::pending_keys() == 5; }));
    EXPECT_EQ(KEY_DOWN(scan::space), -1);
    EXPECT_EQ(KEY_POLL(), " ");
    EXPECT_EQ(KEY_POLL(), "\xE4");
    EXPECT_EQ(KEY_POLL(), "\x1B");
    EXPECT_EQ(KEY_POLL(), std::string("\xFF" "D"));
    EXPECT_EQ(KEY_POLL(), std::string("\xFF" "S"));
}

TEST_F(Window, TheCloseButtonIsAKeyAndTheWindowStays)
{
    post(WM_CLOSE, 0, 0);
    EXPECT_TRUE(eventually([] { return st::pending_keys() == 1; }));
    EXPECT_EQ(KEY_WAIT(), 27647);
    EXPECT_TRUE(IsWindow(hwnd));
    EXPECT_TRUE(st::window_open());
}

TEST_F(Window, MouseMessagesFeedTheMouseState)
{
    // The real pointer away from the window, so that only the posted
    // messages move the mouse state.
    SetWindowPos(hwnd, nullptr, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    SetCursorPos(GetSystemMetrics(SM_CXSCREEN) - 2, GetSystemMetrics(SM_CYSCREEN) - 2);
    SendMessageA(hwnd, WM_ACTIVATE, WA_ACTIVE, 0);
    post(WM_MOUSEMOVE, 0, MAKELPARAM(120, 45));
    EXPECT_TRUE(eventually([] { return MOUSE_READ().x == 120; }));
    Mouse m = MOUSE_READ();
    EXPECT_EQ(m.y, 45);
    EXPECT_EQ(m.status, 0);
    post(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(121, 46));
    EXPECT_TRUE(eventually([] { return MOUSE_READ().buttons == 1; }));
    post(WM_RBUTTONDOWN, MK_LBUTTON | MK_RBUTTON, MAKELPARAM(121, 46));
    EXPECT_TRUE(eventually([] { return MOUSE_READ().buttons == 3; }));
    post(WM_LBUTTONUP, 0, MAKELPARAM(121, 46));
    EXPECT_TRUE(eventually([] { return MOUSE_READ().buttons == 0; }));
    int wheel = MOUSE_READ().wheel;
    post(WM_MOUSEWHEEL, MAKEWPARAM(0, WHEEL_DELTA), MAKELPARAM(121, 46));
    post(WM_MOUSEWHEEL, static_cast<WPARAM>(static_cast<WORD>(-2 * WHEEL_DELTA)) << 16, MAKELPARAM(121, 46));
    EXPECT_TRUE(eventually([&] { return MOUSE_READ().wheel == wheel - 1; }));
    SendMessageA(hwnd, WM_ACTIVATE, WA_INACTIVE, 0);
    EXPECT_EQ(MOUSE_READ().status, 1); // an inactive window has no mouse
}

} // namespace
