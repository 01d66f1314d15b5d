// The Win32 window backend: a thread of its own creates the window, owns a
// 32-bit DIB section, presents changed rows at most about 60 times a second
// and pumps messages all the time, feeding keys and the mouse to the state.
// The window can be resized; the picture is shown at the largest whole scale
// that fits, and opens at the monitor's scale on a high-resolution screen.
#include <windows.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <future>
#include <mutex>
#include <string>
#include <thread>

#include "screen/backend.hpp"
#include "screen/backends/layout.hpp"
#include "screen/screen.hpp"

namespace screen {
namespace {

using detail::fit_picture;
using detail::Layout;
using detail::scale_of_dpi;
using detail::scale_that_fits;

constexpr UINT k_msg_changed = WM_APP + 1;
constexpr UINT k_msg_title = WM_APP + 2;
constexpr UINT k_msg_quit = WM_APP + 3;
constexpr auto k_frame = std::chrono::milliseconds(16);
constexpr DWORD k_style = WS_OVERLAPPEDWINDOW;
const char* const k_class = "velmora_window";

// The extended keys of the key buffer, by virtual key: their set-1 numbers.
int extended_scan(WPARAM vk)
{
    switch (vk) {
    case VK_UP: return scan::up;
    case VK_DOWN: return scan::down;
    case VK_LEFT: return scan::left;
    case VK_RIGHT: return scan::right;
    case VK_HOME: return scan::home;
    case VK_END: return scan::end;
    case VK_INSERT: return scan::insert;
    case VK_DELETE: return scan::del;
    case VK_PRIOR: return scan::page_up;
    case VK_NEXT: return scan::page_down;
    default: break;
    }
    if (vk >= VK_F1 && vk <= VK_F10)
        return scan::f1 + static_cast<int>(vk - VK_F1);
    return 0;
}

// Set-1 number of a key message: lParam bits 16-23; keys injected without
// one get it from the virtual key.
int key_scan(WPARAM vk, LPARAM lp)
{
    int sc = static_cast<int>((lp >> 16) & 0xFF);
    if (sc == 0)
        sc = static_cast<int>(MapVirtualKeyA(static_cast<UINT>(vk), MAPVK_VK_TO_VSC) & 0xFF);
    return sc;
}

// Through void (*)(): a cast GCC accepts between unrelated function types.
template <typename F>
F load(const char* library, const char* name)
{
    HMODULE lib = LoadLibraryA(library);
    return lib ? reinterpret_cast<F>(reinterpret_cast<void (*)()>(GetProcAddress(lib, name))) : nullptr;
}

// Without this Windows would scale our pixels itself, blurred, and report
// 96 dpi; with it, each monitor's own DPI counts. Newer systems have the
// per-monitor form, which is looked up at run time.
void declare_dpi_aware()
{
    using SetContext = BOOL(WINAPI*)(HANDLE);
    auto set_context = load<SetContext>("user32.dll", "SetProcessDpiAwarenessContext");
    // DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2
    if (set_context && set_context(reinterpret_cast<HANDLE>(static_cast<INT_PTR>(-4))))
        return;
    SetProcessDPIAware();
}

int monitor_dpi(HMONITOR monitor)
{
    using GetDpi = HRESULT(WINAPI*)(HMONITOR, int, UINT*, UINT*);
    UINT x = 0, y = 0;
    auto get_dpi = load<GetDpi>("shcore.dll", "GetDpiForMonitor");
    if (get_dpi && get_dpi(monitor, 0 /* effective DPI */, &x, &y) == S_OK && x > 0)
        return static_cast<int>(x);
    HDC dc = GetDC(nullptr);
    int dpi = dc ? GetDeviceCaps(dc, LOGPIXELSX) : 96;
    if (dc)
        ReleaseDC(nullptr, dc);
    return dpi > 0 ? dpi : 96;
}

// The outer size of a window whose client area is width x height.
SIZE outer_size(int width, int height)
{
    RECT r{0, 0, width, height};
    AdjustWindowRect(&r, k_style, FALSE);
    return SIZE{r.right - r.left, r.bottom - r.top};
}

int button_mask(WPARAM wp)
{
    return ((wp & MK_LBUTTON) ? 1 : 0) | ((wp & MK_RBUTTON) ? 2 : 0) | ((wp & MK_MBUTTON) ? 4 : 0);
}

class Win32 final : public Backend {
public:
    ~Win32() override { close(); }

    bool open(int width, int height) override
    {
        width_ = width;
        height_ = height;
        std::promise<bool> ready;
        auto started = ready.get_future();
        thread_ = std::thread([this, &ready] { run(ready); });
        if (started.get())
            return true;
        thread_.join();
        return false;
    }

