// Start-up of the program: playlist choice, the destination prompt, the
// folder question and creation, and every way the program ends there.
#include <algorithm>
#include <csignal>
#include <regex>
#include <set>
#include <thread>

#include "fixture.hpp"

namespace e2e {
namespace {

constexpr const char* k_missing = "Der pfard Existirt nicht";
constexpr const char* k_question = "wollen Die den pfard erstellen ? (j/n)";

class Startup : public ProgramTest {
protected:
    // A playlist of one small entry.
    fs::path playlist()
    {
        media_ = make_media("a.mp3", 3000);
        return make_playlist("list.m3u", {{"#EXTINF:12,Artist - Title", media_}});
    }

    // So many entries that the counting pass takes a while: the lines the
    // start-up printed stay on screen long enough to be read (with the
    // program run in slices). All name the same file, so only the first is
    // copied; Esc held ends the copy pass after it.
    fs::path slow_playlist()
    {
        media_ = make_media("a.mp3", 3000);
        std::vector<Entry> entries(k_slow_entries, Entry{"#EXTINF:1,x", media_});
        return make_playlist("list.m3u", entries);
    }

    // Up to the question for a missing destination.
    void reach_question(const fs::path& playlist, const std::string& typed)
    {
        start_at_prompt(playlist);
        answer(typed);
        expect_screen(k_question);
    }

    bool copied_into(const fs::path& folder) const
    {
        return fs::exists(folder / "a.mp3") && read_file(folder / "a.mp3") == read_file(media_);
    }

    // "ready", a key, status 0.
    void expect_normal_end()
    {
        expect_screen("ready", 30s);
        expect_exit_after_key(0);
    }

