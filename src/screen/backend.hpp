// What a window backend provides, and the one set of input functions through
// which backends (and tests) feed keys and the mouse into the screen state.
#pragma once
#include <cstdint>
#include <memory>
#include <string>

namespace screen {

class Backend {
public:
    virtual ~Backend() = default;
    // Opens a window with a client area of width x height; false on failure.
    virtual bool open(int width, int height) = 0;
    virtual void set_title(const std::string& title) = 0;
    // Something changed in the framebuffer; must not block.
    virtual void changed() = 0;
    virtual void close() = 0;
    // 1000 Hz for 250 ms; returns when it has ended.
    virtual void beep() = 0;
    // Called from every waiting loop of the program thread.
    virtual void idle() {}
    // Told of every text printed in the window and the cell it starts at,
    // under the screen lock.
    virtual void printed(int, int, const std::string&) {}
    // Shows a message over the desktop until it is answered, closing this
    // backend's window first; false when none can be shown. Needs no open window.
    virtual bool message_box(const std::string&, const std::string&) { return false; }
    virtual const char* driver() const = 0;
    virtual int refresh_rate() const { return 60; }
    virtual void desktop(int& width, int& height, int& depth, int& rate) const
    {
        width = 1024;
        height = 768;
        depth = 32;
        rate = 60;
    }
};

using BackendFactory = std::unique_ptr<Backend> (*)();
void set_backend_factory(BackendFactory factory);
std::unique_ptr<Backend> make_headless_backend();
// The platform's real window (SDL2 on POSIX, Win32 on Windows).
std::unique_ptr<Backend> make_window_backend();

// A message over the desktop, answered by the user: through the open window's
// backend, or the factory's when no window is open. False when none can be
// shown (the headless backend, no display).
bool message_box(const std::string& title, const std::string& text);

// Presentation: copies the pixel rows changed since the last call into `dst`
// (same size and layout as the window) and gives their range; false if none.
bool take_changes(std::uint32_t* dst, int& first_row, int& last_row);

// Input, from any thread.
void input_char(std::uint8_t byte);
// Typed text as the window delivers it, in UTF-8: one key per character.
void input_text(const std::string& utf8);
void input_character(char32_t c);
void input_extended(int scan_code);
void input_key(int scan_code, bool down);
void input_release_all_keys();
void input_mouse_move(int x, int y);
void input_mouse_buttons(int mask);
void input_mouse_wheel(int delta);
void input_focus(bool active);
void input_pointer_inside(bool inside);

} // namespace screen
