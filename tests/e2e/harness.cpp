// The e2e harness: a private Xvfb, the program as a child process with its
// output in files, and its window read and typed into through Xlib and XTest.
#include "harness.hpp"

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace e2e {

namespace fs = std::filesystem;

namespace {

int g_x_error = 0;

int record_x_error(Display*, XErrorEvent* e)
{
    g_x_error = e->error_code;
    return 0;
}

Display* dpy() { return static_cast<Display*>(XServer::shared().display()); }

void sleep_for(Millis ms) { std::this_thread::sleep_for(ms); }

std::string find_in_path(const std::string& name)
{
    if (name.find('/') != std::string::npos)
        return name;
    const char* path = std::getenv("PATH");
    std::stringstream dirs(path ? path : "/usr/bin:/bin");
    std::string dir;
    while (std::getline(dirs, dir, ':'))
        if (!dir.empty() && ::access((dir + "/" + name).c_str(), X_OK) == 0)
            return dir + "/" + name;
    return name;
}

std::vector<std::string> split_blanks(const std::string& s)
{
    std::vector<std::string> parts;
    std::stringstream in(s);
    std::string w;
    while (in >> w)
        parts.push_back(w);
    return parts;
}

std::vector<char*> c_strings(std::vector<std::string>& v)
{
    std::vector<char*> out;
    for (auto& s : v)
        out.push_back(s.data());
    out.push_back(nullptr);
    return out;
}

int decode_status(int raw)
{
    if (WIFEXITED(raw))
        return WEXITSTATUS(raw);
    if (WIFSIGNALED(raw))
        return 128 + WTERMSIG(raw);
    return -1;
}

bool window_named(Display* d, Window w, const std::string& title)
{
    char* name = nullptr;
    bool match = false;
    if (XFetchName(d, w, &name) && name) {
        match = title == name;
        XFree(name);
    }
    if (match)
        return true;
    Atom net_name = XInternAtom(d, "_NET_WM_NAME", False);
    Atom utf8 = XInternAtom(d, "UTF8_STRING", False);
    Atom type;
    int format;
    unsigned long n, rest;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(d, w, net_name, 0, 1024, False, utf8, &type, &format, &n, &rest, &data) == Success &&
        data) {
        match = type == utf8 && title == std::string(reinterpret_cast<char*>(data), n);
        XFree(data);
    }
    return match;
}

Window find_window(Display* d, Window w, const std::string& title)
{
    g_x_error = 0;
    XWindowAttributes attrs;
    if (window_named(d, w, title) && XGetWindowAttributes(d, w, &attrs) && attrs.map_state == IsViewable &&
        g_x_error == 0)
        return w;
    Window root, parent, *children = nullptr;
    unsigned n = 0;
    if (!XQueryTree(d, w, &root, &parent, &children, &n))
        return 0;
    Window found = 0;
    for (unsigned i = 0; i < n && !found; ++i)
        found = find_window(d, children[i], title);
    if (children)
        XFree(children);
    return found;
}

void collect_class(Display* d, Window w, const std::string& cls, std::vector<bool>& viewable)
{
    g_x_error = 0;
    XClassHint hint{};
    if (XGetClassHint(d, w, &hint)) {
        bool match = hint.res_class && cls == hint.res_class;
        if (hint.res_name)
            XFree(hint.res_name);
        if (hint.res_class)
            XFree(hint.res_class);
        XWindowAttributes attrs;
        if (match && XGetWindowAttributes(d, w, &attrs) && g_x_error == 0)
            viewable.push_back(attrs.map_state == IsViewable);
    }
    Window root, parent, *children = nullptr;
    unsigned n = 0;
    if (!XQueryTree(d, w, &root, &parent, &children, &n))
        return;
    for (unsigned i = 0; i < n; ++i)
        collect_class(d, children[i], cls, viewable);
    if (children)
        XFree(children);
}

// A keycode that types the keysym at level 0 (plain) or 1 (with Shift);
// a keysym the keymap lacks is put on a spare keycode.
std::pair<KeyCode, bool> keycode_for_keysym(Display* d, KeySym ks)
{
    static std::map<KeySym, KeyCode> remapped;
    if (auto it = remapped.find(ks); it != remapped.end())
        return {it->second, false};
    KeyCode kc = XKeysymToKeycode(d, ks);
    if (kc != 0) {
        if (XkbKeycodeToKeysym(d, kc, 0, 0) == ks)
            return {kc, false};
        if (XkbKeycodeToKeysym(d, kc, 0, 1) == ks)
            return {kc, true};
    }
    int min_kc, max_kc, per;
    XDisplayKeycodes(d, &min_kc, &max_kc);
    KeySym* map = XGetKeyboardMapping(d, static_cast<KeyCode>(min_kc), max_kc - min_kc + 1, &per);
    KeyCode spare = 0;
    for (int k = max_kc; k >= min_kc && !spare; --k) {
        bool empty = true;
        for (int i = 0; i < per; ++i)
            empty = empty && map[(k - min_kc) * per + i] == NoSymbol;
        bool taken = false;
        for (auto& [sym, code] : remapped)
            taken = taken || code == k;
        if (empty && !taken)
            spare = static_cast<KeyCode>(k);
    }
    XFree(map);
    if (!spare)
        throw std::runtime_error("no spare keycode for keysym " + std::to_string(ks));
    KeySym syms[2] = {ks, ks};
    XChangeKeyboardMapping(d, spare, 2, syms, 1);
    XSync(d, False);
    sleep_for(100ms); // clients re-read the keymap on MappingNotify
    remapped[ks] = spare;
    return {spare, false};
}

KeySym keysym_of(Key key)
{
    switch (key) {
    case Key::enter: return XK_Return;
    case Key::escape: return XK_Escape;
    case Key::space: return XK_space;
    case Key::backspace: return XK_BackSpace;
    case Key::tab: return XK_Tab;
    case Key::del: return XK_Delete;
    case Key::home: return XK_Home;
    case Key::end: return XK_End;
    case Key::left: return XK_Left;
    case Key::right: return XK_Right;
    case Key::up: return XK_Up;
    case Key::down: return XK_Down;
    case Key::shift: return XK_Shift_L;
    }
    return NoSymbol;
}

KeySym keysym_of_byte(unsigned char c)
{
    if (c == '\n' || c == '\r')
        return XK_Return;
    if (c == '\t')
        return XK_Tab;
    if (c == 8)
        return XK_BackSpace;
    if (c == 27)
        return XK_Escape;
    if ((c >= 0x20 && c < 0x7f) || c >= 0xa0)
        return c; // Latin-1 keysyms are the character codes
    throw std::runtime_error("cannot type byte " + std::to_string(c));
}

} // namespace

