// MAIN end to end on the headless screen: start-up exits, destination rules,
// folder creation, the counting pass, the copy loop and its screens.
#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <thread>

#include "rt/error.hpp"
#include "screen/screen.hpp"
#include "screen/testing.hpp"
#include "support/support.hpp"
#include "velmora/detail.hpp"
#include "velmora/velmora.hpp"

using namespace screen;
namespace st = screen::testing;
namespace fs = std::filesystem;
using testsupport::exists;
using testsupport::read_file;
using testsupport::write_file;

namespace {

// Paths are joined with the platform's separator, as the copier joins them.
#ifdef _WIN32
#define SEP "\\"
#else
#define SEP "/"
#endif

class Main : public ::testing::Test {
protected:
    void SetUp() override
    {
        st::reset();
        st::on_print([this](int row, int, const std::string& text) {
            if (row == 1 && text.rfind("Vorgang", 0) == 0)
                shares.push_back(text);
            printed += text + "|";
        });
        fs::create_directory(dir.file("music"));
    }
    void TearDown() override { st::reset(); }

    // Holds a key from the first wait in the open window on.
    static void hold_once_open(int scan_code)
    {
        auto done = std::make_shared<bool>(false);
        headless::on_idle([scan_code, done] {
            if (!*done && st::window_open()) {
                *done = true;
                headless::hold(scan_code, true);
            }
        });
    }

    // A playlist in music/ with entries relative to it.
    std::string playlist(const std::vector<std::pair<std::string, size_t>>& files, const std::string& tail = "")
    {
        std::string text = "#EXTM3U\r\n";
        for (const auto& [name, size] : files) {
            text += "#EXTINF:1," + name + "\r\n" + name + "\r\n";
            if (size != static_cast<size_t>(-1))
                write_file(dir.file("music" SEP + name), std::string(size, static_cast<char>('a' + name.size() % 26)));
        }
        write_file(dir.file("music" SEP "list.m3u"), text + tail);
        return dir.file("music" SEP "list.m3u");
    }

