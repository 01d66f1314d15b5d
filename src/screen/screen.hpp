// The screen layer: one graphics window with a character grid laid over it,
// line input, keyboard, timing, sound, pixel drawing and the mouse. It sits
// on the runtime and the platform layer; its window comes from a backend
// (backends/: SDL2, Win32, headless). Before a window is open, text goes to
// standard output.
#pragma once
#include <cstdint>
#include <string>

namespace screen {

using Color = std::uint32_t; // 0xAARRGGBB

// Window and grid.
int SCREEN_TEXT_MODE();
int SCREEN_OPEN(int width, int height, int depth);
void WINDOW_TITLE(const std::string& text);

struct Info {
    int width = 0;
    int height = 0;
    int depth = 0;
    int bytes_per_pixel = 0;
    int pitch = 0;
    int refresh_rate = 0;
    std::string driver;
};
Info SCREEN_INFO();

std::int32_t TEXT_WIDTH(int columns, int rows);

// `which`: bit 0 sets the foreground, bit 1 the background; 0 sets neither.
enum : int { k_set_fg = 1, k_set_bg = 2, k_set_both = 3 };
std::uint32_t TEXT_COLOR(Color fg, Color bg, int which);

// Text output.
void TEXT_PRINT(const std::string& text, bool end_line);
void TEXT_PRINT_REAL(double value, bool end_line);
std::int32_t TEXT_LOCATE(int row, int column);
void TEXT_CLEAR();
std::string LINE_INPUT(const std::string& prompt, bool add_question_mark, bool end_line);

// Text of a name or path as grid glyphs: one code page 850 byte per character
// shown. Characters code page 850 lacks become '?'; control characters keep
// their byte, which shows as its PC symbol. ASCII stays as it is.
// From UTF-8, where a byte that is not part of valid UTF-8 is read as Windows-1252:
std::string glyphs_of_utf8(const std::string& text);
// From Windows-1252 (ANSI names on Windows):
std::string glyphs_of_1252(const std::string& text);
// From a file's name or path in the form the system's paths are written in
// (UTF-8, or the ANSI code page on Windows).
std::string glyphs_of_name(const std::string& name);
// The characters glyph bytes show, as UTF-8 (byte 0 gives U+0000).
std::string utf8_of_glyphs(const std::string& glyphs);
// Prints glyph bytes as they stand: control bytes show as their glyphs and are
// never acted on (no bell, line break or tab), with TEXT_PRINT's cursor, colour
// and wrapping rules. Without a window it writes utf8_of_glyphs to standard output.
void print_glyphs(const std::string& glyphs, bool end_line);

// Keyboard, timing and sound.
std::string KEY_POLL();
int KEY_WAIT();
int KEY_DOWN(int scan_code);
void WAIT_MS(int milliseconds);
double CLOCK_SECONDS();
void BEEP_TONE();

// Pixel drawing. Target 0 is the window, any other value an image buffer.
using Target = std::intptr_t;
int DRAW_TEXT(Target target, int x, int y, const std::string& text, Color colour);
void DRAW_LINE(Target target, int x1, int y1, int x2, int y2, Color colour, int kind);
void DRAW_PIXEL(Target target, int x, int y, Color colour);
Target IMAGE_CREATE(int width, int height);
void IMAGE_DESTROY(Target image);

struct Mouse {
    int x = -1;
    int y = -1;
    int wheel = -1;
    int buttons = -1;
    int clip = -1;
    int status = 1;
};
Mouse MOUSE_READ();

// Extended key codes as the key buffer holds them: 255 + 256 * scan code.
constexpr int extended_code(int scan_code) { return 255 + 256 * scan_code; }

namespace scan {
enum : int {
    esc = 1, backspace = 14, tab = 15, enter = 28, space = 57,
    f1 = 59, f10 = 68, home = 71, up = 72, page_up = 73, left = 75, right = 77,
    end = 79, down = 80, page_down = 81, insert = 82, del = 83, close_button = 107,
};
}

} // namespace screen