// --- Target ---

Target Target::from_environment()
{
    Target t;
    auto env = [](const char* name) -> std::string {
        const char* v = std::getenv(name);
        return v ? v : "";
    };
    t.program = env("VELMORA_BIN");
#ifdef VELMORA_BIN_DEFAULT
    if (t.program.empty())
        t.program = VELMORA_BIN_DEFAULT;
#endif
    t.launcher = split_blanks(env("VELMORA_E2E_LAUNCHER"));
    if (!env("VELMORA_E2E_TITLE").empty())
        t.title = env("VELMORA_E2E_TITLE");
    if (!env("VELMORA_E2E_SEPARATOR").empty())
        t.separator = env("VELMORA_E2E_SEPARATOR")[0];
    t.drive = env("VELMORA_E2E_DRIVE");
    return t;
}

std::string Target::path(const fs::path& host) const
{
    std::string s = host.string();
    if (separator != '/')
        for (char& c : s)
            if (c == '/')
                c = separator;
    return drive + s;
}

std::string Target::join(const std::string& folder, const std::string& name) const
{
    return folder + separator + name;
}

// --- XServer ---

namespace {
std::unique_ptr<XServer> g_server;
}

XServer& XServer::shared()
{
    if (!g_server)
        g_server.reset(new XServer);
    return *g_server;
}

void XServer::stop_shared()
{
    if (g_server)
        g_server->stop();
}