    static constexpr size_t k_slow_entries = 40000;
    fs::path media_;
};

// Every probe file is gone again, wherever the program made one.
void expect_no_probe_left(const fs::path& under)
{
    for (const auto& e : fs::recursive_directory_iterator(under))
        EXPECT_NE(e.path().filename(), "diesisteintest.tttu") << e.path();
}

// --- window and prompt ---

TEST_F(Startup, OpensTitledWindowAndAsksForDestination)
{
    App& a = start_at_prompt(playlist());
    EXPECT_EQ(a.window_width(), 800);
    EXPECT_EQ(a.window_height(), 400);
    ScreenText s = a.screen();
    EXPECT_EQ(s.row(1), "Wohin sollen die Dateien hinkopiert werden (Pfad):");
    EXPECT_EQ(s.joined(), s.row(1)) << "nothing below the prompt";
    EXPECT_EQ(s.cursor_row, 1);
    EXPECT_EQ(s.cursor_col, 52);
    EXPECT_EQ(s.unmatched, 0);
}

TEST_F(Startup, TextIsLightGreyOnBlack)
{
    App& a = start_at_prompt(playlist());
    Image img = a.capture();
    std::set<std::uint32_t> colours;
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 51 * 8; ++x)
            colours.insert(img.at(x, y));
    EXPECT_EQ(colours, (std::set<std::uint32_t>{0x000000, 0xAAAAAA}));
}

TEST_F(Startup, TypedLineIsEchoedWithTheCursorBehindIt)
{
    App& a = start_at_prompt(playlist());
    a.type("/Tmp/x: \"q\", y");
    ASSERT_TRUE(a.wait_for_text("(Pfad): /Tmp/x: \"q\", y"));
    ScreenText s = a.screen();
    EXPECT_EQ(s.cursor_row, 1);
    EXPECT_EQ(s.cursor_col, 52 + 14);
    a.tap(Key::left);
    a.tap(Key::left);
    EXPECT_TRUE(a.wait_for_cursor(1, 52 + 12)) << "two to the left";
    a.tap(Key::home);
    EXPECT_TRUE(a.wait_for_cursor(1, 52)) << "Home goes to the start of the line";
    a.tap(Key::end);
    EXPECT_TRUE(a.wait_for_cursor(1, 52 + 14));
    EXPECT_EQ(a.last_screen().row(1), std::string(k_prompt) + "/Tmp/x: \"q\", y");
}

TEST_F(Startup, EditingKeysShapeTheDestination)
{
    App& a = start_at_prompt(playlist());
    fs::path want = root() / "abcd";
    a.type("garbage");
    a.tap(Key::escape); // erases the whole line
    a.type(target_.join(p(root()), "zz"));
    a.tap(Key::backspace);
    a.tap(Key::backspace);
    a.type("ac");
    a.tap(Key::left);
    a.type("b");
    a.tap(Key::end);
    a.type("d");
    a.tap(Key::home);
    a.type("Q");
    a.tap(Key::left);
    a.tap(Key::del);
    ASSERT_TRUE(a.wait_for_text(std::string(k_prompt) + p(want)));
    EXPECT_EQ(a.screen().row(1), std::string(k_prompt) + p(want));
    a.tap(Key::enter);
    expect_screen(k_question);
    a.type("j");
    expect_normal_end();
    EXPECT_TRUE(copied_into(want));
}

TEST_F(Startup, ConsoleWindowIsHiddenOnceTheWindowIsOpen)
{
    if (!under_wine())
        GTEST_SKIP() << "only a Windows console has a window of its own to hide";
    start_through({"wineconsole"}, {p(playlist())});
    expect_screen(k_prompt);
    std::vector<bool> consoles = app().windows_of_class("conhost.exe");
    ASSERT_FALSE(consoles.empty()) << "wineconsole made no window";
    for (bool shown : consoles)
        EXPECT_FALSE(shown) << "a console window is still mapped";
    // Ended by its own way out: a killed wineconsole would leave the
    // program's window behind for the next test to find.
    answer("");
    expect_screen("Kein pfad ausgeweahlt");
    expect_exit_after_key(1);
}

// Started from a prompt, the console is the prompt's: it stays on screen.
TEST_F(Startup, ConsoleSharedWithAPromptStaysShown)
{
    if (!under_wine())
        GTEST_SKIP() << "only a Windows console has a window of its own to hide";
    start_through({"wineconsole", "cmd", "/c"}, {p(playlist())}, p(target_.program));
    expect_screen(k_prompt);
    std::vector<bool> consoles = app().windows_of_class("conhost.exe");
    ASSERT_FALSE(consoles.empty()) << "wineconsole made no window";
    // Wine's console keeps a hidden helper window of the same class.
    EXPECT_NE(std::count(consoles.begin(), consoles.end(), true), 0) << "the prompt's console was hidden";
    answer("");
    expect_screen("Kein pfad ausgeweahlt");
    app().tap(Key::enter);
    EXPECT_TRUE(app().wait_exit(20s).has_value());
}

// A console of its own is hidden; a runtime error shows it again and tells
// the report in a box as well.
TEST_F(Startup, RuntimeErrorInAConsoleOfItsOwnShowsTheConsoleAndABox)
{
    if (!under_wine())
        GTEST_SKIP() << "only a Windows console has a window of its own to hide";
    start_through({"wineconsole"}, {p(playlist())});
    expect_screen(k_prompt);
    write_file(root() / "afile", "not a folder");
    answer(p(root() / "afile" / "sub"));
    expect_screen(k_question);
    app().type("j");
    auto until = std::chrono::steady_clock::now() + 20s;
    bool shown = false;
    while (!shown && std::chrono::steady_clock::now() < until) {
        for (bool s : app().windows_of_class("conhost.exe"))
            shown = shown || s;
        std::this_thread::sleep_for(50ms);
    }
    EXPECT_TRUE(shown) << "the console stayed hidden after the error";
    ASSERT_TRUE(app().answer_window("velmora", "", Key::enter)) << "no message box";
    EXPECT_TRUE(app().wait_exit(20s).has_value());
}

// A start with no console and no one reading standard error (a double
// click): the report is told in a box before the program ends.
TEST_F(Startup, RuntimeErrorWithoutAConsoleIsToldInABox)
{
    if (!under_wine())
        GTEST_SKIP() << "the Linux box is shown for a start from the desktop entry (window tests)";
    start_unheard({p(playlist())});
    expect_screen(k_prompt);
    write_file(root() / "afile", "not a folder");
    answer(p(root() / "afile" / "sub"));
    expect_screen(k_question);
    app().type("j");
    ASSERT_TRUE(app().answer_window("velmora", "", Key::enter)) << "no message box";
    expect_exit(2);
}

// --- answers without a window ---

// --help and --version print on standard output and end at once. Natively
// the run has no display at all, so a window or a dialog would have failed.
TEST_F(Startup, HelpAndVersionAnswerOnStandardOutputWithoutAWindow)
{
    const std::pair<const char*, std::regex> cases[] = {
        {"--help", std::regex("^Aufruf: velmora \\[PLAYLIST\\.m3u\\]\\.\\.\\.\r?\n(.*\r?\n)*.*--version.*\r?\n")},
        {"--version", std::regex("^velmora [0-9]+\\.[0-9]+\\.[0-9]+\r?\n$")},
    };
    for (const auto& [argument, expected] : cases) {
        SCOPED_TRACE(argument);
        Launch launch;
        launch.args = {argument};
        launch.cwd = work();
        launch.log_dir = root() / "logs" / (argument + 2);
        if (!under_wine())
            launch.env = {{"DISPLAY", ""}, {"WAYLAND_DISPLAY", ""}};
        App app(target_, launch);
        std::optional<int> status = app.wait_exit(20s);
        ASSERT_TRUE(status.has_value()) << "still running";
        EXPECT_EQ(*status, 0) << "stderr:\n" << app.err();
        EXPECT_TRUE(std::regex_search(app.out(), expected)) << "stdout:\n" << app.out();
        if (!under_wine()) {
            EXPECT_EQ(app.err(), "");
        }
    }
}

// --- playlist choice ---

TEST_F(Startup, CancelledDialogShowsNothingSelectedAndEndsWithZero)
{
    playlist();
    App& a = start_with_dialog();
    expect_screen("nothing selected");
    EXPECT_EQ(a.screen().joined(), "nothing selected");
    std::string err = a.err();
    if (!under_wine()) {
        EXPECT_FALSE(err.empty()) << "the missing file chooser is reported";
        EXPECT_TRUE(err.empty() || err.back() == '\n');
    }
    expect_exit_after_key(0);
}

TEST_F(Startup, PlaylistChosenInTheDialogIsTakenWithoutTrailingBlanks)
{
    fs::path list = playlist();
    fs::path dest = root() / "chosen";
    start_with_dialog({}, p(list));
    expect_screen(k_prompt);
    answer(p(dest));
    expect_screen(k_question);
    app().type("j");
    expect_normal_end();
    EXPECT_TRUE(copied_into(dest));
}

struct ArgumentCase {
    const char* name;
    enum { file, folder, none } kind;
    bool accepted;
};

class PlaylistArgument : public Startup, public ::testing::WithParamInterface<ArgumentCase> {};

TEST_P(PlaylistArgument, IsTakenOnlyWhenAnExistingFileEndsInM3uOrM3u8)
{
    const ArgumentCase& c = GetParam();
    fs::path list = root() / "args" / c.name;
    fs::create_directories(list.parent_path());
    if (c.kind == ArgumentCase::file)
        fs::copy_file(playlist(), list, fs::copy_options::overwrite_existing);
    if (c.kind == ArgumentCase::folder)
        fs::create_directories(list);
    App& a = c.accepted ? start({p(list)}, {{"PATH", no_tools_path().string()}}) : start_with_dialog({p(list)});
    if (c.accepted) {
        expect_screen(k_prompt);
    } else {
        expect_screen("nothing selected");
        expect_exit_after_key(0);
    }
    EXPECT_EQ(a.last_screen().contains("nothing selected"), !c.accepted);
}

INSTANTIATE_TEST_SUITE_P(Names, PlaylistArgument,
                         ::testing::Values(ArgumentCase{"list.m3u", ArgumentCase::file, true},
                                           ArgumentCase{"LIST.M3U", ArgumentCase::file, true},
                                           ArgumentCase{"listm3u", ArgumentCase::file, true},
                                           ArgumentCase{"list.m3u8", ArgumentCase::file, true},
                                           ArgumentCase{"gone.m3u", ArgumentCase::none, false},
                                           ArgumentCase{"folder.m3u", ArgumentCase::folder, false}),
                         [](const auto& info) {
                             std::string n = info.param.name;
                             for (char& ch : n)
                                 if (!std::isalnum(static_cast<unsigned char>(ch)))
                                     ch = '_';
                             return n;
                         });

// --- destination ---

class EmptyDestination : public Startup, public ::testing::WithParamInterface<const char*> {};

TEST_P(EmptyDestination, SaysSoBeepsAndEndsWithOneAfterAKey)
{
    App& a = start_at_prompt(playlist());
    answer(GetParam());
    expect_screen("Kein pfad ausgeweahlt");
    EXPECT_EQ(a.last_screen().row(2), "Kein pfad ausgeweahlt");
    EXPECT_EQ(a.last_screen().row(3), "");
    expect_exit_after_key(1);
    EXPECT_EQ(std::distance(fs::directory_iterator(work()), fs::directory_iterator()), 0);
}

INSTANTIATE_TEST_SUITE_P(Lines, EmptyDestination, ::testing::Values("", "   ", "\t", ",/tmp/x"));

TEST_F(Startup, MissingFolderAnsweredNoEndsWithZeroAndMakesNothing)
{
    fs::path dest = root() / "missing";
    reach_question(playlist(), p(dest));
    ScreenText s = app().screen();
    EXPECT_EQ(s.row(2), k_missing);
    EXPECT_EQ(s.row(3), k_question);
    EXPECT_EQ(s.joined().find("\n", s.joined().find(k_question)), std::string::npos) << "just the two lines";
    app().type("n");
    expect_exit(0);
    EXPECT_FALSE(fs::exists(dest));
}

TEST_F(Startup, QuestionIgnoresUpperCaseJEnterAndOtherKeys)
{
    fs::path dest = root() / "new";
    reach_question(playlist(), p(dest));
    App& a = app();
    a.type("J");
    a.tap(Key::enter);
    a.type("N x");
    EXPECT_TRUE(a.stays_unchanged(500ms));
    EXPECT_TRUE(a.running());
    EXPECT_FALSE(fs::exists(dest));
    a.type("j");
    expect_normal_end();
    EXPECT_TRUE(copied_into(dest));
}

TEST_F(Startup, ExistingFolderIsUsedWithoutAQuestionAndLeavesNoProbe)
{
    fs::path dest = root() / "dest";
    fs::create_directories(dest);
    // What a run killed at its write test leaves: an empty file. (One with
    // content is nobody's probe and stays; see the durable tests.)
    write_file(dest / "diesisteintest.tttu", "");
    start_at_prompt(playlist());
    answer(p(dest));
    expect_normal_end(); // no "j" was needed
    EXPECT_TRUE(copied_into(dest));
    EXPECT_FALSE(fs::exists(dest / "diesisteintest.tttu"));
}

struct ItemCase {
    const char* label;
    std::string typed_after_root; // what follows the root folder on the line
    std::string folder;           // the folder that must be made
};

class DestinationItem : public Startup, public ::testing::WithParamInterface<ItemCase> {};

TEST_P(DestinationItem, IsTheFirstItemOfTheTypedLine)
{
    const ItemCase& c = GetParam();
    const std::string folder = c.folder;
    if (under_wine() && (folder.find('"') != std::string::npos || (!folder.empty() && folder.back() == ' ')))
        GTEST_SKIP() << "\"" << folder << "\" is not a valid Windows name (trailing blank or '\"')";
    std::string typed = c.typed_after_root;
    for (char& ch : typed)
        if (ch == '/')
            ch = target_.separator;
    std::string root_path = p(root());
    typed.replace(typed.find("@"), 1, root_path);
    reach_question(playlist(), typed);
    app().type("j");
    expect_normal_end();
    EXPECT_TRUE(copied_into(root() / c.folder)) << "folder \"" << c.folder << "\"";
    for (const auto& e : fs::directory_iterator(root()))
        EXPECT_TRUE(e.path().filename() == c.folder || e.path().filename() == "work" ||
                    e.path().filename() == "media" || e.path().filename() == "lists" ||
                    e.path().filename() == "logs" || e.path().filename() == "args")
            << "unexpected " << e.path();
}

INSTANTIATE_TEST_SUITE_P(Rules, DestinationItem,
                         ::testing::Values(ItemCase{"CommaEndsIt", "@/a, b", "a"},
                                           ItemCase{"LeadingTabSkipped", "\t@/tab", "tab"},
                                           ItemCase{"QuotesKeepTheComma", "\"@/a, b\"", "a, b"},
                                           ItemCase{"LeadingBlanksSkipped", "   @/lead", "lead"},
                                           ItemCase{"TrailingBlanksKept", "@/trail  ", "trail  "},
                                           ItemCase{"TrailingSeparatorKept", "@/ts/", "ts"},
                                           ItemCase{"LaterQuoteIsOrdinary", "@/in\"q\"", "in\"q\""},
                                           ItemCase{"TextAfterClosingQuoteDropped", "\"@/qq\"rest", "qq"}),
                         [](const auto& info) { return std::string(info.param.label); });

TEST_F(Startup, LineThatFillsTheRowLeavesAnEmptyRowBeforeTheQuestion)
{
    std::string root_path = p(root());
    std::string dest = target_.join(root_path, std::string(48 - root_path.size(), 'f'));
    ASSERT_EQ(std::string(k_prompt).size() + dest.size(), 100u);
    reach_question(playlist(), dest);
    ScreenText s = app().last_screen();
    EXPECT_EQ(s.row(1), k_prompt + dest);
    EXPECT_EQ(s.row(2), "");
    EXPECT_EQ(s.row(3), k_missing);
    EXPECT_EQ(s.row(4), k_question);
}

TEST_F(Startup, UpAndDownMoveTheInsertionByARowWidth)
{
    std::string base = target_.join(p(root()), "");
    std::string line = base + std::string(110, 'x'); // wraps onto the second row
    App& a = start_at_prompt(playlist());
    a.type(line);
    a.tap(Key::up); // 100 bytes back
    a.type("Y");
    a.tap(Key::down); // 100 forward: the end again
    a.type("Z");
    std::string want = line.substr(0, line.size() - 100) + "Y" + line.substr(line.size() - 100) + "Z";
    ASSERT_TRUE(a.wait_for_text((std::string(k_prompt) + want).substr(0, 100)));
    EXPECT_EQ(a.last_screen().row(2), want.substr(100 - std::string(k_prompt).size()));
    a.tap(Key::enter);
    expect_screen(k_question);
    EXPECT_EQ(a.last_screen().row(3), k_missing);
    a.type("j");
    expect_normal_end();
    EXPECT_TRUE(copied_into(root() / want.substr(base.size())));
}

// --- ways out ---

TEST_F(Startup, CloseButtonEndsTheWaitAfterNothingSelected)
{
    App& a = start_with_dialog();
    expect_screen("nothing selected");
    std::this_thread::sleep_for(200ms);
    a.close_window();
    expect_exit(0);
}

TEST_F(Startup, CloseButtonIsIgnoredAtTheQuestion)
{
    fs::path dest = root() / "new";
    reach_question(playlist(), p(dest));
    App& a = app();
    a.close_window();
    EXPECT_TRUE(a.stays_unchanged(400ms));
    a.type("j");
    expect_normal_end();
    EXPECT_TRUE(copied_into(dest));
}

TEST_F(Startup, TerminationRequestAtThePromptIsRuntimeErrorThirteen)
{
    if (under_wine())
        GTEST_SKIP() << "a SIGTERM from outside kills the Wine process (status 143); the program never sees it";
    App& a = start_at_prompt(playlist());
    a.send_signal(SIGTERM);
    expect_exit(13);
    EXPECT_EQ(a.err(), "\r\nAborting due to runtime error 13 (\"termination request\" signal) in velmora::()\r\n\r\n");
}

// --- folder creation ---

TEST_F(Startup, CreatesEveryMissingLevelAndSaysReaddy)
{
    fs::path dest = root() / "n1" / "n2" / "n3";
    reach_question(slow_playlist(), p(dest));
    App& a = app();
    a.press(Key::escape); // ends the long copy pass after its first entry
    a.type("j");
    ASSERT_TRUE(a.run_slowly_until([](const ScreenText& s) { return s.contains("readdy"); }))
        << a.last_screen().joined();
    EXPECT_EQ(a.last_screen().row(4), "readdy");
    EXPECT_TRUE(fs::is_directory(dest));
    a.resume();
    expect_screen("User abort", 60s);
    a.release(Key::escape);
    expect_normal_end();
    EXPECT_TRUE(copied_into(dest));
    expect_no_probe_left(root());
}

TEST_F(Startup, RelativeDestinationIsMadeInTheWorkingFolder)
{
    reach_question(playlist(), target_.join("sub", "dir"));
    App& a = app();
    a.type("j");
    expect_screen(" err 1");
    ScreenText s = a.last_screen();
    EXPECT_EQ(s.row(4), " err 1");
    EXPECT_TRUE(a.stays_unchanged(300ms)) << "waits for a key";
    EXPECT_FALSE(fs::exists(work() / "sub")) << "no folder before the key";
    a.tap(Key::enter);
    expect_normal_end();
    fs::path dest = work() / "sub" / "dir";
    EXPECT_TRUE(copied_into(dest));
    // The rewritten playlist names the copy by its absolute path.
    std::vector<std::string> lines = lines_crlf(dest / "list.m3u");
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[2], target_.join(p(dest), "a.mp3"));
    expect_no_probe_left(root());
}