    void set_title(const std::string& title) override
    {
        // Called under the screen lock: SetWindowText from here would wait
        // for the window thread, which may be waiting for that lock.
        {
            std::lock_guard lock(title_m_);
            title_ = title;
        }
        post(k_msg_title);
    }

    void changed() override
    {
        if (!changed_.exchange(true))
            post(k_msg_changed);
    }

    void close() override
    {
        if (!thread_.joinable())
            return;
        post(k_msg_quit);
        thread_.join();
    }

    void beep() override
    {
        // Wine's Beep returns at once; the tone's length is part of the contract.
        auto start = std::chrono::steady_clock::now();
        Beep(1000, 250);
        auto left = std::chrono::milliseconds(250) - (std::chrono::steady_clock::now() - start);
        if (left > std::chrono::milliseconds(0))
            std::this_thread::sleep_for(left);
    }

    const char* driver() const override { return "Win32 GDI"; }

    int refresh_rate() const override
    {
        HDC dc = GetDC(nullptr);
        int rate = dc ? GetDeviceCaps(dc, VREFRESH) : 0;
        if (dc)
            ReleaseDC(nullptr, dc);
        return rate > 1 ? rate : 60;
    }

    void desktop(int& width, int& height, int& depth, int& rate) const override
    {
        width = GetSystemMetrics(SM_CXSCREEN);
        height = GetSystemMetrics(SM_CYSCREEN);
        HDC dc = GetDC(nullptr);
        depth = dc ? GetDeviceCaps(dc, BITSPIXEL) : 32;
        if (dc)
            ReleaseDC(nullptr, dc);
        rate = refresh_rate();
    }

private:
    void post(UINT msg)
    {
        HWND w = hwnd_.load();
        if (w)
            PostMessageA(w, msg, 0, 0);
    }