XServer::XServer()
{
    for (int n = 90; n < 200 && !dpy_; ++n) {
        std::string num = std::to_string(n);
        if (fs::exists("/tmp/.X11-unix/X" + num) || fs::exists("/tmp/.X" + num + "-lock"))
            continue;
        int fds[2];
        if (::pipe(fds) != 0)
            throw std::runtime_error("pipe failed");
        int pid = ::fork();
        if (pid == 0) {
            ::prctl(PR_SET_PDEATHSIG, SIGTERM);
            int null = ::open("/dev/null", O_RDWR);
            ::dup2(null, 0);
            ::dup2(null, 1);
            ::dup2(null, 2);
            ::close(fds[0]);
            std::string fd = std::to_string(fds[1]);
            std::string display = ":" + num;
            ::execlp("Xvfb", "Xvfb", display.c_str(), "-screen", "0", "1920x1080x24", "-nolisten", "tcp",
                     "-displayfd", fd.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::close(fds[1]);
        // Xvfb writes its display number once it accepts connections.
        pollfd p{fds[0], POLLIN, 0};
        char buf[16] = {};
        bool ready = ::poll(&p, 1, 15000) == 1 && ::read(fds[0], buf, sizeof buf - 1) > 0;
        ::close(fds[0]);
        if (!ready) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
            continue; // display taken meanwhile: try the next
        }
        pid_ = pid;
        name_ = ":" + num;
        for (int i = 0; i < 200 && !dpy_; ++i) {
            dpy_ = XOpenDisplay(name_.c_str());
            if (!dpy_)
                sleep_for(50ms);
        }
        if (!dpy_)
            stop();
    }
    if (!dpy_)
        throw std::runtime_error("could not start Xvfb");
    Display* d = static_cast<Display*>(dpy_);
    XSetErrorHandler(record_x_error);
    int ev, err, major, minor;
    if (!XTestQueryExtension(d, &ev, &err, &major, &minor))
        throw std::runtime_error("Xvfb has no XTest extension");
    // A held key stays one press: no server-side repeats.
    XAutoRepeatOff(d);
    XSync(d, False);
}

XServer::~XServer() { stop(); }

void XServer::stop()
{
    if (dpy_) {
        XCloseDisplay(static_cast<Display*>(dpy_));
        dpy_ = nullptr;
    }
    if (pid_ > 0) {
        ::kill(pid_, SIGTERM);
        for (int i = 0; i < 100; ++i) {
            if (::waitpid(pid_, nullptr, WNOHANG) == pid_) {
                pid_ = -1;
                return;
            }
            sleep_for(20ms);
        }
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }
}

// --- App ---

App::App(const Target& target, const Launch& launch) : target_(target), launch_(launch)
{
    XServer& x = XServer::shared();
    fs::create_directories(launch_.log_dir);
    std::vector<std::string> argv;
    for (const auto& part : target_.launcher)
        argv.push_back(argv.empty() ? find_in_path(part) : part);
    argv.push_back(target_.launcher.empty() ? find_in_path(target_.program) : target_.program);
    for (const auto& a : launch_.args)
        argv.push_back(a);

    std::map<std::string, std::string> env;
    for (char** e = environ; *e; ++e) {
        std::string kv = *e;
        auto eq = kv.find('=');
        if (eq != std::string::npos)
            env[kv.substr(0, eq)] = kv.substr(eq + 1);
    }
    env["DISPLAY"] = x.display_name();
    for (const auto& [k, v] : launch_.env)
        env[k] = v;
    std::vector<std::string> envs;
    for (const auto& [k, v] : env)
        envs.push_back(k + "=" + v);

    auto cargv = c_strings(argv);
    auto cenv = c_strings(envs);
    std::string out = (launch_.log_dir / "stdout.txt").string();
    std::string err = (launch_.log_dir / "stderr.txt").string();
    std::string cwd = launch_.cwd.empty() ? fs::current_path().string() : launch_.cwd.string();
    pid_ = ::fork();
    if (pid_ < 0)
        throw std::runtime_error("fork failed");
    if (pid_ == 0) {
        ::setpgid(0, 0);
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        int in = ::open("/dev/null", O_RDONLY);
        int o = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        int e = launch_.err_nowhere ? ::open("/dev/null", O_WRONLY)
                                    : ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (in < 0 || o < 0 || e < 0 || ::chdir(cwd.c_str()) != 0)
            ::_exit(126);
        ::dup2(in, 0);
        ::dup2(o, 1);
        ::dup2(e, 2);
        ::close_range(3, ~0U, 0);
        ::execve(cargv[0], cargv.data(), cenv.data());
        ::_exit(127);
    }
    ::setpgid(pid_, pid_);
}

App::~App()
{
    if (pid_ > 0 && !status_) {
        ::kill(-pid_, SIGKILL);
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
}

bool App::running()
{
    if (status_)
        return false;
    int raw = 0;
    if (::waitpid(pid_, &raw, WNOHANG) == pid_) {
        status_ = decode_status(raw);
        window_ = 0;
        return false;
    }
    return true;
}

std::optional<int> App::wait_exit(Millis timeout)
{
    resume();
    auto until = std::chrono::steady_clock::now() + timeout;
    while (running()) {
        if (std::chrono::steady_clock::now() > until) {
            ::kill(-pid_, SIGKILL);
            ::kill(pid_, SIGKILL);
            int raw = 0;
            ::waitpid(pid_, &raw, 0);
            status_ = decode_status(raw);
            window_ = 0;
            return std::nullopt;
        }
        sleep_for(10ms);
    }
    return status_;
}

bool App::wait_window(Millis timeout)
{
    Display* d = dpy();
    auto until = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < until && running()) {
        window_ = find_window(d, DefaultRootWindow(d), target_.title);
        if (window_) {
            focus();
            return true;
        }
        sleep_for(20ms);
    }
    return false;
}

std::vector<bool> App::windows_of_class(const std::string& cls) const
{
    std::vector<bool> viewable;
    Display* d = dpy();
    collect_class(d, DefaultRootWindow(d), cls, viewable);
    return viewable;
}

bool App::answer_window(const std::string& title, std::string_view text, Key key, Millis timeout)
{
    Display* d = dpy();
    auto until = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < until && running()) {
        if (Window w = find_window(d, DefaultRootWindow(d), title)) {
            // A dialog takes keys only once it has finished building itself.
            sleep_for(500ms);
            g_x_error = 0;
            XRaiseWindow(d, w);
            XSetInputFocus(d, w, RevertToPointerRoot, CurrentTime);
            XSync(d, False);
            type_keys(text);
            key_event(keycode_for(key), true);
            key_event(keycode_for(key), false);
            return true;
        }
        sleep_for(20ms);
    }
    return false;
}

