// The SDL window backend: its key and title tables, and a real SDL window on
// the dummy video driver fed with SDL events as a user would give them.
#include <gtest/gtest.h>

#define SDL_MAIN_HANDLED
#include <SDL.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <unistd.h>

#include "screen/backend.hpp"
#include "screen/backends/layout.hpp"
#include "screen/backends/sdl_keys.hpp"
#include "screen/screen.hpp"
#include "screen/state.hpp"
#include "screen/testing.hpp"
#include "support/support.hpp"

using namespace screen;
namespace st = screen::testing;

namespace {

// ---- tables ---------------------------------------------------------------

TEST(SdlKeys, Set1NumbersOfTheNamedKeys)
{
    const std::pair<SDL_Scancode, int> keys[] = {
        {SDL_SCANCODE_ESCAPE, 1}, {SDL_SCANCODE_1, 2}, {SDL_SCANCODE_9, 10}, {SDL_SCANCODE_0, 11},
        {SDL_SCANCODE_MINUS, 12}, {SDL_SCANCODE_EQUALS, 13}, {SDL_SCANCODE_BACKSPACE, 14},
        {SDL_SCANCODE_TAB, 15}, {SDL_SCANCODE_Q, 16}, {SDL_SCANCODE_P, 25}, {SDL_SCANCODE_LEFTBRACKET, 26},
        {SDL_SCANCODE_RIGHTBRACKET, 27}, {SDL_SCANCODE_RETURN, 28}, {SDL_SCANCODE_LCTRL, 29},
        {SDL_SCANCODE_A, 30}, {SDL_SCANCODE_L, 38}, {SDL_SCANCODE_SEMICOLON, 39},
        {SDL_SCANCODE_APOSTROPHE, 40}, {SDL_SCANCODE_GRAVE, 41}, {SDL_SCANCODE_LSHIFT, 42},
        {SDL_SCANCODE_BACKSLASH, 43}, {SDL_SCANCODE_Z, 44}, {SDL_SCANCODE_M, 50}, {SDL_SCANCODE_COMMA, 51},
        {SDL_SCANCODE_PERIOD, 52}, {SDL_SCANCODE_SLASH, 53}, {SDL_SCANCODE_RSHIFT, 54},
        {SDL_SCANCODE_KP_MULTIPLY, 55}, {SDL_SCANCODE_LALT, 56}, {SDL_SCANCODE_SPACE, 57},
        {SDL_SCANCODE_CAPSLOCK, 58}, {SDL_SCANCODE_F1, 59}, {SDL_SCANCODE_F10, 68},
        {SDL_SCANCODE_NUMLOCKCLEAR, 69}, {SDL_SCANCODE_SCROLLLOCK, 70}, {SDL_SCANCODE_HOME, 71},
        {SDL_SCANCODE_UP, 72}, {SDL_SCANCODE_PAGEUP, 73}, {SDL_SCANCODE_KP_MINUS, 74},
        {SDL_SCANCODE_LEFT, 75}, {SDL_SCANCODE_KP_5, 76}, {SDL_SCANCODE_RIGHT, 77},
        {SDL_SCANCODE_KP_PLUS, 78}, {SDL_SCANCODE_END, 79}, {SDL_SCANCODE_DOWN, 80},
        {SDL_SCANCODE_PAGEDOWN, 81}, {SDL_SCANCODE_INSERT, 82}, {SDL_SCANCODE_DELETE, 83},
        {SDL_SCANCODE_F11, 87}, {SDL_SCANCODE_F12, 88},
        // The right-hand twins and the keypad share the numbers of the keys they copy.
        {SDL_SCANCODE_RCTRL, 29}, {SDL_SCANCODE_RALT, 56}, {SDL_SCANCODE_KP_ENTER, 28},
        {SDL_SCANCODE_KP_7, 71}, {SDL_SCANCODE_KP_8, 72}, {SDL_SCANCODE_KP_9, 73}, {SDL_SCANCODE_KP_4, 75},
        {SDL_SCANCODE_KP_6, 77}, {SDL_SCANCODE_KP_1, 79}, {SDL_SCANCODE_KP_2, 80}, {SDL_SCANCODE_KP_3, 81},
        {SDL_SCANCODE_KP_0, 82}, {SDL_SCANCODE_KP_PERIOD, 83},
    };
    for (auto [sdl, set1] : keys)
        EXPECT_EQ(detail::set1_from_sdl(sdl), set1) << SDL_GetScancodeName(sdl);
}

TEST(SdlKeys, LettersFollowTheirRowsAndUnknownKeysHaveNoNumber)
{
    const char* rows[] = {"QWERTYUIOP", "ASDFGHJKL", "ZXCVBNM"};
    const int first[] = {16, 30, 44};
    for (int r = 0; r < 3; ++r)
        for (int i = 0; rows[r][i]; ++i)
            EXPECT_EQ(detail::set1_from_sdl(SDL_SCANCODE_A + (rows[r][i] - 'A')), first[r] + i) << rows[r][i];
    EXPECT_EQ(detail::set1_from_sdl(SDL_SCANCODE_UNKNOWN), 0);
    EXPECT_EQ(detail::set1_from_sdl(SDL_SCANCODE_F13), 0);
    EXPECT_EQ(detail::set1_from_sdl(-1), 0);
    EXPECT_EQ(detail::set1_from_sdl(SDL_NUM_SCANCODES), 0);
    EXPECT_EQ(detail::set1_from_sdl(100000), 0);
}

TEST(SdlKeys, ExtendedKeysAndTheKeypadUnderNumLock)
{
    const std::pair<SDL_Scancode, int> keys[] = {
        {SDL_SCANCODE_UP, 72}, {SDL_SCANCODE_DOWN, 80}, {SDL_SCANCODE_LEFT, 75}, {SDL_SCANCODE_RIGHT, 77},
        {SDL_SCANCODE_INSERT, 82}, {SDL_SCANCODE_DELETE, 83}, {SDL_SCANCODE_HOME, 71}, {SDL_SCANCODE_END, 79},
        {SDL_SCANCODE_PAGEUP, 73}, {SDL_SCANCODE_PAGEDOWN, 81}, {SDL_SCANCODE_F1, 59}, {SDL_SCANCODE_F5, 63},
        {SDL_SCANCODE_F10, 68},
    };
    for (auto [sdl, set1] : keys) {
        EXPECT_EQ(detail::extended_from_sdl(sdl, false), set1) << SDL_GetScancodeName(sdl);
        EXPECT_EQ(detail::extended_from_sdl(sdl, true), set1) << SDL_GetScancodeName(sdl);
    }
    for (SDL_Scancode sdl : {SDL_SCANCODE_A, SDL_SCANCODE_SPACE, SDL_SCANCODE_ESCAPE, SDL_SCANCODE_RETURN,
                             SDL_SCANCODE_F11, SDL_SCANCODE_F12, SDL_SCANCODE_LSHIFT, SDL_SCANCODE_KP_5,
                             SDL_SCANCODE_KP_PLUS, SDL_SCANCODE_UNKNOWN})
        EXPECT_EQ(detail::extended_from_sdl(sdl, false), 0) << SDL_GetScancodeName(sdl);
    // Without Num Lock the keypad steers; with it, it types digits (as text).
    EXPECT_EQ(detail::extended_from_sdl(SDL_SCANCODE_KP_8, false), 72);
    EXPECT_EQ(detail::extended_from_sdl(SDL_SCANCODE_KP_0, false), 82);
    EXPECT_EQ(detail::extended_from_sdl(SDL_SCANCODE_KP_PERIOD, false), 83);
    EXPECT_EQ(detail::extended_from_sdl(SDL_SCANCODE_KP_8, true), 0);
    EXPECT_EQ(detail::extended_from_sdl(SDL_SCANCODE_KP_PERIOD, true), 0);
}

TEST(SdlKeys, ControlKeysGiveTheirCharacters)
{
    EXPECT_EQ(detail::char_from_sdl(SDL_SCANCODE_ESCAPE), 27);
    EXPECT_EQ(detail::char_from_sdl(SDL_SCANCODE_RETURN), 13);
    EXPECT_EQ(detail::char_from_sdl(SDL_SCANCODE_KP_ENTER), 13);
    EXPECT_EQ(detail::char_from_sdl(SDL_SCANCODE_BACKSPACE), 8);
    EXPECT_EQ(detail::char_from_sdl(SDL_SCANCODE_TAB), 9);
    // Printable keys arrive as text events; a second copy would double them.
    EXPECT_EQ(detail::char_from_sdl(SDL_SCANCODE_A), -1);
    EXPECT_EQ(detail::char_from_sdl(SDL_SCANCODE_SPACE), -1);
    EXPECT_EQ(detail::char_from_sdl(SDL_SCANCODE_UP), -1);
}

TEST(SdlTitle, Cp1252BecomesUtf8)
{
    EXPECT_EQ(detail::utf8_from_cp1252("Kopie 1"), "Kopie 1");
    EXPECT_EQ(detail::utf8_from_cp1252("Gr\xF6\xDF" "e \xC4\xD6\xDC\xE4\xFC"), "Größe ÄÖÜäü");
    EXPECT_EQ(detail::utf8_from_cp1252("\x80 \x84\x93\x96\x9F"), "€ „“–Ÿ");
    EXPECT_EQ(detail::utf8_from_cp1252("\x81\xA0\xFF"), "\xC2\x81\xC2\xA0\xC3\xBF");
    EXPECT_EQ(detail::utf8_from_cp1252(""), "");
}

// ---- the picture in a window of any size -----------------------------------

TEST(PictureLayout, LargestWholeScaleThatFitsCentredOnTheRest)
{
    struct Case {
        int w, h, scale, x, y;
    } cases[] = {
        {800, 400, 1, 0, 0},     {1600, 800, 2, 0, 0},  {1000, 700, 1, 100, 150}, {1700, 900, 2, 50, 50},
        {1599, 800, 1, 399, 200}, {2400, 800, 2, 400, 0}, {2400, 1200, 3, 0, 0},
        // Smaller than the picture: unscaled from the top-left corner.
        {700, 300, 1, 0, 0},
    };
    for (const Case& c : cases) {
        detail::Layout l = detail::fit_picture(c.w, c.h, 800, 400);
        EXPECT_EQ(l.scale, c.scale) << c.w << "x" << c.h;
        EXPECT_EQ(l.x, c.x) << c.w << "x" << c.h;
        EXPECT_EQ(l.y, c.y) << c.w << "x" << c.h;
    }
}

TEST(PictureLayout, WindowPointsMapToPicturePixelsAndTheBorderIsOutside)
{
    detail::Layout l = detail::fit_picture(1700, 900, 800, 400); // scale 2 at (50, 50)
    auto at = [&](int wx, int wy) {
        int px = -7, py = -7;
        bool in = detail::to_picture(l, 800, 400, wx, wy, px, py);
        return in ? std::to_string(px) + "," + std::to_string(py) : std::string("outside");
    };
    EXPECT_EQ(at(50, 50), "0,0");
    EXPECT_EQ(at(51, 51), "0,0");
    EXPECT_EQ(at(52, 53), "1,1");
    EXPECT_EQ(at(50 + 1599, 50 + 799), "799,399");
    EXPECT_EQ(at(49, 60), "outside");
    EXPECT_EQ(at(60, 49), "outside");
    EXPECT_EQ(at(50 + 1600, 60), "outside");
    EXPECT_EQ(at(60, 50 + 800), "outside");
    EXPECT_EQ(at(-1, -1), "outside");
}

TEST(PictureLayout, TheDesktopsScaleFactors)
{
    EXPECT_EQ(detail::scale_of_factor(nullptr), 1);
    EXPECT_EQ(detail::scale_of_factor(""), 1);
    EXPECT_EQ(detail::scale_of_factor("2"), 2);
    EXPECT_EQ(detail::scale_of_factor("2.0"), 2);
    EXPECT_EQ(detail::scale_of_factor("2.75"), 2);
    EXPECT_EQ(detail::scale_of_factor("1.5"), 1);
    EXPECT_EQ(detail::scale_of_factor("3"), 3);
    EXPECT_EQ(detail::scale_of_factor("0"), 1);
    EXPECT_EQ(detail::scale_of_factor("-2"), 1);
    EXPECT_EQ(detail::scale_of_factor("zwei"), 1);
    EXPECT_EQ(detail::scale_of_factor("nan"), 1);
    EXPECT_EQ(detail::scale_of_dpi(96), 1);
    EXPECT_EQ(detail::scale_of_dpi(191.9), 1);
    EXPECT_EQ(detail::scale_of_dpi(192), 2);
    EXPECT_EQ(detail::scale_of_dpi(288), 3);
    EXPECT_EQ(detail::scale_of_dpi(0), 1);
    // Never larger than the desktop can show.
    EXPECT_EQ(detail::scale_that_fits(2, 800, 400, 1920, 1080), 2);
    EXPECT_EQ(detail::scale_that_fits(3, 800, 400, 1920, 1080), 2);
    EXPECT_EQ(detail::scale_that_fits(2, 800, 400, 1024, 768), 1);
    EXPECT_EQ(detail::scale_that_fits(1, 800, 400, 640, 480), 1);
}

// ---- a real window --------------------------------------------------------

bool eventually(const std::function<bool()>& ok, int ms = 3000)
{
    auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < until) {
        if (ok())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return ok();
}

// Everything drawn has been taken over by the window thread.
bool drained()
{
    auto& s = detail::state();
    std::lock_guard lock(s.m);
    return s.d.dirty_first < 0;
}

void push(SDL_Event e)
{
    ASSERT_EQ(SDL_PushEvent(&e), 1) << SDL_GetError();
}

void push_key(SDL_Scancode sc, bool down, std::uint16_t mod = 0, bool repeat = false)
{
    SDL_Event e{};
    e.type = down ? SDL_KEYDOWN : SDL_KEYUP;
    e.key.state = down ? SDL_PRESSED : SDL_RELEASED;
    e.key.repeat = repeat ? 1 : 0;
    e.key.keysym.scancode = sc;
    e.key.keysym.sym = SDL_GetKeyFromScancode(sc);
    e.key.keysym.mod = mod;
    push(e);
}

void push_window(std::uint8_t event)
{
    SDL_Event e{};
    e.type = SDL_WINDOWEVENT;
    e.window.event = event;
    push(e);
}

void push_text(const char* utf8)
{
    SDL_Event e{};
    e.type = SDL_TEXTINPUT;
    SDL_strlcpy(e.text.text, utf8, sizeof e.text.text);
    push(e);
}

// The next key code, waiting for the window thread to deliver it.
std::string next_key()
{
    std::string k;
    eventually([&] { return !(k = KEY_POLL()).empty(); });
    return k;
}

std::string extended(int scan_code)
{
    return std::string{'\xFF', static_cast<char>(scan_code)};
}

class SdlWindow : public ::testing::Test {
protected:
    void SetUp() override
    {
        setenv("SDL_VIDEODRIVER", "dummy", 1);
        setenv("SDL_AUDIODRIVER", "dummy", 1);
        st::reset();
        set_backend_factory(make_window_backend);
    }
    void TearDown() override
    {
        st::reset();
        setenv("SDL_VIDEODRIVER", "dummy", 1);
        setenv("SDL_AUDIODRIVER", "dummy", 1);
    }
    void open()
    {
        ASSERT_EQ(SCREEN_OPEN(800, 400, 32), 0);
        ASSERT_TRUE(st::window_open());
        TEXT_WIDTH(100, 25);
    }
};

TEST_F(SdlWindow, OpensReportsItsDriverAndPresentsWhatIsPrinted)
{
    open();
    Info info = SCREEN_INFO();
    EXPECT_EQ(info.driver, "dummy");
    EXPECT_EQ(info.width, 800);
    EXPECT_EQ(info.height, 400);
    EXPECT_GT(info.refresh_rate, 0);
    EXPECT_TRUE(eventually(drained));
    // Many prints in a burst: the thread catches up with all of them.
    for (int i = 0; i < 2000; ++i) {
        TEXT_LOCATE(5, 1);
        TEXT_PRINT(std::to_string(i), false);
    }
    EXPECT_TRUE(eventually(drained));
    EXPECT_EQ(st::row_text(5).substr(0, 4), "1999");
    DRAW_PIXEL(0, 799, 399, 0xFFFF0000);
    EXPECT_TRUE(eventually(drained));
}

TEST_F(SdlWindow, KeysReachTheHeldTableAndTheKeyBuffer)
{
    open();
    push_key(SDL_SCANCODE_UP, true);
    EXPECT_EQ(next_key(), extended(72));
    EXPECT_EQ(KEY_DOWN(72), -1);
    push_key(SDL_SCANCODE_UP, false);
    EXPECT_TRUE(eventually([] { return KEY_DOWN(72) == 0; }));
    EXPECT_EQ(KEY_POLL(), "") << "a key release is no key";

    push_key(SDL_SCANCODE_ESCAPE, true);
    EXPECT_EQ(next_key(), "\x1b");
    EXPECT_EQ(KEY_DOWN(1), -1);
    push_key(SDL_SCANCODE_ESCAPE, false);
    EXPECT_TRUE(eventually([] { return KEY_DOWN(1) == 0; }));

    push_key(SDL_SCANCODE_RETURN, true);
    EXPECT_EQ(next_key(), "\r");
    push_key(SDL_SCANCODE_KP_ENTER, true);
    EXPECT_EQ(next_key(), "\r");
    push_key(SDL_SCANCODE_BACKSPACE, true);
    EXPECT_EQ(next_key(), "\b");
    push_key(SDL_SCANCODE_TAB, true);
    EXPECT_EQ(next_key(), "\t");
    push_key(SDL_SCANCODE_F10, true);
    EXPECT_EQ(next_key(), extended(68));
    push_key(SDL_SCANCODE_DELETE, true);
    EXPECT_EQ(next_key(), extended(83));
}

TEST_F(SdlWindow, HeldSpaceOnlyHoldsAndRepeatsFeedTheBuffer)
{
    open();
    // Space types by its text event; its key event only holds.
    push_key(SDL_SCANCODE_SPACE, true);
    EXPECT_TRUE(eventually([] { return KEY_DOWN(57) == -1; }));
    push_key(SDL_SCANCODE_DOWN, true);
    push_key(SDL_SCANCODE_DOWN, true, 0, true);
    push_key(SDL_SCANCODE_DOWN, true, 0, true);
    EXPECT_EQ(next_key(), extended(80));
    EXPECT_EQ(next_key(), extended(80));
    EXPECT_EQ(next_key(), extended(80));
    EXPECT_EQ(KEY_DOWN(57), -1);
    EXPECT_EQ(KEY_DOWN(80), -1);
    push_key(SDL_SCANCODE_SPACE, false);
    push_key(SDL_SCANCODE_DOWN, false);
    EXPECT_TRUE(eventually([] { return KEY_DOWN(57) == 0 && KEY_DOWN(80) == 0; }));
    EXPECT_EQ(KEY_POLL(), "");
}

TEST_F(SdlWindow, KeypadSteersOnlyWithoutNumLock)
{
    open();
    push_key(SDL_SCANCODE_KP_8, true, KMOD_NUM);
    push_key(SDL_SCANCODE_KP_8, false, KMOD_NUM);
    push_key(SDL_SCANCODE_KP_4, true);
    EXPECT_EQ(next_key(), extended(75)) << "Num Lock on: the digit comes as text, not as Up";
    EXPECT_EQ(KEY_DOWN(75), -1);
}

TEST_F(SdlWindow, TextArrivesAsOneKeyPerCharacter)
{
    open();
    // The key users get the Windows-1252 byte, or '?' where it has none.
    push_text("a \xC3\xA4\xE2\x82\xAC\xF0\x9F\x8E\xB5");
    EXPECT_EQ(next_key(), "a");
    EXPECT_EQ(next_key(), " ");
    EXPECT_EQ(next_key(), "\xE4");
    EXPECT_EQ(next_key(), "\x80");
    EXPECT_EQ(next_key(), "?");
    EXPECT_EQ(KEY_POLL(), "");
}

TEST_F(SdlWindow, TheCloseButtonIsAKeyAndKeepsTheWindow)
{
    open();
    SDL_Event quit{};
    quit.type = SDL_QUIT;
    push(quit);
    EXPECT_EQ(next_key(), "\xFF" "k");
    push_window(SDL_WINDOWEVENT_CLOSE);
    EXPECT_EQ(KEY_WAIT(), 27647);
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_EQ(KEY_POLL(), "") << "one close, one code";
    EXPECT_TRUE(st::window_open());
    TEXT_PRINT("noch da", false);
    EXPECT_TRUE(eventually(drained));
}

TEST_F(SdlWindow, MouseFocusAndPointer)
{
    open();
    push_window(SDL_WINDOWEVENT_FOCUS_GAINED);
    push_window(SDL_WINDOWEVENT_ENTER);
    SDL_Event e{};
    e.type = SDL_MOUSEMOTION;
    e.motion.x = 12;
    e.motion.y = 34;
    push(e);
    EXPECT_TRUE(eventually([] { return MOUSE_READ().status == 0 && MOUSE_READ().x == 12; }));
    EXPECT_EQ(MOUSE_READ().y, 34);
    EXPECT_EQ(MOUSE_READ().buttons, 0);

    SDL_Event b{};
    b.type = SDL_MOUSEBUTTONDOWN;
    b.button.button = SDL_BUTTON_LEFT;
    b.button.x = 40;
    b.button.y = 50;
    push(b);
    b.button.button = SDL_BUTTON_MIDDLE;
    push(b);
    EXPECT_TRUE(eventually([] { return MOUSE_READ().buttons == 5; }));
    EXPECT_EQ(MOUSE_READ().x, 40);
    b.type = SDL_MOUSEBUTTONUP;
    b.button.button = SDL_BUTTON_LEFT;
    push(b);
    b.type = SDL_MOUSEBUTTONDOWN;
    b.button.button = SDL_BUTTON_RIGHT;
    push(b);
    EXPECT_TRUE(eventually([] { return MOUSE_READ().buttons == 6; }));

    SDL_Event w{};
    w.type = SDL_MOUSEWHEEL;
    w.wheel.y = 1;
    push(w);
    push(w);
    w.wheel.y = -1;
    push(w);
    w.wheel.y = 1;
    w.wheel.direction = SDL_MOUSEWHEEL_FLIPPED;
    push(w);
    EXPECT_TRUE(eventually([] { return MOUSE_READ().wheel == 0; }));
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_EQ(MOUSE_READ().wheel, 0);

    push_window(SDL_WINDOWEVENT_LEAVE);
    EXPECT_TRUE(eventually([] { return MOUSE_READ().status == 1; }));
    EXPECT_EQ(MOUSE_READ().x, -1);
}

TEST_F(SdlWindow, LosingFocusLetsGoOfHeldKeys)
{
    open();
    push_window(SDL_WINDOWEVENT_FOCUS_GAINED);
    push_key(SDL_SCANCODE_SPACE, true);
    push_key(SDL_SCANCODE_ESCAPE, true);
    EXPECT_TRUE(eventually([] { return KEY_DOWN(57) == -1 && KEY_DOWN(1) == -1; }));
    push_window(SDL_WINDOWEVENT_FOCUS_LOST);
    EXPECT_TRUE(eventually([] { return KEY_DOWN(57) == 0 && KEY_DOWN(1) == 0; }));
}

TEST_F(SdlWindow, AnUnknownVideoDriverFailsTheOpenCleanly)
{
    setenv("SDL_VIDEODRIVER", "no_such_driver", 1);
    EXPECT_NE(SCREEN_OPEN(800, 400, 32), 0);
    EXPECT_FALSE(st::window_open());
    EXPECT_EQ(KEY_DOWN(1), 0);
    // Nothing of SDL is left behind: the next open works.
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    open();
    push_key(SDL_SCANCODE_F1, true);
    EXPECT_EQ(next_key(), extended(59));
}

// The environment of a program started where no display can be reached.
class NoDisplay {
public:
    explicit NoDisplay(const char* runtime_dir)
    {
        for (const char* name : k_names) {
            const char* v = std::getenv(name);
            saved_.emplace_back(name, v ? std::optional<std::string>(v) : std::nullopt);
            unsetenv(name);
        }
        if (runtime_dir)
            setenv("XDG_RUNTIME_DIR", runtime_dir, 1);
    }
    ~NoDisplay()
    {
        for (auto& [name, v] : saved_) {
            if (v)
                setenv(name, v->c_str(), 1);
            else
                unsetenv(name);
        }
    }

private:
    static constexpr const char* k_names[] = {"SDL_VIDEODRIVER", "DISPLAY", "WAYLAND_DISPLAY", "XDG_RUNTIME_DIR"};
    std::vector<std::pair<const char*, std::optional<std::string>>> saved_;
};

TEST_F(SdlWindow, WithoutADisplayTheOpenFailsInsteadOfShowingNothing)
{
    {
        NoDisplay none(nullptr);
        EXPECT_NE(SCREEN_OPEN(800, 400, 32), 0);
        EXPECT_FALSE(st::window_open());
        Info info = SCREEN_INFO();
        EXPECT_EQ(info.width, 1024);
        EXPECT_EQ(info.driver, "");
    }
    if (access("/dev/dri", F_OK) == 0)
        GTEST_SKIP() << "a DRM device could give a real screen here";
    // SDL would settle on its invisible driver; only a driver named outright may be one.
    testsupport::TempDir runtime;
    NoDisplay none(runtime.path().c_str());
    EXPECT_NE(SCREEN_OPEN(800, 400, 32), 0);
    EXPECT_FALSE(st::window_open());
    EXPECT_EQ(SCREEN_INFO().driver, "");
}

TEST_F(SdlWindow, AFailedOpenSaysOnStandardErrorWhatWasTriedAndWhy)
{
    // A display that is named but not there: X11 by that name, then Wayland.
    testsupport::TempDir runtime;
    auto r = testsupport::run_child([&runtime] {
        NoDisplay none(runtime.path().c_str());
        setenv("DISPLAY", ":4711", 1);
        std::printf("%d", SCREEN_OPEN(800, 400, 32));
    });
    EXPECT_EQ(r.out, "1");
    EXPECT_EQ(r.err.rfind("velmora: the window cannot be opened (video driver x11: ", 0), 0u) << r.err;
    EXPECT_NE(r.err.find("; video driver wayland: "), std::string::npos) << r.err;
    EXPECT_EQ(r.err.back(), '\n');
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << "one line: " << r.err;

    // SDL_VIDEODRIVER names the one driver tried.
    auto named = testsupport::run_child([] {
        setenv("SDL_VIDEODRIVER", "no_such_driver", 1);
        std::printf("%d", SCREEN_OPEN(800, 400, 32));
    });
    EXPECT_EQ(named.out, "1");
    EXPECT_EQ(named.err.rfind("velmora: the window cannot be opened (video driver no_such_driver: ", 0), 0u)
        << named.err;

    auto none = testsupport::run_child([] {
        NoDisplay nothing(nullptr);
        std::printf("%d", SCREEN_OPEN(800, 400, 32));
    });
    EXPECT_EQ(none.err, "velmora: the window cannot be opened (no display: DISPLAY and WAYLAND_DISPLAY are not set)\n");
}

TEST_F(SdlWindow, OpensAgainAfterClosing)
{
    for (int round = 0; round < 3; ++round) {
        open();
        TEXT_PRINT("Runde " + std::to_string(round), true);
        EXPECT_TRUE(eventually(drained));
        push_key(SDL_SCANCODE_HOME, true);
        EXPECT_EQ(next_key(), extended(71));
        EXPECT_EQ(SCREEN_TEXT_MODE(), 0);
        EXPECT_FALSE(st::window_open());
    }
}

TEST_F(SdlWindow, TheDesktopWithoutAWindow)
{
    Info info = SCREEN_INFO();
    EXPECT_EQ(info.driver, "dummy");
    EXPECT_GT(info.width, 0);
    EXPECT_GT(info.height, 0);
    EXPECT_GT(info.depth, 0);
    EXPECT_GT(info.refresh_rate, 0);
    EXPECT_EQ(info.pitch, 0);
    // The probe left SDL as it found it: a window still opens.
    open();
}

TEST_F(SdlWindow, TheDesktopFallsBackWithoutAnyDisplay)
{
    setenv("SDL_VIDEODRIVER", "no_such_driver", 1);
    Info info = SCREEN_INFO();
    EXPECT_EQ(info.width, 1024);
    EXPECT_EQ(info.height, 768);
    EXPECT_EQ(info.depth, 32);
    EXPECT_EQ(info.refresh_rate, 60);
}

double beep_seconds()
{
    double t0 = CLOCK_SECONDS();
    BEEP_TONE();
    return CLOCK_SECONDS() - t0;
}

TEST_F(SdlWindow, TheToneLastsAQuarterSecondWithOrWithoutAudio)
{
    open();
    double with_audio = beep_seconds();
    EXPECT_GE(with_audio, 0.245);
    EXPECT_LT(with_audio, 0.40);
    EXPECT_GE(beep_seconds(), 0.245) << "a second tone opens the device again";

    setenv("SDL_AUDIODRIVER", "no_such_driver", 1);
    open(); // a fresh window starts its audio afresh
    double without = beep_seconds();
    EXPECT_GE(without, 0.245);
    EXPECT_LT(without, 0.40);
}

TEST_F(SdlWindow, RetitlingUnderTheScreenLockNeverStallsTheWindow)
{
    open();
    WINDOW_TITLE(std::string(200, 'x'));
    WINDOW_TITLE("Gr\xF6\xDF" "e");
    TEXT_PRINT("weiter", false);
    EXPECT_TRUE(eventually(drained));
    EXPECT_EQ(st::title(), "Gr\xF6\xDF" "e");
}

} // namespace
