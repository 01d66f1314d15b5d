// The screen layer's one state, behind one mutex. Internal to src/screen.
#pragma once
#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "screen/backend.hpp"
#include "screen/screen.hpp"

namespace screen::detail {

struct Cell {
    std::uint8_t ch = ' ';
    Color fg = 0;
    Color bg = 0;
    bool valid = false; // false when pixels under it may differ from ch/fg/bg
};

struct Image {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> pixels;
};

constexpr int k_ring = 16;
constexpr Color k_default_fg = 0xFFAAAAAA;
constexpr Color k_default_bg = 0xFF000000;

struct State {
    std::mutex m;

    // Window.
    bool window = false;
    int width = 0;
    int height = 0;
    int depth = 0;
    std::vector<std::uint32_t> fb;
    std::string title;
    std::unique_ptr<Backend> backend;
    BackendFactory factory = nullptr;

    // Grid and text cursor.
    int columns = 80;
    int rows = 25;
    int font_height = 16;
    int cur_row = 1;
    int cur_col = 1;
    Color fg = k_default_fg;
    Color bg = k_default_bg;
    std::vector<Cell> cells;

    // What changed since the last presentation (pixel rows) and since the
    // last clear (text rows), so neither has to touch the whole window.
    int dirty_first = -1;
    int dirty_last = -1;
    std::vector<std::uint8_t> touched_rows;
    bool pixels_drawn = false;
    Color cleared_bg = k_default_bg;

    // Key buffer: codes below 256 are bytes, others extended codes.
    std::array<int, k_ring> ring{};
    int ring_head = 0; // oldest
    int ring_tail = 0; // next free

    // Mouse.
    int mouse_x = 0;
    int mouse_y = 0;
    int mouse_wheel = 0;
    int mouse_buttons = 0;
    bool active = false;
    bool inside = false;

    std::map<std::intptr_t, Image> images;
    std::intptr_t next_image = 1;

    // Tests watch what is printed, and where, through this.
    std::function<void(int row, int column, const std::string& text)> print_hook;
};

State& state();

// Read without the lock: held keys and whether a window is open.
extern std::array<std::atomic<std::uint8_t>, 128> g_held;
extern std::atomic<bool> g_window_open;
// Fuzzing runs the program thousands of times: its pauses may be skipped.
extern std::atomic<bool> g_no_sleep;

// Helpers that expect the lock held.
void mark_dirty(State& s, int first_row, int last_row);
void draw_cell(State& s, int row, int col, std::uint8_t ch);
void put_byte(State& s, std::uint8_t ch); // printing rules except the bell
void put_glyph(State& s, std::uint8_t ch); // the glyph at the cursor, even for control bytes
void scroll_if_needed(State& s);
void notify(State& s);
// Marks the cells over pixel rows [y0, y1] as no longer matching the grid.
void invalidate_cells(State& s, int y0, int y1);
void idle_backend();

} // namespace screen::detail