    testsupport::TempDir dir;
    std::vector<std::string> shares;
    std::string printed;
};

TEST_F(Main, CopiesEveryEntryAndWritesTheRewrittenPlaylist)
{
    std::string list = playlist({{"one.mp3", 2500}, {"two.mp3", 0}, {"three.ogg", 70000}});
    std::string dest = dir.file("dest");
    fs::create_directory(dest);
    headless::type(dest + "\r");
    headless::type("x"); // the key that ends the run
    EXPECT_EQ(velmora::MAIN(list), 0);
    EXPECT_EQ(shares, (std::vector<std::string>{"Vorgang Wird bearbeitet  33.3 %", "Vorgang Wird bearbeitet  66.6 %",
                                                "Vorgang Wird bearbeitet  100 %"}));
    for (const char* name : {"one.mp3", "two.mp3", "three.ogg"})
        EXPECT_EQ(read_file(dest + SEP + name), read_file(dir.file(std::string("music" SEP) + name))) << name;
    EXPECT_EQ(read_file(dest + SEP "list.m3u"), "#EXTM3U\r\n#EXTINF:1,one.mp3\r\n" + dest + SEP "one.mp3\r\n" +
                                                 "#EXTINF:1,two.mp3\r\n" + dest + SEP "two.mp3\r\n" +
                                                 "#EXTINF:1,three.ogg\r\n" + dest + SEP "three.ogg\r\n");
    EXPECT_NE(printed.find("laden|"), std::string::npos);
    EXPECT_NE(printed.find("M3U geladen|"), std::string::npos);
    EXPECT_NE(printed.find("Readdy|"), std::string::npos);
    EXPECT_EQ(st::row_text(3).substr(0, 48), "Datei 3 (0.066 MB ) von 3 ( 0MB ) wir Kopiert   ");
    EXPECT_EQ(st::row_text(10).substr(0, 19), "Aktuelle Vorgaenge:");
    EXPECT_EQ(st::row_text(12).substr(0, 24), "Kopy: three.ogg - Ready ");
    EXPECT_EQ(st::row_text(14).substr(0, 6), "ready ");
}

TEST_F(Main, ARerunSkipsWhatExists)
{
    std::string list = playlist({{"a.mp3", 10}, {"b.mp3", 20}});
    std::string dest = dir.file("dest");
    fs::create_directory(dest);
    headless::type(dest + "\rx");
    velmora::MAIN(list);
    printed.clear();
    write_file(dest + SEP "a.mp3", "changed..."); // a copy of the size is a copy, and never overwritten
    headless::type(dest + "\rx");
    EXPECT_EQ(velmora::MAIN(list), 0);
    EXPECT_NE(printed.find("Exist: a.mp3 - |"), std::string::npos);
    EXPECT_NE(printed.find("Exist: b.mp3 - |"), std::string::npos);
    EXPECT_EQ(printed.find("Kopy: "), std::string::npos);
    EXPECT_EQ(read_file(dest + SEP "a.mp3"), "changed...");
    EXPECT_EQ(read_file(dest + SEP "list.m3u").size(), read_file(dest + SEP "list.m3u").size());
}

TEST_F(Main, MissingFilesAndATrailingBlankLineStillRunToReady)
{
    std::string list = playlist({{"here.mp3", 5}, {"gone.mp3", static_cast<size_t>(-1)}}, "\r\n");
    std::string dest = dir.file("dest");
    fs::create_directory(dest);
    headless::type(dest + "\rx");
    EXPECT_EQ(velmora::MAIN(list), 0);
    EXPECT_NE(printed.find("File - " + dir.file("music" SEP "gone.mp3") + " - not exists|"), std::string::npos);
    EXPECT_FALSE(exists(dir.file("music" SEP "gone.mp3"))); // sources are never created
    EXPECT_FALSE(exists(dest + SEP "gone.mp3"));
    EXPECT_EQ(shares.size(), 2u); // the blank line is no entry
    EXPECT_EQ(read_file(dest + SEP "here.mp3"), read_file(dir.file("music" SEP "here.mp3")));
    EXPECT_NE(printed.find("Datei 2 (0 MB ) von 2"), std::string::npos);
}

TEST_F(Main, AHeaderOnlyPlaylistWritesTheHeaderAndEnds)
{
    write_file(dir.file("music" SEP "list.m3u"), "#EXTM3U\r\n");
    std::string dest = dir.file("dest");
    fs::create_directory(dest);
    headless::type(dest + "\rx");
    EXPECT_EQ(velmora::MAIN(dir.file("music" SEP "list.m3u")), 0);
    EXPECT_TRUE(shares.empty());
    EXPECT_EQ(read_file(dest + SEP "list.m3u"), "#EXTM3U\r\n");
}

TEST_F(Main, ThePlaylistIsNeverLostWhenItsFolderIsTheDestination)
{
    std::string list = playlist({{"a.mp3", 3}, {"b.mp3", 4}});
    std::string original = read_file(list);
    headless::type(dir.file("music") + "\rx");
    EXPECT_EQ(velmora::MAIN(list), 0);
    EXPECT_NE(printed.find("Exist: a.mp3"), std::string::npos);
    EXPECT_EQ(read_file(list), "#EXTM3U\r\n#EXTINF:1,a.mp3\r\n" + dir.file("music" SEP "a.mp3") + "\r\n#EXTINF:1,b.mp3\r\n" +
                                   dir.file("music" SEP "b.mp3") + "\r\n");
    EXPECT_EQ(read_file(dir.file("music" SEP "a.mp3")).size(), 3u);
}

TEST_F(Main, EscHeldStopsAfterTheCurrentEntry)
{
    std::string list = playlist({{"a.mp3", 3000}, {"b.mp3", 4}, {"c.mp3", 4}});
    std::string dest = dir.file("dest");
    fs::create_directory(dest);
    headless::type(dest + "\r");
    hold_once_open(scan::esc);
    std::thread release([] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        headless::hold(scan::esc, false);
        headless::type("x");
    });
    EXPECT_EQ(velmora::MAIN(list), 0);
    release.join();
    EXPECT_EQ(shares.size(), 1u);
    EXPECT_TRUE(exists(dest + SEP "a.mp3")); // the file being copied finishes
    EXPECT_FALSE(exists(dest + SEP "b.mp3"));
    EXPECT_NE(printed.find("|User abort|"), std::string::npos);
    EXPECT_EQ(read_file(dest + SEP "list.m3u"), "#EXTM3U\r\n#EXTINF:1,a.mp3\r\n" + dest + SEP "a.mp3\r\n");
}

