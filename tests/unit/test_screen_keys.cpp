// The key buffer, held keys and the line input.
#include <gtest/gtest.h>

#include "screen/backend.hpp"
#include "screen/line_editor.hpp"
#include "screen/screen.hpp"
#include "screen/state.hpp"
#include "screen/testing.hpp"
#include "support/window.hpp"

using namespace screen;
namespace st = screen::testing;

namespace {

using Keys = testsupport::WindowTest;

TEST_F(Keys, PollGivesBytesAndExtendedPairs)
{
    input_char('a');
    input_extended(scan::up);
    input_extended(scan::close_button);
    input_extended(scan::f1);
    input_char(255);
    EXPECT_EQ(KEY_POLL(), "a");
    EXPECT_EQ(KEY_POLL(), std::string("\xFF\x48", 2));
    EXPECT_EQ(KEY_POLL(), std::string("\xFF" "k", 2));
    EXPECT_EQ(KEY_POLL(), std::string("\xFF;", 2));
    EXPECT_EQ(KEY_POLL(), std::string("\xFF", 1));
    EXPECT_EQ(KEY_POLL(), "");
}

TEST_F(Keys, TheRingHoldsFifteenAndDropsTheOldest)
{
    for (int i = 0; i < 16; ++i)
        input_char(static_cast<std::uint8_t>('A' + i));
    EXPECT_EQ(st::pending_keys(), 15);
    EXPECT_EQ(KEY_POLL(), "B");
    for (int i = 1; i < 15; ++i)
        KEY_POLL();
    EXPECT_EQ(KEY_POLL(), "");
}

TEST_F(Keys, WaitReturnsCodesAboveByteRangeForExtendedKeys)
{
    input_extended(scan::close_button);
    EXPECT_EQ(KEY_WAIT(), 27647);
    headless::type("x");
    EXPECT_EQ(KEY_WAIT(), 'x');
}

TEST_F(Keys, DownFollowsTheHeldTable)
{
    EXPECT_EQ(KEY_DOWN(scan::space), 0);
    headless::hold(scan::space, true);
    EXPECT_EQ(KEY_DOWN(scan::space), -1);
    EXPECT_EQ(KEY_DOWN(128), 0);
    EXPECT_EQ(KEY_DOWN(-1), 0);
    EXPECT_EQ(st::pending_keys(), 0); // holds do not touch the buffer
    input_focus(false);               // focus loss releases everything
    EXPECT_EQ(KEY_DOWN(scan::space), 0);
}

TEST_F(Keys, WaitMsDoesNotReturnEarlyOnAKey)
{
    input_char('k');
    double t0 = CLOCK_SECONDS();
    WAIT_MS(30);
    EXPECT_GE(CLOCK_SECONDS() - t0, 0.029);
    EXPECT_EQ(KEY_POLL(), "k");
}

TEST_F(Keys, BeepWithAWindowGoesToTheBackend)
{
    BEEP_TONE();
    EXPECT_EQ(headless::beeps(), 1);
}

// Types the keys, then Enter, and returns what LINE_INPUT gave.
std::string input_after(const std::vector<int>& codes)
{
    for (int c : codes)
        headless::queue_code(c);
    headless::queue_code(13);
    return LINE_INPUT("? ", false, true);
}

std::vector<int> bytes(const std::string& s)
{
    return std::vector<int>(s.begin(), s.end());
}

TEST_F(Keys, LineInputTakesTheFirstItem)
{
    EXPECT_EQ(input_after(bytes("  C:\\Musik, neu")), "C:\\Musik");
    EXPECT_EQ(input_after(bytes("\"C:\\a,b\" rest")), "C:\\a,b");
    EXPECT_EQ(input_after({}), "");
    EXPECT_EQ(input_after(bytes("\t x y  ")), "x y  ");
    EXPECT_EQ(input_after(bytes("ab\"c,d")), "ab\"c");
}

TEST_F(Keys, LineInputEchoesAndEndsTheLine)
{
    TEXT_LOCATE(4, 1);
    headless::type("abc\r");
    EXPECT_EQ(LINE_INPUT("Pfad: ", false, true), "abc");
    EXPECT_EQ(st::row_text(4).substr(0, 10), "Pfad: abc ");
    EXPECT_EQ(st::cursor_row(), 5);
    EXPECT_EQ(st::cursor_column(), 1);
    headless::type("\r");
    LINE_INPUT("q", true, false);
    EXPECT_EQ(st::row_text(5).substr(0, 3), "q? ");
    EXPECT_EQ(st::cursor_row(), 5);
}

TEST_F(Keys, LineInputEditingKeys)
{
    const int left = extended_code(scan::left), right = extended_code(scan::right);
    const int home = extended_code(scan::home), end = extended_code(scan::end);
    const int del = extended_code(scan::del);
    EXPECT_EQ(input_after({'a', 'b', 'c', 8}), "ab");
    EXPECT_EQ(input_after({'a', 'c', left, 'b'}), "abc");
    EXPECT_EQ(input_after({'b', 'c', home, 'a', end, 'd'}), "abcd");
    EXPECT_EQ(input_after({'a', 'b', left, left, del}), "b");
    EXPECT_EQ(input_after({'a', 'b', 27, 'z'}), "z");
    EXPECT_EQ(input_after({left, 8, 'x', right, right}), "x");
    EXPECT_EQ(input_after({'a', 9, 'b'}), "a       b");
    EXPECT_EQ(input_after({'a', extended_code(scan::f1), extended_code(scan::page_up), 'b'}), "ab");
    EXPECT_EQ(input_after({'a', 10}), "a"); // line feed ends the input too
}

TEST_F(Keys, LineInputDeleteAtTheEndBeeps)
{
    int before = headless::beeps();
    EXPECT_EQ(input_after({'a', extended_code(scan::del)}), "a");
    EXPECT_EQ(headless::beeps(), before + 1);
}

TEST_F(Keys, LineInputUpAndDownMoveByAGridWidth)
{
    std::vector<int> codes = bytes(std::string(150, 'x'));
    codes.push_back(extended_code(scan::up)); // to offset 50
    codes.push_back('U');
    codes.push_back(extended_code(scan::up)); // 51 < 100... moves to the start? no: stays
    codes.push_back(extended_code(scan::down)); // 51 + 100 <= 151
    codes.push_back('D');
    std::string r = input_after(codes);
    ASSERT_EQ(r.size(), 152u);
    EXPECT_EQ(r[50], 'U');
    EXPECT_EQ(r[151], 'D');
}

TEST_F(Keys, LineInputWrapsAndScrollsLikePrinting)
{
    TEXT_LOCATE(25, 1);
    headless::type(std::string(120, 'w') + "\r");
    EXPECT_EQ(LINE_INPUT("", false, true).size(), 120u);
    EXPECT_EQ(st::row_text(23), std::string(100, 'w'));
    EXPECT_EQ(st::row_text(24).substr(0, 21), std::string(20, 'w') + " ");
    EXPECT_EQ(st::cursor_row(), 25);
}

TEST_F(Keys, LineInputKeepsAtMost4096Bytes)
{
    EXPECT_EQ(input_after(bytes(std::string(5000, 'm'))).size(), 4096u);
}

TEST(LineEditor, Logic)
{
    detail::LineEditor ed;
    ed.columns = 10;
    for (char c : std::string("hello"))
        ed.key(c);
    EXPECT_EQ(ed.key(extended_code(scan::up)), detail::LineEditor::Result::ignored);
    EXPECT_EQ(ed.key(9), detail::LineEditor::Result::edited);
    EXPECT_EQ(ed.text, "hello   ");
    EXPECT_EQ(ed.key(31), detail::LineEditor::Result::ignored);
    EXPECT_EQ(ed.key(13), detail::LineEditor::Result::done);
}

int typed(char32_t c)
{
    return detail::k_char_code + static_cast<int>(c);
}

TEST(LineEditor, Utf8MovesAndErasesWholeCharacters)
{
    using R = detail::LineEditor::Result;
    const int left = extended_code(scan::left), right = extended_code(scan::right);
    detail::LineEditor ed;
    ed.utf8 = true;
    ed.columns = 3;
    for (int code : {int{'a'}, typed(U'\u00FC'), typed(U'\u2500'), typed(U'\U0001F3B5'), int{'b'}})
        EXPECT_EQ(ed.key(code), R::edited);
    EXPECT_EQ(ed.text, "a\xC3\xBC\xE2\x94\x80\xF0\x9F\x8E\xB5" "b");
    EXPECT_EQ(ed.glyphs(), "a\x81\xC4?b");
    ed.key(left);
    ed.key(left); // before the emoji
    EXPECT_EQ(ed.pos, 6u);
    EXPECT_EQ(ed.cell_of(ed.pos), 3u);
    EXPECT_EQ(ed.key(8), R::edited); // the box piece, all three bytes
    EXPECT_EQ(ed.text, "a\xC3\xBC\xF0\x9F\x8E\xB5" "b");
    EXPECT_EQ(ed.key(extended_code(scan::del)), R::edited); // the emoji, all four
    EXPECT_EQ(ed.text, "a\xC3\xBC" "b");
    EXPECT_EQ(ed.pos, 3u);
    ed.key(extended_code(scan::home));
    ed.key(right);
    ed.key(right);
    EXPECT_EQ(ed.pos, 3u);
    EXPECT_EQ(ed.key(9), R::edited); // blanks up to the 8th character, not byte
    EXPECT_EQ(ed.text, "a\xC3\xBC      b");
    ed.key(extended_code(scan::end));
    EXPECT_EQ(ed.key(extended_code(scan::up)), R::moved); // three characters back
    EXPECT_EQ(ed.cell_of(ed.pos), 6u);
    EXPECT_EQ(ed.key(extended_code(scan::down)), R::moved);
    EXPECT_EQ(ed.pos, ed.text.size());
    for (int i = 0; i < 8; ++i)
        ed.key(left);
    EXPECT_EQ(ed.pos, 1u);
    EXPECT_EQ(ed.key(extended_code(scan::up)), R::ignored);
}

TEST(LineEditor, WhatACodeInserts)
{
    detail::LineEditor ed;
    ed.utf8 = true;
    // A byte is a Windows-1252 character; controls and the code page's gaps add nothing.
    for (int code : {0xFC, 0x80, 0x81, 0x9D, typed(0x85), typed(0x1B), typed(0xD800), 0x7F})
        ed.key(code);
    EXPECT_EQ(ed.text, "\xC3\xBC\xE2\x82\xAC\x7F");

    detail::LineEditor ansi;
    ansi.utf8 = false; // the Windows window: bytes as they come, typed characters as their byte
    for (int code : {0xFC, 0x81, typed(U'\u00E4'), typed(U'\u20AC'), typed(U'\U0001F3B5'), typed(0x0416)})
        ansi.key(code);
    EXPECT_EQ(ansi.text, "\xFC\x81\xE4\x80");
    EXPECT_EQ(ansi.glyphs(), "\x81?\x84?");
    ansi.key(8);
    EXPECT_EQ(ansi.text, "\xFC\x81\xE4");

    detail::LineEditor full;
    full.utf8 = true;
    full.max_length = 3;
    full.key('a');
    EXPECT_EQ(full.key(typed(U'\u2500')), detail::LineEditor::Result::ignored) << "would pass the limit";
    EXPECT_EQ(full.key(typed(U'\u00FC')), detail::LineEditor::Result::edited);
}

TEST(LineEditor, TheItemLimitNeverSplitsACharacter)
{
    std::string line = std::string(4094, 'm') + "\xE2\x94\x80" + "rest";
    EXPECT_EQ(detail::first_item(line, true), std::string(4094, 'm'));
    EXPECT_EQ(detail::first_item(line, false).size(), 4096u);
    line = std::string(4093, 'm') + "\xE2\x94\x80" + "rest";
    EXPECT_EQ(detail::first_item(line, true).size(), 4096u);
    line = std::string(4095, 'm') + "\x80\x80"; // not UTF-8: bytes as they are
    EXPECT_EQ(detail::first_item(line, true).size(), 4096u);
}

TEST_F(Keys, TypedCharactersAreOneKeyAndOneByteForTheKeyUsers)
{
    headless::type_text("\xC3\xBC\xE2\x82\xAC\xD0\x96" "x");
    EXPECT_EQ(KEY_POLL(), "\xFC");
    EXPECT_EQ(KEY_WAIT(), 0x80);
    EXPECT_EQ(KEY_POLL(), "?"); // Cyrillic: not in the Windows code page
    EXPECT_EQ(KEY_POLL(), "x");
    for (int i = 0; i < 16; ++i)
        input_character(U'\u00F6');
    EXPECT_EQ(st::pending_keys(), 15);
}

TEST_F(Keys, LineInputEditsUtf8AndEchoesGlyphs)
{
    if (!detail::k_typed_utf8)
        GTEST_SKIP() << "the Windows window types ANSI bytes";
    TEXT_LOCATE(3, 1);
    headless::type_text("M\xC3\xBCll");
    headless::queue_code(8);
    headless::queue_code(8);
    headless::queue_code(8);
    headless::type_text("\xC3\xB6\xE2\x94\x80\xF0\x9F\x8E\xB5\r");
    EXPECT_EQ(LINE_INPUT("Ziel: ", false, false), "M\xC3\xB6\xE2\x94\x80\xF0\x9F\x8E\xB5");
    EXPECT_EQ(st::row_text(3).substr(0, 12), "Ziel: M\x94\xC4?  ");
    EXPECT_EQ(st::cursor_row(), 3);
    EXPECT_EQ(st::cursor_column(), 11) << "the cursor ends behind the four characters shown";
}

} // namespace
