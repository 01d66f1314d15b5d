// Drives the real program on a private Xvfb display: starts it, finds its
// window by title, types through XTest and reads the window back as text.
#pragma once
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <regex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "decoder.hpp"

namespace e2e {

using namespace std::chrono_literals;
using Millis = std::chrono::milliseconds;

// How the program under test is started and how it spells paths. Native by
// default; a Windows build under Wine sets a launcher and backslash paths.
struct Target {
    std::vector<std::string> launcher; // e.g. {"wine"}; empty for a native binary
    std::string program;
    std::string title = "Copiert MP3 Dateien aus einer M3U datei";
    char separator = '/';
    std::string drive; // prefix for host paths ("Z:" under Wine), empty natively

    // VELMORA_BIN, VELMORA_E2E_LAUNCHER (blank-separated), VELMORA_E2E_TITLE,
    // VELMORA_E2E_SEPARATOR, VELMORA_E2E_DRIVE.
    static Target from_environment();
    // A host path as the program spells it.
    std::string path(const std::filesystem::path& host) const;
    // Folder + separator + name, in the program's spelling.
    std::string join(const std::string& folder, const std::string& name) const;
};

// The private X server, shared by the whole run and started on first use.
class XServer {
public:
    static XServer& shared();
    // Stops the shared server if one was started.
    static void stop_shared();
    ~XServer();
    XServer(const XServer&) = delete;
    XServer& operator=(const XServer&) = delete;

    const std::string& display_name() const { return name_; }
    void* display() const { return dpy_; } // the harness's own Display*
    void stop();

private:
    XServer();
    int pid_ = -1;
    std::string name_;
    void* dpy_ = nullptr;
};

enum class Key { enter, escape, space, backspace, tab, del, home, end, left, right, up, down, shift };

struct Launch {
    std::vector<std::string> args;
    std::filesystem::path cwd;
    std::filesystem::path log_dir; // stdout.txt and stderr.txt go here
    std::vector<std::pair<std::string, std::string>> env; // set or override
    bool err_nowhere = false; // standard error to the null device, as a desktop start has it
};

// One run of the program.
class App {
public:
    App(const Target& target, const Launch& launch);
    ~App();
    App(const App&) = delete;
    App& operator=(const App&) = delete;

    // Waits until the titled window is mapped and takes the keyboard focus.
    bool wait_window(Millis timeout = 10s);
    bool has_window() const { return window_ != 0; }
    // For every window of this class on the display: whether it is shown.
    std::vector<bool> windows_of_class(const std::string& cls) const;
    // Waits for another window of the program (a dialog) by its title, gives
    // it the focus, types `text` and taps `key` there.
    bool answer_window(const std::string& title, std::string_view text, Key key, Millis timeout = 20s);
    void focus();
    int window_width() const;
    int window_height() const;

    // Keyboard through XTest; text is typed byte by byte, with Shift where
    // the keymap wants it.
    void type(std::string_view text);
    void tap(Key key);
    void press(Key key);
    void release(Key key);

    // Maps or unmaps the window from outside, as a window manager would: an
    // unmapped window is not found by its title.
    void set_shown(bool shown);
    // The window's close button, as a window manager reports it.
    void close_window();
    void send_signal(int sig);

    // Where the 800x400 picture lies in the window and at which scale, for
    // screen() and the waits that read it (origin and 1 by default).
    void set_picture(int x, int y, int scale);
    void resize(int width, int height);
    // The pointer to a window pixel, through XTest.
    void move_pointer(int x, int y);
    unsigned long window_id() const { return window_; }

    Image capture();             // empty image when the window is gone
    ScreenText screen();         // capture + decode
    const Image& last_image() const { return last_image_; }
    const ScreenText& last_screen() const { return last_text_; }

    // Polls the screen until it holds the text; false at the timeout or when
    // the program has ended.
    bool wait_for_text(std::string_view needle, Millis timeout = 10s);
    bool wait_for_regex(const std::regex& re, Millis timeout = 10s);
    bool wait_for_cursor(int row, int col, Millis timeout = 10s);
    // Lets the program run in short slices, stopped in between, until its
    // screen satisfies `until`; it is left stopped then, for resume(). This
    // makes states visible that a fast machine passes in a blink.
    bool run_slowly_until(const std::function<bool(const ScreenText&)>& until, Millis timeout = 30s,
                          Millis slice = 3ms);
    void resume();
    // True when the screen has not changed over the whole period.
    bool stays_unchanged(Millis period);

    bool running();
    // Exit status (128 + signal for a signal); at the timeout the program is
    // killed and nullopt returned.
    std::optional<int> wait_exit(Millis timeout = 20s);
    std::string out() const;
    std::string err() const;

    // Last capture (PPM), its text, stdout and stderr, for a failed test.
    void save_artifacts(const std::filesystem::path& dir, const std::string& stem) const;

private:
    void key_event(unsigned keycode, bool down);
    void type_keys(std::string_view text);
    unsigned keycode_for(Key key) const;

    Target target_;
    Launch launch_;
    int pid_ = -1;
    bool stopped_ = false;
    std::optional<int> status_;
    unsigned long window_ = 0;
    int picture_x_ = 0;
    int picture_y_ = 0;
    int picture_scale_ = 1;
    Image last_image_;
    ScreenText last_text_;
};

// Helpers for tests.
std::string read_file(const std::filesystem::path& path);
void write_file(const std::filesystem::path& path, std::string_view bytes);
// A fresh folder under /tmp (short paths fit on the 100-column screen).
std::filesystem::path make_temp_dir();

} // namespace e2e
