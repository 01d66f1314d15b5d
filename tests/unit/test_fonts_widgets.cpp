// The drawing widgets driven by an injected mouse: BUTTON's strict edges and
// result, DRAWSTRING_WITH_MOUSE's result table, and TEXTFELD's rows, thumb,
// drag, bottom stop and auto-scroll. Pixel checks are exact.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "inc/fonts.hpp"
#include "screen/glyphs.hpp"
#include "screen/screen.hpp"
#include "screen/testing.hpp"
#include "support/golden.hpp"
#include "support/support.hpp"
#include "support/window.hpp"

using namespace screen;
namespace st = screen::testing;
namespace hl = screen::headless;

namespace {

constexpr Color k_black = 0xFF000000;

// A region of the window at (x0, y0) as it should look, in window coordinates.
struct Expected {
    int x0, y0;
    testsupport::Picture p;

    Expected(int x, int y, int width, int height, Color fill) : x0(x), y0(y), p(testsupport::picture(width, height, fill)) {}
    void box(int x1, int y1, int x2, int y2, Color c) { p.box(x1 - x0, y1 - y0, x2 - x0, y2 - y0, c); }
    void outline(int x1, int y1, int x2, int y2, Color c)
    {
        box(x1, y1, x2, y1, c);
        box(x1, y2, x2, y2, c);
        box(x1, y1, x1, y2, c);
        box(x2, y1, x2, y2, c);
    }
    void text(int x, int y, const std::string& s, Color c)
    {
        for (size_t k = 0; k < s.size(); ++k)
            p.glyph(x - x0 + static_cast<int>(8 * k), y - y0, 16, static_cast<std::uint8_t>(s[k]), c);
    }
    // Tolerance 0 against the window.
    ::testing::AssertionResult matches(const std::string& name) const
    {
        return testsupport::same_picture(testsupport::window_picture(x0, y0, p.width, p.height), p, name);
    }
};

class Widgets : public testsupport::WindowTest {
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        hl::set_mouse(790, 390); // parked far from every widget
    }
};

// ---------------------------------------------------------------- BUTTON

constexpr Color k_box = 0xFF203040, k_caption = 0xFFE0E0E0;
constexpr Color k_hot_box = 0xFF3070D0, k_hot_caption = 0xFFFFFF00;

std::int32_t ok_button() { return fonts::BUTTON(100, 50, "OK", k_box, k_caption, k_hot_box, k_hot_caption); }

using Button = Widgets;

TEST_F(Button, EmptyCaptionReturnsMinusOneAndDrawsNothing)
{
    hl::set_mouse(101, 51, 1); // press over where it would be
    EXPECT_EQ(fonts::BUTTON(100, 50, "", k_box, k_caption, k_hot_box, k_hot_caption), -1);
    EXPECT_TRUE(Expected(90, 40, 60, 50, k_black).matches("button_empty"));
}

TEST_F(Button, PointerCountsOnlyStrictlyInside)
{
    // "OK" at (100, 50): box 100..136 x 50..74, over for 100 < x < 136, 50 < y < 74.
    struct Case { int x, y; bool over; } cases[] = {
        {101, 51, true},  {135, 73, true},  {118, 62, true},
        {100, 51, false}, {136, 51, false}, {101, 50, false}, {101, 74, false},
        {99, 60, false},  {137, 60, false}, {118, 75, false},
    };
    for (const Case& c : cases) {
        hl::set_mouse(c.x, c.y, 1); // move, press left
        EXPECT_EQ(ok_button(), c.over ? 1 : 0) << "pointer at " << c.x << ", " << c.y;
        EXPECT_EQ(st::pixel(100, 50), c.over ? k_hot_box : k_box) << "pointer at " << c.x << ", " << c.y;
    }
}

TEST_F(Button, HoveringWithoutAButtonReturnsZero)
{
    hl::set_mouse(110, 60, 0); // move over, no button
    EXPECT_EQ(ok_button(), 0);
    EXPECT_EQ(st::pixel(100, 50), k_hot_box);
}