    static LRESULT CALLBACK proc(HWND w, UINT msg, WPARAM wp, LPARAM lp)
    {
        if (msg == WM_NCCREATE) {
            auto* cs = reinterpret_cast<CREATESTRUCTA*>(lp);
            SetWindowLongPtrA(w, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
        }
        auto* self = reinterpret_cast<Win32*>(GetWindowLongPtrA(w, GWLP_USERDATA));
        if (self)
            return self->handle(w, msg, wp, lp);
        return DefWindowProcA(w, msg, wp, lp);
    }

    bool create_window()
    {
        HINSTANCE inst = GetModuleHandleA(nullptr);
        WNDCLASSA wc{};
        wc.style = CS_OWNDC;
        wc.lpfnWndProc = proc;
        wc.hInstance = inst;
        wc.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
        wc.hIcon = LoadIconA(nullptr, reinterpret_cast<LPCSTR>(IDI_APPLICATION));
        wc.lpszClassName = k_class;
        if (!RegisterClassA(&wc) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
            return false;
        declare_dpi_aware();
        // The scale the primary monitor asks for, as far as it fits on it.
        HMONITOR monitor = MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY);
        MONITORINFO mi{};
        mi.cbSize = sizeof mi;
        int scale = 1;
        if (GetMonitorInfoA(monitor, &mi)) {
            SIZE frame = outer_size(0, 0);
            scale = scale_that_fits(scale_of_dpi(monitor_dpi(monitor)), width_, height_,
                                    mi.rcWork.right - mi.rcWork.left - frame.cx,
                                    mi.rcWork.bottom - mi.rcWork.top - frame.cy);
        }
        SIZE size = outer_size(width_ * scale, height_ * scale);
        HWND w = CreateWindowA(k_class, "", k_style, CW_USEDEFAULT, CW_USEDEFAULT, size.cx, size.cy, nullptr, nullptr,
                               inst, this);
        if (!w)
            return false;

        BITMAPINFO bi{};
        bi.bmiHeader.biSize = sizeof bi.bmiHeader;
        bi.bmiHeader.biWidth = width_;
        bi.bmiHeader.biHeight = -height_; // top-down, the framebuffer's row order
        bi.bmiHeader.biPlanes = 1;
        bi.bmiHeader.biBitCount = 32;
        bi.bmiHeader.biCompression = BI_RGB;
        HDC wdc = GetDC(w);
        void* bits = nullptr;
        dib_ = CreateDIBSection(wdc, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
        mem_dc_ = CreateCompatibleDC(wdc);
        ReleaseDC(w, wdc);
        if (!dib_ || !mem_dc_ || !bits) {
            destroy_window(w);
            return false;
        }
        bits_ = static_cast<std::uint32_t*>(bits);
        info_ = bi;
        RECT client{};
        GetClientRect(w, &client);
        layout_ = fit_picture(client.right, client.bottom, width_, height_);
        old_bitmap_ = SelectObject(mem_dc_, dib_);
        hwnd_.store(w);
        ShowWindow(w, SW_SHOW);
        UpdateWindow(w);
        SetForegroundWindow(w);
        return true;
    }

    void destroy_window(HWND w)
    {
        hwnd_.store(nullptr);
        if (mem_dc_) {
            if (old_bitmap_)
                SelectObject(mem_dc_, old_bitmap_);
            DeleteDC(mem_dc_);
        }
        if (dib_)
            DeleteObject(dib_);
        mem_dc_ = nullptr;
        dib_ = nullptr;
        old_bitmap_ = nullptr;
        bits_ = nullptr;
        SetWindowLongPtrA(w, GWLP_USERDATA, 0);
        DestroyWindow(w);
    }

    void run(std::promise<bool>& ready)
    {
        if (!create_window()) {
            ready.set_value(false);
            return;
        }
        ready.set_value(true);
        using clock = std::chrono::steady_clock;
        auto last_present = clock::now() - k_frame;
        for (;;) {
            DWORD timeout = INFINITE;
            if (changed_.load()) {
                auto since = clock::now() - last_present;
                timeout = since >= k_frame
                              ? 0
                              : static_cast<DWORD>(
                                    std::chrono::duration_cast<std::chrono::milliseconds>(k_frame - since).count() + 1);
            }
            if (timeout != 0)
                MsgWaitForMultipleObjectsEx(0, nullptr, timeout, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
            MSG m;
            while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
                if (m.message == k_msg_quit) {
                    destroy_window(hwnd_.load());
                    return;
                }
                TranslateMessage(&m);
                DispatchMessageA(&m);
            }
            if (changed_.load() && clock::now() - last_present >= k_frame) {
                present();
                last_present = clock::now();
            }
        }
    }

    void present()
    {
        changed_.store(false);
        HWND w = hwnd_.load();
        int first = 0, last = 0;
        GdiFlush(); // no pending GDI work may touch the DIB while we write it
        if (!w || !take_changes(bits_, first, last))
            return;
        const int s = layout_.scale;
        RECT r{layout_.x, layout_.y + first * s, layout_.x + width_ * s, layout_.y + (last + 1) * s};
        InvalidateRect(w, &r, FALSE);
        UpdateWindow(w);
    }

    void track_pointer(HWND w)
    {
        if (tracking_)
            return;
        TRACKMOUSEEVENT t{};
        t.cbSize = sizeof t;
        t.dwFlags = TME_LEAVE;
        t.hwndTrack = w;
        tracking_ = TrackMouseEvent(&t) != 0;
        input_pointer_inside(in_picture_);
    }

    // The pointer in picture pixels; on the black border it counts as outside.
    void mouse_at(HWND w, LPARAM lp)
    {
        track_pointer(w);
        int x = 0, y = 0;
        bool in = to_picture(layout_, width_, height_, static_cast<short>(LOWORD(lp)),
                             static_cast<short>(HIWORD(lp)), x, y);
        if (in)
            input_mouse_move(x, y);
        if (in != in_picture_) {
            in_picture_ = in;
            input_pointer_inside(in);
        }
    }

    void paint(HWND w)
    {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(w, &ps);
        RECT client{};
        GetClientRect(w, &client);
        const Layout l = layout_;
        const int pw = width_ * l.scale;
        const int ph = height_ * l.scale;
        // The border around the picture is black.
        auto black = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
        const RECT bands[] = {
            {0, 0, client.right, l.y},
            {0, l.y + ph, client.right, client.bottom},
            {0, l.y, l.x, l.y + ph},
            {l.x + pw, l.y, client.right, l.y + ph},
        };
        for (const RECT& b : bands)
            if (b.right > b.left && b.bottom > b.top)
                FillRect(dc, &b, black);
        const RECT picture{l.x, l.y, l.x + pw, l.y + ph};
        RECT r{};
        if (l.scale == 1) {
            if (IntersectRect(&r, &ps.rcPaint, &picture))
                BitBlt(dc, r.left, r.top, r.right - r.left, r.bottom - r.top, mem_dc_, r.left - l.x, r.top - l.y,
                       SRCCOPY);
        } else {
            // Whole pixels copied, never blended: crisp at every scale. The
            // paint region clips it to what needs drawing.
            SetStretchBltMode(dc, COLORONCOLOR);
            StretchDIBits(dc, l.x, l.y, pw, ph, 0, 0, width_, height_, bits_, &info_, DIB_RGB_COLORS, SRCCOPY);
        }
        EndPaint(w, &ps);
    }

    void buttons(HWND w, WPARAM wp, LPARAM lp)
    {
        int mask = button_mask(wp);
        // Held buttons keep reporting while the pointer leaves the window.
        if (mask)
            SetCapture(w);
        else
            ReleaseCapture();
        mouse_at(w, lp);
        input_mouse_buttons(mask);
    }

    LRESULT key(HWND w, UINT msg, WPARAM wp, LPARAM lp, bool down)
    {
        input_key(key_scan(wp, lp), down);
        if (down) {
            if (int ext = extended_scan(wp))
                input_extended(ext);
        }
        // Alt and F10 would put the window into menu mode and swallow keys;
        // only Alt+F4 goes on to the system, which turns it into WM_CLOSE.
        if ((msg == WM_SYSKEYDOWN || msg == WM_SYSKEYUP) && wp == VK_F4)
            return DefWindowProcA(w, msg, wp, lp);
        return 0;
    }

    LRESULT handle(HWND w, UINT msg, WPARAM wp, LPARAM lp)
    {
        switch (msg) {
        case WM_PAINT:
            paint(w);
            return 0;
        case WM_SIZE:
            layout_ = fit_picture(LOWORD(lp), HIWORD(lp), width_, height_);
            InvalidateRect(w, nullptr, FALSE);
            return 0;
        case WM_GETMINMAXINFO: {
            // Never smaller than the picture at scale 1.
            SIZE least = outer_size(width_, height_);
            auto* mm = reinterpret_cast<MINMAXINFO*>(lp);
            mm->ptMinTrackSize = POINT{least.cx, least.cy};
            return 0;
        }
        case WM_DPICHANGED: {
            // Moved to a monitor of another DPI: the size Windows suggests
            // keeps the picture's look; WM_SIZE then picks its scale.
            const RECT* r = reinterpret_cast<const RECT*>(lp);
            SetWindowPos(w, nullptr, r->left, r->top, r->right - r->left, r->bottom - r->top,
                         SWP_NOZORDER | SWP_NOACTIVATE);
            return 0;
        }
        case WM_ERASEBKGND:
            return 1;
        case k_msg_changed:
            return 0; // the loop presents once the frame interval allows
        case k_msg_title: {
            std::string t;
            {
                std::lock_guard lock(title_m_);
                t = title_;
            }
            SetWindowTextA(w, t.c_str());
            return 0;
        }
        case WM_KEYDOWN:
        case WM_SYSKEYDOWN:
            return key(w, msg, wp, lp, true);
        case WM_KEYUP:
        case WM_SYSKEYUP:
            return key(w, msg, wp, lp, false);
        case WM_CHAR:
            input_char(static_cast<std::uint8_t>(wp & 0xFF));
            return 0;
        case WM_SYSCHAR:
            return 0; // no menu beep for Alt+letter
        case WM_CLOSE:
            // The close button is a key for the program; the window stays.
            input_extended(scan::close_button);
            return 0;
        case WM_MOUSEMOVE:
            mouse_at(w, lp);
            input_mouse_buttons(button_mask(wp));
            return 0;
        case WM_MOUSELEAVE:
            tracking_ = false;
            input_pointer_inside(false);
            return 0;
        case WM_LBUTTONDOWN:
        case WM_LBUTTONUP:
        case WM_RBUTTONDOWN:
        case WM_RBUTTONUP:
        case WM_MBUTTONDOWN:
        case WM_MBUTTONUP:
            buttons(w, wp, lp);
            return 0;
        case WM_MOUSEWHEEL: {
            wheel_rest_ += GET_WHEEL_DELTA_WPARAM(wp);
            int notches = wheel_rest_ / WHEEL_DELTA;
            wheel_rest_ -= notches * WHEEL_DELTA;
            if (notches)
                input_mouse_wheel(notches);
            return 0;
        }
        case WM_ACTIVATE:
            input_focus(LOWORD(wp) != WA_INACTIVE);
            return DefWindowProcA(w, msg, wp, lp); // it gives us the keyboard focus
        case WM_KILLFOCUS:
            input_release_all_keys(); // key-ups sent elsewhere never reach us
            return DefWindowProcA(w, msg, wp, lp);
        default:
            return DefWindowProcA(w, msg, wp, lp);
        }
    }

    int width_ = 0;
    int height_ = 0;
    std::thread thread_;
    std::atomic<HWND> hwnd_{nullptr};
    std::atomic<bool> changed_{false};
    std::mutex title_m_;
    std::string title_;
    HBITMAP dib_ = nullptr;
    HDC mem_dc_ = nullptr;
    HGDIOBJ old_bitmap_ = nullptr;
    std::uint32_t* bits_ = nullptr;
    BITMAPINFO info_{};
    Layout layout_;
    bool in_picture_ = true;
    bool tracking_ = false;
    int wheel_rest_ = 0;
};

} // namespace

std::unique_ptr<Backend> make_window_backend()
{
    return std::make_unique<Win32>();
}

} // namespace screen
