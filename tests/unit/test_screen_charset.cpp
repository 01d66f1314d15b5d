// Names as grid glyphs: UTF-8 and Windows-1252 to code page 850, and printing
// glyph bytes without acting on control bytes.
#include <gtest/gtest.h>

#include <vector>

#include "platform/fs.hpp"
#include "screen/charset.hpp"
#include "screen/screen.hpp"
#include "screen/testing.hpp"
#include "support/window.hpp"

using namespace screen;
namespace st = screen::testing;

namespace {

TEST(Charset, Utf8LettersAndSymbolsBecomeTheirCp850Bytes)
{
    EXPECT_EQ(glyphs_of_utf8("Mot\xC3\xB6rhead"), "Mot\x94rhead");
    // ä ö ü Ä Ö Ü ß
    EXPECT_EQ(glyphs_of_utf8("\xC3\xA4\xC3\xB6\xC3\xBC\xC3\x84\xC3\x96\xC3\x9C\xC3\x9F"),
              "\x84\x94\x81\x8E\x99\x9A\xE1");
    // é è á à ó ñ ç
    EXPECT_EQ(glyphs_of_utf8("\xC3\xA9\xC3\xA8\xC3\xA1\xC3\xA0\xC3\xB3\xC3\xB1\xC3\xA7"),
              "\x82\x8A\xA0\x85\xA2\xA4\x87");
    // ─ │ ┌ ╔ █ ░ ▀
    EXPECT_EQ(glyphs_of_utf8("\xE2\x94\x80\xE2\x94\x82\xE2\x94\x8C\xE2\x95\x94\xE2\x96\x88\xE2\x96\x91\xE2\x96\x80"),
              "\xC4\xB3\xDA\xC9\xDB\xB0\xDF");
    // The PC symbols of the control bytes: ☺ • ♪ ⌂
    EXPECT_EQ(glyphs_of_utf8("\xE2\x98\xBA\xE2\x80\xA2\xE2\x99\xAA\xE2\x8C\x82"), "\x01\x07\x0D\x7F");
    // ¶ and § have a printable byte as well as a control one: the printable one is meant.
    EXPECT_EQ(glyphs_of_utf8("\xC2\xB6\xC2\xA7"), "\xF4\xF5");
    EXPECT_EQ(glyphs_of_utf8("\xC2\xA0"), "\xFF"); // no-break space
}

TEST(Charset, CharactersCp850LacksBecomeAQuestionMarkEach)
{
    EXPECT_EQ(glyphs_of_utf8("a\xF0\x9F\x8E\xB5z"), "a?z");              // an emoji, 4 bytes
    EXPECT_EQ(glyphs_of_utf8("\xD0\x9C\xD1\x83"), "??");                 // Cyrillic
    EXPECT_EQ(glyphs_of_utf8("\xE6\x97\xA5\xE6\x9C\xAC"), "??");         // Japanese
    EXPECT_EQ(glyphs_of_utf8("\xE2\x82\xAC"), "?");                      // the euro sign
    EXPECT_EQ(glyphs_of_utf8("\xC2\x85"), "?");                          // a C1 control
}

TEST(Charset, AsciiAndControlBytesStayAsTheyAre)
{
    std::string all;
    for (int b = 0; b < 128; ++b)
        all += static_cast<char>(b);
    EXPECT_EQ(glyphs_of_utf8(all), all);
    EXPECT_EQ(glyphs_of_1252(all), all);
    EXPECT_EQ(glyphs_of_utf8(std::string("a\0b", 3)), std::string("a\0b", 3));
}

TEST(Charset, BytesThatAreNotUtf8AreReadAsWindows1252)
{
    EXPECT_EQ(glyphs_of_utf8("Bj\xF6rk"), "Bj\x94rk");                  // Latin-1 ö
    EXPECT_EQ(glyphs_of_utf8("\xC3"), "\xC7");                           // cut short: Ã
    EXPECT_EQ(glyphs_of_utf8("\xC3(x"), "\xC7(x");
    EXPECT_EQ(glyphs_of_utf8("\xC0\xAF"), "\xB7\xEE");                  // overlong '/': À ¯
    EXPECT_EQ(glyphs_of_utf8("\xC0\xAF"), glyphs_of_1252("\xC0\xAF"));
    EXPECT_EQ(glyphs_of_utf8("\xED\xA0\x80"), glyphs_of_1252("\xED\xA0\x80")); // a surrogate
    EXPECT_EQ(glyphs_of_utf8("\xF4\x90\x80\x80"), glyphs_of_1252("\xF4\x90\x80\x80")); // past U+10FFFF
    EXPECT_EQ(glyphs_of_utf8("\x80\xC3\xBC"), "?\x81"); // a stray €, then a valid ü
}

TEST(Charset, Windows1252NamesShowTheirLetters)
{
    EXPECT_EQ(glyphs_of_1252("Bj\xF6rk Stra\xDF" "e"), "Bj\x94rk Stra\xE1" "e");
    EXPECT_EQ(glyphs_of_1252("\xC4\xD6\xDC\xE4\xFC"), "\x8E\x99\x9A\x84\x81");
    EXPECT_EQ(glyphs_of_1252("\x83"), "\x9F");   // ƒ is in both
    EXPECT_EQ(glyphs_of_1252("\x95"), "\x07");   // • shows as the bullet symbol
    EXPECT_EQ(glyphs_of_1252("\x80\x81\x99"), "???"); // € and ™ are not in cp850, 0x81 is nothing
    // Valid UTF-8 is still 1252 here: each byte is a character.
    EXPECT_EQ(glyphs_of_1252("\xC3\xBC"), "\xC7\xAC" /* Ã ¼ */);
}

TEST(Charset, GlyphsReadBackAsTheSameCharacters)
{
    std::string all;
    for (int b = 1; b < 256; ++b)
        all += static_cast<char>(b);
    EXPECT_EQ(glyphs_of_utf8(utf8_of_glyphs(all)).size(), all.size());
    // Every byte round-trips except the control symbols that also have a printable byte.
    std::string back = glyphs_of_utf8(utf8_of_glyphs(all));
    for (size_t i = 0; i < all.size(); ++i) {
        auto b = static_cast<std::uint8_t>(all[i]);
        int expected = b == 0x14 || b == 0x15 ? b + 0xE0 : b;
        EXPECT_EQ(static_cast<std::uint8_t>(back[i]), expected) << "byte " << int(b);
    }
    EXPECT_EQ(utf8_of_glyphs("Mot\x94rhead \x07"), "Mot\xC3\xB6rhead \xE2\x80\xA2");
}

TEST(Charset, Utf8LengthRejectsWhatIsNotUtf8)
{
    using screen::detail::utf8_length_at;
    char32_t c = 0;
    EXPECT_EQ(utf8_length_at("a", 0, &c), 1u);
    EXPECT_EQ(c, U'a');
    EXPECT_EQ(utf8_length_at("\xC3\xBC", 0, &c), 2u);
    EXPECT_EQ(c, U'\u00FC');
    EXPECT_EQ(utf8_length_at("\xE2\x94\x80", 0, &c), 3u);
    EXPECT_EQ(utf8_length_at("\xF0\x9F\x8E\xB5", 0, &c), 4u);
    EXPECT_EQ(c, U'\U0001F3B5');
    for (const char* bad : {"\x80", "\xBF", "\xC1\xBF", "\xE0\x80\x80", "\xF0\x80\x80\x80", "\xF5\x80\x80\x80",
                            "\xFF", "\xC3", "\xE2\x94", "\xC3\xC3"})
        EXPECT_EQ(utf8_length_at(bad, 0), 0u) << "bytes " << bad;
}

using Print = testsupport::WindowTest;

TEST_F(Print, AsciiPrintsAsTextPrintPrintsIt)
{
    const std::string line = "01 Song - Artist (Live).mp3 ~!@#$%^&*_+{}|:<>?[];',./`";
    TEXT_LOCATE(3, 95);
    TEXT_PRINT(line, true);
    TEXT_PRINT(line, false);
    std::vector<std::uint32_t> printed;
    for (int y = 0; y < 400; ++y)
        for (int x = 0; x < 800; ++x)
            printed.push_back(st::pixel(x, y));
    int row = st::cursor_row(), col = st::cursor_column();

    st::reset();
    ASSERT_EQ(SCREEN_OPEN(800, 400, 32), 0);
    ASSERT_EQ(TEXT_WIDTH(100, 25), 0);
    TEXT_LOCATE(3, 95);
    print_glyphs(glyphs_of_utf8(line), true);
    print_glyphs(glyphs_of_1252(line), false);
    EXPECT_EQ(st::cursor_row(), row);
    EXPECT_EQ(st::cursor_column(), col);
    size_t differ = 0;
    for (int y = 0; y < 400; ++y)
        for (int x = 0; x < 800; ++x)
            differ += st::pixel(x, y) != printed[static_cast<size_t>(y * 800 + x)];
    EXPECT_EQ(differ, 0u);
}

TEST_F(Print, ControlBytesShowAsGlyphsAndAreNeverActedOn)
{
    TEXT_LOCATE(5, 10);
    print_glyphs(glyphs_of_utf8("a\a\b\t\r\n\x1B" "b"), false);
    EXPECT_EQ(screen::headless::beeps(), 0);
    EXPECT_EQ(st::row_text(5).substr(9, 8), "a\a\b\t\r\n\x1B" "b");
    EXPECT_EQ(st::cursor_row(), 5);
    EXPECT_EQ(st::cursor_column(), 18);
    EXPECT_NE(st::pixel(8 * 10 + 3, 16 * 4 + 7), 0xFF000000u) << "the bullet is drawn";
    TEXT_PRINT("\a", false);
    EXPECT_EQ(screen::headless::beeps(), 1) << "TEXT_PRINT still rings";
}

TEST_F(Print, GlyphsWrapScrollAndTakeTheColours)
{
    TEXT_COLOR(0xFF00FF00, 0xFF0000FF, k_set_both);
    TEXT_LOCATE(25, 99);
    print_glyphs("\xDB\x0A\xDB", true); // block, the LF symbol, block; wraps, then ends the line
    EXPECT_EQ(st::cell_char(23, 99), 0xDB);
    EXPECT_EQ(st::cell_char(23, 100), 0x0A);
    EXPECT_EQ(st::cell_char(24, 1), 0xDB);
    EXPECT_EQ(st::cell_fg(24, 1), 0xFF00FF00u);
    EXPECT_EQ(st::cell_bg(24, 1), 0xFF0000FFu);
    EXPECT_EQ(st::cursor_row(), 25);
    EXPECT_EQ(st::cursor_column(), 1);
    EXPECT_EQ(st::cell_char(25, 1), ' ');
}

// A name shows as the form paths are written in: UTF-8 where that was set
// (and always on POSIX), the ANSI code page otherwise.
TEST(Names, ShowInTheFormPathsAreWrittenIn)
{
    const bool before = platform::path_utf8();
    for (bool utf8 : {true, false}) {
        platform::set_path_utf8(utf8);
        const bool ansi = platform::k_narrow_names_ansi && !utf8;
        EXPECT_EQ(glyphs_of_name(ansi ? "M\xFCller" : "M\xC3\xBCller"), "M\x81ller") << utf8;
        EXPECT_EQ(glyphs_of_name("plain.mp3"), "plain.mp3") << utf8;
    }
    platform::set_path_utf8(before);
}

TEST_F(Print, TheWatchersSeeTheGlyphBytes)
{
    std::vector<std::string> seen;
    st::on_print([&](int, int, const std::string& text) { seen.push_back(text); });
    print_glyphs(glyphs_of_utf8("\xC3\xBC"), false);
    st::on_print(nullptr);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0], "\x81");
}

TEST(PrintWithoutWindow, WritesTheCharactersAsUtf8)
{
    st::reset();
    ::testing::internal::CaptureStdout();
    print_glyphs(glyphs_of_utf8("Mot\xC3\xB6rhead\a"), true);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "Mot\xC3\xB6rhead\xE2\x80\xA2\n");
}

} // namespace
