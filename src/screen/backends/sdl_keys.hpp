// Translations the SDL window backend makes between SDL's key scancodes and
// text and ours (PC set-1 scan codes, single-byte text). Kept free of SDL.h
// so the tables can be tested by number.
#pragma once
#include <string>

namespace screen::detail {

// The PC set-1 number of an SDL scancode; 0 for keys that have none.
int set1_from_sdl(int sdl_scancode);

// The set-1 number a key enters the key buffer with as an extended key
// (arrows, Home, End, Insert, Delete, Page Up/Down, F1..F10); 0 for other keys.
// The keypad acts as those keys only while Num Lock is off.
int extended_from_sdl(int sdl_scancode, bool num_lock);

// The character byte of Esc, Enter, Backspace and Tab; -1 for other keys
// (printable keys arrive as text instead).
int char_from_sdl(int sdl_scancode);

// Window-title bytes (Windows code page 1252) as UTF-8.
std::string utf8_from_cp1252(const std::string& bytes);

} // namespace screen::detail
