// The real window on X: it opens at every start on a busy machine, takes the
// desktop's scale, keeps its picture whole and centred when resized, reports
// the mouse in picture pixels, and ends cleanly when the display goes away.
// Started from a desktop menu, a runtime error is also shown in a box.
#include "fixture.hpp"

// After the test framework, whose names Xlib's macros would spoil.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <thread>

namespace e2e {
namespace {

constexpr const char* k_question = "wollen Die den pfard erstellen ? (j/n)";
constexpr const char* k_prompt_row = "Wohin sollen die Dateien hinkopiert werden (Pfad):";

// Programs that keep the processors busy for as long as this lives.
class BusyCores {
public:
    explicit BusyCores(int count)
    {
        for (int i = 0; i < count; ++i) {
            int pid = ::fork();
            if (pid == 0) {
                ::prctl(PR_SET_PDEATHSIG, SIGKILL);
                int null = ::open("/dev/null", O_WRONLY);
                ::dup2(null, 1);
                ::execlp("yes", "yes", static_cast<char*>(nullptr));
                ::_exit(127);
            }
            if (pid > 0)
                pids_.push_back(pid);
        }
    }
    ~BusyCores()
    {
        for (int pid : pids_) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
    }
    BusyCores(const BusyCores&) = delete;
    BusyCores& operator=(const BusyCores&) = delete;

private:
    std::vector<int> pids_;
};

// An X resource on the shared display for the length of one test.
class Resources {
public:
    explicit Resources(const std::string& text)
    {
        Display* d = static_cast<Display*>(XServer::shared().display());
        XChangeProperty(d, DefaultRootWindow(d), XA_RESOURCE_MANAGER, XA_STRING, 8, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(text.data()), static_cast<int>(text.size()));
        XSync(d, False);
    }
    ~Resources()
    {
        Display* d = static_cast<Display*>(XServer::shared().display());
        XDeleteProperty(d, DefaultRootWindow(d), XA_RESOURCE_MANAGER);
        XSync(d, False);
    }
    Resources(const Resources&) = delete;
    Resources& operator=(const Resources&) = delete;
};

bool eventually(const std::function<bool()>& ok, Millis timeout = 5s)
{
    auto until = std::chrono::steady_clock::now() + timeout;
    while (!ok()) {
        if (std::chrono::steady_clock::now() > until)
            return false;
        std::this_thread::sleep_for(20ms);
    }
    return true;
}

class Window : public ProgramTest {
protected:
    void SetUp() override
    {
        ProgramTest::SetUp();
        if (under_wine())
            GTEST_SKIP() << "the X11 window of the Linux build";
    }

    fs::path playlist()
    {
        return make_playlist("list.m3u", {{"#EXTINF:1,Alpha", make_media("a.mp3", 3000)}});
    }

    // The picture at (x, y) and this scale reads as the prompt with "ab" typed.
    void expect_prompt_at(int x, int y, int scale)
    {
        App& a = app();
        a.set_picture(x, y, scale);
        ASSERT_TRUE(a.wait_for_text(std::string(k_prompt_row) + " ab")) << a.last_screen().joined();
        const Image& img = a.last_image();
        EXPECT_TRUE(blocks_are_uniform(img, x, y, scale)) << "every picture pixel is a whole block";
        // Everything around the picture is black.
        int stray = 0;
        for (int py = 0; py < img.height; ++py)
            for (int px = 0; px < img.width; ++px) {
                bool inside = px >= x && px < x + 800 * scale && py >= y && py < y + 400 * scale;
                if (!inside && img.at(px, py) != 0)
                    ++stray;
            }
        EXPECT_EQ(stray, 0) << "pixels off the picture that are not black";
    }