TEST_F(Main, SpaceHeldAbortsEveryCopyButListsThemAll)
{
    std::string list = playlist({{"a.mp3", 3000}, {"b.mp3", 0}, {"c.mp3", 9}});
    std::string dest = dir.file("dest");
    fs::create_directory(dest);
    headless::type(dest + "\rx");
    hold_once_open(scan::space);
    EXPECT_EQ(velmora::MAIN(list), 0);
    EXPECT_FALSE(exists(dest + SEP "a.mp3"));
    EXPECT_TRUE(exists(dest + SEP "b.mp3")); // an empty source copies no byte
    EXPECT_FALSE(exists(dest + SEP "c.mp3"));
    EXPECT_NE(printed.find("User abort"), std::string::npos);
    EXPECT_EQ(read_file(dest + SEP "list.m3u").size(), std::string("#EXTM3U\r\n").size() +
                                                        3 * std::string("#EXTINF:1,a.mp3\r\n\r\n").size() +
                                                        3 * (dest.size() + 6));
}

TEST_F(Main, AnEmptyDestinationEndsWithStatusOne)
{
    std::string list = playlist({{"a.mp3", 1}});
    headless::type("   \rx");
    EXPECT_EQ(velmora::MAIN(list), 1);
    EXPECT_NE(printed.find("Kein pfad ausgeweahlt|"), std::string::npos);
    EXPECT_EQ(headless::beeps(), 1);
}

TEST_F(Main, AnsweringNCreatesNothing)
{
    std::string list = playlist({{"a.mp3", 1}});
    headless::type(dir.file("new" SEP "deeper") + "\rJ\rn");
    EXPECT_EQ(velmora::MAIN(list), 0);
    EXPECT_NE(printed.find("Der pfard Existirt nicht|wollen Die den pfard erstellen ? (j/n)|"), std::string::npos);
    EXPECT_FALSE(exists(dir.file("new")));
}

TEST_F(Main, AnsweringJCreatesEveryLevel)
{
    std::string list = playlist({{"a.mp3", 1}});
    std::string dest = dir.file("new" SEP "deeper" SEP "deepest");
    headless::type(dest + "\rJ\rjx");
    EXPECT_EQ(velmora::MAIN(list), 0);
    EXPECT_NE(printed.find("readdy|"), std::string::npos);
    EXPECT_EQ(read_file(dest + SEP "a.mp3"), read_file(dir.file("music" SEP "a.mp3")));
    EXPECT_FALSE(exists(dest + SEP "diesisteintest.tttu"));
    EXPECT_FALSE(exists(dir.file("new" SEP "diesisteintest.tttu")));
}

TEST_F(Main, ALeftoverProbeFileIsRemovedButAFileWithContentIsNoProbeOfOurs)
{
    std::string list = playlist({{"a.mp3", 1}});
    std::string dest = dir.file("dest");
    fs::create_directory(dest);
    // What a killed run's probe leaves is empty.
    write_file(dest + SEP "diesisteintest.tttu", "");
    headless::type(dest + "\rx");
    EXPECT_EQ(velmora::MAIN(list), 0);
    EXPECT_FALSE(exists(dest + SEP "diesisteintest.tttu"));
    EXPECT_EQ(printed.find("Der pfard"), std::string::npos);

    write_file(dest + SEP "diesisteintest.tttu", "old");
    headless::type(dest + "\rx");
    EXPECT_EQ(velmora::MAIN(list), 0);
    EXPECT_EQ(read_file(dest + SEP "diesisteintest.tttu"), "old") << "someone's file stays as it is";
    EXPECT_EQ(printed.find("Der pfard"), std::string::npos) << "the folder still takes files";
}

TEST_F(Main, ARelativeDestinationIsMadeAbsolute)
{
    std::string list = playlist({{"a.mp3", 2}});
    auto r = testsupport::run_child([&] {
        if (chdir(dir.path().c_str()) != 0)
            _exit(99);
        headless::type("rel" SEP "sub\rj k x");
        int status = velmora::MAIN(list);
        std::fputs(printed.c_str(), stdout);
        std::fflush(stdout);
        _exit(status);
    });
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("| err 1|readdy|"), std::string::npos);
    EXPECT_EQ(read_file(dir.file("rel" SEP "sub" SEP "a.mp3")), read_file(dir.file("music" SEP "a.mp3")));
    EXPECT_EQ(read_file(dir.file("rel" SEP "sub" SEP "list.m3u")).find("#EXTM3U\r\n#EXTINF:1,a.mp3\r\n" + dir.file("rel" SEP "sub")),
              0u);
}

