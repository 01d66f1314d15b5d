// LINE_INPUT: the prompt, the edited line echoed in the grid, the result item.
#include <chrono>
#include <iostream>
#include <thread>

#include "screen/line_editor.hpp"
#include "screen/state.hpp"

namespace screen {
using namespace detail;

namespace {

// Where the edited line starts; the row moves up when the grid scrolls.
struct Echo {
    int row0 = 1;
    int col0 = 1;
    std::size_t shown = 0;        // cells drawn last time
    long long mark = -1;          // offset of the cell carrying the cursor mark
};

// Row and column of cell i of the line; scrolls when it falls below the grid.
bool cell_of(Data& s, Echo& e, std::size_t i, int& row, int& col)
{
    long long linear = static_cast<long long>(e.row0 - 1) * s.columns + (e.col0 - 1) + static_cast<long long>(i);
    row = static_cast<int>(linear / s.columns) + 1;
    col = static_cast<int>(linear % s.columns) + 1;
    if (row > s.rows) {
        int by = row - s.rows;
        s.cur_row = s.rows + by;
        scroll_if_needed(s);
        e.row0 -= by;
        row = s.rows;
    }
    return row >= 1;
}

void draw_mark(Data& s, Echo& e, std::size_t i, bool on)
{
    int row, col;
    if (!cell_of(s, e, i, row, col))
        return;
    Cell& cell = s.cells[static_cast<size_t>((row - 1) * s.columns + (col - 1))];
    if (!on) {
        cell.valid = false;
        draw_cell(s, row, col, cell.ch);
        return;
    }
    render_cells(s);
    int x0 = 8 * (col - 1);
    int y0 = s.font_height * row - 2;
    for (int y = y0; y < y0 + 2; ++y)
        for (int x = x0; x < x0 + 8; ++x)
            s.fb[static_cast<size_t>(y) * static_cast<size_t>(s.width) + static_cast<size_t>(x)] = s.fg;
    cell.valid = false;
    mark_dirty(s, y0, y0 + 1);
}

// Redraws the line from byte offset `from` on, one cell per character.
void redraw(Data& s, Echo& e, const LineEditor& ed, std::size_t from)
{
    if (e.mark >= 0)
        draw_mark(s, e, static_cast<std::size_t>(e.mark), false);
    std::string glyphs = ed.glyphs();
    std::size_t end = std::max(glyphs.size(), e.shown);
    for (std::size_t i = ed.cell_of(from); i < end; ++i) {
        int row, col;
        if (cell_of(s, e, i, row, col))
            draw_cell(s, row, col, i < glyphs.size() ? static_cast<std::uint8_t>(glyphs[i]) : ' ');
    }
    e.shown = glyphs.size();
    std::size_t mark = ed.cell_of(ed.pos);
    draw_mark(s, e, mark, true);
    e.mark = static_cast<long long>(mark);
}

std::string read_console_line(const std::string& prompt)
{
    std::cout << prompt << std::flush;
    std::string line;
    std::getline(std::cin, line);
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return line;
}

} // namespace

std::string LINE_INPUT(const std::string& prompt, bool add_question_mark, bool end_line)
{
    std::string shown_prompt = prompt + (add_question_mark ? "? " : "");
    if (!state().d.window_open.load())
        return first_item(read_console_line(shown_prompt));

    TEXT_PRINT(shown_prompt, false);
    State& st = state();
    Data& s = st.d;
    LineEditor ed;
    Echo e;
    {
        std::lock_guard lock(st.m);
        ed.columns = s.columns;
        e.row0 = s.cur_row;
        e.col0 = s.cur_col;
        redraw(s, e, ed, 0);
        notify(s);
    }
    bool done = false;
    while (!done) {
        idle_backend();
        bool beep = false;
        {
            std::lock_guard lock(st.m);
            if (!s.window)
                break;
            while (!done && !s.keys.empty()) {
                int code = s.keys.pop();
                std::size_t before = ed.pos;
                switch (ed.key(code)) {
                case LineEditor::Result::done: done = true; break;
                case LineEditor::Result::edited: redraw(s, e, ed, std::min(before, ed.pos)); break;
                case LineEditor::Result::moved: redraw(s, e, ed, ed.text.size()); break;
                case LineEditor::Result::beep: beep = true; break;
                case LineEditor::Result::ignored: break;
                }
                if (beep)
                    break;
            }
            notify(s);
        }
        if (beep)
            BEEP_TONE();
        else if (!done && !detail::pauses_skipped())
            std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
    {
        std::lock_guard lock(st.m);
        if (s.window) {
            if (e.mark >= 0)
                draw_mark(s, e, static_cast<std::size_t>(e.mark), false);
            // The cursor ends behind the line, as printing it would leave it.
            int row, col;
            cell_of(s, e, ed.cell_of(ed.text.size()), row, col);
            s.cur_row = std::max(row, 1);
            s.cur_col = col;
            if (end_line) {
                put_byte(s, 13);
                put_byte(s, 10);
            }
            notify(s);
        }
    }
    return first_item(ed.text);
}

} // namespace screen