    // Answers the prompt with a destination below a regular file: runtime error 2.
    void reach_error()
    {
        write_file(root() / "afile", "not a folder");
        answer(p(root() / "afile" / "sub"));
        expect_screen(k_question);
        app().type("j");
    }
};

TEST_F(Window, OpensAtEveryStartWhileBothCoresAreBusy)
{
    fs::path list = playlist();
    BusyCores busy(2);
    int shown = 0;
    std::string failures;
    for (int i = 0; i < 100; ++i) {
        Launch launch;
        launch.args = {p(list)};
        launch.cwd = work();
        launch.log_dir = root() / "logs";
        App a(target_, launch);
        if (a.wait_window(20s) && a.wait_for_text(k_prompt_row, 20s))
            ++shown;
        else
            failures += "start " + std::to_string(i + 1) + ": " + a.err() + "\n";
        // Killed as it leaves scope: only the start counts here.
    }
    EXPECT_EQ(shown, 100) << failures;
}

TEST_F(Window, LosingTheDisplayMidCopyEndsWithErrorFourteenAndNoHalfCopy)
{
    // Big enough that the copy is still running when the display goes.
    fs::path big = make_media("big.mp3", 256u << 20, 7);
    fs::path list = make_playlist("list.m3u", {{"#EXTINF:1,Big", big}});
    fs::path dest = root() / "dest";
    fs::create_directories(dest);
    App& a = start_at_prompt(list);
    answer(p(dest));
    ASSERT_TRUE(a.run_slowly_until([](const ScreenText& s) { return s.contains("Kopy: big.mp3 - "); }))
        << a.last_screen().joined();
    // What xkill does to a window: the server drops its client's connection.
    std::string xkill = "xkill -display " + XServer::shared().display_name() + " -id " +
                        std::to_string(a.window_id()) + " >/dev/null 2>&1";
    ASSERT_EQ(std::system(xkill.c_str()), 0);
    a.resume();
    expect_exit(14);
    EXPECT_EQ(a.err(), "velmora: the connection to the display was lost\n"
                       "\r\nAborting due to runtime error 14 (\"abnormal termination\" signal)\r\n\r\n");
    std::vector<std::string> left;
    for (const auto& e : fs::directory_iterator(dest))
        left.push_back(e.path().filename().string());
    EXPECT_EQ(left, std::vector<std::string>{"list.m3u"}) << "no half copy under any name";
}

TEST_F(Window, DesktopScaleTwoShowsTheSameTextAtTwiceTheSize)
{
    fs::path list = playlist();
    start_at_prompt(list);
    app().type("ab");
    expect_prompt_at(0, 0, 1);
    std::vector<std::string> at_one = app().last_screen().rows;

    for (auto env : {std::pair<std::string, std::string>{"GDK_SCALE", "2"}, {"QT_SCALE_FACTOR", "2.0"}}) {
        SCOPED_TRACE(env.first);
        start({p(list)}, {env});
        App& a = app();
        EXPECT_EQ(a.window_width(), 1600);
        EXPECT_EQ(a.window_height(), 800);
        a.set_picture(0, 0, 2);
        ASSERT_TRUE(a.wait_for_text(k_prompt_row)) << a.last_screen().joined();
        a.type("ab");
        expect_prompt_at(0, 0, 2);
        EXPECT_EQ(a.last_screen().rows, at_one);
    }
}

TEST_F(Window, AnXftDpiOf192OpensAtScaleTwo)
{
    fs::path list = playlist();
    {
        Resources dpi("Xft.dpi:\t192\n");
        start({p(list)});
    }
    EXPECT_EQ(app().window_width(), 1600);
    EXPECT_EQ(app().window_height(), 800);
    app().type("ab");
    expect_prompt_at(0, 0, 2);
    {
        Resources dpi("Xft.dpi:\t144\n");
        start({p(list)});
    }
    EXPECT_EQ(app().window_width(), 800) << "1.5 is no whole scale";
}

TEST_F(Window, AResizedWindowShowsThePictureAtTheLargestWholeScaleCentred)
{
    App& a = start_at_prompt(playlist());
    a.type("ab");
    a.resize(1000, 700);
    ASSERT_TRUE(eventually([&] { return a.window_width() == 1000 && a.window_height() == 700; }));
    expect_prompt_at(100, 150, 1);
    a.resize(1700, 900);
    ASSERT_TRUE(eventually([&] { return a.window_width() == 1700; }));
    expect_prompt_at(50, 50, 2);
    // Typing goes on into the scaled picture.
    a.type("c");
    EXPECT_TRUE(a.wait_for_text(std::string(k_prompt_row) + " abc"));
}

TEST_F(Window, MousePositionsAreInPicturePixelsAtEveryScale)
{
    Target probe = target_;
    probe.program = VELMORA_MOUSE_PROBE;
    probe.title = "velmora mouse probe";
    Launch launch;
    launch.cwd = work();
    launch.log_dir = root() / "probe";
    launch.env = {{"GDK_SCALE", "2"}};
    App a(probe, launch);
    ASSERT_TRUE(a.wait_window(20s)) << a.err();
    ASSERT_EQ(a.window_width(), 1600);
    a.set_picture(0, 0, 2);
    a.move_pointer(2 * 123 + 1, 2 * 45 + 1);
    EXPECT_TRUE(a.wait_for_text("Maus 123 45 Status 0")) << a.last_screen().joined();
    a.move_pointer(1599, 799);
    EXPECT_TRUE(a.wait_for_text("Maus 799 399 Status 0")) << a.last_screen().joined();

    a.resize(1000, 700);
    ASSERT_TRUE(eventually([&] { return a.window_width() == 1000; }));
    a.set_picture(100, 150, 1);
    a.move_pointer(110, 170);
    EXPECT_TRUE(a.wait_for_text("Maus 10 20 Status 0")) << a.last_screen().joined();
    a.move_pointer(50, 50); // on the black border
    EXPECT_TRUE(a.wait_for_text("Maus -1 -1 Status 1")) << a.last_screen().joined();
    a.move_pointer(899, 549);
    EXPECT_TRUE(a.wait_for_text("Maus 799 399 Status 0")) << a.last_screen().joined();
    a.tap(Key::escape);
    EXPECT_EQ(a.wait_exit(10s), 0);
}

TEST_F(Window, AStartFromItsDesktopEntryAlsoShowsTheReportInABox)
{
    App& a = start({p(playlist())}, {{"GIO_LAUNCHED_DESKTOP_FILE", "/usr/share/applications/velmora.desktop"}});
    ASSERT_TRUE(a.wait_for_text(k_prompt_row));
    reach_error();
    ASSERT_TRUE(a.answer_window("velmora", "", Key::enter)) << "no message box; stderr:\n" << a.err();
    expect_exit(2);
    EXPECT_NE(a.err().find("\r\nAborting due to runtime error 2 (file not found) at line "), std::string::npos)
        << a.err();
}

TEST_F(Window, AProgramStartedFromATerminalOfTheMenuShowsNoBox)
{
    // A terminal started from the menu passes its own entry on.
    App& a = start({p(playlist())}, {{"GIO_LAUNCHED_DESKTOP_FILE", "/usr/share/applications/xterm.desktop"},
                                     {"GIO_LAUNCHED_DESKTOP_FILE_PID", "1"}});
    ASSERT_TRUE(a.wait_for_text(k_prompt_row));
    reach_error();
    expect_exit(2, 10s);
}

} // namespace
} // namespace e2e