TEST_F(Main, ALevelThatCannotBeMadeIsARuntimeError)
{
    std::string list = playlist({{"a.mp3", 2}});
    write_file(dir.file("afile"), "x");
    auto r = testsupport::run_child([&] {
        headless::type(dir.file("afile" SEP "sub") + "\rj");
        _exit(velmora::MAIN(list));
    });
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(r.err.rfind("\r\nAborting due to runtime error 2 (file not found) at line ", 0) == 0) << r.err;
    EXPECT_NE(r.err.find(" of velmora::CREATEDIR()\r\n\r\n"), std::string::npos);
}

TEST_F(Main, NoPlaylistMeansNothingSelected)
{
#ifdef _WIN32
    GTEST_SKIP() << "the Windows file dialog waits for a user; the dialog's own test answers it";
#else
    auto r = testsupport::run_child([&] {
        setenv("PATH", SEP "nonexistent", 1);
        headless::type("x");
        int status = velmora::MAIN(dir.file("missing.m3u"));
        std::fputs(printed.c_str(), stdout);
        std::fflush(stdout);
        _exit(status);
    });
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("nothing selected|"), std::string::npos);
    EXPECT_NE(r.err.find("zenity"), std::string::npos);
#endif
}

TEST_F(Main, AFailingWindowIsARuntimeError)
{
    std::string list = playlist({{"a.mp3", 2}});
    auto r = testsupport::run_child([&] {
        headless::fail_next_open();
        _exit(velmora::MAIN(list));
    });
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("(illegal function call) at line"), std::string::npos);
    EXPECT_NE(r.err.find(" of velmora::()\r\n\r\n"), std::string::npos);
}

TEST(Argument, TakenWhenItExistsAndEndsInM3uOrM3u8)
{
    testsupport::TempDir d;
    for (const char* n : {"a.M3U", "listm3u", "b.m3u8", "c.m3u", "d.M3U8", "e.m3u9"})
        if (std::string(n) != "c.m3u")
            write_file(d.file(n), "#");
    EXPECT_TRUE(velmora::detail::takes_argument(d.file("a.M3U")));
    EXPECT_TRUE(velmora::detail::takes_argument(d.file("listm3u")));
    EXPECT_TRUE(velmora::detail::takes_argument(d.file("b.m3u8")));
    EXPECT_TRUE(velmora::detail::takes_argument(d.file("d.M3U8")));
    EXPECT_FALSE(velmora::detail::takes_argument(d.file("e.m3u9")));
    EXPECT_FALSE(velmora::detail::takes_argument(d.file("c.m3u")));
    fs::create_directory(d.file("dir.m3u"));
    EXPECT_FALSE(velmora::detail::takes_argument(d.file("dir.m3u")));
    EXPECT_FALSE(velmora::detail::takes_argument(""));
}

TEST(Display, LongNamesAreCutAtTheLimit)
{
    std::string n91(91, 'n'), n90(90, 'n');
    EXPECT_EQ(velmora::detail::name_display(n91, 800), n90 + "...  - ");
    EXPECT_EQ(velmora::detail::name_display(n90, 800), n90 + " - ");
}

TEST(Display, TotalsInMegaOrGigabytes)
{
    st::reset();
    ASSERT_EQ(SCREEN_OPEN(800, 400, 32), 0);
    for (std::uint32_t kb : {251u, 252u, 3500000u, 0u, 1023u * 1024u})
        velmora::detail::print_total(kb), TEXT_PRINT("|", true);
    EXPECT_EQ(st::row_text(1).substr(0, 5), " 0MB|");
    EXPECT_EQ(st::row_text(2).substr(0, 8), "0.000GB|");
    EXPECT_EQ(st::row_text(3).substr(0, 8), "3.337GB|");
    EXPECT_EQ(st::row_text(4).substr(0, 5), " 0MB|");
    EXPECT_EQ(st::row_text(5).substr(0, 8), "0.999GB|");
    EXPECT_EQ(velmora::detail::first_chars("33.33333333333334", 4), "33.3");
    st::reset();
}

TEST(Totals, RoundedAtEachAdditionHalvesToEven)
{
    EXPECT_EQ(velmora::detail::add_kb(0, 1536), 2u);   // 1.5 -> 2
    EXPECT_EQ(velmora::detail::add_kb(1, 1536), 2u);   // 2.5 -> 2
    EXPECT_EQ(velmora::detail::add_kb(0, 2560), 2u);   // 2.5 -> 2
    EXPECT_EQ(velmora::detail::add_kb(1, 2560), 4u);   // 3.5 -> 4
    EXPECT_EQ(velmora::detail::add_kb(4294967295u, 1024), 0u); // only the low 32 bits stay
}

} // namespace