TEST_F(Button, ReturnsTheHeldButtonMask)
{
    for (int mask : {1, 2, 4, 3, 7}) {
        hl::set_mouse(110, 60, mask);
        EXPECT_EQ(ok_button(), mask);
        hl::set_mouse(20, 20, mask); // same buttons elsewhere
        EXPECT_EQ(ok_button(), 0);
    }
}

TEST_F(Button, DrawsTheBoxAndCaptionExactly)
{
    for (bool hover : {false, true}) {
        hl::set_mouse(hover ? 120 : 300, 60);
        ok_button();
        Expected want(95, 45, 50, 35, k_black);
        want.box(100, 50, 136, 74, hover ? k_hot_box : k_box);
        want.text(110, 54, "OK", hover ? k_hot_caption : k_caption);
        EXPECT_TRUE(want.matches(hover ? "button_hover" : "button_normal"));
    }
}

TEST_F(Button, UnreadableMouseDrawsNormalColours)
{
    hl::set_mouse(110, 60, 1, 0, true, false); // pointer outside the window
    EXPECT_EQ(ok_button(), 0);
    EXPECT_EQ(st::pixel(100, 50), k_box);

    hl::set_mouse(110, 60, 1, 0, false, true); // window not active
    EXPECT_EQ(ok_button(), 0);
    EXPECT_EQ(st::pixel(100, 50), k_box);
}

TEST_F(Button, AnAreaHoldingMinusOneCountsTheUnreadableMouseAsOver)
{
    hl::set_mouse(0, 0, 0, 0, true, false); // MOUSE_READ gives -1, -1, buttons -1
    EXPECT_EQ(fonts::BUTTON(-5, -5, "X", k_box, k_caption, k_hot_box, k_hot_caption), -1);
    EXPECT_EQ(st::pixel(0, 0), k_hot_box);
}

// ------------------------------------------------- DRAWSTRING_WITH_MOUSE

constexpr Color k_plain = 0xFF80FF80, k_lit = 0xFFFF4040;

std::int32_t hover_text(int margin = 0)
{
    return fonts::DRAWSTRING_WITH_MOUSE(200, 100, margin, "Hi", k_plain, k_lit);
}

using HoverText = Widgets;

TEST_F(HoverText, ResultTableForEveryButtonMask)
{
    for (int b = 0; b <= 7; ++b) {
        hl::set_mouse(205, 108, b); // over the text
        EXPECT_EQ(hover_text(), b + 1) << "mask " << b;
        hl::set_mouse(500, 300, b); // elsewhere
        EXPECT_EQ(hover_text(), b + 9) << "mask " << b;
    }
}

TEST_F(HoverText, UnreadableMouseGivesZeroAndThePlainColour)
{
    hl::set_mouse(205, 108, 1, 0, true, false);
    EXPECT_EQ(hover_text(), 0);
    Expected want(196, 96, 24, 24, k_black);
    want.text(200, 100, "Hi", k_plain);
    EXPECT_TRUE(want.matches("hover_text_unreadable"));
}

TEST_F(HoverText, MarginZeroCountsRowsOneToFifteen)
{
    // "Hi" at (200, 100): 16 wide, 16 tall font.
    struct Case { int x, y; bool over; } cases[] = {
        {205, 101, true},  {205, 115, true},  {201, 108, true}, {215, 108, true},
        {205, 100, false}, {205, 116, false}, {200, 108, false}, {216, 108, false},
    };
    for (const Case& c : cases) {
        hl::set_mouse(c.x, c.y);
        EXPECT_EQ(hover_text(0), c.over ? 1 : 9) << c.x << ", " << c.y;
    }
}

TEST_F(HoverText, MarginTwoWidensBothWays)
{
    struct Case { int x, y; bool over; } cases[] = {
        {205, 99, true},  {205, 117, true},  {199, 108, true}, {217, 108, true},
        {205, 98, false}, {205, 118, false}, {198, 108, false}, {218, 108, false},
    };
    for (const Case& c : cases) {
        hl::set_mouse(c.x, c.y);
        EXPECT_EQ(hover_text(2), c.over ? 1 : 9) << c.x << ", " << c.y;
    }
}