TEST_F(Startup, LevelBelowARegularFileEndsWithRuntimeErrorTwo)
{
    write_file(root() / "afile", "not a folder");
    fs::path dest = root() / "afile" / "sub";
    reach_question(playlist(), p(dest));
    app().type("j");
    expect_exit(2);
    std::string err = app().err();
    std::regex report("\r\nAborting due to runtime error 2 \\(file not found\\) at line [1-9][0-9]* of "
                      "velmora::CREATEDIR\\(\\)\r\n\r\n$");
    EXPECT_TRUE(std::regex_search(err, report)) << "stderr:\n" << err;
    EXPECT_EQ(read_file(root() / "afile"), "not a folder");
}

// --- hand-over to the copy ---

TEST_F(Startup, SuccessfulStartupGoesOnToCopyThePlaylist)
{
    fs::path b = make_media("b.mp3", 5000, 2);
    fs::path dest = root() / "dest";
    fs::create_directories(dest);
    media_ = make_media("a.mp3", 3000);
    fs::path list = make_playlist("list.m3u", {{"#EXTINF:1,A", media_}, {"#EXTINF:2,B", b}});
    start_at_prompt(list);
    answer(p(dest));
    expect_normal_end();
    EXPECT_TRUE(copied_into(dest));
    EXPECT_EQ(read_file(dest / "b.mp3"), read_file(b));
}

} // namespace
} // namespace e2e
