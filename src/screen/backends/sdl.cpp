// The window backend for Linux (X11 or Wayland) through SDL2. The window
// lives on a thread of its own, which pumps input into the screen state and
// presents the changed pixel rows at most about 60 times a second.
#define SDL_MAIN_HANDLED
#include <SDL.h>
#include <SDL_syswm.h>
#include <X11/Xlib.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <numbers>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "screen/backend.hpp"
#include "rt/error.hpp"
#include "screen/backends/layout.hpp"
#include "screen/backends/sdl_keys.hpp"
#include "screen/screen.hpp"

namespace screen::detail {

namespace {

struct KeyPair {
    SDL_Scancode sdl;
    std::uint8_t set1;
};

// The one table from SDL's (USB HID) scancodes to PC set-1 numbers. The
// E0-prefixed keys share their low byte with the keypad key they copy.
constexpr KeyPair k_keys[] = {
    {SDL_SCANCODE_ESCAPE, 1},
    {SDL_SCANCODE_1, 2}, {SDL_SCANCODE_2, 3}, {SDL_SCANCODE_3, 4}, {SDL_SCANCODE_4, 5},
    {SDL_SCANCODE_5, 6}, {SDL_SCANCODE_6, 7}, {SDL_SCANCODE_7, 8}, {SDL_SCANCODE_8, 9},
    {SDL_SCANCODE_9, 10}, {SDL_SCANCODE_0, 11},
    {SDL_SCANCODE_MINUS, 12}, {SDL_SCANCODE_EQUALS, 13}, {SDL_SCANCODE_BACKSPACE, 14}, {SDL_SCANCODE_TAB, 15},
    {SDL_SCANCODE_Q, 16}, {SDL_SCANCODE_W, 17}, {SDL_SCANCODE_E, 18}, {SDL_SCANCODE_R, 19},
    {SDL_SCANCODE_T, 20}, {SDL_SCANCODE_Y, 21}, {SDL_SCANCODE_U, 22}, {SDL_SCANCODE_I, 23},
    {SDL_SCANCODE_O, 24}, {SDL_SCANCODE_P, 25},
    {SDL_SCANCODE_LEFTBRACKET, 26}, {SDL_SCANCODE_RIGHTBRACKET, 27}, {SDL_SCANCODE_RETURN, 28},
    {SDL_SCANCODE_LCTRL, 29}, {SDL_SCANCODE_RCTRL, 29},
    {SDL_SCANCODE_A, 30}, {SDL_SCANCODE_S, 31}, {SDL_SCANCODE_D, 32}, {SDL_SCANCODE_F, 33},
    {SDL_SCANCODE_G, 34}, {SDL_SCANCODE_H, 35}, {SDL_SCANCODE_J, 36}, {SDL_SCANCODE_K, 37},
    {SDL_SCANCODE_L, 38},
    {SDL_SCANCODE_SEMICOLON, 39}, {SDL_SCANCODE_APOSTROPHE, 40}, {SDL_SCANCODE_GRAVE, 41},
    {SDL_SCANCODE_LSHIFT, 42}, {SDL_SCANCODE_BACKSLASH, 43}, {SDL_SCANCODE_NONUSHASH, 43},
    {SDL_SCANCODE_Z, 44}, {SDL_SCANCODE_X, 45}, {SDL_SCANCODE_C, 46}, {SDL_SCANCODE_V, 47},
    {SDL_SCANCODE_B, 48}, {SDL_SCANCODE_N, 49}, {SDL_SCANCODE_M, 50},
    {SDL_SCANCODE_COMMA, 51}, {SDL_SCANCODE_PERIOD, 52}, {SDL_SCANCODE_SLASH, 53}, {SDL_SCANCODE_KP_DIVIDE, 53},
    {SDL_SCANCODE_RSHIFT, 54}, {SDL_SCANCODE_KP_MULTIPLY, 55},
    {SDL_SCANCODE_LALT, 56}, {SDL_SCANCODE_RALT, 56}, {SDL_SCANCODE_SPACE, 57}, {SDL_SCANCODE_CAPSLOCK, 58},
    {SDL_SCANCODE_F1, 59}, {SDL_SCANCODE_F2, 60}, {SDL_SCANCODE_F3, 61}, {SDL_SCANCODE_F4, 62},
    {SDL_SCANCODE_F5, 63}, {SDL_SCANCODE_F6, 64}, {SDL_SCANCODE_F7, 65}, {SDL_SCANCODE_F8, 66},
    {SDL_SCANCODE_F9, 67}, {SDL_SCANCODE_F10, 68},
    {SDL_SCANCODE_NUMLOCKCLEAR, 69}, {SDL_SCANCODE_SCROLLLOCK, 70},
    {SDL_SCANCODE_HOME, 71}, {SDL_SCANCODE_KP_7, 71},
    {SDL_SCANCODE_UP, 72}, {SDL_SCANCODE_KP_8, 72},
    {SDL_SCANCODE_PAGEUP, 73}, {SDL_SCANCODE_KP_9, 73},
    {SDL_SCANCODE_KP_MINUS, 74},
    {SDL_SCANCODE_LEFT, 75}, {SDL_SCANCODE_KP_4, 75},
    {SDL_SCANCODE_KP_5, 76},
    {SDL_SCANCODE_RIGHT, 77}, {SDL_SCANCODE_KP_6, 77},
    {SDL_SCANCODE_KP_PLUS, 78},
    {SDL_SCANCODE_END, 79}, {SDL_SCANCODE_KP_1, 79},
    {SDL_SCANCODE_DOWN, 80}, {SDL_SCANCODE_KP_2, 80},
    {SDL_SCANCODE_PAGEDOWN, 81}, {SDL_SCANCODE_KP_3, 81},
    {SDL_SCANCODE_INSERT, 82}, {SDL_SCANCODE_KP_0, 82},
    {SDL_SCANCODE_DELETE, 83}, {SDL_SCANCODE_KP_PERIOD, 83},
    {SDL_SCANCODE_NONUSBACKSLASH, 86}, // the "<>" key of German keyboards
    {SDL_SCANCODE_F11, 87}, {SDL_SCANCODE_F12, 88},
    {SDL_SCANCODE_KP_ENTER, 28},
};

constexpr auto k_set1 = [] {
    std::array<std::uint8_t, SDL_NUM_SCANCODES> t{};
    for (const KeyPair& k : k_keys)
        t[static_cast<size_t>(k.sdl)] = k.set1;
    return t;
}();

bool is_keypad(int sc)
{
    return (sc >= SDL_SCANCODE_KP_1 && sc <= SDL_SCANCODE_KP_0) || sc == SDL_SCANCODE_KP_PERIOD;
}

bool is_extended_set1(int set1)
{
    switch (set1) {
    case scan::home: case scan::up: case scan::page_up: case scan::left: case scan::right:
    case scan::end: case scan::down: case scan::page_down: case scan::insert: case scan::del:
        return true;
    default:
        return set1 >= scan::f1 && set1 <= scan::f10;
    }
}

// Code page 1252's row 0x80..0x9F; its five gaps keep their Latin-1 code
// points, as Windows converts them.
constexpr std::uint16_t k_cp1252_high[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

} // namespace

int set1_from_sdl(int sdl_scancode)
{
    if (sdl_scancode < 0 || sdl_scancode >= SDL_NUM_SCANCODES)
        return 0;
    return k_set1[static_cast<size_t>(sdl_scancode)];
}

int extended_from_sdl(int sdl_scancode, bool num_lock)
{
    int set1 = set1_from_sdl(sdl_scancode);
    if (!is_extended_set1(set1))
        return 0;
    if (is_keypad(sdl_scancode) && num_lock)
        return 0; // a digit, which arrives as text
    return set1;
}

int char_from_sdl(int sdl_scancode)
{
    switch (sdl_scancode) {
    case SDL_SCANCODE_ESCAPE: return 27;
    case SDL_SCANCODE_RETURN: case SDL_SCANCODE_KP_ENTER: return 13;
    case SDL_SCANCODE_BACKSPACE: return 8;
    case SDL_SCANCODE_TAB: return 9;
    default: return -1;
    }
}

std::string utf8_from_cp1252(const std::string& bytes)
{
    std::string out;
    out.reserve(bytes.size() * 2);
    for (unsigned char b : bytes) {
        unsigned cp = (b >= 0x80 && b < 0xA0) ? k_cp1252_high[b - 0x80] : b;
        if (cp < 0x80) {
            out.push_back(static_cast<char>(cp));
        } else if (cp < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        }
    }
    return out;
}

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto k_frame = std::chrono::microseconds(1000000 / 60);
constexpr int k_pump_ms = 5;
constexpr int k_events_per_round = 512; // a flood of input must not starve presentation

// Set once the X connection has gone; Xlib's handler has no room for more.
std::atomic<bool> g_display_lost{false};

// Xlib calls this on the window thread when the connection to the display
// breaks. Returning would let Xlib exit the process under our feet, and
// unwinding would have the window thread join itself: the runtime's error
// exit, which removes a pending half copy, is the way out.
int on_display_lost(Display*)
{
    g_display_lost.store(true);
    std::fputs("velmora: the connection to the display was lost\n", stderr);
    rt::fail_noline(14);
}

// Xlib's default ends the process with status 1 on any refused request;
// one about a window already gone (a race at the end with the window
// manager or a peer) could so end a run in the middle of a copy.
int on_refused_request(Display*, XErrorEvent*)
{
    return 0;
}

void set_hints()
{
    // The runtime turns signals into its own errors; SDL must not take them.
    SDL_SetHintWithPriority(SDL_HINT_NO_SIGNAL_HANDLERS, "1", SDL_HINT_OVERRIDE);
    // The close button is a key for the program, never a quit.
    SDL_SetHintWithPriority(SDL_HINT_QUIT_ON_LAST_WINDOW_CLOSE, "0", SDL_HINT_OVERRIDE);
    SDL_SetHint(SDL_HINT_VIDEO_ALLOW_SCREENSAVER, "1");
    // Scaling 800x400 by whole numbers needs no GPU, and a GL emulation would
    // take the CPU the copy loop runs on: the window surface, without GL.
    SDL_SetHintWithPriority(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0", SDL_HINT_DEFAULT);
}

bool sound_card_present()
{
    std::FILE* f = std::fopen("/proc/asound/cards", "r");
    if (!f)
        return false;
    char line[64] = {};
    bool any = std::fgets(line, sizeof line, f) && SDL_strncmp(line, "--- no soundcards ---", 21) != 0;
    std::fclose(f);
    return any;
}

// Ends SDL's video side and, unless the tone still uses SDL, SDL itself.
void quit_video()
{
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
    if (SDL_WasInit(SDL_INIT_EVERYTHING) == 0)
        SDL_Quit();
}

bool has_env(const char* name)
{
    const char* v = std::getenv(name);
    return v && *v;
}

// Starts SDL's video on a driver that shows a window. Left to itself SDL may
// settle on one that shows nothing (it did so under load), so the display
// that is there is asked for by name; SDL_VIDEODRIVER still wins. On failure
// `why` tells what was tried and what SDL said.
bool init_video(std::string& why)
{
    // SDL keeps the handler it finds here and puts it back when its video
    // ends, before the display's last errors arrive: it must be ours.
    XSetErrorHandler(on_refused_request);
    if (has_env("SDL_VIDEODRIVER")) {
        const char* named = std::getenv("SDL_VIDEODRIVER");
        if (SDL_Init(SDL_INIT_VIDEO) == 0)
            return true;
        why = std::string("video driver ") + named + ": " + SDL_GetError();
        quit_video();
        return false;
    }
    // Wayland's default socket needs no variable, only the runtime folder.
    bool wayland = has_env("WAYLAND_DISPLAY") || has_env("XDG_RUNTIME_DIR");
    std::vector<const char*> drivers;
    if (has_env("DISPLAY"))
        drivers = wayland ? std::vector<const char*>{"x11", "wayland"} : std::vector<const char*>{"x11"};
    else if (wayland)
        drivers = {"wayland", "x11"};
    if (drivers.empty()) {
        why = "no display: DISPLAY and WAYLAND_DISPLAY are not set";
        return false;
    }
    for (const char* d : drivers) {
        SDL_SetHint(SDL_HINT_VIDEODRIVER, d);
        bool ok = SDL_Init(SDL_INIT_VIDEO) == 0;
        if (!ok) {
            why += std::string(why.empty() ? "" : "; ") + "video driver " + d + ": " + SDL_GetError();
            quit_video();
        }
        SDL_ResetHint(SDL_HINT_VIDEODRIVER);
        if (ok)
            return true;
    }
    return false;
}

bool is_x11(SDL_Window* w, Display*& display)
{
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (!SDL_GetWindowWMInfo(w, &info) || info.subsystem != SDL_SYSWM_X11)
        return false;
    display = info.info.x11.display;
    return true;
}

// The scale the desktop asks for: GDK_SCALE, QT_SCALE_FACTOR or the X
// resource Xft.dpi. A Wayland compositor scales windows itself.
int desktop_scale(SDL_Window* w)
{
    const char* driver = SDL_GetCurrentVideoDriver();
    if (driver && SDL_strcmp(driver, "wayland") == 0)
        return 1;
    int scale = std::max(scale_of_factor(std::getenv("GDK_SCALE")), scale_of_factor(std::getenv("QT_SCALE_FACTOR")));
    Display* display = nullptr;
    if (is_x11(w, display))
        if (const char* dpi = XGetDefault(display, "Xft", "dpi"))
            scale = std::max(scale, scale_of_dpi(std::strtod(dpi, nullptr)));
    return scale;
}

int button_bit(std::uint8_t button)
{
    switch (button) {
    case SDL_BUTTON_LEFT: return 1;
    case SDL_BUTTON_RIGHT: return 2;
    case SDL_BUTTON_MIDDLE: return 4;
    default: return 0;
    }
}

class SdlWindow final : public Backend {
public:
    SdlWindow() = default;
    SdlWindow(const SdlWindow&) = delete;
    SdlWindow& operator=(const SdlWindow&) = delete;
    ~SdlWindow() override { close(); }

    bool open(int width, int height) override;
    void set_title(const std::string& title) override;
    void changed() override;
    void close() override;
    void beep() override;
    bool message_box(const std::string& title, const std::string& text) override;
    const char* driver() const override { return driver_.c_str(); }
    int refresh_rate() const override { return refresh_; }
    void desktop(int& width, int& height, int& depth, int& rate) const override;

private:
    enum class Start { pending, ok, failed };

    // On the window thread.
    void run();
    bool start();
    void finish();
    void pump();
    void handle(const SDL_Event& e);
    void key(const SDL_KeyboardEvent& k, bool down);
    void pointer(int x, int y);
    void apply_title();
    void relayout();
    void blit_rows(int first, int last);
    void present();

    void wake();

    std::mutex m_; // start_, title_, title_pending_
    std::condition_variable cv_;
    Start start_ = Start::pending;
    std::string title_;
    bool title_pending_ = false;

    std::thread thread_;
    std::atomic<bool> quit_{false};
    std::atomic<bool> dirty_{false};
    std::atomic<std::uint32_t> wake_type_{0};

    // Owned by the window thread once it runs.
    int width_ = 0;
    int height_ = 0;
    std::vector<std::uint32_t> frame_;
    SDL_Window* window_ = nullptr;
    SDL_Surface* picture_ = nullptr; // frame_ as a surface
    SDL_Surface* surface_ = nullptr; // the window's, replaced on a resize
    Layout layout_;
    int buttons_ = 0;
    bool in_window_ = false;
    bool in_picture_ = true;
    bool redraw_ = false;
    bool upload_all_ = false;
    Clock::time_point last_present_{};
    std::string failure_;

    // Written by the thread before open() returns (or by a desktop() probe),
    // read-only afterwards.
    mutable std::string driver_;
    int refresh_ = 60;

    // The tone, on the program thread: 0 not tried yet, 1 ready, -1 none.
    int audio_ = 0;
};

bool SdlWindow::open(int width, int height)
{
    if (thread_.joinable() || width < 1 || height < 1)
        return false;
    width_ = width;
    height_ = height;
    frame_.assign(static_cast<size_t>(width) * static_cast<size_t>(height), 0xFF000000u);
    quit_.store(false);
    start_ = Start::pending;
    try {
        thread_ = std::thread(&SdlWindow::run, this);
    } catch (const std::system_error&) {
        return false;
    }
    std::unique_lock lock(m_);
    cv_.wait(lock, [this] { return start_ != Start::pending; });
    if (start_ == Start::ok)
        return true;
    lock.unlock();
    thread_.join();
    // Said before the caller's runtime error report, which cannot say why.
    std::fprintf(stderr, "velmora: the window cannot be opened (%s)\n", failure_.c_str());
    std::fflush(stderr);
    return false;
}

void SdlWindow::run()
{
    bool ok = start();
    {
        std::lock_guard lock(m_);
        start_ = ok ? Start::ok : Start::failed;
    }
    cv_.notify_all();
    if (!ok)
        return;
    pump();
    finish();
}

bool SdlWindow::start()
{
    set_hints();
    if (!init_video(failure_))
        return false;
    const char* driver = SDL_GetCurrentVideoDriver();
    driver_ = driver ? driver : "";
    // Made hidden, so it can take the desktop's scale before it is first seen.
    window_ = SDL_CreateWindow("", SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, width_, height_,
                               SDL_WINDOW_HIDDEN | SDL_WINDOW_RESIZABLE);
    if (window_)
        picture_ = SDL_CreateRGBSurfaceWithFormatFrom(frame_.data(), width_, height_, 32, width_ * 4,
                                                      SDL_PIXELFORMAT_ARGB8888);
    if (!window_ || !picture_) {
        failure_ = "video driver " + driver_ + ": " + SDL_GetError();
        finish();
        return false;
    }
    // Colours carry alpha 0xFF by convention only; the window shows RGB.
    SDL_SetSurfaceBlendMode(picture_, SDL_BLENDMODE_NONE);
    Display* display = nullptr;
    if (is_x11(window_, display)) {
        XSetIOErrorHandler(on_display_lost);
        XSetErrorHandler(on_refused_request);
    }

    int index = std::max(SDL_GetWindowDisplayIndex(window_), 0);
    SDL_Rect area{0, 0, width_, height_};
    if (SDL_GetDisplayUsableBounds(index, &area) != 0)
        area = SDL_Rect{0, 0, width_, height_};
    int scale = scale_that_fits(desktop_scale(window_), width_, height_, area.w, area.h);
    if (scale > 1) {
        SDL_SetWindowSize(window_, width_ * scale, height_ * scale);
        SDL_SetWindowPosition(window_, SDL_WINDOWPOS_CENTERED_DISPLAY(index), SDL_WINDOWPOS_CENTERED_DISPLAY(index));
    }
    SDL_SetWindowMinimumSize(window_, width_, height_);
    SDL_ShowWindow(window_);
    relayout();
    if (!surface_) {
        failure_ = "video driver " + driver_ + ": " + SDL_GetError();
        finish();
        return false;
    }

    SDL_DisplayMode mode{};
    if (SDL_GetCurrentDisplayMode(index, &mode) == 0 && mode.refresh_rate > 0)
        refresh_ = mode.refresh_rate;
    std::uint32_t type = SDL_RegisterEvents(1);
    wake_type_.store(type == static_cast<std::uint32_t>(-1) ? 0 : type);
    SDL_StartTextInput();

    std::uint32_t flags = SDL_GetWindowFlags(window_);
    input_focus((flags & SDL_WINDOW_INPUT_FOCUS) != 0);
    in_window_ = (flags & SDL_WINDOW_MOUSE_FOCUS) != 0;
    input_pointer_inside(in_window_);
    apply_title();
    return true;
}

void SdlWindow::finish()
{
    wake_type_.store(0);
    if (picture_)
        SDL_FreeSurface(picture_);
    if (window_) {
        SDL_StopTextInput();
        SDL_DestroyWindow(window_);
    }
    picture_ = nullptr;
    surface_ = nullptr;
    window_ = nullptr;
    SDL_Quit();
}

// The window's size is what it is now (a user or a window manager may have
// changed it): a new surface, the picture placed anew, everything drawn.
void SdlWindow::relayout()
{
    surface_ = SDL_GetWindowSurface(window_);
    if (!surface_)
        return;
    layout_ = fit_picture(surface_->w, surface_->h, width_, height_);
    upload_all_ = true;
    redraw_ = true;
}

void SdlWindow::pump()
{
    while (!quit_.load()) {
        int timeout = k_pump_ms;
        if (dirty_.load() || redraw_) {
            auto left = last_present_ + k_frame - Clock::now();
            auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
            timeout = static_cast<int>(std::clamp<long long>(ms, 0, k_pump_ms));
        }
        SDL_Event e;
        bool got = timeout > 0 ? SDL_WaitEventTimeout(&e, timeout) != 0 : SDL_PollEvent(&e) != 0;
        for (int n = 0; got && n < k_events_per_round; ++n) {
            handle(e);
            got = SDL_PollEvent(&e) != 0;
        }
        if (got)
            handle(e);
        apply_title();
        if ((dirty_.load() || redraw_) && Clock::now() - last_present_ >= k_frame)
            present();
    }
}

void SdlWindow::handle(const SDL_Event& e)
{
    switch (e.type) {
    case SDL_QUIT:
        input_extended(scan::close_button);
        break;
    case SDL_WINDOWEVENT:
        switch (e.window.event) {
        case SDL_WINDOWEVENT_CLOSE:
            input_extended(scan::close_button);
            break;
        case SDL_WINDOWEVENT_FOCUS_GAINED:
            input_focus(true);
            break;
        case SDL_WINDOWEVENT_FOCUS_LOST:
            input_focus(false); // also lets go of every held key
            break;
        case SDL_WINDOWEVENT_ENTER:
            in_window_ = true;
            input_pointer_inside(in_picture_);
            break;
        case SDL_WINDOWEVENT_LEAVE:
            in_window_ = false;
            input_pointer_inside(false);
            break;
        case SDL_WINDOWEVENT_SIZE_CHANGED:
            relayout();
            break;
        case SDL_WINDOWEVENT_EXPOSED:
        case SDL_WINDOWEVENT_SHOWN:
        case SDL_WINDOWEVENT_RESTORED:
            redraw_ = true;
            break;
        default:
            break;
        }
        break;
    case SDL_KEYDOWN:
        key(e.key, true);
        break;
    case SDL_KEYUP:
        key(e.key, false);
        break;
    case SDL_TEXTINPUT: {
        const char* t = e.text.text;
        input_text(std::string(t, static_cast<size_t>(std::find(t, t + sizeof e.text.text, '\0') - t)));
        break;
    }
    case SDL_MOUSEMOTION:
        pointer(e.motion.x, e.motion.y);
        break;
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP: {
        int bit = button_bit(e.button.button);
        if (!bit)
            break;
        buttons_ = e.type == SDL_MOUSEBUTTONDOWN ? (buttons_ | bit) : (buttons_ & ~bit);
        pointer(e.button.x, e.button.y);
        input_mouse_buttons(buttons_);
        break;
    }
    case SDL_MOUSEWHEEL: {
        int notches = e.wheel.direction == SDL_MOUSEWHEEL_FLIPPED ? -e.wheel.y : e.wheel.y;
        if (notches != 0)
            input_mouse_wheel(notches);
        break;
    }
    default:
        break;
    }
}

// The pointer in picture pixels; on the black border it counts as outside.
void SdlWindow::pointer(int x, int y)
{
    int px = 0, py = 0;
    bool in = to_picture(layout_, width_, height_, x, y, px, py);
    if (in)
        input_mouse_move(px, py);
    if (in != in_picture_) {
        in_picture_ = in;
        input_pointer_inside(in_window_ && in);
    }
}

void SdlWindow::key(const SDL_KeyboardEvent& k, bool down)
{
    int sc = k.keysym.scancode;
    if (int set1 = set1_from_sdl(sc))
        input_key(set1, down);
    if (!down)
        return;
    // Repeats come here too: a held arrow or Backspace repeats as on a PC.
    if (int ch = char_from_sdl(sc); ch >= 0) {
        input_char(static_cast<std::uint8_t>(ch));
        return;
    }
    if (int ext = extended_from_sdl(sc, (k.keysym.mod & KMOD_NUM) != 0))
        input_extended(ext);
}

void SdlWindow::apply_title()
{
    std::string title;
    {
        std::lock_guard lock(m_);
        if (!title_pending_)
            return;
        title_pending_ = false;
        title = title_;
    }
    SDL_SetWindowTitle(window_, utf8_from_cp1252(title).c_str());
}

// Picture rows [first, last] onto the window surface at the layout's scale
// (SDL scales nearest-neighbour in software: crisp pixels).
void SdlWindow::blit_rows(int first, int last)
{
    const int s = layout_.scale;
    SDL_Rect src{0, first, width_, last - first + 1};
    SDL_Rect dst{layout_.x, layout_.y + first * s, width_ * s, (last - first + 1) * s};
    if (s == 1)
        SDL_BlitSurface(picture_, &src, surface_, &dst);
    else
        SDL_BlitScaled(picture_, &src, surface_, &dst);
}

void SdlWindow::present()
{
    // Cleared before taking, so a change made meanwhile brings another round.
    dirty_.store(false);
    int first = 0;
    int last = -1;
    bool changes = take_changes(frame_.data(), first, last);
    if (!surface_) {
        relayout();
        if (!surface_)
            return;
    }
    if (upload_all_) {
        SDL_FillRect(surface_, nullptr, SDL_MapRGB(surface_->format, 0, 0, 0));
        blit_rows(0, height_ - 1);
        upload_all_ = false;
        SDL_UpdateWindowSurface(window_);
    } else if (changes) {
        blit_rows(first, last);
        const int s = layout_.scale;
        SDL_Rect rows{layout_.x, layout_.y + first * s, width_ * s, (last - first + 1) * s};
        if (redraw_)
            SDL_UpdateWindowSurface(window_);
        else
            SDL_UpdateWindowSurfaceRects(window_, &rows, 1);
    } else if (redraw_) {
        SDL_UpdateWindowSurface(window_);
    } else {
        return;
    }
    redraw_ = false;
    last_present_ = Clock::now();
}

void SdlWindow::wake()
{
    if (std::uint32_t type = wake_type_.load()) {
        SDL_Event e{};
        e.type = type;
        SDL_PushEvent(&e);
    }
}

void SdlWindow::set_title(const std::string& title)
{
    {
        std::lock_guard lock(m_);
        title_ = title;
        title_pending_ = true;
    }
    wake();
}

void SdlWindow::changed()
{
    // Called after every print: only the first change after a present wakes
    // the thread; the rest just find the flag set.
    if (!dirty_.exchange(true))
        wake();
}

void SdlWindow::close()
{
    if (!thread_.joinable())
        return;
    quit_.store(true);
    wake();
    thread_.join();
    audio_ = 0; // SDL_Quit on the thread ended the audio side too
}

bool SdlWindow::message_box(const std::string& title, const std::string& text)
{
    // No display to show it on, or asked from the window thread, which
    // cannot close its own window.
    if (g_display_lost.load() || (thread_.joinable() && thread_.get_id() == std::this_thread::get_id()))
        return false;
    // The box runs SDL's video on this thread: the window's goes first.
    close();
    // On the display's own driver; SDL left to itself may try another.
    set_hints();
    std::string why;
    bool video = init_video(why);
    bool shown = SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_ERROR, utf8_from_cp1252(title).c_str(),
                                          utf8_from_cp1252(text).c_str(), nullptr) == 0;
    if (video)
        quit_video();
    return shown;
}

void SdlWindow::beep()
{
    using namespace std::chrono_literals;
    const auto t0 = Clock::now();
    if (audio_ == 0) {
        // With no sound card the ALSA and PipeWire clients fill standard
        // error with complaints; a sound server is the one hope left then.
        if (!SDL_GetHint(SDL_HINT_AUDIODRIVER) && !sound_card_present())
            SDL_SetHintWithPriority(SDL_HINT_AUDIODRIVER, "pulseaudio", SDL_HINT_DEFAULT);
        audio_ = SDL_InitSubSystem(SDL_INIT_AUDIO) == 0 ? 1 : -1;
    }
    SDL_AudioDeviceID dev = 0;
    SDL_AudioSpec have{};
    if (audio_ > 0) {
        SDL_AudioSpec want{};
        want.freq = 48000;
        want.format = AUDIO_S16SYS;
        want.channels = 1;
        want.samples = 512;
        dev = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
    }
    if (dev == 0) {
        std::this_thread::sleep_until(t0 + 250ms);
        return;
    }
    // 250 ms of a 1000 Hz sine, faded over 2 ms at both ends against clicks.
    const int count = have.freq / 4;
    const int fade = have.freq / 500;
    std::vector<std::int16_t> samples(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        double ramp = std::min({1.0, static_cast<double>(i) / fade, static_cast<double>(count - 1 - i) / fade});
        double v = std::sin(2.0 * std::numbers::pi * 1000.0 * i / have.freq);
        samples[static_cast<size_t>(i)] = static_cast<std::int16_t>(std::lround(9000.0 * ramp * v));
    }
    SDL_QueueAudio(dev, samples.data(), static_cast<std::uint32_t>(samples.size() * sizeof(std::int16_t)));
    SDL_PauseAudioDevice(dev, 0);
    const auto t1 = Clock::now();
    const auto limit = t1 + 300ms;
    while (SDL_GetQueuedAudioSize(dev) > 0 && Clock::now() < limit)
        SDL_Delay(2);
    // The device's own buffer still plays after the queue has drained.
    auto tail = std::chrono::milliseconds(1000 * have.samples / std::max(have.freq, 1));
    std::this_thread::sleep_until(std::min(t1 + 250ms + tail, limit));
    SDL_CloseAudioDevice(dev);
}

void SdlWindow::desktop(int& width, int& height, int& depth, int& rate) const
{
    width = 1024;
    height = 768;
    depth = 32;
    rate = 60;
    bool own = SDL_WasInit(SDL_INIT_VIDEO) == 0;
    if (own) {
        set_hints();
        std::string why;
        if (!init_video(why))
            return;
    }
    SDL_DisplayMode mode{};
    if (SDL_GetDesktopDisplayMode(0, &mode) == 0 && mode.w > 0 && mode.h > 0) {
        width = mode.w;
        height = mode.h;
        // A 24-bit X visual is stored in 32-bit pixels, as a Windows desktop reports it.
        int bytes = SDL_BYTESPERPIXEL(mode.format);
        depth = bytes >= 4 ? 32 : static_cast<int>(SDL_BITSPERPIXEL(mode.format));
        if (depth <= 0)
            depth = 32;
        if (mode.refresh_rate > 0)
            rate = mode.refresh_rate;
    }
    if (const char* d = SDL_GetCurrentVideoDriver())
        driver_ = d;
    if (own)
        quit_video();
}

} // namespace
} // namespace screen::detail

namespace screen {

std::unique_ptr<Backend> make_window_backend()
{
    return std::make_unique<detail::SdlWindow>();
}

} // namespace screen