void App::focus()
{
    if (!window_)
        return;
    Display* d = dpy();
    // No window manager: the focus is set directly.
    g_x_error = 0;
    XRaiseWindow(d, window_);
    XSetInputFocus(d, window_, RevertToPointerRoot, CurrentTime);
    XSync(d, False);
}

int App::window_width() const
{
    XWindowAttributes a{};
    g_x_error = 0;
    if (!window_ || !XGetWindowAttributes(dpy(), window_, &a) || g_x_error)
        return 0;
    return a.width;
}

int App::window_height() const
{
    XWindowAttributes a{};
    g_x_error = 0;
    if (!window_ || !XGetWindowAttributes(dpy(), window_, &a) || g_x_error)
        return 0;
    return a.height;
}

void App::key_event(unsigned keycode, bool down)
{
    Display* d = dpy();
    XTestFakeKeyEvent(d, keycode, down ? True : False, CurrentTime);
    XFlush(d);
    // The program reads its key buffer every 25 ms; 15 keys fit.
    sleep_for(down ? 4ms : 12ms);
}

unsigned App::keycode_for(Key key) const { return keycode_for_keysym(dpy(), keysym_of(key)).first; }

void App::type(std::string_view text)
{
    if (!window_)
        wait_window();
    focus();
    type_keys(text);
}

void App::type_keys(std::string_view text)
{
    unsigned shift = keycode_for(Key::shift);
    for (char ch : text) {
        auto [kc, shifted] = keycode_for_keysym(dpy(), keysym_of_byte(static_cast<unsigned char>(ch)));
        if (shifted)
            key_event(shift, true);
        key_event(kc, true);
        key_event(kc, false);
        if (shifted)
            key_event(shift, false);
    }
}

