// The screen layer's one state: a mutex and the data it guards, whose default
// value is the layer at program start. Internal to src/screen.
#pragma once
#include <array>
#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "screen/backend.hpp"
#include "screen/screen.hpp"

namespace screen::detail {

// A cell of the grid: what it holds, and what its pixels show. Printing only
// records the new content; the pixels follow when someone looks at them (the
// window presents at most 60 times a second, a copy prints thousands of
// entries in that time), so only the last content of a cell is drawn.
struct Cell {
    std::uint8_t ch = ' ';
    Color fg = 0;
    Color bg = 0;
    bool valid = false;   // false when the pixels under it may differ from drawn_*
    bool pending = false; // ch/fg/bg may not be drawn yet
    std::uint8_t drawn_ch = ' ';
    Color drawn_fg = 0;
    Color drawn_bg = 0;

    Cell() = default;
    Cell(std::uint8_t c, Color f, Color b, bool v) : ch(c), fg(f), bg(b), valid(v), drawn_ch(c), drawn_fg(f), drawn_bg(b)
    {
    }
    bool shows(std::uint8_t c, Color f, Color b) const { return valid && drawn_ch == c && drawn_fg == f && drawn_bg == b; }
};

struct Image {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> pixels;
};

// A typed character beyond ASCII enters the key buffer as this plus its code
// point, so the line input gets it whole; the other key users see one byte.
constexpr int k_char_code = 1 << 24;
constexpr Color k_default_fg = 0xFFAAAAAA;
constexpr Color k_default_bg = 0xFF000000;

// An atomic that copies by value, so the data holding it resets by assignment.
template <class T>
struct Atomic : std::atomic<T> {
    constexpr Atomic(T value = T{}) noexcept : std::atomic<T>(value) {}
    Atomic(const Atomic& other) noexcept : std::atomic<T>(other.load()) {}
    Atomic& operator=(const Atomic& other) noexcept
    {
        this->store(other.load());
        return *this;
    }
};

// The key buffer: codes below 256 are bytes, from k_char_code on typed
// characters, the others extended codes. 16 slots hold at most 15 codes.
class KeyRing {
public:
    static constexpr int k_slots = 16;
    // A full ring drops its oldest code.
    void push(int code)
    {
        int next = (tail_ + 1) % k_slots;
        if (next == head_)
            head_ = (head_ + 1) % k_slots;
        slots_[static_cast<std::size_t>(tail_)] = code;
        tail_ = next;
    }
    // The oldest code; -1 when none is pending.
    int pop()
    {
        if (empty())
            return -1;
        int code = slots_[static_cast<std::size_t>(head_)];
        head_ = (head_ + 1) % k_slots;
        return code;
    }
    bool empty() const { return head_ == tail_; }
    int pending() const { return (tail_ - head_ + k_slots) % k_slots; }
    bool full() const { return pending() == k_slots - 1; }

private:
    std::array<int, k_slots> slots_{};
    int head_ = 0; // oldest
    int tail_ = 0; // next free
};

// Everything the layer keeps, its window included. The default value is the
// layer at program start: a reset is one assignment.
struct Data {
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

    // Colours while no window is open (palette indices).
    struct {
        Color fg = 7;
        Color bg = 0;
    } console;

    // What changed since the last presentation (pixel rows) and since the
    // last clear (text rows), so neither has to touch the whole window.
    int dirty_first = -1;
    int dirty_last = -1;
    std::vector<std::uint8_t> touched_rows;
    bool pixels_drawn = false;
    Color cleared_bg = k_default_bg;
    bool any_pending = false; // some cell's content is not drawn yet

    KeyRing keys;

    // Mouse.
    int mouse_x = 0;
    int mouse_y = 0;
    int mouse_wheel = 0;
    int mouse_buttons = 0;
    bool active = false;
    bool inside = false;

    std::map<std::intptr_t, Image> images;
    std::intptr_t next_image = 1;

    // Read and written without the lock. KEY_DOWN reads the held keys in
    // tight loops; the window thread may write them at any time.
    std::array<Atomic<std::uint8_t>, 128> held{};
    Atomic<bool> window_open{false};
};

// Each operation of the layer locks once.
struct State {
    std::mutex m;
    Data d;
};

State& state();

// Helpers that expect the lock held.
void mark_dirty(Data& s, int first_row, int last_row);
// Sets a cell to ch in the current colours; its pixels follow on render_cells.
void draw_cell(Data& s, int row, int col, std::uint8_t ch);
// Draws what the cells hold where the pixels do not show it yet. Everything
// that reads or draws the window's pixels calls it first.
void render_cells(Data& s);
void put_byte(Data& s, std::uint8_t ch); // printing rules except the bell
void put_glyph(Data& s, std::uint8_t ch); // the glyph at the cursor, even for control bytes
void scroll_if_needed(Data& s);
void notify(Data& s);
// Marks the cells over pixel rows [y0, y1] as no longer matching the grid.
void invalidate_cells(Data& s, int y0, int y1);
void idle_backend();

// The headless backend's own data, kept apart from the layer's: tests set
// it before a window opens, and a reset of the layer resets it too.
void reset_headless();
// Whether pauses return at once (fuzzing runs the program thousands of times).
bool pauses_skipped();

} // namespace screen::detail