TEST_F(HoverText, DrawsInTheHoverColourOverOnlyTheGlyphPixels)
{
    DRAW_LINE(0, 190, 90, 230, 130, 0xFF102030, 2); // a backdrop
    hl::set_mouse(205, 108);
    hover_text();
    Expected want(186, 86, 48, 48, k_black);
    want.box(190, 90, 230, 130, 0xFF102030);
    want.text(200, 100, "Hi", k_lit);
    EXPECT_TRUE(want.matches("hover_text_lit"));
}

// -------------------------------------------------------------- TEXTFELD

// The field of the examples: w 425 gives 50 bytes a row, h 80 five rows.
constexpr int FX = 100, FY = 50, FW = 425, FH = 80;
constexpr Color k_ink = 0xFFFFFFFF, k_border = 0xFF808080, k_back = 0xFF101040;
constexpr Color k_thumb = 0xFF0000C8, k_thumb_hot = 0xFF0032FF;
constexpr int k_track_x = FX + FW - 10; // a column inside the track

std::string bytes(int n)
{
    std::string s;
    for (int i = 0; i < n; ++i)
        s.push_back(static_cast<char>('A' + i % 26));
    return s;
}

class Textfeld : public Widgets {
protected:
    // One frame: the caller repaints, then the field draws.
    void field(const std::string& text, int y = FY, int h = FH)
    {
        DRAW_LINE(0, 0, 0, 799, 399, k_black, 2);
        fonts::TEXTFELD(FX, y, FW, h, text, line, state, k_ink, k_border, k_back);
    }
    Color thumb_at(int y) const { return st::pixel(k_track_x, y); }
    // Top pixel row of the thumb as drawn, or -1.
    int thumb_top(int from = 0) const
    {
        for (int y = from; y < 400; ++y)
            if (thumb_at(y) == k_thumb || thumb_at(y) == k_thumb_hot)
                return y;
        return -1;
    }

    std::int32_t line = 1;
    rt::Array<std::int32_t> state;
    const std::string long_text = bytes(350); // full_rows 7, max_line 3, thumb 24
};

TEST_F(Textfeld, DrawsFrameTrackAndSixRowsExactly)
{
    const std::string text = bytes(350);
    line = 2;
    field(text);
    Expected want(FX - 4, FY - 4, FW + 9, 110, k_black);
    want.box(FX, FY, FX + FW, FY + FH + 5, k_back);
    want.outline(FX, FY, FX + FW, FY + FH + 5, k_border);
    want.box(FX + FW - 16, FY + 4, FX + FW - 3, FY + FH - 4, k_border);
    want.box(FX + FW - 16, FY + 24 + 4, FX + FW - 3, FY + 24 + 24 + 6, k_thumb); // offset (2-1)*24
    for (int r = 0; r <= 5; ++r) // the sixth row reaches below the box
        want.text(FX + 5, FY + 16 * r, text.substr(static_cast<size_t>((2 + r - 1) * 50), 50), k_ink);
    EXPECT_TRUE(want.matches("textfeld_frame"));
}

TEST_F(Textfeld, ShortTextHasNoThumbAndIgnoresTheMouse)
{
    field(bytes(200)); // full_rows 4, max_line raised to 1
    EXPECT_EQ(thumb_top(), -1);
    hl::set_mouse(k_track_x, FY + 60, 1); // press on the track
    field(bytes(200));
    hl::set_mouse(k_track_x, FY + 70, 1); // drag
    field(bytes(200));
    EXPECT_EQ(line, 1);
    EXPECT_EQ(state.at(1), 0);
    EXPECT_EQ(thumb_top(), -1);
}

TEST_F(Textfeld, LineIsClampedIntoRange)
{
    line = 99;
    field(long_text);
    EXPECT_EQ(line, 3);
    line = -4;
    field(long_text);
    EXPECT_EQ(line, 1);
}

TEST_F(Textfeld, ThumbLightsUpUnderThePointer)
{
    field(long_text);
    EXPECT_EQ(thumb_at(FY + 10), k_thumb);
    hl::set_mouse(k_track_x, FY + 10); // move over the thumb (rows 55..77 count)
    field(long_text);
    EXPECT_EQ(thumb_at(FY + 10), k_thumb_hot);
    hl::set_mouse(k_track_x, FY + 4); // its top edge does not
    field(long_text);
    EXPECT_EQ(thumb_at(FY + 10), k_thumb);
}