void App::tap(Key key)
{
    press(key);
    release(key);
}

void App::press(Key key)
{
    if (!window_)
        wait_window();
    focus();
    key_event(keycode_for(key), true);
}

void App::release(Key key) { key_event(keycode_for(key), false); }

void App::set_shown(bool shown)
{
    if (!window_)
        return;
    Display* d = dpy();
    if (shown)
        XMapWindow(d, window_);
    else
        XUnmapWindow(d, window_);
    XSync(d, False);
}

void App::close_window()
{
    if (!window_)
        return;
    Display* d = dpy();
    XEvent e{};
    e.xclient.type = ClientMessage;
    e.xclient.window = window_;
    e.xclient.message_type = XInternAtom(d, "WM_PROTOCOLS", False);
    e.xclient.format = 32;
    e.xclient.data.l[0] = static_cast<long>(XInternAtom(d, "WM_DELETE_WINDOW", False));
    e.xclient.data.l[1] = CurrentTime;
    XSendEvent(d, window_, False, NoEventMask, &e);
    XFlush(d);
}

void App::send_signal(int sig)
{
    if (running())
        ::kill(pid_, sig);
}

Image App::capture()
{
    if (!window_ || !running())
        return {};
    Display* d = dpy();
    g_x_error = 0;
    XWindowAttributes a{};
    if (!XGetWindowAttributes(d, window_, &a) || g_x_error || a.map_state != IsViewable)
        return {};
    XImage* xi = XGetImage(d, window_, 0, 0, static_cast<unsigned>(a.width), static_cast<unsigned>(a.height),
                           AllPlanes, ZPixmap);
    XSync(d, False);
    if (!xi || g_x_error) {
        if (xi)
            XDestroyImage(xi);
        return {};
    }
    auto channel = [](unsigned long pixel, unsigned long mask) -> std::uint32_t {
        if (!mask)
            return 0;
        int shift = __builtin_ctzl(mask);
        unsigned long max = mask >> shift;
        return static_cast<std::uint32_t>(((pixel & mask) >> shift) * 255 / max);
    };
    Image img(a.width, a.height);
    // The usual 32-bit true colour layout is read directly: a pixel at a time
    // through XGetPixel made each look at the window cost milliseconds.
    if (xi->bits_per_pixel == 32 && xi->byte_order == LSBFirst && xi->red_mask == 0xff0000 &&
        xi->green_mask == 0xff00 && xi->blue_mask == 0xff) {
        for (int y = 0; y < a.height; ++y) {
            auto* row = reinterpret_cast<const unsigned char*>(xi->data) + static_cast<std::ptrdiff_t>(y) * xi->bytes_per_line;
            for (int x = 0; x < a.width; ++x) {
                const unsigned char* b = row + 4 * x;
                img.set(x, y, std::uint32_t(b[0]) | std::uint32_t(b[1]) << 8 | std::uint32_t(b[2]) << 16);
            }
        }
        XDestroyImage(xi);
        last_image_ = img;
        return img;
    }
    for (int y = 0; y < a.height; ++y)
        for (int x = 0; x < a.width; ++x) {
            unsigned long p = XGetPixel(xi, x, y);
            img.set(x, y,
                    channel(p, xi->red_mask) << 16 | channel(p, xi->green_mask) << 8 | channel(p, xi->blue_mask));
        }
    XDestroyImage(xi);
    last_image_ = img;
    return img;
}

ScreenText App::screen()
{
    Image img = capture();
    if (img.width == 0)
        return last_text_;
    if (picture_scale_ != 1 || picture_x_ != 0 || picture_y_ != 0) {
        img = picture_of(img, picture_x_, picture_y_, picture_scale_);
        if (img.width == 0)
            return last_text_;
    }
    last_text_ = decode(img);
    return last_text_;
}

void App::set_picture(int x, int y, int scale)
{
    picture_x_ = x;
    picture_y_ = y;
    picture_scale_ = scale;
}

void App::resize(int width, int height)
{
    if (!window_)
        return;
    Display* d = dpy();
    g_x_error = 0;
    // At the screen's corner, so that the whole window can be captured.
    XMoveResizeWindow(d, window_, 0, 0, static_cast<unsigned>(width), static_cast<unsigned>(height));
    XSync(d, False);
}

