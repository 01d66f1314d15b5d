// Test access to the screen state and the headless backend's controls.
#pragma once
#include <cstdint>
#include <functional>
#include <string>

#include "screen/screen.hpp"

namespace screen::testing {

// Closes any window and returns the layer to its state at program start,
// with the headless backend as the window factory.
void reset();

std::string row_text(int row);           // the bytes under the cells of a row
std::string screen_text();               // all rows, each trimmed, joined by '\n'
std::uint8_t cell_char(int row, int column);
Color cell_fg(int row, int column);
Color cell_bg(int row, int column);
std::uint32_t pixel(int x, int y);       // 0 outside the window
std::uint32_t image_pixel(Target image, int x, int y);
bool image_size(Target image, int& width, int& height);
int cursor_row();
int cursor_column();
bool window_open();
std::string title();
int pending_keys();
int grid_columns();
int grid_rows();
int font_height();
// Pauses (WAIT_MS, the polls of KEY_WAIT and LINE_INPUT) return at once.
void skip_pauses(bool skip);
// Called for every TEXT_PRINT in the window with the cursor it starts at
// (under the screen lock: the hook must not call the screen layer).
void on_print(std::function<void(int row, int column, const std::string& text)> hook);

} // namespace screen::testing

namespace screen::headless {

// Keys queued here enter the key buffer as it drains, never dropping any.
void type(const std::string& bytes);
// Typed characters as a window delivers them (UTF-8, one key per character).
void type_text(const std::string& utf8);
void press_extended(int scan_code);
void queue_code(int code);
void clear_queue();
// Held keys and the mouse take effect at once.
void hold(int scan_code, bool down);
void set_mouse(int x, int y, int buttons = 0, int wheel = 0, bool active = true, bool inside = true);
// Run at every wait of the program thread (WAIT_MS, KEY_WAIT, LINE_INPUT, ...).
void on_idle(std::function<void()> hook);
int beeps();
void fail_next_open();
int presents(); // how often the backend was told of a change

} // namespace screen::headless