TEST_F(Textfeld, DragFollowsThePointersWindowY)
{
    field(long_text);
    hl::set_mouse(k_track_x, 54, 1); // press on the track: offset 54-24-30 = 0
    field(long_text);
    EXPECT_EQ(state.at(1), 1);
    EXPECT_EQ(line, 1);
    EXPECT_EQ(thumb_top(), 54);

    hl::set_mouse(k_track_x, 60, 1); // move: offset 6, first step at or past it is line 2
    field(long_text);
    EXPECT_EQ(line, 2);
    EXPECT_EQ(thumb_top(), 60);
    EXPECT_EQ(thumb_at(60), k_thumb_hot);

    hl::set_mouse(k_track_x, 79, 1); // offset 25, past the last step: max_line
    field(long_text);
    EXPECT_EQ(line, 3);

    hl::set_mouse(k_track_x, 40, 1); // above the field: offset below 1 becomes 0
    field(long_text);
    EXPECT_EQ(line, 1);
    EXPECT_EQ(thumb_top(), 54);
}

TEST_F(Textfeld, DragOffsetIgnoresWhereTheFieldSits)
{
    field(long_text, 200);
    hl::set_mouse(k_track_x, 205, 1); // press near the top of a field at y 200
    field(long_text, 200);
    // offset 205-24-30 = 151, not 5: the thumb jumps far down and line to the end.
    EXPECT_EQ(state.at(1), 1);
    EXPECT_EQ(line, 3);
    EXPECT_EQ(thumb_top(200), 200 + 151 + 4);
}

TEST_F(Textfeld, BottomStopPutsTheThumbAtItsFormula)
{
    field(long_text);
    hl::set_mouse(k_track_x, 60, 1); // press
    field(long_text);
    hl::set_mouse(k_track_x, 116, 1); // just above the stop (130 - 12 - 1 = 117)
    field(long_text);
    EXPECT_EQ(thumb_top(), 116); // offset 62
    hl::set_mouse(k_track_x, 117, 1); // at the stop
    field(long_text);
    // offset = y + h - 2*thumb + 8 = 90, counted from the field's top
    EXPECT_EQ(thumb_top(), FY + 90 + 4);
    EXPECT_EQ(line, 3);
}

TEST_F(Textfeld, ReleaseEndsTheDrag)
{
    field(long_text);
    hl::set_mouse(k_track_x, 60, 1); // press
    field(long_text);
    EXPECT_EQ(state.at(1), 1);
    hl::set_mouse(k_track_x, 100, 0); // release: this frame still draws the dragged thumb
    field(long_text);
    EXPECT_EQ(state.at(1), 0);
    EXPECT_EQ(thumb_top(), FY + (100 - 24 - 30) + 4);
    field(long_text); // next frame: back on the line's step
    EXPECT_EQ(line, 2);
    EXPECT_EQ(thumb_top(), FY + 24 + 4);
}

TEST_F(Textfeld, DragSurvivesLeavingTheWindow)
{
    field(long_text);
    hl::set_mouse(k_track_x, 60, 1); // press on the track
    field(long_text);
    hl::set_mouse(k_track_x, 60, 0, 0, true, false); // leave the window, release there
    field(long_text);
    EXPECT_EQ(state.at(1), 1);
    EXPECT_EQ(line, 2);
    hl::set_mouse(700, 100, 1); // back inside, button down, far from the track
    field(long_text);
    EXPECT_EQ(state.at(1), 1);
    EXPECT_EQ(line, 3); // offset 46 still follows the pointer
    hl::set_mouse(700, 100, 0); // no button inside: the drag ends
    field(long_text);
    EXPECT_EQ(state.at(1), 0);
}

TEST_F(Textfeld, ChangedLengthJumpsToTheLastPage)
{
    field(long_text); // first call: stores the length, no jump
    EXPECT_EQ(line, 1);
    EXPECT_EQ(state.at(2), 350);
    field(long_text + "x"); // append one byte
    EXPECT_EQ(line, 3);
    line = 1; // the user scrolls back up
    field(long_text + "x");
    EXPECT_EQ(line, 1);
    field(bytes(300)); // shrinking jumps as well: max_line 2
    EXPECT_EQ(line, 2);
}

