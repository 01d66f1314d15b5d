// Umlauts typed into the destination prompt: the echo shows each character's
// glyph, Backspace takes the whole character, and the folder made is named
// by the characters typed.
#include "fixture.hpp"
#include "screen/screen.hpp"

namespace e2e {
namespace {

class Umlauts : public ProgramTest {};

TEST_F(Umlauts, TypedDestinationEchoesGlyphsErasesWholeCharactersAndNamesTheFolder)
{
    if (under_wine())
        GTEST_SKIP() << "Wine's X11 driver types no key whose umlaut keysym the harness adds to Xvfb's keymap "
                        "(before or after Wine starts); typed ANSI umlauts are the line editor's unit tests";
    fs::path media = make_media("a.mp3", 3000);
    fs::path list = make_playlist("list.m3u", {{"#EXTINF:12,Artist - Title", media}});
    App& a = start_at_prompt(list);

    const std::string prompt = k_prompt;
    const std::string base = target_.join(p(root()), "M");
    ASSERT_LT(prompt.size() + base.size() + 6, 100u) << "the line must fit one row";
    auto echo_is = [&](const std::string& utf8) {
        std::string glyphs = screen::glyphs_of_utf8(utf8);
        int col = static_cast<int>(prompt.size() + glyphs.size()) + 1;
        bool seen = a.wait_for_text(prompt + glyphs) && a.wait_for_cursor(1, col);
        EXPECT_EQ(a.last_screen().row(1), prompt + glyphs)
            << "reads as: " << screen::utf8_of_glyphs(a.last_screen().row(1));
        EXPECT_EQ(a.last_screen().cursor_col, col) << "one cell per character";
        return seen;
    };

    // Each umlaut is typed on its own: the harness may first have to give its
    // keysym a key, and keys in flight while the keymap changes can get lost.
    a.type(base);
    ASSERT_TRUE(echo_is(base));
    a.type("\xFC"); // u umlaut, through its keysym
    ASSERT_TRUE(echo_is(base + "\xC3\xBC"));
    a.tap(Key::backspace);
    ASSERT_TRUE(echo_is(base)) << "Backspace erases the whole character";
    a.type("\xFC");
    a.type("ll-");
    ASSERT_TRUE(echo_is(base + "\xC3\xBC" "ll-"));
    a.type("\xDF"); // sharp s
    ASSERT_TRUE(echo_is(base + "\xC3\xBC" "ll-\xC3\x9F"));
    a.tap(Key::enter);
    expect_screen("wollen Die den pfard erstellen ? (j/n)");
    a.type("j");
    expect_screen("ready", 30s);
    a.tap(Key::enter);
    expect_exit(0);

    fs::path made = root() / "M\xC3\xBC" "ll-\xC3\x9F";
    EXPECT_TRUE(fs::is_directory(made)) << "the folder is named in UTF-8";
    EXPECT_EQ(read_file(made / "a.mp3"), read_file(media));
    for (const auto& e : fs::directory_iterator(root()))
        EXPECT_EQ(e.path().filename().string().find("M\xC3\x83"), std::string::npos)
            << "no folder named by the bytes of the characters: " << e.path();
}

} // namespace
} // namespace e2e