void App::move_pointer(int x, int y)
{
    if (!window_)
        return;
    Display* d = dpy();
    int rx = 0, ry = 0;
    Window child;
    XTranslateCoordinates(d, window_, DefaultRootWindow(d), x, y, &rx, &ry, &child);
    XTestFakeMotionEvent(d, DefaultScreen(d), rx, ry, CurrentTime);
    XSync(d, False);
}

bool App::wait_for_text(std::string_view needle, Millis timeout)
{
    auto until = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        if (!window_)
            wait_window(100ms);
        if (window_ && screen().contains(needle))
            return true;
        if (!running() || std::chrono::steady_clock::now() > until)
            return false;
        sleep_for(30ms);
    }
}

bool App::wait_for_regex(const std::regex& re, Millis timeout)
{
    auto until = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        if (!window_)
            wait_window(100ms);
        if (window_ && std::regex_search(screen().joined(), re))
            return true;
        if (!running() || std::chrono::steady_clock::now() > until)
            return false;
        sleep_for(30ms);
    }
}

bool App::wait_for_cursor(int row, int col, Millis timeout)
{
    auto until = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        ScreenText s = screen();
        if (s.cursor_row == row && s.cursor_col == col)
            return true;
        if (!running() || std::chrono::steady_clock::now() > until)
            return false;
        sleep_for(30ms);
    }
}

bool App::run_slowly_until(const std::function<bool(const ScreenText&)>& until, Millis timeout, Millis slice)
{
    auto end = std::chrono::steady_clock::now() + timeout;
    while (running() && std::chrono::steady_clock::now() < end) {
        ::kill(-pid_, SIGSTOP);
        stopped_ = true;
        sleep_for(10ms); // what it sent before the stop reaches the screen
        if (until(screen()))
            return true;
        resume();
        sleep_for(slice);
    }
    resume();
    return false;
}

void App::resume()
{
    if (stopped_)
        ::kill(-pid_, SIGCONT);
    stopped_ = false;
}

bool App::stays_unchanged(Millis period)
{
    ScreenText first = screen();
    auto until = std::chrono::steady_clock::now() + period;
    while (std::chrono::steady_clock::now() < until) {
        sleep_for(40ms);
        if (!running())
            return false;
        ScreenText now = screen();
        if (now.rows != first.rows || now.cursor_row != first.cursor_row || now.cursor_col != first.cursor_col)
            return false;
    }
    return true;
}

std::string App::out() const { return read_file(launch_.log_dir / "stdout.txt"); }

std::string App::err() const
{
    std::string text = read_file(launch_.log_dir / "stderr.txt");
    if (target_.launcher.empty())
        return text;
    // Wine's own complaints ("wine: ...") are no part of the program's output.
    std::string kept;
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find('\n', at);
        end = end == std::string::npos ? text.size() : end + 1;
        if (text.compare(at, 6, "wine: ") != 0)
            kept.append(text, at, end - at);
        at = end;
    }
    return kept;
}

void App::save_artifacts(const fs::path& dir, const std::string& stem) const
{
    fs::create_directories(dir);
    if (last_image_.width > 0)
        write_ppm(last_image_, (dir / (stem + ".ppm")).string());
    std::ostringstream text;
    text << "screen (cursor row " << last_text_.cursor_row << ", column " << last_text_.cursor_col << ", "
         << last_text_.unmatched << " cells unmatched):\n"
         << last_text_.joined() << "\n--- stdout ---\n"
         << out() << "\n--- stderr ---\n"
         << err() << "\n";
    write_file(dir / (stem + ".txt"), text.str());
}

// --- helpers ---

std::string read_file(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void write_file(const fs::path& path, std::string_view bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out)
        throw std::runtime_error("cannot write " + path.string());
}

fs::path make_temp_dir()
{
    char tmpl[] = "/tmp/vme2e-XXXXXX";
    if (!::mkdtemp(tmpl))
        throw std::runtime_error("mkdtemp failed");
    return tmpl;
}

} // namespace e2e