TEST_F(Textfeld, StateIsResizedKeepingItsValues)
{
    state.reset(0, 2);
    state.at(2) = 350; // as if called before with this text
    line = 2;
    field(long_text);
    EXPECT_EQ(state.lbound(), 0);
    EXPECT_EQ(state.ubound(), 10);
    EXPECT_EQ(line, 2); // same length: no jump
}

TEST_F(Textfeld, ButtonHeldElsewhereKeepsTheLine)
{
    line = 2;
    field(long_text);
    hl::set_mouse(300, 300, 1); // press outside the field
    field(long_text);
    EXPECT_EQ(line, 2);
    EXPECT_EQ(state.at(1), 0);
}

TEST_F(Textfeld, ZeroThumbStepMakesAnyClickGoToTheFirstLine)
{
    // h 8: no visible rows, thumb (8-8)/max_line = 0.
    line = 5;
    field(long_text, FY, 8);
    EXPECT_EQ(line, 5);
    hl::set_mouse(300, 300, 1);
    field(long_text, FY, 8);
    EXPECT_EQ(line, 1);
}

TEST_F(Textfeld, LineBreakBytesAreGlyphsNotBreaks)
{
    const std::string text = "AB\r\nCD";
    field(text);
    Expected want(FX + 5, FY + 1, 48, 31, k_back); // below the top border
    want.text(FX + 5, FY, text, k_ink);
    EXPECT_TRUE(want.matches("textfeld_line_breaks"));
}

TEST_F(Textfeld, ZeroColoursLeaveFrameAndBackgroundAlone)
{
    DRAW_LINE(0, 0, 0, 799, 399, 0xFF405060, 2);
    fonts::TEXTFELD(FX, FY, FW, FH, "Hallo", line, state, k_ink, 0, 0);
    EXPECT_EQ(st::pixel(FX, FY), 0xFF405060u);          // no outline
    EXPECT_EQ(st::pixel(FX + 200, FY + 70), 0xFF405060u); // no background
    EXPECT_EQ(st::pixel(k_track_x, FY + 40), 0u);         // the track still, in colour 0
}

TEST(TextfeldFailure, TooNarrowAFieldIsAnIllegalCall)
{
    auto r = testsupport::run_child([] {
        st::reset();
        SCREEN_OPEN(800, 400, 32);
        fonts::SET_VXFONT(16);
        std::int32_t line = 1;
        rt::Array<std::int32_t> state;
        fonts::TEXTFELD(0, 0, 32, 80, "text", line, state, 0xFFFFFFFF, 0, 0);
    });
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("TEXTFELD"), std::string::npos) << r.err;
}

TEST(WidgetFailure, DrawingWithoutAWindowIsARuntimeError)
{
    auto button = testsupport::run_child([] {
        st::reset();
        fonts::BUTTON(0, 0, "OK", 0xFF000001, 0xFFFFFFFF, 0xFF000002, 0xFFFFFFFF);
    });
    EXPECT_EQ(button.status, 1);
    EXPECT_NE(button.err.find("BUTTON"), std::string::npos) << button.err;

    auto hover = testsupport::run_child([] {
        st::reset();
        fonts::DRAWSTRING_WITH_MOUSE(0, 0, 0, "Hi", 0xFFFFFFFF, 0xFFFF0000);
    });
    EXPECT_EQ(hover.status, 1);
    EXPECT_NE(hover.err.find("DRAWSTRING_WITH_MOUSE"), std::string::npos) << hover.err;

    auto field = testsupport::run_child([] {
        st::reset();
        std::int32_t line = 1;
        rt::Array<std::int32_t> state;
        fonts::TEXTFELD(0, 0, 100, 80, "text", line, state, 0xFFFFFFFF, 0, 0);
    });
    EXPECT_EQ(field.status, 1);
    EXPECT_NE(field.err.find("TEXTFELD"), std::string::npos) << field.err;
}

} // namespace
